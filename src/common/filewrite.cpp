#include "filewrite.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "texts.h"

namespace zarn {
namespace {

const TextPair txtCannotWrite{u"не удалось записать \"%1\": %2", u"cannot write \"%1\": %2"};
const TextPair txtNoSpace{u"на диске нет свободного места", u"there is no free space on the disk"};
const TextPair txtQuota{u"исчерпана дисковая квота", u"the disk quota is used up"};
const TextPair txtReadOnlyDisk{u"диск доступен только для чтения", u"the disk is read-only"};
const TextPair txtNoPermission{u"нет прав на запись", u"there is no permission to write there"};
const TextPair txtTooLarge{u"файл больше допустимого размера", u"the file is larger than allowed"};
const TextPair txtNoFolder{u"папка не существует", u"the folder does not exist"};
const TextPair txtIsFolder{u"под этим именем уже есть папка", u"a folder has that name"};
const TextPair txtNotAFile{u"под этим именем не обычный файл", u"that name is not an ordinary file"};
const TextPair txtNameTooLong{u"слишком длинное имя", u"the name is too long"};
const TextPair txtDiskError{u"ошибка ввода-вывода на диске", u"the disk reported an input/output error"};
const TextPair txtLocked{u"файл занят другой программой", u"another program keeps the file busy"};
const TextPair txtUnreadable{u"файл не читается как текст настроек и оставлен как был",
                             u"the file cannot be read as a settings text and was left as it is"};
const TextPair txtSystemError{u"системная ошибка: %1", u"system error: %1"};

QByteArray Native(const QString& path) { return QFile::encodeName(path); }

// Every missing folder of `folder`, parents first; 0 or the errno of the failure.
int MakeFolders(const QString& folder) {
  struct stat st {};
  const QByteArray native = Native(folder);
  if (::stat(native.constData(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  if (errno != ENOENT) return errno;
  const QString parent = QFileInfo(folder).absolutePath();
  if (parent != folder) {
    if (const int e = MakeFolders(parent)) return e;
  }
  if (::mkdir(native.constData(), 0777) == 0 || errno == EEXIST) return 0;
  return errno;
}

// ".NAME." plus six random letters or digits, NAME cut so that the whole stays a
// legal name.
QString TemporaryName(QString name) {
  static constexpr char kLetters[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
  while (Native(name).size() > 200) name.chop(1);
  QString random;
  for (int i = 0; i < 6; ++i)
    random += QLatin1Char(kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))]);
  return u'.' + name + u'.' + random;
}

void SyncFolder(const QString& folder) {
  const int fd = ::open(Native(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // Some file systems cannot flush a folder; the file itself is on the disk already.
  while (::fsync(fd) != 0 && errno == EINTR) {
  }
  ::close(fd);
}

}  // namespace

AtomicFile::AtomicFile(QString path, bool createFolder)
    : path_(std::move(path)), createFolder_(createFolder) {
  result_.path = path_;
}

AtomicFile::~AtomicFile() { Discard(); }

bool AtomicFile::Failed(int error) {
  if (result_) result_ = FileWriteResult::Failed(error, path_);
  Discard();
  return false;
}

void AtomicFile::Fail(int error) { Failed(error != 0 ? error : EIO); }

void AtomicFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.isEmpty()) ::unlink(Native(temporary_).constData());
  temporary_.clear();
}

bool AtomicFile::Open() {
  if (!result_) return false;
  if (fd_ >= 0) return true;
  if (path_.isEmpty()) return Failed(ENOENT);

  // A symbolic link stays: the file it points to is replaced.
  target_ = path_;
  const QFileInfo link(path_);
  if (link.isSymLink()) {
    const QString resolved = link.canonicalFilePath();
    target_ = resolved.isEmpty() ? link.symLinkTarget() : resolved;
  }
  const QByteArray target = Native(target_);
  struct stat st {};
  if (::stat(target.constData(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return Failed(EISDIR);
    if (!S_ISREG(st.st_mode)) return Failed(kWriteNotAFile);
    // A file the user may not write is not replaced behind his back.
    if (::access(target.constData(), W_OK) != 0) return Failed(errno);
    keepMode_ = true;
    oldMode_ = st.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Failed(errno);
  }

  const QFileInfo info(target_);
  const QString folder = info.absolutePath();
  if (createFolder_) {
    if (const int e = MakeFolders(folder)) return Failed(e);
  }
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString candidate = folder + u'/' + TemporaryName(info.fileName());
    fd_ = ::open(Native(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temporary_ = candidate;
      if (keepMode_) (void)::fchmod(fd_, oldMode_);
      return true;
    }
    if (errno != EEXIST) return Failed(errno);
  }
  return Failed(EEXIST);
}

bool AtomicFile::Write(const void* data, size_t size) {
  if (!Open()) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd_, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return Failed(errno);
    }
    if (n == 0) return Failed(EIO);
    p += n;
    size -= size_t(n);
  }
  return true;
}

FileWriteResult AtomicFile::Commit() {
  if (!Open()) return result_;
  // The data reach the disk before the name does: after a crash the target holds the
  // old file or the new one, never a part of the new one.
  while (::fsync(fd_) != 0) {
    if (errno != EINTR) {
      Failed(errno);
      return result_;
    }
  }
  const int fd = std::exchange(fd_, -1);
  if (::close(fd) != 0 && errno != EINTR) {
    Failed(errno);
    return result_;
  }
  if (::rename(Native(temporary_).constData(), Native(target_).constData()) != 0) {
    Failed(errno);
    return result_;
  }
  temporary_.clear();
  SyncFolder(QFileInfo(target_).absolutePath());
  return result_;
}

FileWriteResult WriteFileAtomically(const QString& path, QByteArrayView bytes, bool createFolder) {
  AtomicFile file(path, createFolder);
  file.Write(bytes);
  return file.Commit();
}

QString WriteFailureReason(int error, int language) {
  switch (error) {
    case ENOSPC:
      return txtNoSpace.Str(language);
    case EDQUOT:
      return txtQuota.Str(language);
    case EROFS:
      return txtReadOnlyDisk.Str(language);
    case EACCES:
    case EPERM:
      return txtNoPermission.Str(language);
    case EFBIG:
      return txtTooLarge.Str(language);
    case ENOENT:
    case ENOTDIR:
      return txtNoFolder.Str(language);
    case EISDIR:
      return txtIsFolder.Str(language);
    case kWriteNotAFile:
      return txtNotAFile.Str(language);
    case ENAMETOOLONG:
      return txtNameTooLong.Str(language);
    case EIO:
      return txtDiskError.Str(language);
    case kWriteLocked:
      return txtLocked.Str(language);
    case kWriteUnreadable:
      return txtUnreadable.Str(language);
    default:
      break;
  }
  char buffer[256];
  const char* text = ::strerror_r(error, buffer, sizeof buffer);
  return txtSystemError.Str(language).arg(QString::fromLocal8Bit(text));
}

QString WriteFailureMessage(const FileWriteResult& result, int language) {
  if (result) return {};
  return txtCannotWrite.Str(language).arg(result.path, WriteFailureReason(result.error, language));
}

void IgnoreFileSizeSignal() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGXFSZ, &action, nullptr);
}

}  // namespace zarn
