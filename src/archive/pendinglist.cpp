#include "pendinglist.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <memory>

#include "data/datafile.h"

namespace zarn {
namespace {

constexpr qint64 kMaxEntrySize = 64 * 1024;  // an entry is a few hundred bytes

QString WithSlash(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(u'/')) folder += u'/';
  return folder;
}

}  // namespace

PendingList::PendingList(QString folder) : folder_(WithSlash(std::move(folder))) {}

QString PendingList::NewName(const QDateTime& when) const {
  // The time first, so that the names sort as the entries came; a number after it for
  // entries of the same millisecond.
  const QString stamp = when.toUTC().toString(QStringLiteral("yyyyMMdd-HHmmsszzz"));
  for (int n = 1;; ++n) {
    const QString name = folder_ + stamp + QStringLiteral("-%1").arg(n, 3, 10, QLatin1Char('0'));
    if (!QFileInfo::exists(name + QStringLiteral(".json")) && !QFileInfo::exists(name + QStringLiteral(".zarn")))
      return name;
  }
}

FileWriteResult PendingList::WriteEntry(const QString& name, const PendingEntry& entry) const {
  QJsonObject o;
  o.insert(QStringLiteral("kind"), entry.kind == ImportKind::Read ? QStringLiteral("read") : QStringLiteral("file"));
  o.insert(QStringLiteral("file"), entry.file);
  o.insert(QStringLiteral("version"), entry.version);
  o.insert(QStringLiteral("when"), entry.when.toUTC().toString(Qt::ISODateWithMs));
  return WriteFileAtomically(name + QStringLiteral(".json"), QJsonDocument(o).toJson(), true);
}

FileWriteResult PendingList::AddRead(const DeviceImages& images, const QString& version, const QDateTime& when) {
  QDir().mkpath(folder_);
  const QString name = NewName(when);
  PendingEntry entry{{}, ImportKind::Read, name + QStringLiteral(".zarn"), version, when};
  if (FileWriteResult written = WriteDataFile(entry.file, images); !written) return written;
  FileWriteResult written = WriteEntry(name, entry);
  if (!written) QFile::remove(entry.file);
  return written;
}

FileWriteResult PendingList::AddFile(const QString& path, const QDateTime& when) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  for (const PendingEntry& e : Entries())
    if (e.kind == ImportKind::File && e.file == absolute) return {};
  return WriteEntry(NewName(when), PendingEntry{{}, ImportKind::File, absolute, {}, when});
}

QList<PendingEntry> PendingList::Entries() const {
  QList<PendingEntry> entries;
  const QDir dir(folder_);
  for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
    QFile f(dir.filePath(name));
    if (f.size() > kMaxEntrySize || !f.open(QIODevice::ReadOnly)) continue;
    const QJsonObject o = QJsonDocument::fromJson(f.readAll()).object();
    const QString kind = o.value(QStringLiteral("kind")).toString();
    PendingEntry e;
    e.entryFile = f.fileName();
    e.kind = kind == u"read" ? ImportKind::Read : ImportKind::File;
    e.file = o.value(QStringLiteral("file")).toString();
    e.version = o.value(QStringLiteral("version")).toString();
    e.when = QDateTime::fromString(o.value(QStringLiteral("when")).toString(), Qt::ISODateWithMs);
    // Another program's file, or one cut short: not ours to import or to remove.
    if ((kind != u"read" && kind != u"file") || e.file.isEmpty()) continue;
    entries.append(e);
  }
  return entries;
}

bool PendingList::Remove(const PendingEntry& entry) const {
  if (QFileInfo::exists(entry.entryFile) && !QFile::remove(entry.entryFile)) return false;
  // Only a read's own data file, the one in this folder.
  if (entry.kind == ImportKind::Read && QFileInfo(entry.file).absolutePath() == QFileInfo(entry.entryFile).absolutePath())
    QFile::remove(entry.file);
  return true;
}

PendingImport PendingList::ImportInto(Archive& archive) const {
  PendingImport done;
  if (!QFileInfo(folder_).isDir()) return done;
  // Two windows on one pending folder: one of them takes the list at a time, the other
  // leaves it to it.
  QLockFile lock(folder_ + QStringLiteral(".lock"));
  lock.setStaleLockTime(0);
  if (!lock.tryLock(0)) return done;
  for (const PendingEntry& e : Entries()) {
    ImportOrigin origin;
    origin.when = e.when;
    std::optional<ArchiveResult<ImportOutcome>> result;
    if (e.kind == ImportKind::File) {
      result.emplace(archive.ImportFile(e.file, origin));
    } else {
      auto images = std::make_unique<DeviceImages>();
      if (ReadDataFile(e.file, *images) != DataFileStatus::Ok)
        result.emplace(ArchiveError{ArchiveErrorKind::DataFile,
                                    QStringLiteral("файл данных чтения «%1» не читается").arg(e.file),
                                    QStringLiteral("the read's data file \"%1\" cannot be read").arg(e.file)});
      else
        result.emplace(archive.ImportRead(*images, e.version, {}, origin));
    }
    if (!*result) {
      if (result->error().kind == ArchiveErrorKind::Unusable) {
        done.unusable = result->error();
        return done;
      }
      // Never to go in: said once, then taken off the list.
      done.dropped.append(result->error());
      Remove(e);
      continue;
    }
    // In the archive: off the list. An entry that cannot be removed would go in again
    // at the next try; its series would not (each is kept once), only the import.
    Remove(e);
    ++done.imported;
    done.series += (*result)->series;
    done.added += (*result)->added;
  }
  return done;
}

}  // namespace zarn
