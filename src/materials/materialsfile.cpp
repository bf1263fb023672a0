#include "materialsfile.h"

#include "common/texts.h"
#include "profilefile.h"

namespace zarn {
namespace {

constexpr int kMaxNameChars = 19;
constexpr int kMaxNumberChars = 24;

void WriteMaterials(IniDocument& doc, const uint8_t* block) {
  for (int m = 0; m < kMaterialCount; ++m) {
    const QString section = MaterialsSectionName(m);
    doc.Write(section, u"Name", IniValueFor(MaterialName(block, m)));
    doc.Write(section, u"a0", FormatCoefficient(MaterialA0(block, m)));
    doc.Write(section, u"a1", FormatCoefficient(MaterialA1(block, m)));
    doc.Write(section, u"a2", FormatCoefficient(MaterialA2(block, m)));
  }
}

float ReadCoefficient(const IniDocument& doc, QStringView section, QStringView key, float fallback) {
  return ParseCoefficient(doc.Read(section, key, {}, kMaxNumberChars)).value_or(fallback);
}

}  // namespace

QString MaterialsSectionName(int m) {
  return QStringLiteral("Mt%1").arg(m, 3, 10, QLatin1Char('0'));
}

QString MaterialsFileText(const uint8_t* materialsBlock) {
  IniDocument doc;
  WriteMaterials(doc, materialsBlock);
  return doc.ToText();
}

FileWriteResult WriteMaterialsFile(const QString& path, const uint8_t* materialsBlock) {
  return IniFile(path, IniCharset::Cp1251).Update(
      [materialsBlock](IniDocument& doc) { WriteMaterials(doc, materialsBlock); });
}

std::optional<MaterialsFileContent> ParseMaterialsFile(const IniDocument& doc) {
  MaterialsFileContent content;
  bool anyName = false;
  for (int m = 0; m < kMaterialCount; ++m) {
    const QString section = MaterialsSectionName(m);
    MaterialsFileEntry& e = content[size_t(m)];
    e.name = doc.Read(section, u"Name", {}, kMaxNameChars);
    if (!e.name.isEmpty()) anyName = true;
    e.a0 = ReadCoefficient(doc, section, u"a0", 0.0f);
    e.a1 = ReadCoefficient(doc, section, u"a1", 1.0f);
    e.a2 = ReadCoefficient(doc, section, u"a2", 0.0f);
  }
  if (!anyName) return std::nullopt;
  return content;
}

std::optional<MaterialsFileContent> ReadMaterialsFile(const QString& path) {
  const std::optional<IniDocument> doc = ReadIniFileForLoad(path);
  if (!doc) return std::nullopt;
  return ParseMaterialsFile(*doc);
}

void ApplyMaterialsFile(const MaterialsFileContent& content, uint8_t* materialsBlock) {
  for (int m = 0; m < kMaterialCount; ++m) {
    const MaterialsFileEntry& e = content[size_t(m)];
    SetMaterialName(materialsBlock, m, e.name);
    SetMaterialA0(materialsBlock, m, e.a0);
    SetMaterialA1(materialsBlock, m, e.a1);
    SetMaterialA2(materialsBlock, m, e.a2);
  }
}

bool LoadMaterialsFile(const QString& path, uint8_t* materialsBlock) {
  const std::optional<MaterialsFileContent> content = ReadMaterialsFile(path);
  if (!content) return false;
  ApplyMaterialsFile(*content, materialsBlock);
  return true;
}

QString MaterialsFileRefusedMessage(const QString& path, int language) {
  return txtFileDamaged.Str(language) + QStringLiteral(": ") + path;
}

QString ProposedMaterialsFileName(const QDateTime& now) {
  return ProposedFileName(now, kMaterialsFileSuffix);
}

SaveNameDecision DecideMaterialsSaveName(const QString& chosen) {
  return DecideSaveName(chosen, kMaterialsFileSuffix, {u".zarn", u".objzarn"});
}

}  // namespace zarn
