#include "profilefile.h"

#include <QFileInfo>
#include <QSaveFile>

namespace zarn {

QStringView FileExtension(QStringView path) {
  const qsizetype slash = path.lastIndexOf(u'/');
  const QStringView name = path.mid(slash + 1);
  const qsizetype dot = name.lastIndexOf(u'.');
  return dot < 0 ? QStringView() : name.mid(dot);
}

SaveNameDecision DecideSuffixedSaveName(const QString& chosen, QStringView ownSuffix,
                                        std::initializer_list<QStringView> foreignSuffixes) {
  const QStringView ext = FileExtension(chosen);
  for (QStringView foreign : foreignSuffixes) {
    if (!ext.isEmpty() && ext == foreign)
      return {true, chosen.left(chosen.size() - ext.size()) + ownSuffix.toString()};
  }
  if (ext == u".") return {false, chosen.left(chosen.size() - 1) + ownSuffix.toString()};
  if (!ext.isEmpty() && ext == ownSuffix) return {false, chosen};
  return {false, chosen + ownSuffix.toString()};
}

QString ProposedSuffixedFileName(const QDateTime& now, QStringView suffix) {
  return now.toString(QStringLiteral("yyMMdd.HHmm")) + suffix.toString();
}

QString IniValueFor(QStringView value) {
  QString v = value.toString();
  v.replace(u'\r', u' ');
  v.replace(u'\n', u' ');
  if (v.isEmpty()) return v;
  auto blank = [](QChar c) { return c == u' ' || c == u'\t'; };
  const bool blankEnds = blank(v.front()) || blank(v.back());
  const bool quoted =
      v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front();
  if (blankEnds || quoted) return u'"' + v + u'"';
  return v;
}

bool UpdateIniFile(const QString& path, const std::function<void(IniDocument&)>& fill,
                   QString* error) {
  std::optional<IniDocument> document = IniFile(path).Load();
  if (!document) {
    if (error) *error = QStringLiteral("the existing file cannot be read: %1").arg(path);
    return false;
  }
  fill(*document);
  const QByteArray bytes = document->ToBytes();
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
    if (error) *error = file.errorString();
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    if (error) *error = file.errorString();
    return false;
  }
  return true;
}

std::optional<IniDocument> ReadIniFileForLoad(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists() || !info.isFile()) return std::nullopt;
  return IniFile(path).Load();
}

}  // namespace zarn
