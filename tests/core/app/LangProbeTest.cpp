// The language is switched once per process, so every case here starts the
// probe program (packed with the catalogs like morvane) in a process of its own.

#include "support/CatalogBuilder.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QtEndian>

#include <gtest/gtest.h>

using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

const QByteArray Marker = "6637DB2E-62E1-4A60-AC19-C23867046A89";

class LangProbe : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FDir.isValid());
        // A copy in a folder of its own: no catalog files lie beside it.
        FProbe = FDir.filePath(QStringLiteral("probe"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(MORVANE_LANG_PROBE), FProbe));
        FEnv.insert(QStringLiteral("PATH"), qEnvironmentVariable("PATH"));
        FEnv.insert(QStringLiteral("HOME"), FDir.filePath(QStringLiteral("home")));
        FEnv.insert(QStringLiteral("XDG_RUNTIME_DIR"), FDir.path());
        FEnv.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    }

    QHash<QString, QString> Run(const QStringList& arguments = {})
    {
        QProcess process;
        process.setProcessEnvironment(FEnv);
        process.start(FProbe, arguments);
        QHash<QString, QString> result;
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
            ADD_FAILURE() << "probe did not finish: " << process.errorString().toStdString();
            return result;
        }
        EXPECT_EQ(process.exitCode(), 0);
        for (const QByteArray& line : process.readAllStandardOutput().split('\n')) {
            const qsizetype eq = line.indexOf('=');
            if (eq > 0)
                result.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
        return result;
    }

    static void ExpectGerman(const QHash<QString, QString>& out)
    {
        EXPECT_EQ(out.value(QStringLiteral("default")), QStringLiteral("Drucken"));
        EXPECT_EQ(out.value(QStringLiteral("multiline")),
                  QStringLiteral("Datei: %s\\r\\nkonnte nicht gedruckt werden!"));
        EXPECT_EQ(out.value(QStringLiteral("dialogs")), QStringLiteral("Abbrechen"));
        EXPECT_EQ(out.value(QStringLiteral("toolkit")), QStringLiteral("&Ja"));
        EXPECT_EQ(out.value(QStringLiteral("missing")), QStringLiteral("No such text"));
    }

    static void ExpectEnglish(const QHash<QString, QString>& out)
    {
        EXPECT_EQ(out.value(QStringLiteral("default")), QStringLiteral("Print"));
        EXPECT_EQ(out.value(QStringLiteral("multiline")), QStringLiteral("File: %s\\r\\ncould not be printed!"));
        EXPECT_EQ(out.value(QStringLiteral("dialogs")), QStringLiteral("Cancel"));
        EXPECT_EQ(out.value(QStringLiteral("toolkit")), QStringLiteral("&Yes"));
    }

    qint64 SlotPosition()
    {
        const QByteArray image = ReadFile(FProbe);
        return image.indexOf(Marker) + Marker.size();
    }

    QTemporaryDir FDir;
    QString FProbe;
    QProcessEnvironment FEnv;
};

} // namespace

TEST_F(LangProbe, GermanLocaleWithoutOptionsGivesGerman)
{
    const auto out = Run();
    EXPECT_EQ(out.value(QStringLiteral("language")), QStringLiteral("de"));
    EXPECT_EQ(out.value(QStringLiteral("cfg")), FDir.filePath(QStringLiteral("home/.config/probe.cfg")));
    ExpectGerman(out);
    EXPECT_FALSE(out.contains(QStringLiteral("notice")));
}

TEST_F(LangProbe, LanguageOptionDecides)
{
    ExpectEnglish(Run({QStringLiteral("-lang:en")}));
    // A language without a catalog shows English; French has its own.
    ExpectEnglish(Run({QStringLiteral("-lang:nl")}));
    const auto french = Run({QStringLiteral("-lang:fr")});
    EXPECT_EQ(french.value(QStringLiteral("default")), QStringLiteral("Imprimer"));
    EXPECT_EQ(french.value(QStringLiteral("multiline")),
              QStringLiteral("Fichier\u00a0: %s\\r\\nn\u2019a pas pu \u00eatre imprim\u00e9\u00a0!"));
    EXPECT_EQ(french.value(QStringLiteral("dialogs")), QStringLiteral("Annuler"));
    EXPECT_EQ(french.value(QStringLiteral("toolkit")), QStringLiteral("&Oui"));
    const auto out = Run({QStringLiteral("-lang:DE")});
    EXPECT_EQ(out.value(QStringLiteral("language")), QStringLiteral("DE"));
    ExpectGerman(out);
    // The "C" locale of the environment, which makes glibc ignore LANGUAGE.
    FEnv.insert(QStringLiteral("LC_ALL"), QStringLiteral("C"));
    ExpectEnglish(Run());
    ExpectGerman(Run({QStringLiteral("-lang:de")}));
}

TEST_F(LangProbe, ConfigurationFileDecidesOverTheLocale)
{
    FEnv.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    ExpectEnglish(Run());
    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("home/.config/probe.cfg")), "[Language]\r\nLangID=de-AT\r\n"));
    ExpectGerman(Run());
    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("my.cfg")), "[Language]\r\nLangID=en\r\n"));
    ExpectEnglish(Run({QStringLiteral("-p"), QStringLiteral("-i:my.ini")}));
}

TEST_F(LangProbe, OrdinaryFileReplacesOnlyItsOwnDomain)
{
    using catalog_builder::BuildMo;
    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("locale/de/LC_MESSAGES/default.mo")),
                          BuildMo({{"Print", "Ausdrucken"}})));
    const auto out = Run();
    EXPECT_EQ(out.value(QStringLiteral("default")), QStringLiteral("Ausdrucken"));
    EXPECT_EQ(out.value(QStringLiteral("multiline")), QStringLiteral("File: %s\\r\\ncould not be printed!"));
    EXPECT_EQ(out.value(QStringLiteral("dialogs")), QStringLiteral("Abbrechen"));
    EXPECT_EQ(out.value(QStringLiteral("toolkit")), QStringLiteral("&Ja"));
}

TEST_F(LangProbe, CatalogNotDeclaredAsUtf8ShowsEnglishAfterANotice)
{
    using catalog_builder::BuildMo;
    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("locale/de/LC_MESSAGES/default.mo")),
                          BuildMo({{"Print", "Drucken"}}, "ISO-8859-1")));
    const auto out = Run();
    EXPECT_TRUE(out.value(QStringLiteral("notice")).contains(QStringLiteral("default.mo")));
    EXPECT_EQ(out.value(QStringLiteral("default")), QStringLiteral("Print"));
    EXPECT_EQ(out.value(QStringLiteral("dialogs")), QStringLiteral("Abbrechen"));
}

TEST_F(LangProbe, DamagedContainerIsIgnored)
{
    const QByteArray packed = ReadFile(FProbe);
    ASSERT_EQ(packed.count(Marker), 1);
    const qint64 slot = SlotPosition();
    const qint64 first = qFromLittleEndian<qint64>(packed.constData() + slot);
    ASSERT_GT(first, 0);

    // The first entry links to itself and claims an absurd catalog size.
    QByteArray looped = packed;
    catalog_builder::PutInt64(looped, first, first);
    catalog_builder::PutInt64(looped, first + 16, qint64(1) << 60);
    ASSERT_TRUE(WriteFile(FProbe, looped));
    ExpectEnglish(Run());

    // The slot points beyond the end of the file; catalogs on disk still count.
    QByteArray beyond = packed;
    catalog_builder::PutInt64(beyond, slot, packed.size() + 4096);
    ASSERT_TRUE(WriteFile(FProbe, beyond));
    ExpectEnglish(Run());
    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("locale/de/LC_MESSAGES/dialogs.mo")),
                          catalog_builder::BuildMo({{"Cancel", "Abbrechen"}})));
    EXPECT_EQ(Run().value(QStringLiteral("dialogs")), QStringLiteral("Abbrechen"));
}

// Installed into a "bin" folder, a stripped program (the container is gone)
// reads the catalogs from ../share/morvane; files below its own folder still
// come first, the container last.
TEST_F(LangProbe, InstalledProgramReadsTheSharedFolder)
{
    using catalog_builder::BuildMo;
    const QString stripped = FDir.filePath(QStringLiteral("usr/bin/probe"));
    ASSERT_TRUE(QDir().mkpath(FDir.filePath(QStringLiteral("usr/bin"))));
    ASSERT_TRUE(QFile::copy(FProbe, stripped));
    ASSERT_EQ(QProcess::execute(QStringLiteral("strip"), {stripped}), 0);
    const QString packed = FProbe;
    FProbe = stripped;
    ExpectEnglish(Run());

    const QString shared = FDir.filePath(QStringLiteral("usr/share/morvane/locale/de/LC_MESSAGES/"));
    ASSERT_TRUE(QDir().mkpath(shared));
    for (const char* domain : {"default.mo", "dialogs.mo", "qt.mo"})
        ASSERT_TRUE(
            QFile::copy(QStringLiteral(MORVANE_BINARY_DIR "/src/locale/de/LC_MESSAGES/") + QString::fromLatin1(domain),
                        shared + QString::fromLatin1(domain)));
    ExpectGerman(Run());

    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("usr/bin/locale/de/LC_MESSAGES/default.mo")),
                          BuildMo({{"Print", "Ausdrucken"}})));
    auto out = Run();
    EXPECT_EQ(out.value(QStringLiteral("default")), QStringLiteral("Ausdrucken"));
    EXPECT_EQ(out.value(QStringLiteral("dialogs")), QStringLiteral("Abbrechen"));

    // Not stripped: the shared folder's file wins over the container's entry.
    FProbe = FDir.filePath(QStringLiteral("opt/bin/probe"));
    ASSERT_TRUE(QDir().mkpath(FDir.filePath(QStringLiteral("opt/bin"))));
    ASSERT_TRUE(QFile::copy(packed, FProbe));
    ASSERT_TRUE(WriteFile(FDir.filePath(QStringLiteral("opt/share/morvane/locale/de/LC_MESSAGES/default.mo")),
                          BuildMo({{"Print", "Drucken!"}})));
    out = Run();
    EXPECT_EQ(out.value(QStringLiteral("default")), QStringLiteral("Drucken!"));
    EXPECT_EQ(out.value(QStringLiteral("toolkit")), QStringLiteral("&Ja"));
}

TEST_F(LangProbe, PackerRefusesWhatItCannotPackSafely)
{
    const auto pack = [](const QStringList& arguments) -> int {
        return QProcess::execute(QStringLiteral(MORVANE_PACKER), arguments);
    };
    const QString catalog =
        QStringLiteral("locale/de/LC_MESSAGES/default.mo=" MORVANE_BINARY_DIR "/src/locale/de/LC_MESSAGES/default.mo");
    const QByteArray packed = ReadFile(FProbe);
    EXPECT_NE(pack({FProbe, catalog}), 0); // already packed
    EXPECT_EQ(ReadFile(FProbe), packed);

    const QString plain = FDir.filePath(QStringLiteral("plain"));
    ASSERT_TRUE(WriteFile(plain, "no marker here"));
    EXPECT_NE(pack({plain, catalog}), 0);
    ASSERT_TRUE(WriteFile(plain, Marker + QByteArray(8, '\0') + Marker + QByteArray(8, '\0')));
    EXPECT_NE(pack({plain, catalog}), 0); // twice

    // A fresh slot takes the catalogs; a damaged catalog is refused.
    const QByteArray fresh = "ELF" + Marker + QByteArray(8, '\0') + "tail";
    ASSERT_TRUE(WriteFile(plain, fresh));
    const QString garbage = FDir.filePath(QStringLiteral("bad.mo"));
    ASSERT_TRUE(WriteFile(garbage, "not a catalog"));
    EXPECT_NE(pack({plain, QStringLiteral("locale/de/LC_MESSAGES/x.mo=") + garbage}), 0);
    EXPECT_EQ(ReadFile(plain), fresh);
    EXPECT_EQ(pack({plain, catalog}), 0);
    const QByteArray result = ReadFile(plain);
    const qint64 first = qFromLittleEndian<qint64>(result.constData() + 3 + Marker.size());
    EXPECT_EQ(first % 256, 0);
    EXPECT_EQ(result.mid(first + 24, 32), QByteArray("locale\\de\\LC_MESSAGES\\default.mo"));
    EXPECT_EQ(result.right(8), QByteArray(8, '\0'));
}
