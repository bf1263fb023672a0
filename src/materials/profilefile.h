#pragma once
// Helpers shared by the materials file (.mtzarn) and the objects file (.objzarn): both
// are INI texts written key by key into a new or an existing file, and both save
// dialogs treat the extension of the confirmed name the same way.

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <functional>
#include <initializer_list>
#include <optional>

#include "common/inifile.h"
#include "data/datafile.h"  // SaveNameDecision

namespace zarn {

// The extension of the file name part of `path`: from its last point on ("." when the
// name ends in a point), empty when the name has no point.
QStringView FileExtension(QStringView path);

// The save dialogs' rule for a confirmed name, extensions compared exactly:
// one of `foreignSuffixes` -> ask again with `ownSuffix` in its place; a lone "." ->
// `ownSuffix` in its place; `ownSuffix` -> kept; anything else -> `ownSuffix` appended.
SaveNameDecision DecideSuffixedSaveName(const QString& chosen, QStringView ownSuffix,
                                        std::initializer_list<QStringView> foreignSuffixes);

// "yymmdd.hhmm" followed by `suffix` (with its point): 131208.1405.mtzarn.
QString ProposedSuffixedFileName(const QDateTime& now, QStringView suffix);

// The text to put after "Key=" so that the INI reader gives `value` back unchanged:
// the value itself, or the value in double quotes when it has blanks at either end or
// is itself enclosed in quotes. Line breaks cannot live in a one-line value and become
// blanks.
QString IniValueFor(QStringView value);

// Applies `fill` to the file's text (empty for a new file) and writes the result back
// atomically: on failure an existing file keeps its content, and `error` (when given)
// gets the reason. A file that exists but cannot be read is not touched.
bool UpdateIniFile(const QString& path, const std::function<void(IniDocument&)>& fill,
                   QString* error = nullptr);

// The whole document of an INI file to load from: nullopt when the file does not
// exist, cannot be read or is implausibly large for a settings text.
std::optional<IniDocument> ReadIniFileForLoad(const QString& path);

}  // namespace zarn
