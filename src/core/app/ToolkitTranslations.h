#pragma once

#include <QString>

// Texts that the toolkit's own windows show (the file dialogs, standard
// buttons, input boxes): looked up in our catalogs first, as every toolkit
// text is, then in Qt's own translation of the chosen language
// (qtbase_<code>.qm in Qt's translations folder). Needs the application
// object; call once after it exists and after the language was switched.
// Returns true when Qt's translation for the language was found.
bool InstallToolkitTranslations(const QString& language);
