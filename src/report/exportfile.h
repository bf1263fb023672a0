#pragma once
// The one place where the report's exports reach the disk: the whole-file writer of
// common/filewrite.h (a failed export leaves no half file and the old file as it was),
// and no write under an office program that holds the file open.

#include <QByteArray>
#include <QString>
#include <functional>

QT_BEGIN_NAMESPACE
class QIODevice;
QT_END_NAMESPACE

namespace zarn {

struct ExportWriteResult {
  bool ok = false;
  QString error;  // in the language asked for: what went wrong and why
};

ExportWriteResult WriteExportFile(const QString& path, const QByteArray& bytes, int language);
// The same for a writer that streams the file (a large PDF need not be held in memory):
// `fill` writes it whole into the device or returns false; the old file then stays,
// and the result's error is empty when the writer itself failed rather than the disk.
ExportWriteResult WriteExportFile(const QString& path, int language,
                                  const std::function<bool(QIODevice& out)>& fill);

}  // namespace zarn
