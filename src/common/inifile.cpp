#include "inifile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include "cp1251.h"

namespace zarn {
namespace {

constexpr qint64 kMaxIniBytes = 16 * 1024 * 1024;  // settings and parameter files are tiny

bool IsBlank(QChar c) { return c == u' ' || c == u'\t'; }

QStringView TrimBlanks(QStringView s) {
  qsizetype b = 0, e = s.size();
  while (b < e && IsBlank(s[b])) ++b;
  while (e > b && IsBlank(s[e - 1])) --e;
  return s.mid(b, e - b);
}

// "[name]" -> name; anything else -> nullopt.
std::optional<QStringView> SectionName(QStringView line) {
  QStringView t = TrimBlanks(line);
  if (!t.startsWith(u'[')) return std::nullopt;
  const qsizetype close = t.indexOf(u']');
  if (close < 0) return std::nullopt;
  return TrimBlanks(t.mid(1, close - 1));
}

bool SameName(QStringView a, QStringView b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

// Splits "key = value" at the first '='; returns false for lines without one.
bool SplitKeyLine(QStringView line, QStringView& key, QStringView& value) {
  const qsizetype eq = line.indexOf(u'=');
  if (eq < 0) return false;
  key = TrimBlanks(line.left(eq));
  value = TrimBlanks(line.mid(eq + 1));
  return true;
}

QString Unquote(QStringView v) {
  if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
    return v.mid(1, v.size() - 2).toString();
  return v.toString();
}

QString DecodeIniBytes(QByteArrayView bytes) {
  if (bytes.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(bytes.sliced(3));
  bool ascii = true;
  for (char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      ascii = false;
      break;
    }
  }
  if (ascii) return QString::fromLatin1(bytes);
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return DecodeCp1251(bytes);
}

}  // namespace

IniDocument IniDocument::FromBytes(QByteArrayView bytes) {
  IniDocument doc;
  const QString text = DecodeIniBytes(bytes);
  qsizetype start = 0;
  const qsizetype n = text.size();
  for (qsizetype i = 0; i < n; ++i) {
    const QChar c = text[i];
    if (c == u'\r' || c == u'\n') {
      doc.lines_.append(text.mid(start, i - start));
      if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n') ++i;
      start = i + 1;
    }
  }
  if (start < n) doc.lines_.append(text.mid(start));
  return doc;
}

std::optional<IniDocument::SectionSpan> IniDocument::FindSection(QStringView section) const {
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    auto name = SectionName(lines_[i]);
    if (!name || !SameName(*name, section)) continue;
    SectionSpan span{i, i + 1};
    while (span.end < lines_.size() && !SectionName(lines_[span.end])) ++span.end;
    return span;
  }
  return std::nullopt;
}

std::optional<QString> IniDocument::Value(QStringView section, QStringView key) const {
  auto span = FindSection(section);
  if (!span) return std::nullopt;
  for (qsizetype i = span->header + 1; i < span->end; ++i) {
    QStringView k, v;
    if (SplitKeyLine(lines_[i], k, v) && SameName(k, key)) return Unquote(v);
  }
  return std::nullopt;
}

QString IniDocument::Read(QStringView section, QStringView key, QStringView defaultValue,
                          int maxChars) const {
  auto v = Value(section, key);
  if (!v) return defaultValue.toString();
  if (maxChars >= 0 && v->size() > maxChars) v->truncate(maxChars);
  return *v;
}

void IniDocument::Write(QStringView section, QStringView key, QStringView value) {
  const QString line = key.toString() + u'=' + value.toString();
  auto span = FindSection(section);
  if (!span) {
    lines_.append(u'[' + section.toString() + u']');
    lines_.append(line);
    return;
  }
  qsizetype lastContent = span->header;
  for (qsizetype i = span->header + 1; i < span->end; ++i) {
    QStringView k, v;
    if (SplitKeyLine(lines_[i], k, v) && SameName(k, key)) {
      lines_[i] = line;
      return;
    }
    if (!TrimBlanks(lines_[i]).isEmpty()) lastContent = i;
  }
  lines_.insert(lastContent + 1, line);
}

QString IniDocument::ToText() const {
  QString text;
  for (const QString& l : lines_) {
    text += l;
    text += u"\r\n";
  }
  return text;
}

QByteArray IniDocument::ToBytes() const { return EncodeCp1251(ToText()); }

std::optional<IniDocument> IniFile::Load() const {
  QFile f(path_);
  if (!f.exists()) return IniDocument{};
  if (!f.open(QIODevice::ReadOnly) || f.size() > kMaxIniBytes) return std::nullopt;
  return IniDocument::FromBytes(f.read(kMaxIniBytes));
}

bool IniFile::Save(const IniDocument& document, QString* error, bool createFolder) {
  if (createFolder) QDir().mkpath(QFileInfo(path_).absolutePath());
  QSaveFile f(path_);
  const QByteArray bytes = document.ToBytes();
  if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
    if (error) *error = f.errorString();
    f.cancelWriting();
    return false;
  }
  if (!f.commit()) {
    if (error) *error = f.errorString();
    return false;
  }
  return true;
}

bool IniFile::Update(const std::function<void(IniDocument&)>& fill, QString* error) {
  std::optional<IniDocument> document = Load();
  if (!document) {
    if (error) *error = QStringLiteral("the existing file cannot be read: %1").arg(path_);
    return false;
  }
  fill(*document);
  return Save(*document, error, false);
}

QString IniFile::ReadString(QStringView section, QStringView key, QStringView defaultValue,
                            int maxChars) const {
  auto doc = Load();
  return doc ? doc->Read(section, key, defaultValue, maxChars) : defaultValue.toString();
}

bool IniFile::WriteString(QStringView section, QStringView key, QStringView value) {
  auto doc = Load();
  if (!doc) return false;
  doc->Write(section, key, value);
  return Save(*doc);
}

}  // namespace zarn
