#include "platform/LanguageId.h"

#include <QRegularExpression>

namespace {

struct TLanguageRow
{
    const char* Code;
    quint16 Primary;
};

// ISO 639-1 codes and their primary language numbers.
constexpr TLanguageRow Languages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06}, {"de", 0x07}, {"el", 0x08},
    {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C}, {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10},
    {"ja", 0x11}, {"ko", 0x12}, {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"bs", 0x1A}, {"sk", 0x1B}, {"sq", 0x1C},
    {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20}, {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24},
    {"et", 0x25}, {"lv", 0x26}, {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C}, {"eu", 0x2D},
    {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"mt", 0x3A}, {"ga", 0x3C}, {"ms", 0x3E},
    {"kk", 0x3F}, {"sw", 0x41}, {"gl", 0x56},
};

struct TSubLanguageRow
{
    const char* Locale;
    quint16 Sub;
};

// Territories whose sublanguage is not the default one (1).
constexpr TSubLanguageRow SubLanguages[] = {
    {"de_CH", 2}, {"de_AT", 3}, {"de_LU", 4}, {"de_LI", 5}, {"en_GB", 2}, {"en_AU", 3},
    {"en_CA", 4}, {"en_NZ", 5}, {"en_IE", 6}, {"fr_BE", 2}, {"fr_CA", 3}, {"fr_CH", 4},
    {"fr_LU", 5}, {"it_CH", 2}, {"nl_BE", 2}, {"pt_BR", 1}, {"pt_PT", 2}, {"sv_FI", 2},
};

} // namespace

quint16 LanguageIdOfLocale(const QString& localeName)
{
    // language[_territory][.codeset][@modifier]
    QString name = localeName.trimmed();
    const qsizetype cut = name.indexOf(QRegularExpression(QStringLiteral("[.@]")));
    if (cut >= 0)
        name.truncate(cut);
    if (name == u"C" || name == u"POSIX")
        return 0x0409; // the untranslated messages are English
    const QString language = name.section(u'_', 0, 0).toLower();
    const QString territory = name.section(u'_', 1, 1).toUpper();
    for (const TLanguageRow& row : Languages) {
        if (language != QLatin1String(row.Code))
            continue;
        quint16 sub = 1;
        const QString full = language + u'_' + territory;
        for (const TSubLanguageRow& s : SubLanguages) {
            if (full == QLatin1String(s.Locale))
                sub = s.Sub;
        }
        return quint16(sub << 10 | row.Primary);
    }
    return 0;
}

quint16 UserDefaultUILanguage(const QProcessEnvironment& env)
{
    // gettext lets LANGUAGE, a list such as "de:en", win over the locale; here it also counts
    // when the locale is "C" or unset, where glibc itself would ignore it.
    for (const QString& entry : env.value(QStringLiteral("LANGUAGE")).split(u':', Qt::SkipEmptyParts)) {
        const quint16 id = LanguageIdOfLocale(entry);
        if (id != 0)
            return id;
    }
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = env.value(QString::fromLatin1(variable));
        if (!value.isEmpty())
            return LanguageIdOfLocale(value);
    }
    return 0;
}
