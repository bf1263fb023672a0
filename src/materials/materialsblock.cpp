#include "materialsblock.h"

#include <cmath>
#include <limits>

#include "common/bytes.h"
#include "common/numbers.h"
#include "common/shorttext.h"

namespace zarn {

std::atomic<bool> MaterialsBlank{true};

const TextPair txtMaterialGroups[kMaterialGroups] = {
    {u"Бетон  (1)", u"Concrete (1)"},
    {u"Бетон  (2)", u"Concrete (2)"},
    {u"Кирпич", u"Brick"},
    {u"Раствор", u"Mortar"},
    {u"Материалы", u"Materials"},
};

const TextPair& MaterialGroupCaption(int group) { return txtMaterialGroups[group]; }

// The a1 values are single-precision constants, as the instrument stores them.
const std::array<DefaultMaterial, kMaterialCount> kDefaultMaterials = {{
    {u"Бетон базовый тяж.", u"Heavy concrete bas.", 1.09f},
    {u"Бетон гравийный", u"Concrete gravel", 0.81f},
    {u"Бетон гранитный", u"Concrete granite", 1.09f},
    {u"Бетон граншлаковый", u"Concrete gr. slag", 0.93f},
    {u"Бетон известняковый", u"Concrete limestone", 1.02f},
    {u"Бетон мелкозерн.", u"Concrete fine", 1.02f},
    {u"Бетон легкий базов.", u"Light concrete bas.", 1.0f},
    {u"Керамзитобетон", u"Claydite-concrete", 0.86f},
    {u"Полистиролбетон", u"Polystyreneconcrete", 1.0f},
    {u"Бетон пемзошлаковый", u"Concr. slag-pumice", 1.03f},
    {u"Бетон состава N1", u"Concrete x 1", 1.0f},
    {u"Бетон состава N2", u"Concrete x 2", 1.0f},
    {u"Кирпич базовый", u"Bricks basic", 1.0f},
    {u"Керамич. кирпич", u"Ceramic bricks", 1.0f},
    {u"Силикатный кирпич", u"Silicate bricks", 0.92f},
    {u"Шлаковый кирпич", u"Bricks cindery", 1.0f},
    {u"Кирпич состава N1", u"Bricks 1", 1.0f},
    {u"Кирпич состава N2", u"Bricks 2", 1.0f},
    {u"Раствор состава N1", u"Mortar N1", 1.02f},
    {u"Раствор состава N2", u"Mortar N2", 1.0f},
    {u"Стяжка состава N1", u"Screed coat N1", 1.02f},
    {u"Стяжка состава N2", u"Screed coat N2", 1.0f},
    {u"Гипсокартон", u"Gypsum", 1.0f},
    {u"Штукатурка", u"Plasterwork", 1.0f},
    {u"Материал x 1", u"Material x 1", 1.0f},
    {u"Материал x 2", u"Material x 2", 1.0f},
    {u"Материал x 3", u"Material x 3", 1.0f},
    {u"Материал x 4", u"Material x 4", 1.0f},
    {u"Материал x 5", u"Material x 5", 1.0f},
    {u"Материал x 6", u"Material x 6", 1.0f},
}};

MaterialRecord NeutralMaterial(QString name) {
  return {std::move(name), kNeutralA2, kNeutralA1, kNeutralA0, kNeutralKf};
}

QString MaterialName(const uint8_t* block, int m) {
  return ShortTextToString(MaterialRecordAt(block, m) + kMaterialNameOffset, kShortTextCapacity);
}
void SetMaterialName(uint8_t* block, int m, QStringView name) {
  StringToShortText(MaterialRecordAt(block, m) + kMaterialNameOffset, name, kShortTextCapacity);
}
float MaterialA2(const uint8_t* block, int m) { return GetF32(MaterialRecordAt(block, m) + kMaterialA2Offset); }
float MaterialA1(const uint8_t* block, int m) { return GetF32(MaterialRecordAt(block, m) + kMaterialA1Offset); }
float MaterialA0(const uint8_t* block, int m) { return GetF32(MaterialRecordAt(block, m) + kMaterialA0Offset); }
float MaterialKf(const uint8_t* block, int m) { return GetF32(MaterialRecordAt(block, m) + kMaterialKfOffset); }
void SetMaterialA2(uint8_t* block, int m, float v) { PutF32(MaterialRecordAt(block, m) + kMaterialA2Offset, v); }
void SetMaterialA1(uint8_t* block, int m, float v) { PutF32(MaterialRecordAt(block, m) + kMaterialA1Offset, v); }
void SetMaterialA0(uint8_t* block, int m, float v) { PutF32(MaterialRecordAt(block, m) + kMaterialA0Offset, v); }
void SetMaterialKf(uint8_t* block, int m, float v) { PutF32(MaterialRecordAt(block, m) + kMaterialKfOffset, v); }

MaterialRecord GetMaterial(const uint8_t* block, int m) {
  return {MaterialName(block, m), MaterialA2(block, m), MaterialA1(block, m), MaterialA0(block, m),
          MaterialKf(block, m)};
}

void SetMaterial(uint8_t* block, int m, const MaterialRecord& material) {
  SetMaterialName(block, m, material.name);
  SetMaterialA2(block, m, material.a2);
  SetMaterialA1(block, m, material.a1);
  SetMaterialA0(block, m, material.a0);
  SetMaterialKf(block, m, material.Kf);
}

MaterialRecord DefaultMaterialRecord(int m, int language) {
  const DefaultMaterial& d = kDefaultMaterials[size_t(m)];
  return {(language == kEnglish ? d.en : d.ru).toString(), 0.0f, d.a1, 0.0f, 1.0f};
}

void FillDefaultMaterials(uint8_t* block, int language) {
  for (int m = 0; m < kMaterialCount; ++m) SetMaterial(block, m, DefaultMaterialRecord(m, language));
}

std::optional<float> ParseCoefficient(QStringView text) {
  const std::optional<double> v = ParseNumber(text);
  if (!v || !std::isfinite(*v) || std::fabs(*v) > double(std::numeric_limits<float>::max()))
    return std::nullopt;
  return static_cast<float>(*v);
}

QString FormatCoefficient(float value) { return FormatNumber(value, NumberPattern::Scientific); }

namespace {

MaterialRowTexts RowTexts(const MaterialRecord& r, bool withCoefficients) {
  MaterialRowTexts row;
  row.name = r.name;
  if (withCoefficients) {
    row.coefficients[kColA2] = FormatCoefficient(r.a2);
    row.coefficients[kColA1] = FormatCoefficient(r.a1);
    row.coefficients[kColA0] = FormatCoefficient(r.a0);
    row.coefficients[kColKf] = FormatCoefficient(r.Kf);
  }
  return row;
}

}  // namespace

MaterialGroupTexts MaterialGroupToTexts(const uint8_t* block, int group, bool& blank) {
  MaterialGroupTexts texts;
  for (int s = 0; s < kMaterialsPerGroup; ++s) {
    texts[size_t(s)].name = MaterialName(block, MaterialIndex(group, s));
    if (!texts[size_t(s)].name.isEmpty()) blank = false;
  }
  if (!blank) {
    for (int s = 0; s < kMaterialsPerGroup; ++s) {
      QString name = std::move(texts[size_t(s)].name);
      texts[size_t(s)] = RowTexts(GetMaterial(block, MaterialIndex(group, s)), true);
      texts[size_t(s)].name = std::move(name);
    }
  }
  return texts;
}

MaterialGroupTexts DefaultMaterialGroupTexts(int group, int language) {
  MaterialGroupTexts texts;
  for (int s = 0; s < kMaterialsPerGroup; ++s)
    texts[size_t(s)] = RowTexts(DefaultMaterialRecord(MaterialIndex(group, s), language), true);
  return texts;
}

std::optional<MaterialTextError> StoreMaterialGroupTexts(uint8_t* block, int group,
                                                         const MaterialGroupTexts& texts,
                                                         const MaterialGroupMarks& marks) {
  for (int s = 0; s < kMaterialsPerGroup; ++s)
    SetMaterialName(block, MaterialIndex(group, s), texts[size_t(s)].name);
  using Setter = void (*)(uint8_t*, int, float);
  static constexpr Setter kSetters[4] = {SetMaterialA2, SetMaterialA1, SetMaterialA0, SetMaterialKf};
  for (int s = 0; s < kMaterialsPerGroup; ++s) {
    const int m = MaterialIndex(group, s);
    const auto& rowMarks = marks[size_t(s)];
    if (rowMarks[0] || rowMarks[1] || rowMarks[2] || rowMarks[3]) {
      SetMaterialA2(block, m, kNeutralA2);
      SetMaterialA1(block, m, kNeutralA1);
      SetMaterialA0(block, m, kNeutralA0);
      SetMaterialKf(block, m, kNeutralKf);
      continue;
    }
    for (int c = 0; c < 4; ++c) {
      const QString& text = texts[size_t(s)].coefficients[size_t(c)];
      const std::optional<float> v = ParseCoefficient(text);
      if (!v) return MaterialTextError{s, MaterialColumn(c), text};
      kSetters[c](block, m, *v);
    }
  }
  return std::nullopt;
}

}  // namespace zarn
