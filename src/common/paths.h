#pragma once
// Where the program's files live on Linux.
//  - ProgramDir: the folder of the executable, without a trailing '/'.
//  - Portable mode: ProgramDir/Zarn26.ini exists and is writable; it is then the
//    settings file. Otherwise the settings file is $XDG_CONFIG_HOME/zarn26/Zarn26.ini
//    (~/.config/zarn26/Zarn26.ini), created on first write.
//  - The file dialogs start in the remembered LastReadPath, or else in ProgramDir
//    (portable) or the user's Documents folder (home when there is none).
//  - The lab archive: $XDG_DATA_HOME/zarn26/archive.sqlite (~/.local/share/zarn26/), and
//    the reads and files it could not take yet in $XDG_DATA_HOME/zarn26/pending/; in
//    portable mode both beside the program (ProgramDir/archive.sqlite, ProgramDir/pending/).
//  - Help files: the folder Help beside the program (a build tree, a portable copy) or,
//    once installed, the program's data folder (share/zarn26/Help of the prefix).
// Remembered folders always end with '/'.

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <initializer_list>

namespace zarn {

class IniFile;

QString ProgramDir();
bool PortableMode();
QString SettingsPath();
QString DefaultDataFolder();  // ends with '/'
// The program's own data folder: $XDG_DATA_HOME/zarn26/ (~/.local/share/zarn26/), or
// ProgramDir in portable mode; ends with '/'.
QString DataHome();
// The archive used when the settings name none.
QString DefaultArchivePath();
// The folder of what is waiting to go into the archive; ends with '/'.
QString PendingFolder();

// The folders help files are looked for in, in order: programDir/Help, then the
// installed help folder relative to programDir.
QStringList HelpFolders(const QString& programDir);
// The help file `fileName` in the first of HelpFolders() that holds it; when none
// does, its path in the first folder (so that a message can name it).
QString HelpFilePath(QStringView fileName, const QString& programDir = ProgramDir());

// The starting folder of the open and save dialogs of the settings file `settings`
// (ProgramSettings::StartingFolder).
QString StartingFolder(const IniFile& settings);

// The folder part of a file path, ending with '/' (for LastReadPath).
QString FolderOf(const QString& filePath);

// The extension of the file name part of `path`: from its last point on ("." when the
// name ends in a point), empty when the name has no point.
QStringView FileExtension(QStringView path);

// What a save command does with a confirmed name (extensions compared exactly): one of
// `foreignSuffixes` -> ask again with `ownSuffix` in its place; a lone "." ->
// `ownSuffix` in its place; `ownSuffix` -> kept; anything else -> `ownSuffix` appended.
struct SaveNameDecision {
  bool askAgain;
  QString fileName;
};
SaveNameDecision DecideSaveName(const QString& chosen, QStringView ownSuffix,
                                std::initializer_list<QStringView> foreignSuffixes);

// The name a save dialog proposes: "yymmdd.hhmm" followed by `suffix` (with its point).
QString ProposedFileName(const QDateTime& now, QStringView suffix);

}  // namespace zarn
