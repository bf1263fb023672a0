#pragma once
// The texts of zarn26-cli archive in the program's two languages: the headings its
// tables add to table 1's and those of its summary and import tables, and what it
// tells on the way.

#include "common/texts.h"

namespace zarn::cli {

// list: the columns after table 1's nine.
inline constexpr TextPair txtArchiveInstrument{u"Прибор", u"Instrument"};
inline constexpr TextPair txtArchiveNote{u"Примечание", u"Note"};
inline constexpr TextPair txtArchiveId{u"Код", u"Id"};

// summary: the group's column, then the figures of its series.
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

// imports.
inline constexpr TextPair txtArchiveWhen{u"Время (UTC)", u"Time (UTC)"};
inline constexpr TextPair txtArchiveKind{u"Вид", u"Kind"};
inline constexpr TextPair txtArchiveSource{u"Источник", u"Source"};
inline constexpr TextPair txtArchiveNew{u"Новых", u"New"};
inline constexpr TextPair txtArchiveKindRead{u"чтение", u"read"};
inline constexpr TextPair txtArchiveKindFile{u"файл", u"file"};

// What the actions tell.
inline constexpr TextPair txtArchiveImported{u"%1: серий %2, новых %3, уже в архиве %4",
                                             u"%1: %2 series, %3 new, %4 already kept"};
inline constexpr TextPair txtArchiveNoneSelected{u"ни одна серия не отобрана", u"no series selected"};
inline constexpr TextPair txtArchiveNothingWritten{u"ни одна серия не отобрана; \"%1\" не записан",
                                                   u"no series selected; \"%1\" was not written"};
inline constexpr TextPair txtArchiveExported{u"записан \"%1\" (серий: %2)", u"wrote \"%1\" (%2 series)"};
inline constexpr TextPair txtArchiveImportWritten{u"записан \"%1\" (импорт %2)", u"wrote \"%1\" (import %2)"};
inline constexpr TextPair txtArchiveNoteSet{u"серия %1: примечание записано", u"series %1: note kept"};
inline constexpr TextPair txtArchiveNoteCleared{u"серия %1: примечание снято", u"series %1: note cleared"};
inline constexpr TextPair txtArchiveSound{u"%1: проверено серий %2, архив в порядке",
                                          u"%1: %2 series checked, the archive is sound"};
inline constexpr TextPair txtArchiveDamaged{u"%1: архив повреждён (%2)", u"%1: the archive is damaged (%2)"};
inline constexpr TextPair txtArchiveMakeIt{u" (его создаёт zarn26-cli archive import ФАЙЛ.zarn)",
                                           u" (zarn26-cli archive import FILE.zarn makes it)"};
inline constexpr TextPair txtArchiveKeptToo{u"чтение сохранено и в архиве %1: серий %2, новых %3",
                                            u"the read is kept in the archive %1 too: %2 series, %3 new"};

}  // namespace zarn::cli
