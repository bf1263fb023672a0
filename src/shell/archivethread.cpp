#include "archivethread.h"

namespace zarn {

TArchiveThread::TArchiveThread(QString location, QObject* parent)
    : QObject(parent), location_(std::move(location)) {
  thread_.setObjectName(QStringLiteral("ArchiveThread"));
  host_ = new QObject;
  host_->moveToThread(&thread_);
  // The archive goes on its own thread, before the thread ends.
  connect(&thread_, &QThread::finished, host_, [this] {
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
  QMetaObject::invokeMethod(host_, [this, job = std::move(job)] {
    // A window that is closing does not wait for requests it no longer needs.
    if (!thread_.isInterruptionRequested()) job();
  }, Qt::QueuedConnection);
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
