#include "archivekeeper.h"

#include <QThread>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

#include "archive/pendinglist.h"
#include "common/programsettings.h"

namespace zarn {
namespace {

// Russian takes the number's form: 1, 21, 101 ... one; 2-4, 22-24 ... few; the rest many.
const TextPair txtKeptOne{u"%1 новая серия сохранена в архиве", u"%1 new series kept in the archive"};
const TextPair txtKeptFew{u"%1 новые серии сохранены в архиве", u"%1 new series kept in the archive"};
const TextPair txtKeptMany{u"%1 новых серий сохранено в архиве", u"%1 new series kept in the archive"};
const TextPair txtKeptNone{u"все серии уже были в архиве", u"all series were in the archive already"};

constexpr auto kStopWait = std::chrono::seconds(3);

}  // namespace

Phrase KeptPhrase(int series, int added) {
  if (series <= 0) return {};
  if (added <= 0) return Phrase(txtKeptNone);
  static constexpr const TextPair* kForms[] = {&txtKeptOne, &txtKeptFew, &txtKeptMany};
  return Phrase(*kForms[RussianNumberForm(added)], {QString::number(added)});
}

struct TArchiveKeeper::Job {
  enum Kind { Read, File, Retry } kind = Retry;
  quint64 ticket = 0;
  ImagesView images;
  QString version, path;
  QDateTime when;
};

struct TArchiveKeeper::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Job> queue;
  std::optional<Job> current;
  QString location;
  std::function<void()> beforeImport;
  TArchiveKeeper* receiver = nullptr;  // null once the keeper is going
  bool stop = false;
  bool ended = false;
  quint64 tickets = 0;
  int inFlight = 0;  // queued and not yet reported (the main thread's count)
  std::deque<KeepReport> reports;  // ended on the keeper's thread, not yet reported
  QThread* thread = nullptr;
};

namespace {

// Puts a job that did not reach the archive into the pending list.
FileWriteResult KeepPending(PendingList& pending, int kind, const ImagesView& images, const QString& version,
                            const QString& path, const QDateTime& when) {
  if (kind == 0) return images ? pending.AddRead(images->images, version, when) : FileWriteResult{};
  if (kind == 1) return pending.AddFile(path, when);
  return {};
}

}  // namespace

TArchiveKeeper::TArchiveKeeper(QString location, QString pendingFolder, QObject* parent)
    : QObject(parent), pendingFolder_(std::move(pendingFolder)), shared_(std::make_shared<Shared>()) {
  setObjectName(QStringLiteral("ArchiveKeeper"));
  shared_->location = std::move(location);
  shared_->receiver = this;
  std::shared_ptr<Shared> s = shared_;
  const QString folder = pendingFolder_;
  s->thread = QThread::create([s, folder] {
    PendingList pending(folder);
    std::unique_ptr<Archive> archive;
    QString openedAt;
    for (;;) {
      Job job;
      QString where;
      std::function<void()> hook;
      {
        std::unique_lock lock(s->mutex);
        s->wake.wait(lock, [&] { return s->stop || !s->queue.empty(); });
        if (s->stop) break;
        job = s->queue.front();
        s->queue.pop_front();
        s->current = job;
        where = s->location;
        hook = s->beforeImport;
      }
      KeepReport r;
      r.ticket = job.ticket;
      r.job = job.kind != Job::Retry;
      r.location = WithoutPassword(where);
      // The archive cannot take it now: the job waits in the pending list.
      auto fail = [&](const ArchiveError& error) {
        r.unusable = error;
        archive.reset();
        openedAt.clear();
        r.pendingFailed = KeepPending(pending, int(job.kind), job.images, job.version, job.path, job.when);
      };
      [&] {
        if (!archive || openedAt != where) {
          archive.reset();
          auto opened = Archive::Open(where);
          if (!opened) return fail(opened.error());
          archive = std::move(*opened);
          openedAt = where;
        }
        // What waits goes first, so that the archive has the reads in their order.
        const PendingImport before = pending.ImportInto(*archive);
        r.pendingIn = before.imported;
        r.series += before.series;
        r.added += before.added;
        r.refused += before.dropped;
        if (before.unusable) return fail(*before.unusable);
        if (job.kind == Job::Retry) return;
        if (hook) hook();
        ImportOrigin origin;
        origin.when = job.when;
        const ArchiveResult<ImportOutcome> done = job.kind == Job::Read
                                                      ? archive->ImportRead(job.images->images, job.version, {}, origin)
                                                      : archive->ImportFile(job.path, origin);
        if (!done) {
          if (done.error().kind == ArchiveErrorKind::Unusable) return fail(done.error());
          r.refused.append(done.error());
          return;
        }
        r.series += done->series;
        r.added += done->added;
      }();
      r.pendingLeft = int(pending.Entries().size());
      std::lock_guard lock(s->mutex);
      s->current.reset();
      // The report goes over under this lock, and the main thread is only woken: a
      // functor posted with it would pass through Qt's own locks alone, which the race
      // detector cannot see.
      if (TArchiveKeeper* keeper = s->receiver) {
        s->reports.push_back(std::move(r));
        QMetaObject::invokeMethod(keeper, "TakeReports", Qt::QueuedConnection);
      }
    }
    archive.reset();
    std::lock_guard lock(s->mutex);
    s->ended = true;
    s->wake.notify_all();
  });
  s->thread->setObjectName(QStringLiteral("ArchiveKeeperThread"));
  s->thread->start(QThread::LowPriority);
}

TArchiveKeeper::~TArchiveKeeper() {
  std::deque<Job> left;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->receiver = nullptr;
    left.swap(shared_->queue);
  }
  shared_->wake.notify_all();
  // Nothing queued is lost: it waits for the next start.
  PendingList pending(pendingFolder_);
  for (const Job& job : left) KeepPending(pending, int(job.kind), job.images, job.version, job.path, job.when);
  std::optional<Job> running;
  bool ended = false;
  {
    std::unique_lock lock(shared_->mutex);
    ended = shared_->wake.wait_for(lock, kStopWait, [this] { return shared_->ended; });
    if (!ended) running = shared_->current;
  }
  if (ended) {
    shared_->thread->wait();
    delete shared_->thread;
    return;
  }
  // An archive that does not answer: the import under way waits too; the thread is
  // left to the end of the process (it holds its shared state).
  qWarning("zarn26: the archive did not answer; what it was given waits in %s", qUtf8Printable(pendingFolder_));
  if (running) KeepPending(pending, int(running->kind), running->images, running->version, running->path, running->when);
}

void TArchiveKeeper::SetLocation(const QString& location) {
  std::lock_guard lock(shared_->mutex);
  shared_->location = location;
}

QString TArchiveKeeper::Location() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->location;
}

void TArchiveKeeper::SetBeforeImport(std::function<void()> hook) {
  std::lock_guard lock(shared_->mutex);
  shared_->beforeImport = std::move(hook);
}

int TArchiveKeeper::Busy() const { return shared_->inFlight; }

void TArchiveKeeper::TakeReports() {
  std::deque<KeepReport> done;
  {
    std::lock_guard lock(shared_->mutex);
    done.swap(shared_->reports);
  }
  for (const KeepReport& r : done) {
    --shared_->inFlight;
    Q_EMIT Reported(r);
  }
}

quint64 TArchiveKeeper::Queue(Job job) {
  ++shared_->inFlight;
  std::lock_guard lock(shared_->mutex);
  job.ticket = ++shared_->tickets;
  if (!job.when.isValid()) job.when = QDateTime::currentDateTimeUtc();
  shared_->queue.push_back(job);
  shared_->wake.notify_all();
  return job.ticket;
}

quint64 TArchiveKeeper::KeepRead(ImagesView images, const QString& version) {
  if (!images) return 0;
  Job job;
  job.kind = Job::Read;
  job.images = std::move(images);
  job.version = version;
  return Queue(std::move(job));
}

quint64 TArchiveKeeper::KeepFile(const QString& path) {
  Job job;
  job.kind = Job::File;
  job.path = path;
  return Queue(std::move(job));
}

void TArchiveKeeper::Retry() { Queue(Job{}); }

}  // namespace zarn
