#include "desktop.h"

#include <QDesktopServices>

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

bool OpenWithDesktop(const QUrl& url) {
  // Qt hands the address to xdg-open (or the desktop portal) and does not wait for it:
  // a missing handler only makes the call return false.
  return QDesktopServices::openUrl(url);
}

}  // namespace zarn
