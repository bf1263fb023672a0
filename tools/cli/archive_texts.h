#pragma once
// The texts of zarn26-cli archive in the program's two languages: the headings its
// tables add to table 1's and those of its summary and import tables, and what it
// tells on the way.

#include "common/texts.h"

namespace zarn::cli {

// list and summary: the texts the archive window shows too (common/texts.h); then the Id.
inline constexpr TextPair txtArchiveId{u"Код", u"Id"};

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
