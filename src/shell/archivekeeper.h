#pragma once
// TArchiveKeeper: puts every completed read and every opened data file into the lab
// archive on a thread of its own, so that the window never waits for the archive (a
// server may take seconds to answer, or not answer at all).
//
// Each import goes to the archive at the location of the moment it begins, and ends
// there: a location changed meanwhile is used from the next import on. Before its own
// import every job brings in what the pending list holds (pendinglist.h), oldest first.
// When the archive cannot be used, the read's data file or the file's path goes into
// the pending list, so that nothing is lost: it goes in at the next import that works,
// or at the next start.
//
// On destruction the keeper waits at most 3 s for the import under way; what was
// still queued goes into the pending list, and so does the import under way if it does
// not end in time (the thread is then left to the end of the process).

#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "archive/archive.h"
#include "common/filewrite.h"
#include "common/images.h"
#include "common/texts.h"

namespace zarn {

// What one job of the keeper came to, on the main thread.
struct KeepReport {
  quint64 ticket = 0;    // the job's number (KeepRead/KeepFile return it); 0: a retry
  bool job = false;      // a read or a file (not just a retry of the pending list)
  int series = 0;        // series the job and the pending entries that went in carried
  int added = 0;         //   of those, new to the archive
  int pendingIn = 0;     // pending entries that went in
  int pendingLeft = 0;   // entries waiting now
  // The archive could not be used: why. The job waits in the pending list (unless
  // pendingFailed says it could not be kept there either).
  std::optional<ArchiveError> unusable;
  FileWriteResult pendingFailed;  // error != 0: the pending list could not take it
  // The job's own file was no data file for the archive (it changed since it was
  // opened), or a pending entry that can never go in; nothing to do about it.
  QList<ArchiveError> refused;
  QString location;  // the archive as shown (no password)
};

// "12 новых серий сохранено в архиве" / "12 new series kept in the archive", the
// Russian words agreeing with the number; with `added` 0 that all were there already.
// Empty for no series.
Phrase KeptPhrase(int series, int added);

class TArchiveKeeper final : public QObject {
  Q_OBJECT

 public:
  // `location`: a path or a postgresql:// address; `pendingFolder`: PendingFolder().
  TArchiveKeeper(QString location, QString pendingFolder, QObject* parent = nullptr);
  ~TArchiveKeeper() override;

  // Where the next import goes (the one under way ends where it began).
  void SetLocation(const QString& location);
  QString Location() const;

  quint64 KeepRead(ImagesView images, const QString& version);
  quint64 KeepFile(const QString& path);
  // Opens the archive and brings in the pending list (at start, after a switch on).
  void Retry();

  // Jobs queued or under way (tests wait for 0).
  int Busy() const;
  const QString& PendingFolder() const { return pendingFolder_; }

  // Tests: runs on the keeper's thread after the archive was opened for a job and
  // before the job's own import.
  void SetBeforeImport(std::function<void()> hook);

 Q_SIGNALS:
  void Reported(const zarn::KeepReport& report);

 private:
  struct Job;
  struct Shared;
  quint64 Queue(Job job);
  // On the main thread: the reports of the jobs that ended.
  Q_INVOKABLE void TakeReports();

  QString pendingFolder_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace zarn
