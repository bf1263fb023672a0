// Compression, the series' own bytes, parts and data images rebuilt from the archive.

#include <algorithm>
#include <cstring>
#include <map>
#include <openssl/evp.h>
#include <zlib.h>

#include "archiveinternal.h"
#include "data/process.h"

namespace zarn {
namespace {

// A deflate stream kept for the thread's next call: starting one allocates a quarter
// of a megabyte, which for thousands of small series costs more than compressing them.
struct DeflateStream {
  z_stream z{};
  bool ready = false;
  explicit DeflateStream(int level) { ready = deflateInit(&z, level) == Z_OK; }
  ~DeflateStream() {
    if (ready) deflateEnd(&z);
  }
};
struct InflateStream {
  z_stream z{};
  bool ready = false;
  InflateStream() { ready = inflateInit(&z) == Z_OK; }
  ~InflateStream() {
    if (ready) inflateEnd(&z);
  }
};

constexpr qsizetype kChunk = kSparseChunk;
constexpr qsizetype kChunks = qsizetype(kDataImageSize) / kChunk;
constexpr qsizetype kBitmap = kChunks / 8;

}  // namespace

Sha256Stream::Sha256Stream() : context_(EVP_MD_CTX_new()) {
  EVP_DigestInit_ex(static_cast<EVP_MD_CTX*>(context_), EVP_sha256(), nullptr);
}
Sha256Stream::~Sha256Stream() { EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context_)); }
void Sha256Stream::Add(QByteArrayView bytes) {
  EVP_DigestUpdate(static_cast<EVP_MD_CTX*>(context_), bytes.data(), size_t(bytes.size()));
}
QByteArray Sha256Stream::Result() {
  QByteArray digest(32, Qt::Uninitialized);
  unsigned int length = 0;
  auto* c = static_cast<EVP_MD_CTX*>(context_);
  EVP_DigestFinal_ex(c, reinterpret_cast<unsigned char*>(digest.data()), &length);
  EVP_DigestInit_ex(c, EVP_sha256(), nullptr);
  return digest;
}

QByteArray Sha256(QByteArrayView bytes) {
  thread_local Sha256Stream stream;
  stream.Add(bytes);
  return stream.Result();
}

QByteArray FullImage(const QByteArray& sparse) {
  if (sparse.size() < kBitmap) return {};
  QByteArray image(qsizetype(kDataImageSize), '\0');
  qsizetype at = kBitmap;
  for (qsizetype c = 0; c < kChunks; ++c) {
    if (!(uint8_t(sparse[c / 8]) >> (c % 8) & 1)) continue;
    if (at + kChunk > sparse.size()) return {};
    std::memcpy(image.data() + c * kChunk, sparse.constData() + at, kChunk);
    at += kChunk;
  }
  return at == sparse.size() ? image : QByteArray();
}

QByteArray Deflate(QByteArrayView bytes, int level) {
  thread_local std::map<int, DeflateStream> streams;
  DeflateStream& s = streams.try_emplace(level, level).first->second;
  if (!s.ready) return {};
  deflateReset(&s.z);
  QByteArray out(qsizetype(deflateBound(&s.z, uLong(bytes.size()))), Qt::Uninitialized);
  s.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  s.z.avail_in = uInt(bytes.size());
  s.z.next_out = reinterpret_cast<Bytef*>(out.data());
  s.z.avail_out = uInt(out.size());
  if (deflate(&s.z, Z_FINISH) != Z_STREAM_END) return {};
  out.truncate(qsizetype(s.z.total_out));
  return out;
}

bool Inflate(QByteArrayView compressed, char* out, qsizetype size) {
  thread_local InflateStream s;
  if (!s.ready) return false;
  inflateReset(&s.z);
  s.z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  s.z.avail_in = uInt(compressed.size());
  s.z.next_out = reinterpret_cast<Bytef*>(out);
  s.z.avail_out = uInt(size);
  // Exactly `size` bytes, and the stream ends there.
  return inflate(&s.z, Z_FINISH) == Z_STREAM_END && qsizetype(s.z.total_out) == size && s.z.avail_in == 0;
}

uint32_t OwnSize(const uint8_t* record) {
  return uint32_t(kProcessHeaderSize + kBlowRecordSize * uint32_t(ProcessView(record).shownBlowCount()));
}

QByteArray CompressOwn(const uint8_t* record) {
  const uint32_t own = OwnSize(record);
  return Deflate(QByteArrayView(record + kProcessHeaderSize, qsizetype(own - kProcessHeaderSize)), kBodyLevel);
}

uint32_t OwnBytes(const QByteArray& head, const QByteArray& body, uint8_t* out) {
  if (head.size() != qsizetype(kProcessHeaderSize)) return 0;
  const uint32_t own = OwnSize(reinterpret_cast<const uint8_t*>(head.constData()));
  if (!Inflate(body, reinterpret_cast<char*>(out) + kProcessHeaderSize, qsizetype(own - kProcessHeaderSize)))
    return 0;
  std::memcpy(out, head.constData(), kProcessHeaderSize);
  return own;
}

ArchiveResult<QByteArray> ArchiveStore::Part(qint64 id) {
  QSqlQuery q = db.Query();
  if (!db.Run(q, QStringLiteral("SELECT sha256, size, data FROM parts WHERE id = ?"), {id}))
    return db.Failure(db.LastError());
  if (!q.next()) return Damaged(QStringLiteral("part %1 is missing").arg(id));
  const qint64 size = q.value(1).toLongLong();
  if (size < 0 || size > (qint64(1) << 30)) return Damaged(QStringLiteral("part %1").arg(id));
  QByteArray bytes(qsizetype(size), Qt::Uninitialized);
  if (!Inflate(q.value(2).toByteArray(), bytes.data(), bytes.size()) || Sha256(bytes) != q.value(0).toByteArray())
    return Damaged(QStringLiteral("part %1 does not match its SHA-256").arg(id));
  return bytes;
}

ArchiveResult<QByteArray> ArchiveStore::LayoutImage(qint64 layoutId, qint64 residueId) {
  QSqlQuery q = db.Query();
  if (!residueId) {
    if (!db.Run(q, QStringLiteral("SELECT residue_part FROM imports WHERE layout_id = ? ORDER BY id LIMIT 1"),
                {layoutId}))
      return db.Failure(db.LastError());
    if (!q.next()) return Damaged(QStringLiteral("layout %1 belongs to no import").arg(layoutId));
    residueId = q.value(0).toLongLong();
    q.finish();
  }
  if (db.cachedLayout == layoutId && db.cachedResidue == residueId && !db.cachedImage.isEmpty())
    return db.cachedImage;
  auto sparse = Part(residueId);
  if (!sparse) return sparse.error();
  ArchiveResult<QByteArray> image = FullImage(*sparse);
  if (image->size() != qsizetype(kDataImageSize)) return Damaged(QStringLiteral("part %1").arg(residueId));
  if (!db.Run(q, QStringLiteral("SELECT l.at_byte, s.id, s.head, b.body FROM layout_series l "
                                "JOIN series s ON s.id = l.series_id JOIN series_bodies b ON b.id = s.id "
                                "WHERE l.layout_id = ?"),
              {layoutId}))
    return db.Failure(db.LastError());
  ProcessRecordBuffer own;
  uint8_t* data = reinterpret_cast<uint8_t*>(image->data());
  while (q.next()) {
    const qint64 at = q.value(0).toLongLong();
    const uint32_t size = OwnBytes(q.value(2).toByteArray(), q.value(3).toByteArray(), own.data());
    if (!size || at < 0 || at >= qint64(kDataImageSize))
      return Damaged(QStringLiteral("series %1").arg(q.value(1).toLongLong()));
    std::memcpy(data + at, own.data(), size_t(std::min<qint64>(size, qint64(kDataImageSize) - at)));
  }
  if (q.lastError().isValid()) return db.Failure(q.lastError());
  db.cachedLayout = layoutId;
  db.cachedResidue = residueId;
  db.cachedImage = *image;
  return image;
}

}  // namespace zarn
