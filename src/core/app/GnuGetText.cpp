#include "app/GnuGetText.h"

#include "app/CatalogFiles.h"
#include "app/InitProg.h"
#include "util/SafeFormat.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <libintl.h>
#include <memory>

namespace {

enum class TDomainState
{
    English,
    Bound
};

struct TCatalogLibrary
{
    bool LanguageSet = false;
    QString Language;
    QStringList ToolkitDomains{QStringLiteral("default")};
    QString ContainerFile;
    QList<TCatalogEntry> Container;
    QHash<QByteArray, TDomainState> Domains;
    std::unique_ptr<QTemporaryDir> PrivateDir;
    std::function<void(const QString&)> Notice;
};

TCatalogLibrary& Library()
{
    static TCatalogLibrary library;
    return library;
}

// glibc ignores LANGUAGE while the messages locale is "C"; the application
// object resets the locale from the environment after the switch, so this is
// checked again before lookups.
void EnsureMessagesLocale()
{
    const char* current = std::setlocale(LC_MESSAGES, nullptr);
    if (!current || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
}

// A code that can name a folder and stand in LANGUAGE.
bool IsPlainCode(const QString& code)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9_@-]*$"));
    return plain.match(code).hasMatch();
}

// libintl reads catalogs only from "<dir>/<language>/LC_MESSAGES/<domain>.mo".
// The checked bytes are copied to such a tree in a private folder, one per
// domain, so libintl sees exactly what was checked, wherever it came from.
bool BindCatalog(TCatalogLibrary& lib, const char* domain, const QByteArray& data)
{
    if (!lib.PrivateDir) {
        const QString runtimeDir = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const QString base = QDir(runtimeDir).exists() && !runtimeDir.isEmpty() ? runtimeDir : QDir::tempPath();
        lib.PrivateDir = std::make_unique<QTemporaryDir>(base + QStringLiteral("/morvane-catalogs-XXXXXX"));
        if (!lib.PrivateDir->isValid())
            return false;
    }
    const QString domainDir = lib.PrivateDir->filePath(QString::fromUtf8(domain));
    const QString folder = domainDir + u'/' + lib.Language + QStringLiteral("/LC_MESSAGES");
    QFile file(folder + u'/' + QString::fromUtf8(domain) + QStringLiteral(".mo"));
    if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
        return false;
    file.close();
    const QByteArray dir = QFile::encodeName(domainDir);
    return bindtextdomain(domain, dir.constData()) && bind_textdomain_codeset(domain, "UTF-8");
}

// Decides once per domain, on its first lookup after the switch, whether it
// shows translations.
TDomainState ResolveDomain(const char* domain)
{
    TCatalogLibrary& lib = Library();
    const QByteArray name(domain);
    auto it = lib.Domains.find(name);
    if (it != lib.Domains.end())
        return it.value();
    TDomainState state = TDomainState::English;
    if (IsPlainCode(lib.Language)) {
        const TFoundCatalog found = FindCatalog(CatalogFolders(ExePath), lib.ContainerFile, lib.Container, lib.Language,
                                                QString::fromUtf8(domain));
        if (found.Check == TCatalogCheck::NotUtf8) {
            lib.Domains.insert(name, state); // before the notice, which may itself look texts up
            // The domain is settled as English above, so a notice about "default" itself stays English.
            const QString notice = FillPlaceholders(TrDefault("The message catalog %s is not declared as UTF-8 and "
                                                              "is not used; its texts are shown in English."),
                                                    {found.Source});
            (lib.Notice ? lib.Notice : DefaultCatalogNotice)(notice);
            return state;
        }
        if (found.Check == TCatalogCheck::Valid && BindCatalog(lib, domain, found.Data))
            state = TDomainState::Bound;
    }
    lib.Domains.insert(name, state);
    return state;
}

// Installed once the language is set.
QString CatalogLookup(const char* domain, const QString& key)
{
    const QString plainKey = CatalogKey(key);
    // The empty key would give the catalog's header.
    if (plainKey.isEmpty() || ResolveDomain(domain) != TDomainState::Bound)
        return WithCrLf(plainKey);
    EnsureMessagesLocale();
    const QByteArray utf8 = plainKey.toUtf8();
    return WithCrLf(QString::fromUtf8(dgettext(domain, utf8.constData())));
}

QString ToolkitLookup(const QString& key)
{
    const QString untranslated = WithCrLf(CatalogKey(key));
    for (const QString& domain : std::as_const(Library().ToolkitDomains)) {
        const QByteArray name = domain.toUtf8();
        const QString text = CatalogLookup(name.constData(), key);
        if (text != untranslated)
            return text;
    }
    return untranslated;
}

} // namespace

void InitGnuGetText()
{
    TCatalogLibrary& lib = Library();
    const QByteArray localeDir = QFile::encodeName(ExePath + QStringLiteral("locale"));
    bindtextdomain("default", localeDir.constData());
    bind_textdomain_codeset("default", "UTF-8");
    textdomain("default");
    lib.ContainerFile = ExecutableFileName();
    lib.Container = ReadCatalogDirectory(lib.ContainerFile, EmbeddedCatalogOffset());
}

void AddDomainForToolkitTexts(const QString& domain)
{
    TCatalogLibrary& lib = Library();
    if (!domain.isEmpty() && !lib.ToolkitDomains.contains(domain))
        lib.ToolkitDomains << domain;
}

void UseLanguage(const QString& code)
{
    TCatalogLibrary& lib = Library();
    if (lib.LanguageSet)
        return;
    lib.LanguageSet = true;
    QString language = code;
    if (language.isEmpty()) {
        language = qEnvironmentVariable("LANG");
        for (const char* variable : {"LC_ALL", "LC_MESSAGES"}) {
            if (language.isEmpty())
                language = qEnvironmentVariable(variable);
        }
        language = language.section(u'.', 0, 0);
    }
    lib.Language = language;
    if (IsPlainCode(language)) {
        qputenv("LANGUAGE", language.toLatin1());
        EnsureMessagesLocale();
    }
    // From here on the lookups of every layer reach the catalogs.
    InstallTextLookup({&CatalogLookup, &ToolkitLookup});
}

void DefaultCatalogNotice(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fprintf(stderr, "morvane: %s\n", bytes.constData());
}

QString GetCurrentLanguage()
{
    return Library().Language;
}

void SetCatalogNoticeHandler(std::function<void(const QString&)> handler)
{
    Library().Notice = std::move(handler);
}
