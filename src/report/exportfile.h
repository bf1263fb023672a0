#pragma once
// The one place where the report's exports reach the disk. A file is written whole
// through a temporary file beside it and renamed over the old one only when every byte
// is on the disk: a failed export leaves no half file and the old file as it was.

#include <QByteArray>
#include <QString>

namespace zarn {

struct ExportWriteResult {
  bool ok = false;
  QString error;  // in the language asked for: what went wrong and why
};

ExportWriteResult WriteExportFile(const QString& path, const QByteArray& bytes, int language);

}  // namespace zarn
