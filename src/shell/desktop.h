#pragma once
// What the program takes from the Linux desktop: its icon, and opening web addresses,
// mail messages and help files with the desktop's own handlers.

#include <QIcon>
#include <QUrl>

namespace zarn {

// The program's icon in every size it is drawn in.
QIcon ProgramIcon();

// Opens `url` with the desktop's handler for it (browser, mail program, viewer),
// without waiting for it. False when the desktop has no handler (for a file: no
// application for its type); nothing is shown.
bool OpenWithDesktop(const QUrl& url);

// Whether the desktop has an application that opens files of `path`'s type.
bool DesktopOpensFile(const QString& path);

}  // namespace zarn
