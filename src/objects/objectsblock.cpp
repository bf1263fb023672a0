#include "objectsblock.h"

#include "common/shorttext.h"
#include "common/texts.h"

namespace zarn {

std::atomic<bool> ObjectsBlank{true};

const std::array<DefaultObjectName, kObjectCount> kDefaultObjectNames = {{
    {u"", u""},
    {u"Балка", u"Balcony"},
    {u"Блок", u"Bay"},
    {u"Колодец", u"Beam"},
    {u"Колонна", u"Bearer"},
    {u"Кольцо", u"Breastplate"},
    {u"Лоток", u"Bridging"},
    {u"Марш", u"Chute"},
    {u"Опора", u"Dollyway"},
    {u"Перекрытие", u"Echelon"},
    {u"Перемычка", u"FBS"},
    {u"Плита", u"Flagstone"},
    {u"Площадка", u"Flyer"},
    {u"Пролет", u"Girder"},
    {u"Ригель", u"Hoists"},
    {u"Ростверк", u"Lattice girder"},
    {u"Свая", u"Manhole"},
    {u"Столб", u"Mast"},
    {u"Ступень", u"Mattress"},
    {u"Труба", u"Ring"},
    {u"Ферма", u"Spile"},
    {u"ФБС", u"Stanchion"},
    {u"Эстакада", u"Tubing"},
    {u"Без имени", u"No name"},
    {u"Без имени", u"No name"},
    {u"Без имени", u"No name"},
    {u"Без имени", u"No name"},
    {u"Без имени", u"No name"},
    {u"Без имени", u"No name"},
    {u"Без имени", u"No name"},
}};

QString ObjectName(const uint8_t* block, int k) {
  return ShortTextToString(block + k * kObjectEntrySize, kShortTextCapacity);
}

void SetObjectName(uint8_t* block, int k, QStringView name) {
  StringToShortText(block + k * kObjectEntrySize, name, kShortTextCapacity);
}

QString DefaultObjectNameIn(int k, int language) {
  const DefaultObjectName& d = kDefaultObjectNames[size_t(k)];
  return (language == kEnglish ? d.en : d.ru).toString();
}

void FillDefaultObjects(uint8_t* block, int language) {
  for (int k = 0; k < kObjectCount; ++k) SetObjectName(block, k, DefaultObjectNameIn(k, language));
}

ObjectNameTexts ObjectsToTexts(const uint8_t* block, bool& blank) {
  ObjectNameTexts texts;
  for (int k = 0; k < kObjectCount; ++k) {
    texts[size_t(k)] = ObjectName(block, k);
    if (!texts[size_t(k)].isEmpty()) blank = false;
  }
  return texts;
}

void StoreObjectTexts(uint8_t* block, const ObjectNameTexts& texts) {
  for (int k = 0; k < kObjectCount; ++k) SetObjectName(block, k, texts[size_t(k)]);
}

ObjectNameTexts DefaultObjectTexts(int language) {
  ObjectNameTexts texts;
  for (int k = 0; k < kObjectCount; ++k) texts[size_t(k)] = DefaultObjectNameIn(k, language);
  return texts;
}

}  // namespace zarn
