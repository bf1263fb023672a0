#include "desktop.h"

#include <QDesktopServices>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>

// The icons are a resource of the static library: it is registered by name, as the
// linker does not keep an unreferenced initialiser.
static void InitShellResources() { Q_INIT_RESOURCE(zarn26); }

namespace zarn {

QIcon ProgramIcon() {
  static const QIcon icon = [] {
    InitShellResources();
    QIcon i;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
      i.addFile(QStringLiteral(":/zarn26/icons/%1/zarn26.png").arg(size), QSize(size, size));
    return i;
  }();
  return icon;
}

bool DesktopOpensFile(const QString& path) {
  // The desktop's default application for the file's type, as xdg-open would look it
  // up; a desktop without xdg-mime is given the benefit of the doubt.
  const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (xdgMime.isEmpty()) return true;
  const QString type = QMimeDatabase().mimeTypeForFile(path).name();
  QProcess query;
  query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), type});
  if (!query.waitForFinished(3000)) {
    query.kill();
    query.waitForFinished(1000);
    return true;
  }
  return !query.readAllStandardOutput().trimmed().isEmpty();
}

bool OpenWithDesktop(const QUrl& url) {
  // Qt hands the address to xdg-open (or the desktop portal) and does not wait for it,
  // so a file no application on the desktop takes is found out before.
  if (url.isLocalFile() && !DesktopOpensFile(url.toLocalFile())) return false;
  return QDesktopServices::openUrl(url);
}

}  // namespace zarn
