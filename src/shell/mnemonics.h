#pragma once
// Menu mnemonics: which letter of each caption of one menu is underlined, so that
// Alt and the letter (or the letter alone in an open menu) choose it. The captions
// themselves stay as they are; only an "&" goes before the chosen letter.

#include <QString>
#include <QStringList>

namespace zarn {

// The captions of one menu, top to bottom, each with an "&" before a letter or digit
// no other caption of the list has taken (compared without case): the caption's first
// letter, else the first letter of a later word, else any of its letters. A caption
// left without a free letter gets none. An "&" already in a caption is doubled, so it
// shows as itself.
QStringList WithMnemonics(const QStringList& captions);

// The letter an "&" marks in `caption` (null when none).
QChar MnemonicOf(const QString& caption);

// The caption as it reads on the screen: "&&" becomes "&", a lone "&" goes.
QString WithoutMnemonic(const QString& caption);

}  // namespace zarn
