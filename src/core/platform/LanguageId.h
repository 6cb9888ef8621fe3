#pragma once

#include <QProcessEnvironment>
#include <QString>

// The user's language as a Windows language identifier: primary language in
// the low 10 bits, sublanguage above. Here it comes from the POSIX locale.

// "de_DE.UTF-8" -> 0x0407, "de_AT" -> 0x0C07, "C" -> 0x0409; 0 when unknown.
quint16 LanguageIdOfLocale(const QString& localeName);

// The first entry of LANGUAGE that names a known language, else the first
// non-empty of LC_ALL, LC_MESSAGES and LANG, mapped as above; 0 when none is
// set or the language is unknown.
quint16 UserDefaultUILanguage(const QProcessEnvironment& env);
