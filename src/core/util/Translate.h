#pragma once

#include <QString>

// Text lookup for the three catalog domains, reachable from every layer.
// Every user-visible text passes through one of these just before it is
// shown; a text that no catalog holds comes back as written. Keys are written
// with CR LF line breaks.
//
// The catalogs themselves live above this layer (app/GnuGetText), which
// installs its lookups when the language is switched; until then every lookup
// gives its key.

// The program's own texts (domain "default").
QString TrDefault(const QString& key);
inline QString TrDefault(const char* key)
{
    return TrDefault(QString::fromUtf8(key));
}

// Texts of the dialog modules (domain "dialogs").
QString TrDialogs(const QString& key);
inline QString TrDialogs(const char* key)
{
    return TrDialogs(QString::fromUtf8(key));
}

// The toolkit's built-in texts: "default" first, then the toolkit domain.
QString TrToolkit(const QString& key);
inline QString TrToolkit(const char* key)
{
    return TrToolkit(QString::fromUtf8(key));
}

// Lookup in a named domain.
QString TrDomain(const char* domain, const QString& key);

// Mark a text that is looked up later, not where it is written: a window's
// texts that TranslateComponent translates as a whole, the rows of a table,
// the key handed to a helper. They give the text unchanged (also inside
// QStringLiteral) and tell the catalog check which domain the text is for.
#define MarkDefault(text) text
#define MarkDialogs(text) text
#define MarkToolkit(text) text

// The catalog code's lookups, installed when the language is switched; the
// functions must be safe to call from every thread that looks texts up. An
// empty record goes back to the keys.
struct TTextLookup
{
    QString (*Domain)(const char* domain, const QString& key) = nullptr;
    QString (*Toolkit)(const QString& key) = nullptr;
};
void InstallTextLookup(const TTextLookup& lookup);

// Catalogs hold LF line breaks, the program writes CR LF: a key is looked up
// without its CRs, and what comes back (the key itself when no catalog holds
// it) gets a CR before every bare LF.
QString CatalogKey(const QString& key);
QString WithCrLf(const QString& text);
