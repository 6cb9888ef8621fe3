#include "app/LangUtils.h"

#include "support/QStringPrinter.h"
#include "app/InitProg.h"
#include "platform/LanguageId.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QStringEncoder>

#include <gtest/gtest.h>

using testing_support::WriteFile;

namespace {

class StartOptions : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(FHome.isValid());
        FSavedExePath = ExePath;
        FSavedBaseName = ExeBaseName;
        FSavedCwd = QDir::currentPath();
        ExePath = QStringLiteral("/opt/mv/");
        ExeBaseName = QStringLiteral("base");
        QDir::setCurrent(FHome.path());
        FEnv = testing_support::HomeEnvironment(FHome.path());
        SetDefaultCfgName({}, {}, FEnv);
        FAppData = FHome.path() + QStringLiteral("/.config/");
    }

    void TearDown() override
    {
        ExePath = FSavedExePath;
        ExeBaseName = FSavedBaseName;
        AppSubDir.clear();
        QDir::setCurrent(FSavedCwd);
    }

    // Settles CfgName for a command line, starting from the default.
    QString CfgFor(const QString& commandLine)
    {
        SetDefaultCfgName({}, {}, FEnv);
        ReadStartOptions(commandLine.split(u' ', Qt::SkipEmptyParts));
        return CfgName;
    }

    QString LanguageFor(const QString& commandLine)
    {
        SetDefaultCfgName({}, {}, FEnv);
        return ReadStartOptions(commandLine.split(u' ', Qt::SkipEmptyParts));
    }

    QTemporaryDir FHome;
    QProcessEnvironment FEnv;
    QString FAppData;
    QString FSavedExePath, FSavedBaseName, FSavedCwd;
};

} // namespace

TEST(LanguageCodes, OnlyThePrimaryLanguageCounts)
{
    EXPECT_EQ(LanguageCodeOf(0x0407), QStringLiteral("de"));
    EXPECT_EQ(LanguageCodeOf(0x0C07), QStringLiteral("de")); // Austrian
    EXPECT_EQ(LanguageCodeOf(0x081A), QStringLiteral("hr")); // Serbian shares the code
    EXPECT_EQ(LanguageCodeOf(0x0427), QStringLiteral("lt"));
    EXPECT_EQ(LanguageCodeOf(0x0411), QString()); // Japanese: no code
    EXPECT_EQ(LanguageCodeOf(0x0401), QString());
}

TEST(LanguageCodes, LocaleGivesTheSystemLanguage)
{
    EXPECT_EQ(LanguageIdOfLocale(QStringLiteral("de_DE.UTF-8")), 0x0407);
    EXPECT_EQ(LanguageIdOfLocale(QStringLiteral("de_AT@euro")), 0x0C07);
    EXPECT_EQ(LanguageIdOfLocale(QStringLiteral("de_CH.UTF-8")), 0x0807);
    EXPECT_EQ(LanguageIdOfLocale(QStringLiteral("C.UTF-8")), 0x0409);
    EXPECT_EQ(LanguageIdOfLocale(QStringLiteral("ja_JP.UTF-8")), 0x0411);
    EXPECT_EQ(LanguageIdOfLocale(QStringLiteral("tlh")), 0);
    EXPECT_EQ(LanguageIdOfLocale(QString()), 0);

    QProcessEnvironment env;
    EXPECT_EQ(SystemLanguageCode(env), QString());
    env.insert(QStringLiteral("LANG"), QStringLiteral("fr_FR.UTF-8"));
    EXPECT_EQ(SystemLanguageCode(env), QStringLiteral("fr"));
    env.insert(QStringLiteral("LC_MESSAGES"), QStringLiteral("de_AT.UTF-8"));
    EXPECT_EQ(SystemLanguageCode(env), QStringLiteral("de"));
    env.insert(QStringLiteral("LC_ALL"), QString()); // empty does not count
    EXPECT_EQ(SystemLanguageCode(env), QStringLiteral("de"));
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("ja_JP.UTF-8"));
    EXPECT_EQ(SystemLanguageCode(env), QString());
}

TEST_F(StartOptions, DefaultConfigurationFile)
{
    EXPECT_EQ(CfgName, FAppData + QStringLiteral("base.cfg"));
    ExeBaseName = QStringLiteral("abc.def");
    SetDefaultCfgName({}, {}, FEnv);
    EXPECT_EQ(CfgName, FAppData + QStringLiteral("abc.cfg"));
    SetDefaultCfgName(QStringLiteral("sub"), QStringLiteral("x.conf"), FEnv);
    EXPECT_EQ(CfgName, FAppData + QStringLiteral("sub/x.conf"));
    EXPECT_EQ(AppSubDir, QStringLiteral("sub"));
    SetDefaultCfgName(QStringLiteral("/etc/mv"), {}, FEnv);
    EXPECT_EQ(CfgName, QStringLiteral("/etc/mv/abc.cfg"));
}

TEST_F(StartOptions, CommandLinesPlaceTheConfigurationFile)
{
    const QString cwd = QDir::currentPath();
    EXPECT_EQ(CfgFor({}), FAppData + QStringLiteral("base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-portable")), QStringLiteral("/opt/mv/base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-ini:/x/my.ini")), QStringLiteral("/x/base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-portable -ini:/x/my.ini")), QStringLiteral("/x/my.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-ini:/x/my.ini -portable")), QStringLiteral("/x/my.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-ini:/x/")), QStringLiteral("/x/base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-ini:my.ini")), FAppData + QStringLiteral("base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-p -i:my.ini")), QStringLiteral("/opt/mv/my.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-ini:sub/my.ini")), cwd + QStringLiteral("/sub/base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-portable -ini:sub/my.ini")), QStringLiteral("/opt/mv/sub/my.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-ini:%progpath%/etc/")), ExePath + QStringLiteral("etc/base.cfg"));
    // An empty ini value clears what an earlier -portable set.
    EXPECT_EQ(CfgFor(QStringLiteral("-portable -ini:")), FAppData + QStringLiteral("base.cfg"));
    // Paths are not options here, and unknown options are skipped.
    EXPECT_EQ(CfgFor(QStringLiteral("/portable /ini:/x/my.ini -portable:yes -foo:bar")),
              FAppData + QStringLiteral("base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-PORT")), QStringLiteral("/opt/mv/base.cfg"));
    EXPECT_EQ(CfgFor(QStringLiteral("-")), QStringLiteral("/opt/mv/base.cfg"));
}

TEST_F(StartOptions, LanguageOptionAndConfigurationFile)
{
    for (const char* line : {"-LANG:de", "-l:de", "-la:de", "-:de", "-lang:deu", "x.pdf -lang:fr -lang:de"})
        EXPECT_EQ(LanguageFor(QString::fromUtf8(line)), QStringLiteral("de")) << line;
    EXPECT_EQ(LanguageFor(QStringLiteral("-lang:DE")), QStringLiteral("DE")); // used as given
    EXPECT_EQ(LanguageFor(QStringLiteral("-l:x")), QStringLiteral("x"));
    EXPECT_EQ(LanguageFor(QStringLiteral("-i:/cfg/x.ini")), QString());
    EXPECT_EQ(CfgName, QStringLiteral("/cfg/base.cfg"));

    // Without a code in the options the configuration file decides.
    const QString cfg = FAppData + QStringLiteral("base.cfg");
    ASSERT_TRUE(WriteFile(cfg, "; comment\r\n[Other]\r\nLangID=fr\r\n[ language ]\r\n langid = de-AT \r\n"));
    EXPECT_EQ(LanguageFor({}), QStringLiteral("de"));
    EXPECT_EQ(LanguageFor(QStringLiteral("-lang:")), QStringLiteral("de"));
    EXPECT_EQ(LanguageFor(QStringLiteral("-lang:en")), QStringLiteral("en"));
    EXPECT_EQ(GetLanguage(QStringList{QStringLiteral("-ini:/nonexistent/")}, FEnv), QString());

    // Encoding from the byte-order mark.
    QStringEncoder utf16(QStringConverter::Utf16LE, QStringEncoder::Flag::WriteBom);
    ASSERT_TRUE(WriteFile(cfg, utf16.encode(QStringLiteral("[Language]\r\nLangID=sv\r\n"))));
    EXPECT_EQ(LanguageFor({}), QStringLiteral("sv"));
    ASSERT_TRUE(WriteFile(cfg, "[Language]\nLangID=\n"));
    QProcessEnvironment german = FEnv;
    german.insert(QStringLiteral("LANG"), QStringLiteral("de_DE.UTF-8"));
    EXPECT_EQ(GetLanguage({}, german), QStringLiteral("de"));
}

TEST_F(StartOptions, UnreadableConfigurationGivesNoCode)
{
    EXPECT_EQ(ReadConfiguredLanguage(QString()), QString());
    EXPECT_EQ(ReadConfiguredLanguage(FHome.path()), QString()); // a folder
    EXPECT_EQ(ReadConfiguredLanguage(QStringLiteral("/dev/zero")), QString());
    const QString cfg = FHome.filePath(QStringLiteral("bad.cfg"));
    ASSERT_TRUE(WriteFile(cfg, QByteArray("[Language]\nLangID") + QByteArray(3000, '\xff') + '\n'));
    EXPECT_EQ(ReadConfiguredLanguage(cfg), QString());
    ASSERT_TRUE(WriteFile(cfg, QByteArray(2 * 1024 * 1024, '[')));
    EXPECT_EQ(ReadConfiguredLanguage(cfg), QString());
}

TEST(StartOptionsPaths, AbsoluteMeansLeadingSlash)
{
    EXPECT_TRUE(IsAbsolutePath(QStringLiteral("/x")));
    EXPECT_FALSE(IsAbsolutePath(QString()));
    EXPECT_FALSE(IsAbsolutePath(QStringLiteral("C:x")));
    EXPECT_FALSE(IsAbsolutePath(QStringLiteral("sub/x")));
}
