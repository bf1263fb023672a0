#include "exportfile.h"

#include <QFileInfo>
#include <QSaveFile>

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

}  // namespace

ExportWriteResult WriteExportFile(const QString& path, const QByteArray& bytes, int language) {
  const QFileInfo target(path);
  if (OpenInOfficeProgram(target)) return Failed(path, txtOpenElsewhere.Str(language), language);
  QSaveFile file(path);
  // Unbuffered: a write cut short (a full disk, the file-size limit) is seen by the write
  // itself. A buffered save file writes its last bytes when it closes and would not
  // notice them missing.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
    return Failed(path, file.errorString(), language);
  // A write cut short is tried again with the rest: the next one fails with the reason
  // (the disk is full, the file too large).
  for (qint64 done = 0; done < bytes.size();) {
    const qint64 n = file.write(bytes.constData() + done, bytes.size() - done);
    if (n <= 0) {
      const QString why = file.errorString();
      file.cancelWriting();
      return Failed(path, why, language);
    }
    done += n;
  }
  if (!file.commit()) return Failed(path, file.errorString(), language);
  return {true, {}};
}

}  // namespace zarn
