#pragma once
// The ObjectsBlock: the instrument's list of thirty names of objects under test, 600
// bytes, thirty ShortText entries of capacity 20 back to back. Entry 0 is shown in the
// editor but cannot be edited there. The functions work on any 600-byte block and
// take no lock.

#include <QString>
#include <QStringView>
#include <array>
#include <atomic>
#include <cstdint>

#include "common/images.h"
#include "common/texts.h"  // Language

namespace zarn {

inline constexpr int kObjectCount = 30;
inline constexpr int kObjectEntrySize = 20;
static_assert(kObjectCount * kObjectEntrySize == int(kObjectsBlockSize));

QString ObjectName(const uint8_t* block, int k);
// Cut to 19 characters; the bytes of the entry after its terminating zero stay as they were.
void SetObjectName(uint8_t* block, int k, QStringView name);

// The default list in both languages, each in its own alphabetical order (a row does
// not pair a name with its translation); entry 0 is empty in both.
struct DefaultObjectName {
  QStringView ru;
  QStringView en;
};
extern const std::array<DefaultObjectName, kObjectCount> kDefaultObjectNames;
QString DefaultObjectNameIn(int k, int language);
void FillDefaultObjects(uint8_t* block, int language);

// True until a non-empty name has been shown in the editor or the default list loaded;
// while it is true the editor sends and saves nothing.
extern std::atomic<bool> ObjectsBlank;

using ObjectNameTexts = std::array<QString, kObjectCount>;
// What the editor shows (ShowObjects): the thirty names; clears `blank` when one of
// them is non-empty.
ObjectNameTexts ObjectsToTexts(const uint8_t* block, bool& blank);
// The editor's thirty texts into the block (StoreObjects), each cut to 19 characters.
void StoreObjectTexts(uint8_t* block, const ObjectNameTexts& texts);
// The default list as editor texts in `language`.
ObjectNameTexts DefaultObjectTexts(int language);

}  // namespace zarn
