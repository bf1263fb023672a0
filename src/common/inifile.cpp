#include "inifile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QThread>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cp1251.h"

namespace zarn {
namespace {

constexpr qint64 kMaxIniBytes = 1024 * 1024;  // settings and parameter files are tiny
constexpr int kLockWaitMs = 2000;

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

bool IsValidUtf8(QByteArrayView bytes) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString decoded = utf8(bytes);  // decoding happens on the conversion
  return !utf8.hasError();
}

bool IsAscii(QByteArrayView bytes) {
  for (char c : bytes)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

// Locks the folder that holds an INI file against the other programs' updates for as
// long as it lives. A folder that cannot be opened or locked (a file system without
// locks) is not locked: the update goes on, as it would without another program.
class FolderLock {
 public:
  explicit FolderLock(const QString& folder) {
    fd_ = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    QElapsedTimer waited;
    waited.start();
    while (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
      if (errno != EWOULDBLOCK && errno != EINTR) return;
      if (waited.elapsed() > kLockWaitMs) {
        busy_ = true;
        return;
      }
      QThread::msleep(2);
    }
  }
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool Busy() const { return busy_; }

 private:
  int fd_ = -1;
  bool busy_ = false;
};

}  // namespace

IniDocument IniDocument::FromBytes(QByteArrayView bytes) {
  IniDocument doc;
  bool firstEnd = true;
  auto addLine = [&doc, &firstEnd](QString text, QByteArray raw, QStringView end) {
    if (!end.isEmpty() && firstEnd) {
      doc.lineEnd_ = end.toString();
      firstEnd = false;
    }
    doc.lines_.append(Line{std::move(text), std::move(raw), end.toString(), false});
  };

  if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
    // UTF-16: split on the code units of CR and LF.
    const bool little = bytes[0] == '\xFF';
    doc.encoding_ = little ? Encoding::Utf16Le : Encoding::Utf16Be;
    const QByteArrayView body = bytes.sliced(2);
    const qsizetype units = body.size() / 2;
    if (body.size() % 2) doc.tail_ = body.last(1).toByteArray();
    auto unit = [&](qsizetype i) {
      const auto lo = static_cast<unsigned char>(body[2 * i + (little ? 0 : 1)]);
      const auto hi = static_cast<unsigned char>(body[2 * i + (little ? 1 : 0)]);
      return char16_t(lo | hi << 8);
    };
    qsizetype start = 0;
    QString text;
    for (qsizetype i = 0; i < units; ++i) {
      const char16_t c = unit(i);
      if (c != u'\r' && c != u'\n') {
        text += QChar(c);
        continue;
      }
      const bool crlf = c == u'\r' && i + 1 < units && unit(i + 1) == u'\n';
      addLine(std::exchange(text, QString()), body.sliced(2 * start, 2 * (i - start)).toByteArray(),
              crlf ? u"\r\n" : c == u'\r' ? u"\r" : u"\n");
      if (crlf) ++i;
      start = i + 1;
    }
    if (start < units) addLine(text, body.sliced(2 * start, 2 * (units - start)).toByteArray(), {});
    return doc;
  }

  QByteArrayView body = bytes;
  if (bytes.startsWith("\xEF\xBB\xBF")) {
    doc.encoding_ = Encoding::Utf8Bom;
    body = bytes.sliced(3);
  } else {
    doc.encoding_ = IsValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Cp1251;
  }
  const bool cp1251 = doc.encoding_ == Encoding::Cp1251;
  const qsizetype n = body.size();
  qsizetype start = 0;
  auto take = [&](qsizetype from, qsizetype to, QStringView end) {
    const QByteArrayView raw = body.sliced(from, to - from);
    addLine(cp1251 ? DecodeCp1251(raw) : QString::fromUtf8(raw), raw.toByteArray(), end);
  };
  for (qsizetype i = 0; i < n; ++i) {
    const char c = body[i];
    if (c != '\r' && c != '\n') continue;
    const bool crlf = c == '\r' && i + 1 < n && body[i + 1] == '\n';
    take(start, i, crlf ? u"\r\n" : c == '\r' ? u"\r" : u"\n");
    if (crlf) ++i;
    start = i + 1;
  }
  if (start < n) take(start, n, {});
  return doc;
}

std::optional<IniDocument::SectionSpan> IniDocument::FindSection(QStringView section) const {
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    auto name = SectionName(lines_[i].text);
    if (!name || !SameName(*name, section)) continue;
    SectionSpan span{i, i + 1};
    while (span.end < lines_.size() && !SectionName(lines_[span.end].text)) ++span.end;
    return span;
  }
  return std::nullopt;
}

std::optional<QString> IniDocument::Value(QStringView section, QStringView key) const {
  auto span = FindSection(section);
  if (!span) return std::nullopt;
  for (qsizetype i = span->header + 1; i < span->end; ++i) {
    QStringView k, v;
    if (SplitKeyLine(lines_[i].text, k, v) && SameName(k, key)) return Unquote(v);
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
  const QString text = key.toString() + u'=' + value.toString();
  auto span = FindSection(section);
  if (!span) {
    lines_.append(Line{u'[' + section.toString() + u']', {}, {}, true});
    lines_.append(Line{text, {}, {}, true});
    modified_ = true;
    return;
  }
  qsizetype lastContent = span->header;
  for (qsizetype i = span->header + 1; i < span->end; ++i) {
    QStringView k, v;
    if (SplitKeyLine(lines_[i].text, k, v) && SameName(k, key)) {
      // A value that reads the same stays as written, quotes and blanks included.
      if (Unquote(v) == Unquote(TrimBlanks(value))) return;
      lines_[i].text = text;
      lines_[i].raw = QByteArray();
      modified_ = true;
      return;
    }
    if (!TrimBlanks(lines_[i].text).isEmpty()) lastContent = i;
  }
  lines_.insert(lastContent + 1, Line{text, {}, {}, true});
  modified_ = true;
}

QStringList IniDocument::Lines() const {
  QStringList texts;
  texts.reserve(lines_.size());
  for (const Line& l : lines_) texts.append(l.text);
  return texts;
}

QString IniDocument::ToText() const {
  QString text;
  for (const Line& l : lines_) {
    text += l.text;
    text += u"\r\n";
  }
  return text;
}

IniDocument::Encoding IniDocument::TargetEncoding(IniCharset charset) const {
  if (charset == IniCharset::Cp1251) return Encoding::Cp1251;
  if (encoding_ != Encoding::Cp1251) return encoding_;
  for (const Line& l : lines_) {
    if (l.raw.isNull() && !FitsCp1251(l.text)) return Encoding::Utf8;
  }
  return Encoding::Cp1251;
}

QByteArray IniDocument::Encode(QStringView text, Encoding encoding) {
  switch (encoding) {
    case Encoding::Cp1251:
      return EncodeCp1251(text);
    case Encoding::Utf16Le:
    case Encoding::Utf16Be: {
      QByteArray out(text.size() * 2, Qt::Uninitialized);
      const bool little = encoding == Encoding::Utf16Le;
      for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        out[2 * i + (little ? 0 : 1)] = char(c & 0xFF);
        out[2 * i + (little ? 1 : 0)] = char(c >> 8);
      }
      return out;
    }
    case Encoding::Utf8:
    case Encoding::Utf8Bom:
      break;
  }
  return text.toUtf8();
}

QByteArray IniDocument::ToBytes(IniCharset charset) const {
  const Encoding target = TargetEncoding(charset);
  // Bytes read stay as they are when the encoding stays; plain ASCII lines read the
  // same in every 8-bit encoding.
  const bool wide = target == Encoding::Utf16Le || target == Encoding::Utf16Be;
  auto keepsBytes = [&](const Line& l) {
    if (l.raw.isNull()) return false;
    if (target == encoding_) return true;
    const bool wideSource = encoding_ == Encoding::Utf16Le || encoding_ == Encoding::Utf16Be;
    return !wide && !wideSource && IsAscii(l.raw);
  };
  QByteArray out;
  if (target == Encoding::Utf8Bom) out += "\xEF\xBB\xBF";
  if (target == Encoding::Utf16Le) out += "\xFF\xFE";
  if (target == Encoding::Utf16Be) out += "\xFE\xFF";
  for (qsizetype i = 0; i < lines_.size(); ++i) {
    const Line& l = lines_[i];
    out += keepsBytes(l) ? l.raw : Encode(l.text, target);
    // A last line without a line end keeps going without one, unless lines follow.
    if (!l.end.isEmpty())
      out += Encode(l.end, target);
    else if (l.added || i + 1 < lines_.size())
      out += Encode(lineEnd_, target);
  }
  if (target == encoding_) out += tail_;
  return out;
}

std::optional<IniDocument> IniFile::Load(int* why) const {
  auto refuse = [why](int reason) -> std::optional<IniDocument> {
    if (why) *why = reason;
    return std::nullopt;
  };
  const QByteArray native = QFile::encodeName(path_);
  // Not blocking: a pipe in the file's place must not stop the program.
  const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return IniDocument{};
    return refuse(errno == EISDIR ? EISDIR : kWriteUnreadable);
  }
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat st {};
  if (::fstat(fd, &st) != 0) return refuse(kWriteUnreadable);
  if (S_ISDIR(st.st_mode)) return refuse(EISDIR);
  if (!S_ISREG(st.st_mode)) return refuse(kWriteNotAFile);
  if (st.st_size > kMaxIniBytes) return refuse(kWriteUnreadable);
  QByteArray bytes(qsizetype(st.st_size), Qt::Uninitialized);
  qsizetype got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return refuse(kWriteUnreadable);
    if (n == 0) break;  // cut short meanwhile
    got += n;
  }
  bytes.truncate(got);
  // A binary file is not an INI text, whatever it may hold; UTF-16 files start with
  // their BOM.
  if (bytes.contains('\0') && !bytes.startsWith("\xFF\xFE") && !bytes.startsWith("\xFE\xFF"))
    return refuse(kWriteUnreadable);
  return IniDocument::FromBytes(bytes);
}

FileWriteResult IniFile::Save(const IniDocument& document, bool createFolder) const {
  return WriteFileAtomically(path_, document.ToBytes(charset_), createFolder);
}

FileWriteResult IniFile::Update(const std::function<void(IniDocument&)>& fill,
                                bool createFolder) const {
  const QString folder = QFileInfo(path_).absolutePath();
  if (createFolder) QDir().mkpath(folder);  // a failure is named by the write below
  const FolderLock lock(folder);
  if (lock.Busy()) return FileWriteResult::Failed(kWriteLocked, path_);
  int why = 0;
  std::optional<IniDocument> document = Load(&why);
  if (!document) return FileWriteResult::Failed(why, path_);
  fill(*document);
  if (!document->Modified()) return {0, path_};
  return Save(*document, createFolder);
}

QString IniFile::ReadString(QStringView section, QStringView key, QStringView defaultValue,
                            int maxChars) const {
  auto doc = Load();
  return doc ? doc->Read(section, key, defaultValue, maxChars) : defaultValue.toString();
}

bool IniFile::WriteString(QStringView section, QStringView key, QStringView value) {
  return bool(Update([&](IniDocument& doc) { doc.Write(section, key, value); }, true));
}

}  // namespace zarn
