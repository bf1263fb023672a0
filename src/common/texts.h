#pragma once
// The program's texts in its two languages. Every text the user sees is a TextPair
// (Russian, English) chosen by LanguageIndex at the moment it is shown. The pairs are
// constants, alive for the whole run; they live here, below every window, because the
// exchange loop and the table and clipboard texts need them as much as the windows do.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <atomic>
#include <cstdint>
#include <vector>

namespace zarn {

enum Language : uint8_t { kRussian = 0, kEnglish = 1 };

// 0 = Russian, 1 = English. Written only by the language actions of the main window;
// read by every thread that picks a text.
extern std::atomic<uint8_t> LanguageIndex;

struct TextPair {
  QStringView ru;
  QStringView en;

  QStringView In(int language) const { return language == kEnglish ? en : ru; }
  QString Str(int language) const { return In(language).toString(); }
  // The text in the current LanguageIndex.
  QString operator()() const { return Str(LanguageIndex.load(std::memory_order_relaxed)); }
};

// A text kept as what it says rather than in the words of one language, so that what
// stays on the screen (a status panel, an editor's last outcome) can follow a language
// switch: pieces that are pairs of the text table, each with the arguments of its %1,
// %2 ..., and literal pieces (a version text, a file name, ": "). Pairs are compared by
// identity, so two phrases are equal when they say the same thing.
//
//   Phrase(txtStatusDataRead) + QStringLiteral(" (40)")   "Данные считаны (40)"
//   Phrase(txtFaultReplyTooLong, {"2000", "1080"})        "... 2000 ... 1080 ..."
class Phrase {
 public:
  Phrase() = default;
  Phrase(const TextPair& pair, QStringList args = {});  // NOLINT: a pair says one thing
  Phrase(QString literal);                              // NOLINT: and so does a literal

  Phrase& operator+=(const Phrase& other);
  friend Phrase operator+(Phrase a, const Phrase& b) { return a += b; }
  bool operator==(const Phrase& other) const = default;

  bool IsEmpty() const;
  // The text in `language`; operator() in the current LanguageIndex.
  QString Str(int language) const;
  QString operator()() const;

 private:
  struct Piece {
    const TextPair* pair = nullptr;  // or the literal
    QString literal;
    QStringList args;
    bool operator==(const Piece& other) const = default;
  };
  std::vector<Piece> pieces_;
};

// Menus and actions.
extern const TextPair txtMenuFile, txtOpen, txtSave, txtPrintReport, txtPrintSheets, txtOpenReport,
    txtExit;
extern const TextPair txtMenuEdit, txtCopyTable1, txtCopySelection, txtCopyTable2, txtCopyChart,
    txtCopyChartData;
extern const TextPair txtMenuCommands, txtReadFromDevice, txtMaterialsEdit, txtObjectsEdit, txtArchiveWindow;
extern const TextPair txtMenuParameters, txtMenuLanguage, txtMenuUnit, txtUnitMPa, txtUnitKgf;
extern const TextPair txtMenuHelp, txtHelpHlp, txtHelpChm, txtAbout, txtAppTitle;

// Table headings and labels.
extern const TextPair txtNumber, txtDate, txtTime, txtStrength, txtMaterial, txtObject,
    txtDirection, txtVariation, txtSwing, txtImpacts, txtDateFormat, txtTimeFormat, txtPercent,
    txtNthImpact, txtImpactAmplitude, txtRecoilAmplitude, txtImpactDuration, txtRecoilDuration,
    txtImpactEnergy, txtRecoilEnergy, txtStrengthMPa, txtStrengthKgf, txtMaterialCoefficients,
    txtReportTitle;
// Blow directions, indexed by the direction code 0 up, 1 side, 2 down.
extern const TextPair txtDirUp, txtDirSide, txtDirDown;
extern const TextPair* const txtDirections[3];

// Files and dialogs.
extern const TextPair txtOpenFileTitle, txtSaveAsTitle, txtFileDamaged, txtFileQuote,
    txtCantCreateFile;

// Exchange status (status bar panel 1).
extern const TextPair txtStatusCheckConnection, txtStatusReadingVersion,
    txtStatusReadingParameters, txtStatusDataRead, txtStatusParamRead, txtStatusParamWritten,
    txtStatusNoData, txtStatusLinkError, txtStatusInUse;
// What a failed transfer could not move, and why (after txtStatusLinkError and ": ").
extern const TextPair txtBlockVersion, txtBlockParameters, txtBlockMaterials, txtBlockData,
    txtBlockObjects, txtBlockMaterialsWrite, txtBlockObjectsWrite;
// How a request to the instrument ended, as its requester tells it.
extern const TextPair txtOutcomeRead, txtOutcomeWritten, txtOutcomeNotConnected, txtOutcomeBusy,
    txtOutcomeReplacedByFile, txtOutcomeTimedOut, txtOutcomeMayHoldPart;
extern const TextPair txtFaultNoTransport, txtFaultCommand, txtFaultBlockWrite, txtFaultNoReply,
    txtFaultReplyCut, txtFaultReplyTooLong;

// The form a Russian noun takes after the number n: 0 as after 1, 21, 101 ("серия"),
// 1 as after 2-4, 22-24 ("серии"), 2 as after 0, 5-20, 25 ("серий").
constexpr int RussianNumberForm(qint64 n) {
  const qint64 tens = n % 100, ones = n % 10;
  if (tens >= 11 && tens <= 14) return 2;
  return ones == 1 ? 0 : ones >= 2 && ones <= 4 ? 1 : 2;
}

// The archive's list: the columns after table 1's nine.
inline constexpr TextPair txtArchiveInstrument{u"Прибор", u"Instrument"};
inline constexpr TextPair txtArchiveNote{u"Примечание", u"Note"};

// The archive's summary: the group's column, then the figures of its series.
inline constexpr TextPair txtArchiveDay{u"День", u"Day"};
inline constexpr TextPair txtArchiveMonth{u"Месяц", u"Month"};
inline constexpr TextPair txtArchiveSeries{u"Серий", u"Series"};
inline constexpr TextPair txtArchiveMean{u"Среднее", u"Mean"};
inline constexpr TextPair txtArchiveMinimum{u"Минимум", u"Minimum"};
inline constexpr TextPair txtArchiveMaximum{u"Максимум", u"Maximum"};
inline constexpr TextPair txtArchiveDeviation{u"Ст.отклонение", u"Std.deviation"};
inline constexpr TextPair txtArchiveFirst{u"Первая", u"First"};
inline constexpr TextPair txtArchiveLast{u"Последняя", u"Last"};
inline constexpr TextPair txtArchiveIsoDate{u"г-м-д", u"y-m-d"};
inline constexpr TextPair txtArchiveIsoMonth{u"г-м", u"y-m"};

// Texts that are the same in both languages.
inline constexpr QStringView kLangRusCaption = u"Русский";
inline constexpr QStringView kLangEngCaption = u"English";
inline constexpr QStringView kLanguageChooserTitle = u"Язык (Language)";
inline constexpr QStringView kConnectingStatus = u"Попытка соединения...";
inline constexpr QStringView kTable2DataError = u"Ошибка данных (таблица 2)";

}  // namespace zarn
