#pragma once

#include "platform/SysInfo.h"

#include <QString>
#include <QStringList>

// Start-up options ("-lang:", "-ini:", "-portable") and the language choice.
// On this platform an argument that begins with "/" is a path, so options
// begin with "-" only; names may be abbreviated and ignore case.

// Full path of the configuration file with the language code; settled by
// InitLanguage (and ReadStartOptions), read-only afterwards.
extern QString CfgName;

// Language set-up, once before the application object exists: settles the
// default CfgName below `dir` (relative: below the application-data folder,
// and AppSubDir becomes `dir`) named `name` (empty: ExeBaseName + ".cfg"),
// adds the extra domains for the toolkit's texts and switches the language.
void InitLanguage(const QString& dir, const QString& name, const QStringList& extraDomains);
void InitLanguage(const QString& dir, const QString& name, const QStringList& extraDomains,
                  const QStringList& arguments, const QProcessEnvironment& env);

// The default configuration file, as InitLanguage's first step sets it.
void SetDefaultCfgName(const QString& dir, const QString& name, const QProcessEnvironment& env = CurrentEnvironment());

// The code of the "lang" option, else of the configuration file, else of the
// system language.
QString GetLanguage();
QString GetLanguage(const QStringList& arguments, const QProcessEnvironment& env);

// Scans the arguments (without the program name), settles CfgName and
// returns the language code of the options or the configuration file (at
// most two characters, possibly empty). The no-argument form reads the
// process's own arguments.
QString ReadStartOptions();
QString ReadStartOptions(const QStringList& arguments);

// The process's arguments without the program name; usable before any
// application object exists.
QStringList ProcessArguments();

// True for a path that stands on its own: on this platform one that begins
// with "/".
bool IsAbsolutePath(const QString& path);

QString SystemLanguageCode(const QProcessEnvironment& env = CurrentEnvironment());

// Two-letter code of a Windows language identifier's primary language ("de"
// for 0x0407 and 0x0C07); empty for languages outside the table.
QString LanguageCodeOf(quint16 languageId);

// First two characters of "LangID" in section "Language" of an INI file;
// empty when the file, the section or the key is missing or unreadable.
QString ReadConfiguredLanguage(const QString& cfgName);
