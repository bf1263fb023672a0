#include "mnemonics.h"

#include <QSet>
#include <vector>

namespace zarn {
namespace {

bool Markable(QChar c) { return c.isLetterOrNumber(); }

// Where in `caption` the mnemonic goes, or -1.
qsizetype Choose(const QString& caption, const QSet<QChar>& taken) {
  auto free = [&](qsizetype i) { return Markable(caption[i]) && !taken.contains(caption[i].toLower()); };
  // The first letter of each word, in order.
  for (qsizetype i = 0; i < caption.size(); ++i) {
    const bool wordStart = i == 0 || !caption[i - 1].isLetterOrNumber();
    if (wordStart && free(i)) return i;
  }
  for (qsizetype i = 0; i < caption.size(); ++i)
    if (free(i)) return i;
  return -1;
}

}  // namespace

QStringList WithMnemonics(const QStringList& captions) {
  QSet<QChar> taken;
  QStringList out;
  out.reserve(captions.size());
  for (const QString& caption : captions) {
    const qsizetype at = Choose(caption, taken);
    QString marked;
    marked.reserve(caption.size() + 2);
    for (qsizetype i = 0; i < caption.size(); ++i) {
      if (i == at) marked += u'&';
      marked += caption[i];
      if (caption[i] == u'&') marked += u'&';
    }
    if (at >= 0) taken.insert(caption[at].toLower());
    out.append(marked);
  }
  return out;
}

QChar MnemonicOf(const QString& caption) {
  for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != u'&') continue;
    if (caption[i + 1] != u'&') return caption[i + 1];
    ++i;  // "&&" is an ampersand
  }
  return {};
}

QString WithoutMnemonic(const QString& caption) {
  QString plain;
  plain.reserve(caption.size());
  for (qsizetype i = 0; i < caption.size(); ++i) {
    if (caption[i] == u'&') {
      if (i + 1 < caption.size() && caption[i + 1] == u'&') {
        plain += u'&';
        ++i;
      }
      continue;
    }
    plain += caption[i];
  }
  return plain;
}

}  // namespace zarn
