#pragma once
// ProgramSettings: the program's settings file (Zarn26.ini) through named keys and
// typed values. The window, the editors, the report preview and the command-line tools
// all read and write their settings here and nowhere else, so that what a value means
// (which LangId is Russian, what a malformed width gives) is decided in one place.
//
// Every read takes the file as it is now (another program may have changed it); a file
// that cannot be read gives every key its default. Every write is one read-modify-write
// of the file under its lock (IniFile::Update): the lines it does not change stay byte
// for byte, and a value that is already there writes nothing. A failed write changes
// nothing in the file; it is returned and handed to the failure reporter, the one
// place where the program tells the user that its settings will not be kept.
//
// Keys (section, key: meaning):
//   Config   LangId        the interface language: "Rus" Russian, other non-empty English;
//                          absent or empty: not chosen yet (the window asks)
//   Config   Dimension     the unit: exactly "MPa" MPa (the default), anything else kgf/cm2
//   Config   Uses          the launch counter
//   Config   LastReadPath  the folder every file dialog starts in, ending with '/'
//   FormMain Width Height Table1Width Left Top Maximized   the window at its last close
//   RecentFiles File1..File8  the last data files opened or saved, newest first
//   Archive  Database      the lab archive: a file path or a postgresql:// address;
//                          empty: DefaultArchivePath(). Never holds a password.
//   Archive  Keep          whether reads and opened files go into the archive (default on)

#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "filewrite.h"
#include "units.h"

namespace zarn {

class IniDocument;

// A settings value that must be a decimal integer (optional sign, digits, nothing
// else): its number, or nullopt.
std::optional<int> ParseSettingsInt(const QString& text);

// The window's place and size at its last normal close (section FormMain). A number
// that is missing or malformed is empty: the window takes its default for it.
struct StoredWindow {
  std::optional<int> width;
  std::optional<int> height;
  std::optional<int> table1Width;
  std::optional<int> left;
  std::optional<int> top;
  bool maximized = false;
};

class ProgramSettings {
 public:
  // Told of every failed write (the file and why); may be empty.
  using FailureReporter = std::function<void(const FileWriteResult&)>;

  // The settings file of this run (SettingsPath()).
  ProgramSettings();
  // The settings file at `path` (empty: SettingsPath()).
  explicit ProgramSettings(QString path, FailureReporter reporter = {});

  const QString& Path() const { return path_; }
  void SetFailureReporter(FailureReporter reporter) { reporter_ = std::move(reporter); }

  // ---- Language and unit.
  // The chosen language (kRussian, kEnglish); nullopt while none was chosen.
  std::optional<int> Language() const;
  // The chosen language, Russian while none was chosen (the command-line tools).
  int LanguageOrDefault() const;
  FileWriteResult SetLanguage(int language);
  StrengthUnit Unit() const;
  FileWriteResult SetUnit(StrengthUnit unit);

  // ---- Start-up.
  // Adds one to the launch counter (a missing or malformed count counts as 0).
  FileWriteResult CountLaunch();
  StoredWindow Window() const;
  // Maximised: only Maximized=1 is written, the normal place stays as it was.
  FileWriteResult SetWindow(bool maximized, const QRect& place, int table1Width);

  // ---- Files.
  // The folder of the last file opened or saved through a file dialog (as stored).
  QString LastReadPath() const;
  // Where the file dialogs start: LastReadPath when it names an existing folder, else
  // DefaultDataFolder(); ends with '/'.
  QString StartingFolder() const;
  // Remembers the folder of `filePath` as LastReadPath.
  FileWriteResult RememberFolderOf(const QString& filePath);
  // The stored recent files File1..File8 in order, empty values included.
  static constexpr int kRecentFiles = 8;
  static QString RecentFileKey(int index);  // "File1" for 0
  QStringList RecentFiles() const;
  // Stores `files` (at most kRecentFiles) as File1..; a key beyond them is emptied
  // where it exists, and not added where it does not.
  FileWriteResult SetRecentFiles(const QStringList& files);

  // ---- The lab archive.
  // [Archive] Database as stored: a path, a postgresql:// address, or empty.
  QString ArchiveDatabase() const;
  // The archive to use: ArchiveDatabase(), or DefaultArchivePath() when it is empty.
  QString ArchiveLocation() const;
  // Stores `location` without any password it holds (WithoutPassword); an empty
  // location goes back to the default.
  FileWriteResult SetArchiveDatabase(const QString& location);
  bool ArchiveKeep() const;
  FileWriteResult SetArchiveKeep(bool keep);

 private:
  IniDocument Current() const;
  FileWriteResult Update(const std::function<void(IniDocument&)>& fill);

  QString path_;
  FailureReporter reporter_;
};

// A database address as it may be stored or shown: a postgresql:// (or postgres://)
// address loses the password of its user part ("user:secret@") and its password=
// parameter; a path and any other text are returned unchanged.
QString WithoutPassword(const QString& location);

}  // namespace zarn
