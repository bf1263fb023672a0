#pragma once
// Prepared reports on disk: the laid-out pages saved by the preview (or zarn26-cli
// report --format prepared), to be paged, searched, printed and exported again later
// without the data file they came from.
//
// The file (little-endian):
//   0  8  signature "ZarnRep\x1A"
//   8  4  format version (kPreparedVersion; a newer one is refused)
//  12  4  size of the payload in bytes (the file is exactly 20 + that long)
//  16  4  CRC-32 of the payload
//  20  .  payload: the language (1 byte), the page geometry (6 doubles, mm), the font
//         family (text), the pages; a page is its cells (rectangle as 4 doubles, font
//         size as a float, flags, alignment, text), its bands (kind, first cell, cell
//         count) and its lines (colour, width, points as float pairs). A count is 4
//         bytes; a text is its UTF-8 length (4 bytes) and its bytes.
// Every count, band, number and text is checked on reading; a file that fails any check
// is refused whole.

#include <QByteArray>
#include <QString>
#include <optional>

#include "report/reportengine.h"

namespace zarn {

inline constexpr char kPreparedSignature[8] = {'Z', 'a', 'r', 'n', 'R', 'e', 'p', '\x1A'};
inline constexpr uint32_t kPreparedVersion = 1;
// The suffix the file dialogs propose.
inline constexpr char16_t kPreparedSuffix[] = u"repzarn";

struct PreparedFile {
  int language = 0;  // the language the pages were made in (for the exports' metadata)
  PreparedReport report;
};

QByteArray PreparedReportBytes(const PreparedReport& report, int language);

// Whether the bytes start like a prepared report (the signature), whatever follows.
bool LooksLikePreparedReport(const QByteArray& head);

// The report; nothing when the bytes are not a whole, sound prepared report of a
// version this program reads.
std::optional<PreparedFile> ParsePreparedReport(const QByteArray& bytes);

// Reads the file; nothing when it cannot be read or is not a sound prepared report.
std::optional<PreparedFile> ReadPreparedReport(const QString& path);

}  // namespace zarn
