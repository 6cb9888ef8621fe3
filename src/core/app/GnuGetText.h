#pragma once

#include "util/Translate.h"

#include <QString>
#include <QStringList>

#include <functional>

// The message catalogs behind the text lookups of util/Translate.h (TrDefault,
// TrDialogs, TrToolkit, TrDomain), which this module installs when the
// language is switched.
//
// Catalogs are GNU gettext .mo files, "locale/<code>/LC_MESSAGES/<domain>.mo"
// below the executable's folder, as ordinary files or in the container that
// the build appends to the executable. Until the language has been switched
// every lookup gives its key.

// Name of the toolkit's catalog domain.
inline constexpr char ToolkitDomain[] = "qt";

// Module start-up: binds "default" to ExePath + "locale" and reads the
// directory of the catalog container appended to the executable.
void InitGnuGetText();

// Adds a domain to those searched for the toolkit's built-in texts (the list
// starts with "default"; duplicates are ignored).
void AddDomainForToolkitTexts(const QString& domain);

// Switches to a language code, once per process; later calls are ignored.
// An empty code takes LANG (else the locale) cut at its first dot.
void UseLanguage(const QString& code);
QString GetCurrentLanguage();

// Receives the notice about a catalog that is not declared as UTF-8; the
// default handler writes it to stderr.
void SetCatalogNoticeHandler(std::function<void(const QString&)> handler);
void DefaultCatalogNotice(const QString& text);
