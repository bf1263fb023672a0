#include "qttranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <memory>

#include "common/texts.h"

namespace zarn {

QString QtTranslationsFolder() {
  const QString chosen = qEnvironmentVariable("ZARN26_QT_TRANSLATIONS");
  return chosen.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : chosen;
}

QLocale InterfaceLocale(int language) {
  return language == kRussian ? QLocale(QLocale::Russian, QLocale::Russia)
                              : QLocale(QLocale::English, QLocale::UnitedStates);
}

bool UseQtTranslations(int language) {
  // One translator for the life of the program, installed while Russian is chosen.
  static std::unique_ptr<QTranslator> installed;
  if (installed) {
    QCoreApplication::removeTranslator(installed.get());
    installed.reset();
  }
  // Qt's dialogs write dates (and sizes) in the interface language's way, whatever the
  // desktop's locale is.
  QLocale::setDefault(InterfaceLocale(language));
  if (language != kRussian) return true;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ru"), QtTranslationsFolder())) return false;
  QCoreApplication::installTranslator(translator.get());
  installed = std::move(translator);
  return true;
}

}  // namespace zarn
