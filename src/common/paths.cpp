#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "inifile.h"
#include "programsettings.h"

namespace zarn {
namespace {

QString WithSlash(QString folder) {
  if (!folder.endsWith(u'/')) folder += u'/';
  return folder;
}

}  // namespace

QString ProgramDir() {
  QString dir = QCoreApplication::applicationDirPath();
  while (dir.size() > 1 && dir.endsWith(u'/')) dir.chop(1);
  return dir;
}

bool PortableMode() {
  const QFileInfo local(ProgramDir() + QStringLiteral("/Zarn26.ini"));
  return local.isFile() && local.isWritable();
}

QString SettingsPath() {
  if (PortableMode()) return ProgramDir() + QStringLiteral("/Zarn26.ini");
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.config");
  return WithSlash(base) + QStringLiteral("zarn26/Zarn26.ini");
}

QString DataHome() {
  if (PortableMode()) return WithSlash(ProgramDir());
  QString base = qEnvironmentVariable("XDG_DATA_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + QStringLiteral("/.local/share");
  return WithSlash(base) + QStringLiteral("zarn26/");
}

QString DefaultArchivePath() { return DataHome() + QStringLiteral("archive.sqlite"); }

QString PendingFolder() { return DataHome() + QStringLiteral("pending/"); }

QString DefaultDataFolder() {
  if (PortableMode()) return WithSlash(ProgramDir());
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!docs.isEmpty() && QFileInfo(docs).isDir()) return WithSlash(docs);
  return WithSlash(QDir::homePath());
}

QStringList HelpFolders(const QString& programDir) {
  // Where the install puts the help, relative to where it puts the programs.
#ifndef ZARN_INSTALLED_HELP_RELATIVE
#define ZARN_INSTALLED_HELP_RELATIVE "../share/zarn26/Help"
#endif
  return {programDir + QStringLiteral("/Help"),
          QDir::cleanPath(programDir + u'/' + QStringLiteral(ZARN_INSTALLED_HELP_RELATIVE))};
}

QString HelpFilePath(QStringView fileName, const QString& programDir) {
  const QStringList folders = HelpFolders(programDir);
  for (const QString& folder : folders) {
    const QString path = folder + u'/' + fileName.toString();
    if (QFileInfo(path).isFile()) return path;
  }
  return folders.first() + u'/' + fileName.toString();
}

QString StartingFolder(const IniFile& settings) { return ProgramSettings(settings.Path()).StartingFolder(); }

QString FolderOf(const QString& filePath) {
  return WithSlash(QFileInfo(filePath).absolutePath());
}

QStringView FileExtension(QStringView path) {
  const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QStringView() : name.mid(dot);
}

SaveNameDecision DecideSaveName(const QString& chosen, QStringView ownSuffix,
                                std::initializer_list<QStringView> foreignSuffixes) {
  const QStringView ext = FileExtension(chosen);
  const QString stem = chosen.left(chosen.size() - ext.size());
  for (QStringView foreign : foreignSuffixes) {
    if (!ext.isEmpty() && ext == foreign) return {true, stem + ownSuffix.toString()};
  }
  if (ext == u".") return {false, stem + ownSuffix.toString()};
  if (!ext.isEmpty() && ext == ownSuffix) return {false, chosen};
  return {false, chosen + ownSuffix.toString()};
}

QString ProposedFileName(const QDateTime& now, QStringView suffix) {
  return now.toString(QStringLiteral("yyMMdd.HHmm")) + suffix.toString();
}

}  // namespace zarn
