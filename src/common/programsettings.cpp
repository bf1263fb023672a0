#include "programsettings.h"

#include <QFileInfo>
#include <limits>

#include "inifile.h"
#include "paths.h"
#include "texts.h"

namespace zarn {
namespace {

constexpr QStringView kConfig = u"Config";
constexpr QStringView kFormMain = u"FormMain";
constexpr QStringView kRecent = u"RecentFiles";
constexpr QStringView kArchive = u"Archive";
// The window's keys were read into 10-byte buffers: at most 9 characters count.
constexpr int kShortValue = 9;
// LastReadPath was read into a 256-byte buffer.
constexpr int kPathValue = 255;

QString WithSlash(QString folder) {
  if (!folder.isEmpty() && !folder.endsWith(u'/')) folder += u'/';
  return folder;
}

std::optional<int> ReadInt(const IniDocument& doc, QStringView section, QStringView key) {
  return ParseSettingsInt(doc.Read(section, key, {}, kShortValue));
}

}  // namespace

std::optional<int> ParseSettingsInt(const QString& text) {
  qsizetype i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
  if (i == text.size()) return std::nullopt;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (c < u'0' || c > u'9') return std::nullopt;
    value = value * 10 + (c - u'0');
    if (value > int64_t(std::numeric_limits<int>::max()) + 1) return std::nullopt;
  }
  if (negative) value = -value;
  if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    return std::nullopt;
  return int(value);
}

ProgramSettings::ProgramSettings() : path_(SettingsPath()) {}

ProgramSettings::ProgramSettings(QString path, FailureReporter reporter)
    : path_(path.isEmpty() ? SettingsPath() : std::move(path)), reporter_(std::move(reporter)) {}

IniDocument ProgramSettings::Current() const {
  return IniFile(path_).Load().value_or(IniDocument{});
}

FileWriteResult ProgramSettings::Update(const std::function<void(IniDocument&)>& fill) {
  // The settings folder is made on the first write.
  const FileWriteResult result = IniFile(path_).Update(fill, true);
  if (!result && reporter_) reporter_(result);
  return result;
}

std::optional<int> ProgramSettings::Language() const {
  const QString lang = Current().Read(kConfig, u"LangId", {}, kShortValue);
  if (lang.isEmpty()) return std::nullopt;
  return lang == u"Rus" ? kRussian : kEnglish;
}

int ProgramSettings::LanguageOrDefault() const { return Language().value_or(kRussian); }

FileWriteResult ProgramSettings::SetLanguage(int language) {
  const QStringView value = language == kEnglish ? u"Eng" : u"Rus";
  return Update([value](IniDocument& doc) { doc.Write(kConfig, u"LangId", value); });
}

StrengthUnit ProgramSettings::Unit() const {
  return Current().Read(kConfig, u"Dimension", u"MPa", kShortValue) == u"MPa" ? StrengthUnit::MPa
                                                                              : StrengthUnit::Kgf;
}

FileWriteResult ProgramSettings::SetUnit(StrengthUnit unit) {
  const QStringView value = unit == StrengthUnit::MPa ? u"MPa" : u"kg/sm2";
  return Update([value](IniDocument& doc) { doc.Write(kConfig, u"Dimension", value); });
}

FileWriteResult ProgramSettings::CountLaunch() {
  // Read and written under the lock, so that two programs started at once count twice.
  return Update([](IniDocument& doc) {
    const int uses = ReadInt(doc, kConfig, u"Uses").value_or(0);
    doc.Write(kConfig, u"Uses", QString::number(qint64(uses) + 1));
  });
}

StoredWindow ProgramSettings::Window() const {
  const IniDocument doc = Current();
  StoredWindow w;
  w.width = ReadInt(doc, kFormMain, u"Width");
  w.height = ReadInt(doc, kFormMain, u"Height");
  w.table1Width = ReadInt(doc, kFormMain, u"Table1Width");
  w.left = ReadInt(doc, kFormMain, u"Left");
  w.top = ReadInt(doc, kFormMain, u"Top");
  // Only the first character counts: "10" maximises too.
  w.maximized = doc.Read(kFormMain, u"Maximized", u"0", kShortValue).startsWith(u'1');
  return w;
}

FileWriteResult ProgramSettings::SetWindow(bool maximized, const QRect& place, int table1Width) {
  return Update([&](IniDocument& doc) {
    if (maximized) {
      // The normal size and place of the last normal close stay as they were.
      doc.Write(kFormMain, u"Maximized", u"1");
      return;
    }
    doc.Write(kFormMain, u"Maximized", u"0");
    doc.Write(kFormMain, u"Left", QString::number(place.x()));
    doc.Write(kFormMain, u"Top", QString::number(place.y()));
    doc.Write(kFormMain, u"Width", QString::number(place.width()));
    doc.Write(kFormMain, u"Height", QString::number(place.height()));
    doc.Write(kFormMain, u"Table1Width", QString::number(table1Width));
  });
}

QString ProgramSettings::LastReadPath() const {
  return Current().Read(kConfig, u"LastReadPath", {}, kPathValue);
}

QString ProgramSettings::StartingFolder() const {
  const QString remembered = LastReadPath();
  if (!remembered.isEmpty() && QFileInfo(remembered).isDir()) return WithSlash(remembered);
  return DefaultDataFolder();
}

FileWriteResult ProgramSettings::RememberFolderOf(const QString& filePath) {
  const QString folder = FolderOf(filePath);
  return Update([&folder](IniDocument& doc) { doc.Write(kConfig, u"LastReadPath", folder); });
}

QString ProgramSettings::RecentFileKey(int index) { return QStringLiteral("File%1").arg(index + 1); }

QStringList ProgramSettings::RecentFiles() const {
  const IniDocument doc = Current();
  QStringList files;
  for (int i = 0; i < kRecentFiles; ++i) files.append(doc.Read(kRecent, RecentFileKey(i)));
  return files;
}

FileWriteResult ProgramSettings::SetRecentFiles(const QStringList& files) {
  // All keys in one update: nothing is written when none changed.
  return Update([&files](IniDocument& doc) {
    for (int i = 0; i < kRecentFiles; ++i) {
      const QString key = RecentFileKey(i);
      if (i < files.size() || doc.Value(kRecent, key)) doc.Write(kRecent, key, files.value(i));
    }
  });
}

QString ProgramSettings::ArchiveDatabase() const { return Current().Read(kArchive, u"Database"); }

QString ProgramSettings::ArchiveLocation() const {
  const QString stored = ArchiveDatabase();
  return stored.isEmpty() ? DefaultArchivePath() : stored;
}

FileWriteResult ProgramSettings::SetArchiveDatabase(const QString& location) {
  const QString stored = WithoutPassword(location.trimmed());
  return Update([&stored](IniDocument& doc) { doc.Write(kArchive, u"Database", stored); });
}

bool ProgramSettings::ArchiveKeep() const {
  const QString keep = Current().Read(kArchive, u"Keep").trimmed().toLower();
  return !(keep == u"0" || keep == u"no" || keep == u"false" || keep == u"off");
}

FileWriteResult ProgramSettings::SetArchiveKeep(bool keep) {
  const QStringView value = keep ? u"1" : u"0";
  return Update([value](IniDocument& doc) { doc.Write(kArchive, u"Keep", value); });
}

QString WithoutPassword(const QString& location) {
  qsizetype start = -1;
  for (QStringView scheme : {u"postgresql://", u"postgres://"}) {
    if (location.startsWith(scheme, Qt::CaseInsensitive)) start = scheme.size();
  }
  if (start < 0) return location;
  // The user part ends at the last '@' before the path or the parameters.
  qsizetype authorityEnd = location.size();
  for (QChar c : {QChar(u'/'), QChar(u'?')}) {
    const qsizetype at = location.indexOf(c, start);
    if (at >= 0) authorityEnd = std::min(authorityEnd, at);
  }
  QString out = location.left(start);
  const QStringView authority = QStringView(location).sliced(start, authorityEnd - start);
  const qsizetype at = authority.lastIndexOf(u'@');
  if (at >= 0) {
    const QStringView user = authority.left(at);
    const qsizetype colon = user.indexOf(u':');
    out += colon >= 0 ? user.left(colon) : user;
    out += authority.sliced(at);
  } else {
    out += authority;
  }
  const qsizetype query = location.indexOf(u'?', authorityEnd);
  out += QStringView(location).sliced(authorityEnd, (query < 0 ? location.size() : query) - authorityEnd);
  if (query < 0) return out;
  QStringList kept;
  for (const QString& item : location.sliced(query + 1).split(u'&')) {
    if (item.section(u'=', 0, 0).trimmed().compare(u"password", Qt::CaseInsensitive) != 0)
      kept.append(item);
  }
  if (!kept.isEmpty() && !(kept.size() == 1 && kept.front().isEmpty())) out += u'?' + kept.join(u'&');
  return out;
}

}  // namespace zarn
