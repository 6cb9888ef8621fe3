#include "app/GnuGetText.h"

namespace {

// Catalogs hold LF line breaks, the program writes CR LF: the key loses its
// CRs, the result gets a CR before every bare LF.
QString CatalogKey(const QString& key)
{
    QString k = key;
    k.remove(u'\r');
    return k;
}

QString WithCrLf(const QString& text)
{
    QString result;
    result.reserve(text.size() + 8);
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r'))
            result += u'\r';
        result += text[i];
    }
    return result;
}

} // namespace

QString TrDomain(const char* /*domain*/, const QString& key)
{
    // No catalogs are bound yet: every lookup gives its key.
    return WithCrLf(CatalogKey(key));
}

QString TrDefault(const QString& key)
{
    return TrDomain("default", key);
}

QString TrDialogs(const QString& key)
{
    return TrDomain("dialogs", key);
}

QString TrToolkit(const QString& key)
{
    return TrDomain(ToolkitDomain, key);
}
