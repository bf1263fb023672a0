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
#include <functional>
#include <memory>
#include <mutex>

#include "archive/archive.h"

namespace zarn {

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
      if (back) QMetaObject::invokeMethod(back.data(), [back, done, result] { if (back) done(std::move(*result)); }, Qt::QueuedConnection);
    });
  }

 private:
  void Post(std::function<void()> job);
  // On the archive's thread: the archive at the location asked for, opened when needed.
  Archive* Opened(const ArchiveError** failed);

  QThread thread_;
  QObject* host_ = nullptr;  // lives on thread_; the requests run as its queued calls
  mutable std::mutex locationLock_;
  QString location_;
  // Used on thread_ only.
  std::unique_ptr<Archive> archive_;
  QString openLocation_;
  std::unique_ptr<ArchiveError> openError_;
};

}  // namespace zarn
