#include "exportfile.h"

#include <QFileInfo>
#include <QIODevice>

#include "common/filewrite.h"
#include "common/texts.h"

namespace zarn {
namespace {

const TextPair txtExportWriteFailed{u"Не удалось записать файл \"%1\": %2",
                                    u"Could not write the file \"%1\": %2"};
const TextPair txtOpenElsewhere{
    u"файл открыт в другой программе; закройте его там и повторите",
    u"the file is open in another program; close it there and try again"};

ExportWriteResult Failed(const QString& path, const QString& why, int language) {
  return {false, txtExportWriteFailed.Str(language).arg(QFileInfo(path).fileName(), why)};
}

// Office programs mark a document they hold open with a lock file beside it; writing
// under them would be lost when they save their copy.
bool OpenInOfficeProgram(const QFileInfo& target) {
  return QFileInfo::exists(target.absolutePath() + QStringLiteral("/.~lock.") + target.fileName() +
                           u'#');
}

// The temporary file of an AtomicFile as a device to write into; the first failure
// (its errno kept by the AtomicFile) ends the writing.
class AtomicFileDevice final : public QIODevice {
 public:
  explicit AtomicFileDevice(AtomicFile& file) : file_(file) { open(QIODevice::WriteOnly); }
  bool isSequential() const override { return true; }

 protected:
  qint64 readData(char*, qint64) override { return -1; }
  qint64 writeData(const char* data, qint64 size) override {
    return file_.Write(data, size_t(size)) ? size : -1;
  }

 private:
  AtomicFile& file_;
};

}  // namespace

ExportWriteResult WriteExportFile(const QString& path, int language,
                                  const std::function<bool(QIODevice&)>& fill) {
  const QFileInfo target(path);
  if (OpenInOfficeProgram(target)) return Failed(path, txtOpenElsewhere.Str(language), language);
  AtomicFile file(path);
  if (!file.Open()) return Failed(path, WriteFailureReason(file.Result().error, language), language);
  bool filled = false;
  {
    AtomicFileDevice device(file);
    filled = fill(device);
  }
  // A disk that failed the writer is named as such; a writer that failed on its own
  // says why itself.
  if (!file.Result()) return Failed(path, WriteFailureReason(file.Result().error, language), language);
  if (!filled) return {false, {}};
  const FileWriteResult written = file.Commit();
  if (!written) return Failed(path, WriteFailureReason(written.error, language), language);
  return {true, {}};
}

ExportWriteResult WriteExportFile(const QString& path, const QByteArray& bytes, int language) {
  return WriteExportFile(path, language, [&](QIODevice& out) { return out.write(bytes) == bytes.size(); });
}

}  // namespace zarn
