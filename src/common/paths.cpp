#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "inifile.h"

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

QString DefaultDataFolder() {
  if (PortableMode()) return WithSlash(ProgramDir());
  const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (!docs.isEmpty() && QFileInfo(docs).isDir()) return WithSlash(docs);
  return WithSlash(QDir::homePath());
}

QString StartingFolder(const IniFile& settings) {
  const QString remembered = settings.ReadString(u"Config", u"LastReadPath", {}, 255);
  if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return WithSlash(remembered);
  return DefaultDataFolder();
}

QString FolderOf(const QString& filePath) {
  return WithSlash(QFileInfo(filePath).absolutePath());
}

}  // namespace zarn
