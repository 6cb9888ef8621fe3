#pragma once

#include <QString>

// Text lookup for the three catalog domains. Every user-visible text passes
// through one of these just before it is shown; a text that no catalog holds
// comes back as written. Keys are written with CR LF line breaks.

// Name of the toolkit's catalog domain.
inline constexpr char ToolkitDomain[] = "qt";

// The program's own texts (domain "default").
QString TrDefault(const QString& key);
inline QString TrDefault(const char* key) { return TrDefault(QString::fromUtf8(key)); }

// Texts of the dialog modules (domain "dialogs").
QString TrDialogs(const QString& key);
inline QString TrDialogs(const char* key) { return TrDialogs(QString::fromUtf8(key)); }

// The toolkit's built-in texts: "default" first, then the toolkit domain.
QString TrToolkit(const QString& key);
inline QString TrToolkit(const char* key) { return TrToolkit(QString::fromUtf8(key)); }

// Lookup in a named domain.
QString TrDomain(const char* domain, const QString& key);
