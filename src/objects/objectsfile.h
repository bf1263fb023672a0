#pragma once
// The objects file (.objzarn): an INI text with one section "Names" and the keys
// Name01 ... Name30, the value of NameNN being entry NN - 1 of the ObjectsBlock (an
// empty name an empty value). Code page 1251 with CRLF line ends.

#include <QDateTime>
#include <QString>
#include <cstdint>
#include <optional>

#include "common/inifile.h"
#include "common/paths.h"  // SaveNameDecision
#include "objectsblock.h"

namespace zarn {

inline constexpr QStringView kObjectsFileSuffix = u".objzarn";
// The first entry of the file dialogs' type list; the second is "All files (*.*)".
inline constexpr QStringView kObjectsFileFilter = u"Objects (*.objzarn)";
inline constexpr QStringView kObjectsSection = u"Names";

// Key of entry k: "Name" and k + 1 with two digits.
QString ObjectsKeyName(int k);

// The whole text of a new objects file made from a 600-byte block (CRLF line ends).
QString ObjectsFileText(const uint8_t* objectsBlock);

// Writes Name01 ... Name30 of section Names into `path`: a new file gets exactly
// ObjectsFileText; an existing one keeps its other content (its lines byte for byte).
// Atomic; on failure the file keeps its content and the result says why.
FileWriteResult WriteObjectsFile(const QString& path, const uint8_t* objectsBlock);

// The thirty names of a file, each at most 19 characters. nullopt (refused) when none
// of Name02 ... Name30 is non-empty (Name01, which the editor cannot change, does not
// count), which includes a file that does not exist, cannot be read or is no INI text.
std::optional<ObjectNameTexts> ReadObjectsFile(const QString& path);
std::optional<ObjectNameTexts> ParseObjectsFile(const IniDocument& document);
// All thirty entries, entry 0 included.
void ApplyObjectsFile(const ObjectNameTexts& names, uint8_t* objectsBlock);
// ReadObjectsFile, then ApplyObjectsFile when accepted; false (block unchanged) when refused.
bool LoadObjectsFile(const QString& path, uint8_t* objectsBlock);

// The message for a refused file: "Файл не читается или испорчен: " and the file name
// without its folder.
QString ObjectsFileRefusedMessage(const QString& path, int language);

// "yymmdd.hhmm.objzarn".
QString ProposedObjectsFileName(const QDateTime& now);
// ".zarn" and ".mtzarn" -> ask again with ".objzarn"; "." -> ".objzarn"; ".objzarn"
// kept; anything else (no extension too) -> ".objzarn" appended.
SaveNameDecision DecideObjectsSaveName(const QString& chosen);

}  // namespace zarn
