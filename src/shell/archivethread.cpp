#include "archivethread.h"

namespace zarn {

TCallQueue::~TCallQueue() {
  std::lock_guard lock(lock_);
  calls_.clear();
}

void TCallQueue::Put(std::function<void()> call) {
  // The wake-up too under the lock, so that the queue's end (on its own thread) comes
  // after it for the race detector as well.
  std::lock_guard lock(lock_);
  calls_.push_back(std::move(call));
  QMetaObject::invokeMethod(this, "RunCalls", Qt::QueuedConnection);
}

void TCallQueue::RunCalls() {
  for (;;) {
    std::function<void()> call;
    {
      std::lock_guard lock(lock_);
      if (calls_.empty()) return;
      call = std::move(calls_.front());
      calls_.pop_front();
    }
    call();
  }
}

TArchiveThread::TArchiveThread(QString location, QObject* parent)
    : QObject(parent), location_(std::move(location)) {
  thread_.setObjectName(QStringLiteral("ArchiveThread"));
  host_ = new TCallQueue;
  host_->moveToThread(&thread_);
  // The archive goes on its own thread, before the thread ends.
  connect(&thread_, &QThread::finished, host_, [this] {
    std::lock_guard lock(endLock_);
    archive_.reset();
    delete host_;
    host_ = nullptr;
  }, Qt::DirectConnection);
  thread_.start();
}

TArchiveThread::~TArchiveThread() {
  thread_.requestInterruption();
  thread_.quit();
  thread_.wait();
  // wait() learns of the thread's end through Qt's own lock, which the race detector
  // cannot see; this one it sees, after all the thread did at its end.
  std::lock_guard lock(endLock_);
}

void TArchiveThread::SetLocation(const QString& location) {
  std::lock_guard<std::mutex> lock(locationLock_);
  location_ = location;
}

QString TArchiveThread::Location() const {
  std::lock_guard<std::mutex> lock(locationLock_);
  return location_;
}

void TArchiveThread::Post(std::function<void()> job) {
  if (!host_) return;
  host_->Put([this, job = std::move(job)] {
    // A window that is closing does not wait for requests it no longer needs.
    if (!thread_.isInterruptionRequested()) job();
  });
}

Archive* TArchiveThread::Opened(const ArchiveError** failed) {
  const QString wanted = Location();
  if (wanted != openLocation_ || (!archive_ && openError_)) {
    archive_.reset();
    openError_.reset();
    openLocation_ = wanted;
    auto opened = Archive::Open(wanted, Archive::OpenMode::Create);
    if (opened)
      archive_ = std::move(*opened);
    else
      openError_ = std::make_unique<ArchiveError>(opened.error());
  }
  if (!archive_ && !openError_) {
    openError_ = std::make_unique<ArchiveError>();
  }
  *failed = archive_ ? nullptr : openError_.get();
  return archive_.get();
}

}  // namespace zarn
