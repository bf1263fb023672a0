#include "exportfile.h"

#include <QFileInfo>

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

}  // namespace

ExportWriteResult WriteExportFile(const QString& path, const QByteArray& bytes, int language) {
  const QFileInfo target(path);
  if (OpenInOfficeProgram(target)) return Failed(path, txtOpenElsewhere.Str(language), language);
  const FileWriteResult written = WriteFileAtomically(path, bytes);
  if (!written) return Failed(path, WriteFailureReason(written.error, language), language);
  return {true, {}};
}

}  // namespace zarn
