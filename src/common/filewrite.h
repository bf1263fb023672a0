#pragma once
// Writing a file whole or not at all, and saying why a write failed.
//
// AtomicFile fills a new temporary file beside the target (".NAME.XXXXXX" in the same
// folder) and only Commit puts it in the target's place: the bytes are flushed to the
// disk, the file takes the old file's permissions (a new file gets those the umask
// allows), it is renamed over the target and the folder is flushed too. Until then the
// old file is untouched; a failure, or an AtomicFile destroyed without Commit, removes
// the temporary file. A target that is a symbolic link is written where the link
// points, so the link stays a link.
//
// Every failure keeps the errno of the call that failed, so that the user reads "there
// is no free space on the disk" rather than "unknown error": WriteFailureReason turns
// it into a text in Russian or English.
//
// Every program that writes files calls IgnoreFileSizeSignal() first: a write past the
// file-size limit (ulimit -f) then fails with EFBIG instead of killing the process.

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <cstddef>

namespace zarn {

// Failures that have no errno of their own.
inline constexpr int kWriteNotAFile = -1;    // the name belongs to a pipe, a device or the like
inline constexpr int kWriteLocked = -2;      // another program kept the file busy too long
inline constexpr int kWriteUnreadable = -3;  // the existing file cannot be read back (binary,
                                             // too large, not permitted): it is left as it is

// The outcome of a write; true when the file was written.
struct FileWriteResult {
  int error = 0;  // errno of the call that failed, or one of the codes above; 0: written
  QString path;   // the file that was to be written

  explicit operator bool() const { return error == 0; }
  static FileWriteResult Failed(int error, QString path) { return {error, std::move(path)}; }
};

class AtomicFile {
 public:
  // `createFolder`: a missing folder (and its parents) is created on Open; otherwise a
  // missing folder is a failure (ENOENT).
  explicit AtomicFile(QString path, bool createFolder = false);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file; false on failure (Result() says why).
  bool Open();
  // Appends all bytes (short writes and interruptions are continued); false after the
  // first failure, which ends the writing.
  bool Write(const void* data, size_t size);
  bool Write(QByteArrayView bytes) { return Write(bytes.data(), size_t(bytes.size())); }
  // For writers that fill the temporary file themselves: its descriptor (-1 before
  // Open) and its path. A failure of theirs is recorded with Fail(errno).
  int Descriptor() const { return fd_; }
  const QString& TemporaryPath() const { return temporary_; }
  void Fail(int error);
  // Puts the written file in the target's place; nothing changes at the target when
  // an earlier step failed or this one fails.
  FileWriteResult Commit();
  // The first failure so far; true while there is none.
  const FileWriteResult& Result() const { return result_; }

 private:
  bool Failed(int error);
  void Discard();

  QString path_;       // as given
  QString target_;     // where the file goes: `path_` with a symbolic link resolved
  QString temporary_;
  bool createFolder_;
  int fd_ = -1;
  bool keepMode_ = false;
  unsigned oldMode_ = 0;
  FileWriteResult result_;
};

// Writes `bytes` as the whole new content of `path` through an AtomicFile.
FileWriteResult WriteFileAtomically(const QString& path, QByteArrayView bytes,
                                    bool createFolder = false);

// Why a write failed, as a phrase to follow "PATH: " (full disk, quota, read-only file
// system, no permission, file too large, no such folder, and the system's text for
// any other errno), in `language` (0 Russian, 1 English).
QString WriteFailureReason(int error, int language);
// "cannot write "PATH": REASON" in `language`; empty for a successful result.
QString WriteFailureMessage(const FileWriteResult& result, int language);

// Makes a write past the file-size limit fail with EFBIG instead of raising SIGXFSZ.
void IgnoreFileSizeSignal();

}  // namespace zarn
