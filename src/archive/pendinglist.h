#pragma once
// What is waiting to go into the archive: reads and opened data files that the archive
// could not take when they came (a server out of reach, a full disk, a damaged file).
// Each waits in the pending folder (PendingFolder()) as one entry file, NAME.json:
//   {"kind": "read"|"file", "file": PATH, "version": TEXT, "when": UTC}
// A read keeps its data file beside it (NAME.zarn, written before the entry, so an
// entry never names a file that is not there); an opened file keeps its path. Entries
// go in oldest first; an entry leaves the folder once its import is in the archive, so
// that it goes in once.

#include <QDateTime>
#include <QList>
#include <QString>

#include "archive.h"
#include "common/filewrite.h"
#include "common/images.h"

namespace zarn {

struct PendingEntry {
  QString entryFile;  // the NAME.json
  ImportKind kind = ImportKind::File;
  QString file;       // the read's data file in the folder, or the opened file's path
  QString version;    // a read's instrument
  QDateTime when;     // when the read ended or the file was opened (UTC)
};

// What ImportInto did.
struct PendingImport {
  int imported = 0;  // entries that went in
  int series = 0, added = 0;
  // Entries that never can go in (their file gone or no data file any more): taken
  // off the list, with why, one sentence each.
  QList<ArchiveError> dropped;
  // The archive failed on the way: what is left waits for the next try.
  std::optional<ArchiveError> unusable;
};

class PendingList {
 public:
  explicit PendingList(QString folder);  // ends with '/' or not
  const QString& Folder() const { return folder_; }

  // Keeps a read: its data file, then its entry; the folder is made when needed.
  FileWriteResult AddRead(const DeviceImages& images, const QString& version,
                          const QDateTime& when = QDateTime::currentDateTimeUtc());
  // Keeps an opened file's path; a path that waits already is not added again.
  FileWriteResult AddFile(const QString& path, const QDateTime& when = QDateTime::currentDateTimeUtc());

  // Oldest first; an entry file that cannot be read is left where it is and skipped.
  QList<PendingEntry> Entries() const;
  bool IsEmpty() const { return Entries().isEmpty(); }
  // Takes an entry off the list: the entry first, then a read's data file.
  bool Remove(const PendingEntry& entry) const;

  // Imports the entries into `archive`, oldest first, each taken off the list once it
  // is in; stops at the first failure of the archive.
  PendingImport ImportInto(Archive& archive) const;

 private:
  QString NewName(const QDateTime& when) const;
  FileWriteResult WriteEntry(const QString& name, const PendingEntry& entry) const;

  QString folder_;
};

}  // namespace zarn
