#include "preparedfile.h"

#include <zlib.h>

#include <QFile>
#include <bit>
#include <cmath>
#include <cstring>

#include "common/bytes.h"

namespace zarn {
namespace {

constexpr qsizetype kHeaderSize = 20;
// Larger files are refused before they are read: no report of this program comes near.
constexpr qint64 kMaxFileSize = qint64(1) << 30;
constexpr double kMaxPageMm = 10000;
constexpr float kMaxFontPt = 1000;
constexpr uint8_t kFrameFlag = 1;
constexpr uint8_t kNumberFlag = 2;

uint32_t Crc32(const char* data, qsizetype size) {
  uLong crc = crc32(0L, Z_NULL, 0);
  while (size > 0) {
    const uInt chunk = uInt(std::min<qsizetype>(size, 1 << 30));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(data), chunk);
    data += chunk;
    size -= chunk;
  }
  return uint32_t(crc);
}

class Writer {
 public:
  void U8(uint8_t v) { out_.append(char(v)); }
  void U32(uint32_t v) {
    uint8_t b[4];
    PutU32(b, v);
    out_.append(reinterpret_cast<const char*>(b), 4);
  }
  void F32(float v) { U32(std::bit_cast<uint32_t>(v)); }
  void F64(double v) {
    const uint64_t bits = std::bit_cast<uint64_t>(v);
    U32(uint32_t(bits));
    U32(uint32_t(bits >> 32));
  }
  void Text(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    U32(uint32_t(utf8.size()));
    out_.append(utf8);
  }
  QByteArray& Bytes() { return out_; }

 private:
  QByteArray out_;
};

// Reads the payload; every read checks that the bytes are there, and a failed check
// fails every read after it.
class Reader {
 public:
  Reader(const char* data, qsizetype size) : p_(data), end_(data + size) {}

  bool ok() const { return ok_; }
  bool AtEnd() const { return p_ == end_; }
  qsizetype Left() const { return end_ - p_; }
  void Fail() { ok_ = false; }

  uint8_t U8() {
    if (!Need(1)) return 0;
    return uint8_t(*p_++);
  }
  uint32_t U32() {
    if (!Need(4)) return 0;
    const uint32_t v = GetU32(reinterpret_cast<const uint8_t*>(p_));
    p_ += 4;
    return v;
  }
  float F32() { return Finite(std::bit_cast<float>(U32())); }
  double F64() {
    const uint64_t low = U32();
    const uint64_t high = U32();
    return Finite(std::bit_cast<double>(low | high << 32));
  }
  // A count of items of at least `minBytes` each, which must all fit in what is left.
  uint32_t Count(qsizetype minBytes) {
    const uint32_t n = U32();
    if (qsizetype(n) > Left() / minBytes) {
      Fail();
      return 0;
    }
    return n;
  }
  QString Text() {
    const uint32_t n = Count(1);
    if (!ok_) return {};
    const QByteArray utf8(p_, qsizetype(n));
    p_ += n;
    QString text = QString::fromUtf8(utf8);
    // Only well-formed UTF-8: a replaced byte is damage, not a text.
    if (text.toUtf8() != utf8) Fail();
    return text;
  }

 private:
  bool Need(qsizetype n) {
    if (!ok_ || end_ - p_ < n) {
      ok_ = false;
      p_ = end_;
      return false;
    }
    return true;
  }
  template <typename T>
  T Finite(T v) {
    if (!std::isfinite(v)) Fail();
    return v;
  }

  const char* p_;
  const char* end_;
  bool ok_ = true;
};

// Bytes a cell, a band, a line and a point take at least.
constexpr qsizetype kCellBytes = 4 * 8 + 4 + 1 + 1 + 4;
constexpr qsizetype kBandBytes = 1 + 4 + 4;
constexpr qsizetype kLineBytes = 4 + 4 + 4;
constexpr qsizetype kPointBytes = 8;
constexpr qsizetype kPageBytes = 3 * 4;

bool SoundGeometry(const PageGeometry& g) {
  auto length = [](double v) { return v > 0 && v <= kMaxPageMm; };
  auto margin = [](double v, double of) { return v >= 0 && v < of; };
  return length(g.width) && length(g.height) && margin(g.left, g.width) && margin(g.right, g.width) &&
         margin(g.top, g.height) && margin(g.bottom, g.height);
}

// A position or a size no sheet could have: the painter turns millimetres into whole
// device pixels, which such a number does not fit.
bool OnSheet(double v) { return v >= -kMaxPageMm && v <= kMaxPageMm; }

bool ReadPage(Reader& in, PreparedPage& page) {
  const uint32_t cells = in.Count(kCellBytes);
  page.cells.resize(cells);
  for (PreparedCell& c : page.cells) {
    const double x = in.F64(), y = in.F64(), w = in.F64(), h = in.F64();
    c.rect = QRectF(x, y, w, h);
    c.fontPt = in.F32();
    const uint8_t flags = in.U8();
    const uint8_t align = in.U8();
    c.text = in.Text();
    if (!in.ok() || !OnSheet(x) || !OnSheet(y) || w < 0 || h < 0 || !OnSheet(w) || !OnSheet(h) ||
        !(c.fontPt > 0 && c.fontPt <= kMaxFontPt) ||
        (flags & ~(kFrameFlag | kNumberFlag)) != 0 || align > uint8_t(CellAlign::Right)) {
      return false;
    }
    c.frame = flags & kFrameFlag;
    c.number = flags & kNumberFlag;
    c.align = CellAlign(align);
  }
  const uint32_t bands = in.Count(kBandBytes);
  page.bands.resize(bands);
  for (PreparedBand& b : page.bands) {
    const uint8_t kind = in.U8();
    const uint32_t first = in.U32();
    const uint32_t count = in.U32();
    if (!in.ok() || kind >= kBandKinds || first > cells || count > cells - first || count == 0) return false;
    b = {BandKind(kind), int(first), int(count)};
  }
  const uint32_t lines = in.Count(kLineBytes);
  page.lines.resize(lines);
  for (PreparedLine& l : page.lines) {
    l.colour = in.U32();
    l.widthMm = in.F32();
    const uint32_t points = in.Count(kPointBytes);
    if (!in.ok() || !(l.widthMm >= 0 && l.widthMm <= kMaxPageMm)) return false;
    l.points.resize(points);
    for (PreparedLine::Point& p : l.points) {
      p = {in.F32(), in.F32()};
      if (!OnSheet(p.x) || !OnSheet(p.y)) return false;
    }
  }
  return in.ok();
}

}  // namespace

QByteArray PreparedReportBytes(const PreparedReport& report, int language) {
  Writer w;
  w.U8(uint8_t(language));
  const PageGeometry& g = report.page;
  for (double v : {g.width, g.height, g.left, g.right, g.top, g.bottom}) w.F64(v);
  w.Text(report.fontFamily);
  w.U32(uint32_t(report.pages.size()));
  for (const PreparedPage& page : report.pages) {
    w.U32(uint32_t(page.cells.size()));
    for (const PreparedCell& c : page.cells) {
      for (double v : {c.rect.x(), c.rect.y(), c.rect.width(), c.rect.height()}) w.F64(v);
      w.F32(c.fontPt);
      w.U8(uint8_t((c.frame ? kFrameFlag : 0) | (c.number ? kNumberFlag : 0)));
      w.U8(uint8_t(c.align));
      w.Text(c.text);
    }
    w.U32(uint32_t(page.bands.size()));
    for (const PreparedBand& b : page.bands) {
      w.U8(uint8_t(b.kind));
      w.U32(uint32_t(b.first));
      w.U32(uint32_t(b.count));
    }
    w.U32(uint32_t(page.lines.size()));
    for (const PreparedLine& l : page.lines) {
      w.U32(l.colour);
      w.F32(l.widthMm);
      w.U32(uint32_t(l.points.size()));
      for (const PreparedLine::Point& p : l.points) {
        w.F32(p.x);
        w.F32(p.y);
      }
    }
  }
  const QByteArray& payload = w.Bytes();
  Writer head;
  head.Bytes().append(kPreparedSignature, sizeof kPreparedSignature);
  head.U32(kPreparedVersion);
  head.U32(uint32_t(payload.size()));
  head.U32(Crc32(payload.constData(), payload.size()));
  return head.Bytes() + payload;
}

bool LooksLikePreparedReport(const QByteArray& head) {
  return head.size() >= qsizetype(sizeof kPreparedSignature) &&
         std::memcmp(head.constData(), kPreparedSignature, sizeof kPreparedSignature) == 0;
}

std::optional<PreparedFile> ParsePreparedReport(const QByteArray& bytes) {
  if (bytes.size() < kHeaderSize || !LooksLikePreparedReport(bytes)) return {};
  const auto* head = reinterpret_cast<const uint8_t*>(bytes.constData());
  const uint32_t version = GetU32(head + 8);
  const uint32_t size = GetU32(head + 12);
  if (version != kPreparedVersion || qsizetype(size) != bytes.size() - kHeaderSize) return {};
  const char* payload = bytes.constData() + kHeaderSize;
  if (Crc32(payload, size) != GetU32(head + 16)) return {};

  Reader in(payload, size);
  PreparedFile file;
  file.language = in.U8();
  PageGeometry& g = file.report.page;
  for (double* v : {&g.width, &g.height, &g.left, &g.right, &g.top, &g.bottom}) *v = in.F64();
  file.report.fontFamily = in.Text();
  if (!in.ok() || file.language > 1 || !SoundGeometry(g)) return {};
  const uint32_t pages = in.Count(kPageBytes);
  if (!in.ok() || pages == 0) return {};
  file.report.pages.resize(pages);
  for (PreparedPage& page : file.report.pages) {
    if (!ReadPage(in, page)) return {};
  }
  if (!in.ok() || !in.AtEnd()) return {};
  return file;
}

std::optional<PreparedFile> ReadPreparedReport(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxFileSize) return {};
  const QByteArray bytes = f.readAll();
  if (f.error() != QFileDevice::NoError) return {};
  return ParsePreparedReport(bytes);
}

}  // namespace zarn
