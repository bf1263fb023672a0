#include "recentfiles.h"

#include <QFileInfo>
#include <algorithm>

namespace zarn {

void RecentFiles::Add(const QString& path) {
  if (path.isEmpty()) return;
  files_.removeAll(path);
  files_.prepend(path);
  while (files_.size() > kMax) files_.removeLast();
}

void RecentFiles::Remove(const QString& path) { files_.removeAll(path); }

void RecentFiles::Load(const QStringList& stored) {
  files_.clear();
  for (const QString& path : stored.first(std::min<qsizetype>(stored.size(), kMax))) {
    if (!path.isEmpty() && !files_.contains(path)) files_.append(path);
  }
}

void RecentFiles::Load(const std::function<QString(const QString& key)>& read) {
  QStringList stored;
  for (int i = 0; i < kMax; ++i) stored.append(read(ProgramSettings::RecentFileKey(i)));
  Load(stored);
}

DropDecision DropRule(const QList<QUrl>& urls) {
  DropDecision d;
  // One file at a time, as the open dialog takes it.
  if (urls.size() != 1 || !urls.front().isLocalFile()) return d;
  d.fileName = urls.front().toLocalFile();
  if (d.fileName.isEmpty() || QFileInfo(d.fileName).isDir()) return d;
  d.accept = true;
  d.open = QFileInfo(d.fileName).suffix().compare(u"zarn", Qt::CaseInsensitive) == 0;
  return d;
}

}  // namespace zarn
