#pragma once
// Helpers shared by the materials file (.mtzarn) and the objects file (.objzarn): both
// are INI texts written key by key into a new or an existing file.

#include <QString>
#include <QStringView>
#include <optional>

#include "common/inifile.h"

namespace zarn {

// The text to put after "Key=" so that the INI reader gives `value` back unchanged:
// the value itself, or the value in double quotes when it has blanks at either end or
// is itself enclosed in quotes. Line breaks cannot live in a one-line value and become
// blanks.
QString IniValueFor(QStringView value);

// The whole document of an INI file to load from: nullopt when the file does not
// exist, cannot be read or is implausibly large for a settings text.
std::optional<IniDocument> ReadIniFileForLoad(const QString& path);

}  // namespace zarn
