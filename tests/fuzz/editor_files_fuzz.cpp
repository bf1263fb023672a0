// Materials and objects files come from anywhere: their load rules on any bytes, then
// what they put into a block written back as a file and read again.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/inifile.h"
#include "materials/materialsfile.h"
#include "objects/objectsfile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const zarn::IniDocument doc =
      zarn::IniDocument::FromBytes(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
  if (const auto materials = zarn::ParseMaterialsFile(doc)) {
    auto block = std::make_unique<uint8_t[]>(zarn::kMaterialsBlockSize);
    zarn::ApplyMaterialsFile(*materials, block.get());
    (void)zarn::ParseMaterialsFile(zarn::IniDocument::FromBytes(zarn::MaterialsFileText(block.get()).toUtf8()));
  }
  if (const auto names = zarn::ParseObjectsFile(doc)) {
    auto block = std::make_unique<uint8_t[]>(zarn::kObjectsBlockSize);
    zarn::ApplyObjectsFile(*names, block.get());
    (void)zarn::ParseObjectsFile(zarn::IniDocument::FromBytes(zarn::ObjectsFileText(block.get()).toUtf8()));
  }
  return 0;
}
