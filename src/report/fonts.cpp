#include "fonts.h"

#include <QFont>
#include <QFontDatabase>
#include <QStringList>

namespace zarn {

void InstallFontSubstitutes() {
  static bool done = false;
  if (done) return;
  done = true;
  const QStringList families = QFontDatabase::families();
  const struct {
    const char* name;
    const char* standIn;
  } substitutes[] = {{"Times New Roman", "Liberation Serif"}, {"MS Sans Serif", "Liberation Sans"}};
  for (const auto& s : substitutes) {
    const QString name = QString::fromLatin1(s.name);
    if (families.contains(name, Qt::CaseInsensitive)) continue;
    QFont::insertSubstitution(name, QString::fromLatin1(s.standIn));
  }
}

}  // namespace zarn
