#pragma once
// The materials file (.mtzarn): an INI text with one section per material, Mt000 ...
// Mt029, each with the keys Name, a0, a1 and a2 (numbers in "0.000E+00" with the
// decimal comma). Kf is not part of the file. Files are code page 1251 with CRLF line
// ends, the form in which such files are exchanged.

#include <QDateTime>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "common/inifile.h"
#include "common/paths.h"  // SaveNameDecision
#include "materialsblock.h"

namespace zarn {

inline constexpr QStringView kMaterialsFileSuffix = u".mtzarn";
// The first entry of the file dialogs' type list; the second is "All files (*.*)".
inline constexpr QStringView kMaterialsFileFilter = u"Materials (*.mtzarn)";

// Section name of material m: "Mt" and m with three digits.
QString MaterialsSectionName(int m);

// The whole text of a new materials file made from a 1080-byte block (CRLF line ends).
QString MaterialsFileText(const uint8_t* materialsBlock);

// Writes the thirty sections into `path`, key by key: a new file gets exactly
// MaterialsFileText; an existing one keeps its other sections and keys (and its lines
// byte for byte). The file is replaced atomically; on failure it keeps its content and
// the result says why.
FileWriteResult WriteMaterialsFile(const QString& path, const uint8_t* materialsBlock);

// What a materials file holds for one material.
struct MaterialsFileEntry {
  QString name;  // at most 19 characters
  float a0 = 0;  // 0 when the text is absent or does not convert
  float a1 = 1;  // 1 likewise
  float a2 = 0;  // 0 likewise
};
using MaterialsFileContent = std::array<MaterialsFileEntry, kMaterialCount>;

// Reads and checks a materials file without touching any block. nullopt (the file is
// refused) when none of the thirty names is non-empty, which includes a file that
// does not exist, cannot be read or is no INI text.
std::optional<MaterialsFileContent> ReadMaterialsFile(const QString& path);
// The same check and conversions on a document already in memory.
std::optional<MaterialsFileContent> ParseMaterialsFile(const IniDocument& document);

// Names and a0, a1, a2 of all thirty materials into the block; Kf stays as it was.
void ApplyMaterialsFile(const MaterialsFileContent& content, uint8_t* materialsBlock);

// ReadMaterialsFile, then ApplyMaterialsFile when accepted. Returns false for a refused
// file, which leaves the block unchanged.
bool LoadMaterialsFile(const QString& path, uint8_t* materialsBlock);

// The message for a refused file: "Файл не читается или испорчен: " and the full path.
QString MaterialsFileRefusedMessage(const QString& path, int language);

// The name the save dialog proposes, without folder: "yymmdd.hhmm.mtzarn".
QString ProposedMaterialsFileName(const QDateTime& now);
// ".zarn" and ".objzarn" -> ask again with ".mtzarn"; "." -> ".mtzarn"; ".mtzarn"
// kept; anything else (no extension too) -> ".mtzarn" appended.
SaveNameDecision DecideMaterialsSaveName(const QString& chosen);

}  // namespace zarn
