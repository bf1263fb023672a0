#pragma once
// INI text files with the semantics of the Windows private-profile functions, the
// form in which these files are exchanged: section and key names
// compare case-insensitively, a value is the text after the first '=' without the
// blanks around it (and without one pair of enclosing quotes), writing a key replaces
// its line in place or adds it at the end of its section (or adds the section at the
// end of the file), and every other line stays as it was.
// Files are written in code page 1251 with CRLF line ends, atomically; reading
// accepts code page 1251 and UTF-8 (with or without BOM) and any line ends.

#include <QString>
#include <QStringList>
#include <QStringView>
#include <functional>
#include <optional>

namespace zarn {

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
  void Write(QStringView section, QStringView key, QStringView value);

  const QStringList& Lines() const { return lines_; }
  // Code page 1251, CRLF after every line.
  QByteArray ToBytes() const;
  // The same text as a QString (CRLF line ends), for showing or printing.
  QString ToText() const;

 private:
  struct SectionSpan {
    qsizetype header = -1;  // index of the "[name]" line
    qsizetype end = 0;      // index after the section's last line
  };
  std::optional<SectionSpan> FindSection(QStringView section) const;

  QStringList lines_;
};

// An INI file on disk. Every call reads the file afresh; every write rewrites it
// whole through a temporary file, so a failed write leaves the old file intact.
class IniFile {
 public:
  explicit IniFile(QString path) : path_(std::move(path)) {}
  const QString& Path() const { return path_; }

  QString ReadString(QStringView section, QStringView key, QStringView defaultValue = {},
                     int maxChars = -1) const;
  // Returns false when the file could not be written (the caller may ignore it).
  bool WriteString(QStringView section, QStringView key, QStringView value);

  // The file's text; an absent file gives an empty document. nullopt when the file
  // exists but cannot be read (a write then refuses, so that nothing is lost).
  std::optional<IniDocument> Load() const;
  // Writes `document` whole through a temporary file; `error` (when given) gets the
  // reason of a failure. The settings file's folder is created on its first write;
  // `createFolder` false leaves a missing folder a failure (files the user named).
  bool Save(const IniDocument& document, QString* error = nullptr, bool createFolder = true);
  // Load, change with `fill`, Save, without creating a folder: a file that exists but
  // cannot be read is not touched.
  bool Update(const std::function<void(IniDocument&)>& fill, QString* error = nullptr);

 private:
  QString path_;
};

}  // namespace zarn
