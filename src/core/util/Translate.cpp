#include "util/Translate.h"

#include <atomic>

namespace {

using TDomainLookup = QString (*)(const char*, const QString&);
using TToolkitLookup = QString (*)(const QString&);

std::atomic<TDomainLookup> InstalledDomainLookup{nullptr};
std::atomic<TToolkitLookup> InstalledToolkitLookup{nullptr};

QString Untranslated(const QString& key)
{
    return WithCrLf(CatalogKey(key));
}

} // namespace

void InstallTextLookup(const TTextLookup& lookup)
{
    InstalledDomainLookup.store(lookup.Domain, std::memory_order_release);
    InstalledToolkitLookup.store(lookup.Toolkit, std::memory_order_release);
}

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

QString TrDomain(const char* domain, const QString& key)
{
    const TDomainLookup lookup = InstalledDomainLookup.load(std::memory_order_acquire);
    return lookup ? lookup(domain, key) : Untranslated(key);
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
    const TToolkitLookup lookup = InstalledToolkitLookup.load(std::memory_order_acquire);
    return lookup ? lookup(key) : Untranslated(key);
}
