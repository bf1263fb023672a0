#pragma once
// TArchiveThread: the lab archive on a thread of its own, so that no query, however
// large the archive or slow its server, holds up a window. The archive is opened there
// (an Archive belongs to the thread that opened it) on the first request, and again
// after a failed open or a change of location; each request runs there in turn and its
// result comes back to the thread of a context object, as a queued call, unless the
// context has gone.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "archive/archive.h"

namespace zarn {

// Calls for the thread an object lives on. They are handed over under a lock of our own
// and the thread is only woken through Qt: a functor posted through Qt's event queue
// would pass its captures through Qt's locks alone, which the race detector cannot see.
class TCallQueue : public QObject {
  Q_OBJECT

 public:
  using QObject::QObject;
  // Drops the calls not run yet, under the lock: a Put that came before is over.
  ~TCallQueue() override;
  // From any thread: `call` runs on this object's thread, after those put before it.
  void Put(std::function<void()> call);

 private:
  Q_INVOKABLE void RunCalls();

  std::mutex lock_;
  std::deque<std::function<void()>> calls_;
};

class TArchiveThread : public QObject {
  Q_OBJECT

 public:
  explicit TArchiveThread(QString location, QObject* parent = nullptr);
  // Lets the request that runs finish, drops those not begun, and ends the thread.
  ~TArchiveThread() override;

  // The archive the next request opens, when it differs from the one open.
  void SetLocation(const QString& location);
  QString Location() const;

  // Runs `work` on the archive's thread with the archive, or with null and the reason it
  // could not be opened, and gives what it returns to `done` on `context`'s thread.
  template <typename R>
  void Run(QObject* context, std::function<R(Archive*, const ArchiveError*)> work, std::function<void(R)> done) {
    QPointer<QObject> back(context);
    Post([this, back, work = std::move(work), done = std::move(done)] {
      const ArchiveError* failed = nullptr;
      Archive* archive = Opened(&failed);
      auto result = std::make_shared<R>(work(archive, failed));
      // Back on this object's thread, which is the context's; a context gone by then
      // gets nothing.
      results_.Put([back, done, result] {
        if (back) done(std::move(*result));
      });
    });
  }

 private:
  void Post(std::function<void()> job);
  // On the archive's thread: the archive at the location asked for, opened when needed.
  Archive* Opened(const ArchiveError** failed);

  QThread thread_;
  TCallQueue* host_ = nullptr;  // lives on thread_; the requests run as its calls
  TCallQueue results_;          // lives on this object's thread: the requests' results
  mutable std::mutex locationLock_;
  std::mutex endLock_;  // held by the thread's end, and by the destructor after it
  QString location_;
  // Used on thread_ only.
  std::unique_ptr<Archive> archive_;
  QString openLocation_;
  std::unique_ptr<ArchiveError> openError_;
};

}  // namespace zarn
