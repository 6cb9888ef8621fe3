#include "app/CatalogFiles.h"

#include "support/CatalogBuilder.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstring>
#include <utility>

using namespace catalog_builder;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const QString BuiltCatalogs = QStringLiteral(MORVANE_BINARY_DIR "/src/locale/de/LC_MESSAGES/");

QByteArray SmallMo(const QByteArray& print = "Drucken")
{
    return BuildMo({{"Print", print}, {"Cancel", "Abbrechen"}});
}

QString WriteTemp(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString fileName = dir.filePath(name);
    EXPECT_TRUE(WriteFile(fileName, bytes));
    return fileName;
}

// The key and text pairs of a .mo file as msgfmt writes it here (little-endian).
QList<std::pair<QString, QString>> MoPairs(const QByteArray& mo)
{
    const auto word = [&mo](qsizetype at) {
        quint32 value = 0;
        if (at >= 0 && at + 4 <= mo.size())
            std::memcpy(&value, mo.constData() + at, 4);
        return qsizetype(value);
    };
    const auto string = [&](qsizetype entry) { return QString::fromUtf8(mo.mid(word(entry + 4), word(entry))); };
    QList<std::pair<QString, QString>> pairs;
    for (qsizetype i = 0; i < word(8); ++i)
        pairs.append({string(word(12) + 8 * i), string(word(16) + 8 * i)});
    return pairs;
}

// printf-style and named placeholders in their order; an accelerator mark.
QStringList Placeholders(const QString& text)
{
    static const QRegularExpression marks(QStringLiteral("%[a-z%]|\\{[a-z]+\\}|&(?=\\w)"));
    QStringList found;
    for (const QRegularExpressionMatch& m : marks.globalMatch(text))
        found << m.captured();
    return found;
}

} // namespace

TEST(CatalogCheck, AcceptsSoundUtf8Catalogs)
{
    for (const char* domain : {"default", "dialogs", "qt"}) {
        const QByteArray mo = ReadFile(BuiltCatalogs + QString::fromLatin1(domain) + QStringLiteral(".mo"));
        ASSERT_FALSE(mo.isEmpty()) << domain;
        EXPECT_EQ(CheckCatalog(mo), TCatalogCheck::Valid) << domain;
    }
    EXPECT_EQ(CheckCatalog(SmallMo()), TCatalogCheck::Valid);
    EXPECT_EQ(CheckCatalog(BuildMo({}, "utf-8")), TCatalogCheck::Valid);
}

// A translation that drops, adds or swaps a placeholder shows a format
// error or the wrong value; one without its accelerator loses the key.
TEST(CatalogCheck, EveryShippedLanguageKeepsPlaceholdersAndAccelerators)
{
    const QDir locale(QStringLiteral(MORVANE_BINARY_DIR "/src/locale"));
    const QStringList languages = locale.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    EXPECT_TRUE(languages.contains(QStringLiteral("de")) && languages.contains(QStringLiteral("it")))
        << languages.join(u' ').toStdString();
    for (const QString& language : languages) {
        for (const char* domain : {"default", "dialogs", "qt"}) {
            const QString name =
                language + QStringLiteral("/LC_MESSAGES/") + QString::fromLatin1(domain) + QStringLiteral(".mo");
            const QByteArray mo = ReadFile(locale.filePath(name));
            ASSERT_EQ(CheckCatalog(mo), TCatalogCheck::Valid) << name.toStdString();
            const auto pairs = MoPairs(mo);
            EXPECT_GT(pairs.size(), 20) << name.toStdString();
            for (const auto& [key, text] : pairs) {
                if (key.isEmpty())
                    continue;
                EXPECT_EQ(Placeholders(text), Placeholders(key)) << name.toStdString() << ": " << key.toStdString();
            }
        }
    }
}

TEST(CatalogCheck, RejectsDamagedLayouts)
{
    const QByteArray good = ReadFile(BuiltCatalogs + QStringLiteral("default.mo"));
    ASSERT_EQ(CheckCatalog(good), TCatalogCheck::Valid);
    // Every truncation cuts off string data the tables point at.
    for (qsizetype size = 0; size < good.size(); ++size)
        ASSERT_EQ(CheckCatalog(good.left(size)), TCatalogCheck::Invalid) << size;

    QByteArray bad = good;
    bad[0] = 'X';
    EXPECT_EQ(CheckCatalog(bad), TCatalogCheck::Invalid);

    const QByteArray small = SmallMo();
    const auto patched = [&small](qsizetype pos, quint32 value) -> QByteArray {
        QByteArray data = small;
        PutWord(data, pos, value);
        return data;
    };
    EXPECT_EQ(CheckCatalog(patched(8, 0x10000000)), TCatalogCheck::Invalid);             // message count
    EXPECT_EQ(CheckCatalog(patched(12, 0xFFFFFFF0)), TCatalogCheck::Invalid);            // key table
    EXPECT_EQ(CheckCatalog(patched(16, quint32(small.size()))), TCatalogCheck::Invalid); // translation table
    EXPECT_EQ(CheckCatalog(patched(28 + 4, 0xFFFFFFFF)), TCatalogCheck::Invalid);        // a key's offset
    EXPECT_EQ(CheckCatalog(patched(28, 0x7FFFFFFF)), TCatalogCheck::Invalid);            // a key's length
    EXPECT_EQ(CheckCatalog(patched(4, 0x00020000)), TCatalogCheck::Invalid);             // unknown revision
    // Hash table outside the file, or naming a message that does not exist.
    QByteArray hashed = patched(20, 1);
    PutWord(hashed, 24, quint32(hashed.size()));
    EXPECT_EQ(CheckCatalog(hashed), TCatalogCheck::Invalid);
    hashed.append(4, '\0');
    PutWord(hashed, hashed.size() - 4, 99);
    EXPECT_EQ(CheckCatalog(hashed), TCatalogCheck::Invalid);
    PutWord(hashed, hashed.size() - 4, 1);
    EXPECT_EQ(CheckCatalog(hashed), TCatalogCheck::Valid);

    // A string without its closing NUL inside the file.
    QByteArray unterminated = small;
    unterminated.chop(1);
    unterminated += 'x';
    EXPECT_EQ(CheckCatalog(unterminated), TCatalogCheck::Invalid);
}

TEST(CatalogCheck, CatalogsNotDeclaredAsUtf8)
{
    EXPECT_EQ(CheckCatalog(BuildMo({{"Print", "Drucken"}}, "ISO-8859-1")), TCatalogCheck::NotUtf8);
    EXPECT_EQ(CheckCatalog(BuildMo({{"Print", "Drucken"}}, QByteArray())), TCatalogCheck::NotUtf8);
}

TEST(CatalogContainer, ReadsTheDirectoryAsPacked)
{
    QTemporaryDir dir;
    QByteArray image(1000, 'E');
    const qint64 first = AppendContainer(image, {{"locale\\de\\LC_MESSAGES\\default.mo", SmallMo()},
                                                 {"  locale\\de\\LC_MESSAGES\\qt.mo", SmallMo("X")}});
    EXPECT_EQ(first % 256, 0);
    const QString file = WriteTemp(dir, QStringLiteral("exe"), image);
    const QList<TCatalogEntry> entries = ReadCatalogDirectory(file, first);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].Name, QStringLiteral("locale\\de\\LC_MESSAGES\\default.mo"));
    EXPECT_EQ(entries[0].Offset, 1000);
    EXPECT_EQ(image.mid(entries[0].Offset, entries[0].Size), SmallMo());
    EXPECT_EQ(entries[1].Name, QStringLiteral("locale\\de\\LC_MESSAGES\\qt.mo"));
    EXPECT_TRUE(ReadCatalogDirectory(file, 0).isEmpty());
    EXPECT_TRUE(ReadCatalogDirectory(file, -256).isEmpty());
    EXPECT_TRUE(ReadCatalogDirectory(file, image.size() + 256).isEmpty());
    EXPECT_TRUE(ReadCatalogDirectory(dir.filePath(QStringLiteral("missing")), first).isEmpty());
}

TEST(CatalogContainer, DamagedDirectoriesEndWithoutHarm)
{
    QTemporaryDir dir;
    QByteArray image(512, 'E');
    const qint64 first = AppendContainer(image, {{"a.mo", SmallMo()}, {"b.mo", SmallMo()}, {"c.mo", SmallMo()}});
    const QString file = dir.filePath(QStringLiteral("exe"));

    // Loops: an entry pointing at itself, and the last one back at the first.
    QByteArray looped = image;
    PutInt64(looped, first, first);
    ASSERT_TRUE(WriteFile(file, looped));
    EXPECT_EQ(ReadCatalogDirectory(file, first).size(), 1);
    looped = image;
    PutInt64(looped, first + 512, first);
    ASSERT_TRUE(WriteFile(file, looped));
    EXPECT_EQ(ReadCatalogDirectory(file, first).size(), 3);

    // Catalogs outside the file, negative or absurd sizes: the entry is dropped.
    QByteArray bad = image;
    PutInt64(bad, first + 8, image.size());           // a: starts at the end
    PutInt64(bad, first + 256 + 16, -5);              // b: negative size
    PutInt64(bad, first + 512 + 16, qint64(1) << 62); // c: absurd size
    ASSERT_TRUE(WriteFile(file, bad));
    EXPECT_TRUE(ReadCatalogDirectory(file, first).isEmpty());
    QByteArray cut = image;
    PutInt64(cut, first + 256, -1); // a link before the file's start ends the walk
    ASSERT_TRUE(WriteFile(file, cut));
    EXPECT_EQ(ReadCatalogDirectory(file, first).size(), 2);

    // A truncated file at every length: whatever is read lies inside it.
    for (qsizetype size = first; size <= image.size(); size += 3) {
        ASSERT_TRUE(WriteFile(file, image.left(size)));
        for (const TCatalogEntry& entry : ReadCatalogDirectory(file, first))
            ASSERT_LE(entry.Offset + entry.Size, size) << size;
    }
}

TEST(CatalogLookup, OrdinaryFilesFirstNamesWithoutCaseFullCodeFirst)
{
    QTemporaryDir dir;
    const QString exePath = dir.path() + u'/';
    QByteArray image(100, 'E');
    const qint64 first = AppendContainer(image, {{"LOCALE\\DE\\lc_messages\\DEFAULT.MO", SmallMo("container")},
                                                 {"locale\\de_AT\\LC_MESSAGES\\qt.mo", SmallMo("austrian")},
                                                 {"locale\\de\\LC_MESSAGES\\qt.mo", SmallMo("german")}});
    const QString exe = WriteTemp(dir, QStringLiteral("exe"), image);
    const QList<TCatalogEntry> container = ReadCatalogDirectory(exe, first);

    const auto lookup = [&](const char* code, const char* domain) -> QString {
        const TFoundCatalog found =
            FindCatalog({exePath}, exe, container, QString::fromLatin1(code), QString::fromLatin1(domain));
        if (found.Check != TCatalogCheck::Valid)
            return QStringLiteral("none");
        return found.Data.contains("container")  ? QStringLiteral("container")
               : found.Data.contains("austrian") ? QStringLiteral("austrian")
               : found.Data.contains("german")   ? QStringLiteral("german")
                                                 : QStringLiteral("file");
    };
    EXPECT_EQ(lookup("de", "default"), QStringLiteral("container"));
    EXPECT_EQ(lookup("De", "default"), QStringLiteral("container"));
    EXPECT_EQ(lookup("de_CH", "default"), QStringLiteral("container"));
    EXPECT_EQ(lookup("de_AT", "qt"), QStringLiteral("austrian"));
    EXPECT_EQ(lookup("de_CH", "qt"), QStringLiteral("german"));
    EXPECT_EQ(lookup("fr", "default"), QStringLiteral("none"));
    EXPECT_EQ(lookup("de", "dialogs"), QStringLiteral("none"));
    EXPECT_EQ(lookup("..", "default"), QStringLiteral("none"));

    // An ordinary file wins, found without regard to case; a damaged one is passed over.
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("locale/DE/LC_Messages/Default.mo")), SmallMo("file")));
    EXPECT_EQ(lookup("de", "default"), QStringLiteral("file"));
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("locale/DE/LC_Messages/Default.mo")), "garbage"));
    EXPECT_EQ(lookup("de", "default"), QStringLiteral("container"));
    ASSERT_TRUE(WriteFile(dir.filePath(QStringLiteral("locale/de/LC_MESSAGES/dialogs.mo")),
                          BuildMo({{"Print", "Drucken"}}, "latin1")));
    EXPECT_EQ(FindCatalog({exePath}, exe, container, QStringLiteral("de"), QStringLiteral("dialogs")).Check,
              TCatalogCheck::NotUtf8);
}
