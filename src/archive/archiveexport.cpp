// Series out of the archive into a new data file.
//
// The instrument packs its series by the bytes they use (the head and the blows it
// took), so a series' 8312 bytes run on into whatever followed it. A series is laid
// right behind the used bytes of the one before when its bytes agree with what is
// already there (it followed that series in the instrument's memory), else after all
// bytes written so far; no series begins below offset 512 of a page, and each lies
// whole inside the image. Every series thus keeps its 8312 bytes, and importing the
// file again finds every one of them kept.

#include <memory>

#include "archive.h"
#include "archivedb.h"
#include "archiveinternal.h"
#include "common/bytes.h"
#include "data/datafile.h"

namespace zarn {
namespace {

constexpr qint64 kFirstOffset = 512;

// The first place at or after `at` where a series may begin.
qint64 Allowed(qint64 at) {
  const qint64 inPage = at % qint64(kDataPageSize);
  return inPage < kFirstOffset ? at - inPage + kFirstOffset : at;
}

uint32_t UsedBytes(const ProcessView& p) {
  return uint32_t(kProcessHeaderSize + kBlowRecordSize * uint32_t(p.shownBlowCount()));
}

ArchiveError TooMany(qsizetype count, qsizetype fit) {
  return MakeArchiveError(
      ArchiveErrorKind::TooMany,
      QStringLiteral("выбрано серий: %1; в один файл данных помещается %2; файл не записан").arg(count).arg(fit),
      QStringLiteral("%1 series selected, one data file holds %2 of them; nothing was written").arg(count).arg(fit));
}

}  // namespace

ArchiveResult<int> Archive::Export(const SeriesFilter& filter, const QString& outPath) const {
  auto list = List(filter);
  if (!list) return list.error();
  return WriteSeries(*list, outPath);
}

ArchiveResult<int> Archive::ExportSeries(const QList<qint64>& seriesIds, const QString& outPath) const {
  // More than a data file holds is refused before the database is asked for them.
  if (seriesIds.size() > qsizetype(kDirectoryEntries)) return TooMany(seriesIds.size(), kDirectoryEntries);
  auto list = Select(nullptr, &seriesIds);
  if (!list) return list.error();
  for (qint64 id : seriesIds) {
    if (std::none_of(list->begin(), list->end(), [id](const ArchivedSeries& s) { return s.id == id; }))
      return NoSuchSeries(id);
  }
  return WriteSeries(*list, outPath);
}

ArchiveResult<int> Archive::WriteSeries(const QList<ArchivedSeries>& series, const QString& outPath) const {
  if (series.isEmpty())
    return MakeArchiveError(ArchiveErrorKind::NotFound, QStringLiteral("ни одна серия не выбрана; файл не записан"),
                            QStringLiteral("no series selected; nothing was written"));
  if (series.size() > qsizetype(kDirectoryEntries)) return TooMany(series.size(), kDirectoryEntries);
  auto images = std::make_unique<DeviceImages>();
  uint8_t* image = images->DataImage.data();
  qint64 end = 0;       // the bytes written so far
  qint64 previous = -1;  // where the series before begins
  uint32_t previousUsed = 0;
  qint64 newest = 0;
  for (qsizetype k = 0; k < series.size(); ++k) {
    auto record = Record(series[k].id);
    if (!record) return record.error();
    const uint8_t* r = record->data();
    qint64 at = -1;
    if (previous >= 0) {
      const qint64 behind = Allowed(previous + previousUsed);
      if (behind <= end && behind + qint64(kProcessRecordSize) <= qint64(kDataImageSize) &&
          std::memcmp(image + behind, r, size_t(end - behind)) == 0)
        at = behind;
    }
    if (at < 0) at = Allowed(end);
    if (at + qint64(kProcessRecordSize) > qint64(kDataImageSize)) return TooMany(series.size(), k);
    std::memcpy(image + at, r, kProcessRecordSize);
    end = std::max(end, at + qint64(kProcessRecordSize));
    uint8_t* entry = images->ParamBlock.data() + kDirectoryEntrySize * size_t(k);
    PutU16(entry, uint16_t(at % qint64(kDataPageSize)));
    entry[2] = uint8_t(at / qint64(kDataPageSize));
    entry[3] = 1;
    previous = at;
    previousUsed = UsedBytes(ProcessView(r));
    if (!series[k].imports.isEmpty()) newest = std::max(newest, series[k].imports.back());
  }
  // The materials and objects of the newest import among them.
  if (newest > 0) {
    ArchiveDatabase& db = *db_;
    QSqlQuery q = db.Query();
    if (!db.Run(q, QStringLiteral("SELECT materials_part, objects_part FROM imports WHERE id = ?"), {newest}))
      return db.Failure(db.LastError());
    if (q.next()) {
      const qint64 materialsId = q.value(0).toLongLong(), objectsId = q.value(1).toLongLong();
      q.finish();
      ArchiveStore store{db};
      auto materials = store.Part(materialsId);
      if (!materials) return materials.error();
      auto objects = store.Part(objectsId);
      if (!objects) return objects.error();
      std::memcpy(images->MaterialsBlock.data(), materials->constData(),
                  std::min<size_t>(size_t(materials->size()), kMaterialsBlockSize));
      std::memcpy(images->ObjectsBlock.data(), objects->constData(),
                  std::min<size_t>(size_t(objects->size()), kObjectsBlockSize));
    }
  }
  if (const FileWriteResult written = WriteDataFile(outPath, *images); !written) return OutputError(written);
  return int(series.size());
}

}  // namespace zarn
