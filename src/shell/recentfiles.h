#pragma once
// Files the user reaches without the open dialog: the list of recently opened or
// saved data files, kept in the settings file, and the rule for a file dropped on the
// main window.

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "common/programsettings.h"

namespace zarn {

// The last data files opened or saved, newest first, each once, at most kMax.
class RecentFiles {
 public:
  static constexpr int kMax = ProgramSettings::kRecentFiles;

  const QStringList& Files() const { return files_; }
  // Puts `path` first (moving it up when it is there already), dropping the oldest
  // beyond kMax.
  void Add(const QString& path);
  void Remove(const QString& path);

  // Kept in the settings (ProgramSettings::RecentFiles, keys File1..File8); an empty
  // value is no entry, a repeated one counts once. Load takes the stored values in
  // order, or through `read` (key to value).
  void Load(const QStringList& stored);
  void Load(const std::function<QString(const QString& key)>& read);

 private:
  QStringList files_;
};

// What a drop of `urls` on the main window does.
struct DropDecision {
  bool accept = false;  // the window takes the drop at all (one local file)
  bool open = false;    // it is a data file (.zarn): opened as Open does
  QString fileName;     // the local file
};
DropDecision DropRule(const QList<QUrl>& urls);

}  // namespace zarn
