#include "objectsfile.h"

#include <QFileInfo>

#include "common/texts.h"
#include "materials/profilefile.h"

namespace zarn {
namespace {

constexpr int kMaxNameChars = 19;

void WriteObjects(IniDocument& doc, const uint8_t* block) {
  for (int k = 0; k < kObjectCount; ++k)
    doc.Write(kObjectsSection, ObjectsKeyName(k), IniValueFor(ObjectName(block, k)));
}

}  // namespace

QString ObjectsKeyName(int k) { return QStringLiteral("Name%1").arg(k + 1, 2, 10, QLatin1Char('0')); }

QString ObjectsFileText(const uint8_t* objectsBlock) {
  IniDocument doc;
  WriteObjects(doc, objectsBlock);
  return doc.ToText();
}

FileWriteResult WriteObjectsFile(const QString& path, const uint8_t* objectsBlock) {
  return IniFile(path, IniCharset::Cp1251)
      .Update([objectsBlock](IniDocument& doc) { WriteObjects(doc, objectsBlock); });
}

std::optional<ObjectNameTexts> ParseObjectsFile(const IniDocument& doc) {
  ObjectNameTexts names;
  bool accepted = false;
  for (int k = 0; k < kObjectCount; ++k) {
    names[size_t(k)] = doc.Read(kObjectsSection, ObjectsKeyName(k), {}, kMaxNameChars);
    // Entry 0 cannot be edited, so a name there alone does not make a list.
    if (k > 0 && !names[size_t(k)].isEmpty()) accepted = true;
  }
  if (!accepted) return std::nullopt;
  return names;
}

std::optional<ObjectNameTexts> ReadObjectsFile(const QString& path) {
  const std::optional<IniDocument> doc = ReadIniFileForLoad(path);
  if (!doc) return std::nullopt;
  return ParseObjectsFile(*doc);
}

void ApplyObjectsFile(const ObjectNameTexts& names, uint8_t* objectsBlock) {
  StoreObjectTexts(objectsBlock, names);
}

bool LoadObjectsFile(const QString& path, uint8_t* objectsBlock) {
  const std::optional<ObjectNameTexts> names = ReadObjectsFile(path);
  if (!names) return false;
  ApplyObjectsFile(*names, objectsBlock);
  return true;
}

QString ObjectsFileRefusedMessage(const QString& path, int language) {
  return txtFileDamaged.Str(language) + QStringLiteral(": ") + QFileInfo(path).fileName();
}

QString ProposedObjectsFileName(const QDateTime& now) {
  return ProposedFileName(now, kObjectsFileSuffix);
}

SaveNameDecision DecideObjectsSaveName(const QString& chosen) {
  return DecideSaveName(chosen, kObjectsFileSuffix, {u".zarn", u".mtzarn"});
}

}  // namespace zarn
