#pragma once
// Qt's own texts (file dialogs, standard buttons, the text fields' context menus) in
// the interface's language, from the Qt translation catalogues the system installs.

#include <QLocale>
#include <QString>

namespace zarn {

// Installs the catalogue of `language` (kRussian: qtbase_ru) into the application,
// replacing the one installed before; English needs none and removes it. Returns false
// when the catalogue was wanted but could not be loaded (Qt's texts then stay English).
// The language's locale becomes the default one (the dates of the file dialogs).
bool UseQtTranslations(int language);
QLocale InterfaceLocale(int language);

// The folder the catalogues are looked for in (Qt's translations path); a test or a
// relocated installation may name another one by ZARN26_QT_TRANSLATIONS.
QString QtTranslationsFolder();

}  // namespace zarn
