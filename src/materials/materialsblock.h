#pragma once
// The MaterialsBlock: the instrument's thirty material coefficient sets, 1080 bytes,
// thirty MaterialRecords of 36 bytes back to back. A record holds the name (ShortText
// of capacity 20) and the single-precision coefficients a2, a1, a0 and Kf. The
// instrument applies the coefficients; this program only shows, edits, stores and
// transfers them.
//
// The editor shows the materials in five groups of six: material m is slot m % 6 of
// group m / 6. The functions here work on any 1080-byte block (the program's
// Images.MaterialsBlock, a scratch copy, a file's block); they take no lock.

#include <QString>
#include <QStringView>
#include <array>
#include <atomic>
#include <cstdint>
#include <optional>

#include "common/images.h"
#include "common/texts.h"

namespace zarn {

inline constexpr int kMaterialCount = 30;
inline constexpr int kMaterialRecordSize = 36;
inline constexpr int kMaterialGroups = 5;
inline constexpr int kMaterialsPerGroup = 6;
static_assert(kMaterialCount * kMaterialRecordSize == int(kMaterialsBlockSize));

// Byte offsets inside a MaterialRecord.
inline constexpr int kMaterialNameOffset = 0;
inline constexpr int kMaterialA2Offset = 20;
inline constexpr int kMaterialA1Offset = 24;
inline constexpr int kMaterialA0Offset = 28;
inline constexpr int kMaterialKfOffset = 32;

// One material as the program works with it.
struct MaterialRecord {
  QString name;  // at most 19 characters once stored
  float a2 = 0;
  float a1 = 1;
  float a0 = 0;
  float Kf = 1;
  friend bool operator==(const MaterialRecord&, const MaterialRecord&) = default;
};

// The set a row falls back to when one of its coefficient texts is marked invalid.
inline constexpr float kNeutralA2 = 0, kNeutralA1 = 1, kNeutralA0 = 0, kNeutralKf = 1;
MaterialRecord NeutralMaterial(QString name = {});

inline constexpr int MaterialGroup(int m) { return m / kMaterialsPerGroup; }
inline constexpr int MaterialSlot(int m) { return m % kMaterialsPerGroup; }
inline constexpr int MaterialIndex(int group, int slot) { return group * kMaterialsPerGroup + slot; }

// Record m (0..29) of a 1080-byte block.
inline uint8_t* MaterialRecordAt(uint8_t* block, int m) { return block + m * kMaterialRecordSize; }
inline const uint8_t* MaterialRecordAt(const uint8_t* block, int m) {
  return block + m * kMaterialRecordSize;
}

MaterialRecord GetMaterial(const uint8_t* block, int m);
// Stores the whole record; the name is cut to 19 characters, and the bytes of the
// name field after its terminating zero keep what they held.
void SetMaterial(uint8_t* block, int m, const MaterialRecord& material);

QString MaterialName(const uint8_t* block, int m);
void SetMaterialName(uint8_t* block, int m, QStringView name);
float MaterialA2(const uint8_t* block, int m);
float MaterialA1(const uint8_t* block, int m);
float MaterialA0(const uint8_t* block, int m);
float MaterialKf(const uint8_t* block, int m);
void SetMaterialA2(uint8_t* block, int m, float v);
void SetMaterialA1(uint8_t* block, int m, float v);
void SetMaterialA0(uint8_t* block, int m, float v);
void SetMaterialKf(uint8_t* block, int m, float v);

// Tab captions of the five groups: "Бетон  (1)" / "Concrete (1)" ... "Материалы" / "Materials".
extern const TextPair txtMaterialGroups[kMaterialGroups];
const TextPair& MaterialGroupCaption(int group);

// The built-in default sets: a2 = a0 = 0, Kf = 1, and a name and a1 per material.
struct DefaultMaterial {
  QStringView ru;
  QStringView en;
  float a1;
};
extern const std::array<DefaultMaterial, kMaterialCount> kDefaultMaterials;
// Default material m in `language` (kRussian or kEnglish).
MaterialRecord DefaultMaterialRecord(int m, int language);
// Fills all thirty records with the defaults in `language`.
void FillDefaultMaterials(uint8_t* block, int language);

// True until a named material has been shown in the editor or a default set loaded;
// while it is true the editor shows blank coefficients and sends and saves nothing,
// so a block that was never filled never reaches the instrument or a file.
extern std::atomic<bool> MaterialsBlank;

// The texts of one editor row: the name and the coefficients in "0.000E+00".
enum MaterialColumn : int { kColA2 = 0, kColA1 = 1, kColA0 = 2, kColKf = 3 };
struct MaterialRowTexts {
  QString name;
  std::array<QString, 4> coefficients;  // indexed by MaterialColumn
};
using MaterialGroupTexts = std::array<MaterialRowTexts, kMaterialsPerGroup>;
// Invalid-value marks of the 24 coefficient fields of a group, [row][MaterialColumn].
using MaterialGroupMarks = std::array<std::array<bool, 4>, kMaterialsPerGroup>;

// What the editor shows for `group`: the names, and the coefficients unless `blank`.
// Clears `blank` as soon as one of the names is non-empty (before the coefficients
// are decided), as ShowMaterials does.
MaterialGroupTexts MaterialGroupToTexts(const uint8_t* block, int group, bool& blank);
// The default set of `group` as editor texts in `language`.
MaterialGroupTexts DefaultMaterialGroupTexts(int group, int language);

// Where StoreMaterialGroupTexts stopped: the row (0..5) and column of the first
// coefficient text that does not convert.
struct MaterialTextError {
  int row;
  MaterialColumn column;
  QString text;
};
// Editor texts into the records of `group`: first the six names (cut to 19
// characters), then row by row the coefficients. A row with a marked field gets the
// neutral set 0, 1, 0, 1. An unmarked text that does not convert stops the store at
// that field: everything before it is stored, the rest keeps its old values, and the
// failing field is returned so that the caller can report it and not go on with a
// transfer or save.
std::optional<MaterialTextError> StoreMaterialGroupTexts(uint8_t* block, int group,
                                                         const MaterialGroupTexts& texts,
                                                         const MaterialGroupMarks& marks);

// A coefficient text to a single-precision value: the program's number parser (decimal
// comma); texts that do not parse or lie outside the single-precision range give nullopt.
std::optional<float> ParseCoefficient(QStringView text);
QString FormatCoefficient(float value);  // "0.000E+00", decimal comma

}  // namespace zarn
