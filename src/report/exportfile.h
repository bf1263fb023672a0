#pragma once
// The one place where the report's exports reach the disk: the whole-file writer of
// common/filewrite.h (a failed export leaves no half file and the old file as it was),
// and no write under an office program that holds the file open.

#include <QByteArray>
#include <QString>

namespace zarn {

struct ExportWriteResult {
  bool ok = false;
  QString error;  // in the language asked for: what went wrong and why
};

ExportWriteResult WriteExportFile(const QString& path, const QByteArray& bytes, int language);

}  // namespace zarn
