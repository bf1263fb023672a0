#pragma once
// The data file (.zarn): the signature "Zarn-2.6", four block lengths and the four
// images, materials, objects, parameters, data, in that order. Opening checks the whole
// file into scratch buffers first, so a file that fails changes no image; saving goes
// through a temporary file, so a failed save never destroys an existing file.

#include <QDateTime>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>
#include <mutex>

#include "common/filewrite.h"
#include "common/images.h"
#include "common/paths.h"

namespace zarn {

inline constexpr char kDataFileSignature[8] = {'Z', 'a', 'r', 'n', '-', '2', '.', '6'};
inline constexpr qint64 kDataFileSize = 24 + 1080 + 600 + 10752 + 8388608;  // 8401064

enum class DataFileStatus {
  Ok,
  CannotOpen,  // the file cannot be opened for reading (the dialog asks again)
  Damaged,     // wrong signature, size mismatch or short block
};

// Where the four blocks of a data file lie, in file order (materials, objects,
// parameters, data): each takes at most its capacity, the next follows the bytes taken.
// CheckDataFileHeader checks a file's 24-byte header against its size as every open
// does (for tools that hold the file's bytes already).
struct DataFileLayout {
  qint64 offset[4];
  size_t count[4];
};
DataFileStatus CheckDataFileHeader(const uint8_t* header, qint64 fileSize, DataFileLayout& layout);

// Reads `path` over `images`: each block replaces the first min(length, capacity)
// bytes of its image; a shorter block leaves the rest as it was. On any failure the
// images may hold part of the file: callers pass a scratch copy.
DataFileStatus ReadDataFile(const QString& path, DeviceImages& images);

// A data file opened for reading only, checked as ReadDataFile checks it, for tools
// that only look at a file: the blocks of a file that holds them whole are seen in a
// read-only mapping of the file, without copying 8 MiB; other files are read into
// images of their own that start at zero. The blocks stay valid while the view lives.
// A mapped file that another program cuts short while it is read raises SIGBUS on the
// next access to the missing pages; a tool that maps files handles that signal.
class DataFileView {
 public:
  DataFileView();
  ~DataFileView();
  DataFileView(const DataFileView&) = delete;
  DataFileView& operator=(const DataFileView&) = delete;

  DataFileStatus Open(const QString& path);
  bool mapped() const { return mapped_; }

  const uint8_t* MaterialsBlock() const { return blocks_[0]; }  // 1080 bytes
  const uint8_t* ObjectsBlock() const { return blocks_[1]; }    // 600 bytes
  const uint8_t* ParamBlock() const { return blocks_[2]; }      // 10752 bytes
  const uint8_t* DataImage() const { return blocks_[3]; }       // 8 MiB

 private:
  struct Free {
    void operator()(DeviceImages* images) const;
  };
  std::unique_ptr<QFile> file_;
  std::unique_ptr<DeviceImages, Free> copy_;
  const uint8_t* blocks_[4] = {};
  bool mapped_ = false;
};

// Opens `path` into the program's Images: reads a scratch copy of them, and only when
// the whole file is good copies it in (under ImagesLock, taken through `lockImages`,
// which the main thread implements with try_lock while serving events) and recounts
// ProcessCount. On failure nothing in memory changes. An empty `lockImages` locks
// ImagesLock directly (tools, tests); a lock returned without its mutex (the caller
// gave up waiting) changes nothing either and gives CannotOpen. `snapshot`, when given,
// gets a snapshot of the images taken under the same lock, as the file left them.
DataFileStatus OpenDataFile(const QString& path,
                            const std::function<std::unique_lock<std::mutex>()>& lockImages,
                            ImagesView* snapshot = nullptr);

// A data file named on the command line can be read before the window exists: the
// bytes are read and checked on another thread into scratch images while the window is
// built, and the next OpenDataFile of the same path takes them from there, provided the
// file has not changed since (same size and modification time); otherwise it reads the
// file afresh. Nothing in memory changes before that OpenDataFile.
void PrefetchDataFile(const QString& path);

// Writes the header and the four whole images atomically. On failure the file at
// `path` (if any) is left as it was; the result says why (WriteFailureReason).
FileWriteResult WriteDataFile(const QString& path, const DeviceImages& images);

// The name the save dialog proposes, without folder: "yymmdd.hhmm.zarn".
QString ProposedDataFileName(const QDateTime& now);

// What the save command does with a confirmed name (extensions compared exactly):
// ".mtzarn" -> ask again with ".zarn" in its place; a trailing "." -> ".zarn" in its
// place; ".zarn" -> kept; anything else (no extension too) -> ".zarn" appended.
SaveNameDecision DecideSaveName(const QString& chosen);

// The file-type change of the data dialogs: filter 1 ("DataFile (*.zarn)") leaves the
// name; filter 2 ("All files (*.*)") turns ".zarn" or "." into ".mtzarn" and appends
// ".mtzarn" to any other extension but ".mtzarn" (the empty one too).
// Returns the new default suffix (without point) and updates `fileName`.
QString DataDialogTypeChange(int filterIndex, QString& fileName);

}  // namespace zarn
