#pragma once
// Whole-file reads and writes for tests.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace zarn::testing {

// The file's bytes, or an empty array when it cannot be read.
inline QByteArray ReadAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Replaces the file with `bytes`; false when that failed.
inline bool WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace zarn::testing
