// Prepared report files come from anywhere: the reader refuses, never crashes, and
// what it accepts is a report the exports can take whole and that writes back to the
// very bytes it was read from. With the first input byte odd, the CRC-32 is set to the
// payload's, which takes the reader past the check into the pages.

#include <zlib.h>

#include <QByteArray>
#include <QGuiApplication>
#include <cstdint>
#include <cstdlib>

#include "report/exportformats.h"
#include "report/flowlayout.h"
#include "report/preparedfile.h"
#include "report/reportengine.h"
#include "report/sheettable.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

// The RTF export draws a page's free cells and lines as a picture, which needs fonts:
// an application on the offscreen platform.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static QGuiApplication app(*argc, *argv);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
  if ((data[0] & 1) && bytes.size() >= 20) {
    const uint32_t crc = uint32_t(
        crc32(0, reinterpret_cast<const Bytef*>(bytes.constData() + 20), uInt(bytes.size() - 20)));
    for (int i = 0; i < 4; ++i) bytes[16 + i] = char(crc >> (8 * i));
    if (data[0] & 2) {
      for (int i = 0; i < 8; ++i) bytes[i] = zarn::kPreparedSignature[i];
    }
  }
  const std::optional<zarn::PreparedFile> file = zarn::ParsePreparedReport(bytes);
  if (!file) return 0;
  Check(zarn::LooksLikePreparedReport(bytes));
  Check(!file->report.pages.empty());
  Check(zarn::PreparedReportBytes(file->report, file->language) == bytes);
  for (const zarn::ReportHit& hit : zarn::FindInReport(file->report, QStringLiteral("1")))
    Check(file->report.pages[size_t(hit.page)].cells[size_t(hit.cell)].text.contains(u'1'));
  // The exports: each takes any page the reader accepts.
  zarn::TextBytes(file->report);
  zarn::HtmlBytes(file->report, file->language);
  zarn::RtfBytes(file->report, {file->language, {}, {}});
  zarn::FlowOf(file->report);
  zarn::SheetCsv(zarn::SheetOf(file->report), zarn::kCsvPoint);
  return 0;
}
