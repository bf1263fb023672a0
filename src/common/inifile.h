#pragma once
// INI text files with the semantics of the Windows private-profile functions, the
// form in which these files are exchanged: section and key names
// compare case-insensitively, a value is the text after the first '=' without the
// blanks around it (and without one pair of enclosing quotes), writing a key replaces
// its line in place or adds it at the end of its section (or adds the section at the
// end of the file), and every other line stays as it was.
//
// Nothing is lost on the way through a document: a line the program does not change is
// written back as the very bytes it was read from, its line end included, and writing
// a key with the value it already has changes nothing. Reading recognises UTF-8 with a
// BOM, UTF-16 with a BOM (either byte order), UTF-8 without BOM (any file that is valid
// UTF-8, plain ASCII included) and otherwise code page 1251, the encoding of the files
// the Windows program writes. How a document is written depends on the file (IniCharset).
// Lines added to a file end as the file's first line does (CRLF in a new file).

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <optional>

#include "filewrite.h"

namespace zarn {

enum class IniCharset {
  // The settings file: it stays in the encoding it was read in as long as that holds
  // every line; a code page 1251 file that must hold a character outside the code page
  // becomes UTF-8 (without BOM) as a whole; a new file is UTF-8 without BOM.
  KeepOrUtf8,
  // Materials and objects files, which the instrument's Windows software reads: always
  // code page 1251 (their names are code page 1251 texts); a character outside the code
  // page, which only a file edited elsewhere can hold, is written as '?'.
  Cp1251,
};

// The text of one INI file in memory.
class IniDocument {
 public:
  IniDocument() = default;
  static IniDocument FromBytes(QByteArrayView bytes);

  // The value, or nullopt when the section or key is absent.
  std::optional<QString> Value(QStringView section, QStringView key) const;
  // The value cut to maxChars characters (when maxChars >= 0), or defaultValue when
  // the key is absent.
  QString Read(QStringView section, QStringView key, QStringView defaultValue = {},
               int maxChars = -1) const;
  // Writes the line key=value; a key whose value already reads as `value` is left as
  // it stands.
  void Write(QStringView section, QStringView key, QStringView value);
  // Whether a Write changed the text since the document was made.
  bool Modified() const { return modified_; }

  // The text of every line.
  QStringList Lines() const;
  // The file's bytes: unchanged lines as read, the others in the encoding `charset`
  // chooses.
  QByteArray ToBytes(IniCharset charset = IniCharset::KeepOrUtf8) const;
  // The same text as a QString (CRLF line ends), for showing or printing.
  QString ToText() const;

 private:
  enum class Encoding : uint8_t { Utf8, Utf8Bom, Cp1251, Utf16Le, Utf16Be };
  struct Line {
    QString text;
    QByteArray raw;     // the bytes read, without the line end; null when written anew
    QString end;        // the line end read; empty for the last line without one
    bool added = false; // a line the program added
  };
  struct SectionSpan {
    qsizetype header = -1;  // index of the "[name]" line
    qsizetype end = 0;      // index after the section's last line
  };
  std::optional<SectionSpan> FindSection(QStringView section) const;
  Encoding TargetEncoding(IniCharset charset) const;
  static QByteArray Encode(QStringView text, Encoding encoding);

  QList<Line> lines_;
  Encoding encoding_ = Encoding::Utf8;
  QString lineEnd_ = QStringLiteral("\r\n");
  QByteArray tail_;  // an odd last byte of a UTF-16 file
  bool modified_ = false;
};

// An INI file on disk. Every call reads the file afresh; every write rewrites it
// whole through a temporary file, so a failed write leaves the old file intact.
class IniFile {
 public:
  explicit IniFile(QString path, IniCharset charset = IniCharset::KeepOrUtf8)
      : path_(std::move(path)), charset_(charset) {}
  const QString& Path() const { return path_; }

  QString ReadString(QStringView section, QStringView key, QStringView defaultValue = {},
                     int maxChars = -1) const;
  // Update with one key, creating the folder; false when the file was not written.
  bool WriteString(QStringView section, QStringView key, QStringView value);

  // The file's text; an absent file gives an empty document. nullopt when the name is
  // taken by something that cannot be read as an INI text: a folder, a pipe or
  // device, a file that may not be read, a binary file (one with NUL bytes; UTF-16
  // files carry a BOM) or one larger than 1 MiB. Such a file is never written over;
  // `why` (when given) gets EISDIR, kWriteNotAFile or kWriteUnreadable.
  std::optional<IniDocument> Load(int* why = nullptr) const;
  // Writes `document` whole through a temporary file. The settings file's folder is
  // created on its first write; `createFolder` false leaves a missing folder a failure
  // (files the user named).
  FileWriteResult Save(const IniDocument& document, bool createFolder = true) const;
  // Load, change with `fill`, and Save when `fill` changed anything, while holding the
  // folder's lock, so that two programs that update the same file at once do not lose
  // each other's keys (a lock held by another for over 2 s fails with kWriteLocked). A
  // file that exists but cannot be read is not touched.
  FileWriteResult Update(const std::function<void(IniDocument&)>& fill,
                         bool createFolder = false) const;

 private:
  QString path_;
  IniCharset charset_;
};

}  // namespace zarn
