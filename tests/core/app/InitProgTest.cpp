#include "app/InitProg.h"

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class InitProgTest : public ::testing::Test
{
protected:
    void TearDown() override { InitProgModule(); }
};

TEST_F(InitProgTest, ExecutableNameAndBaseName)
{
    InitProgModule();
    EXPECT_EQ(ExePath + ExeBaseName, QFileInfo(QCoreApplication::applicationFilePath()).absoluteFilePath());
    EXPECT_TRUE(ExePath.endsWith(u'/'));
    EXPECT_TRUE(AppSubDir.isEmpty());

    SetExecutableName(S("/opt/tools/abc.def.exe"));
    EXPECT_EQ(ExePath, S("/opt/tools/"));
    EXPECT_EQ(ExeBaseName, S("abc.def"));
    // The dot in the base name blocks the default extension.
    EXPECT_EQ(IniName(S("/home/u/.config/")), S("/home/u/.config/abc.def"));

    SetExecutableName(S("/usr/bin/morvane"));
    EXPECT_EQ(ExeBaseName, S("morvane"));
    EXPECT_EQ(IniName(S("/home/u/.config/")), S("/home/u/.config/morvane.ini"));
    EXPECT_EQ(IniName(S("/home/u/.config")), S("/home/u/.config/morvane.ini"));

    SetExecutableName(S("/morvane"));
    EXPECT_EQ(ExePath, S("/"));
}

TEST_F(InitProgTest, AppPathIsTheConfigFolderItself)
{
    QTemporaryDir home;
    const auto env = HomeEnvironment(home.path());
    SetExecutableName(S("/opt/m/morvane"));

    const QString appPath = GetAppPath(QString(), true, env);
    EXPECT_EQ(appPath, home.path() + S("/.config/"));
    EXPECT_TRUE(QFileInfo(appPath).isDir());

    // A subfolder gets no trailing delimiter and is created with its parents.
    const QString sub = GetAppPath(S("a/b"), true, env);
    EXPECT_EQ(sub, home.path() + S("/.config/a/b"));
    EXPECT_TRUE(QFileInfo(sub).isDir());

    // Without the create flag nothing is made.
    EXPECT_EQ(GetAppPath(S("c"), false, env), home.path() + S("/.config/c"));
    EXPECT_FALSE(QFileInfo::exists(home.path() + S("/.config/c")));
}

TEST_F(InitProgTest, UncreatableConfigFolderFallsBackToExePath)
{
    QTemporaryDir home;
    ASSERT_TRUE(WriteFile(home.filePath(S("afile")), "x"));
    auto env = HomeEnvironment(home.path());
    env.insert(S("XDG_CONFIG_HOME"), home.filePath(S("afile")));
    SetExecutableName(S("/opt/m/morvane"));

    EXPECT_EQ(GetAppPath(QString(), true, env), S("/opt/m/"));
    EXPECT_EQ(GetAppPath(S("sub"), true, env), S("/opt/m/"));

    QString appPath, userPath, progPath;
    InitPaths(appPath, userPath, progPath, true, env);
    EXPECT_EQ(appPath, S("/opt/m/"));
    EXPECT_EQ(IniName(appPath), S("/opt/m/morvane.ini"));
}

TEST_F(InitProgTest, InitPathsFillsAllThreeFolders)
{
    QTemporaryDir home;
    const auto env = HomeEnvironment(home.path());
    QString appPath, userPath, progPath;
    InitPaths(appPath, userPath, progPath, true, env);
    EXPECT_EQ(appPath, home.path() + S("/.config/"));
    EXPECT_EQ(userPath, home.path() + S("/Documents/"));
    EXPECT_EQ(progPath, S("/usr/bin/"));
}

TEST_F(InitProgTest, VersionTextCountsFromFourParts)
{
    EXPECT_EQ(VersionText(S("3.3.1.0"), 2), S("Version 3.3"));
    EXPECT_EQ(VersionText(S("3.3.1.0"), 3), S("Version 3.3.1"));
    EXPECT_EQ(VersionText(S("3.3.1.0"), 4), S("Version 3.3.1.0"));
    EXPECT_EQ(VersionText(S("3.3.1.0"), 7), S("Version 3.3.1.0"));
    EXPECT_EQ(VersionText(S("3.3.1.0"), 1), S("Version 3"));
    EXPECT_EQ(VersionText(S("3.3.1.0"), 0), S("Version 3"));
    EXPECT_EQ(VersionText(S("3.3.1.0"), -5), S("Version 3"));
    EXPECT_EQ(VersionText(S("3.3"), 2), S("Version 3"));
    EXPECT_EQ(VersionText(S("10.0.19041.1"), 2), S("Version 10.0"));
    EXPECT_EQ(VersionText(S("1.2.\\x"), 3), S("Version 1.2.\\x"));
    EXPECT_EQ(VersionText(S("1.:2"), 1), S("Version 1.:2"));
    EXPECT_EQ(VersionText(QString(), 2), S("Version "));
}

TEST_F(InitProgTest, ProgramVersionFromOwnRecord)
{
    InitProgModule();
    QString name, date;
    ProgramVersion(S("Ausdruck von PDF-Dateien"), S(" (Vers. 3.3)"), S("(c) fallback"), 2, name, date);
    EXPECT_EQ(name, S("Ausdruck von PDF-Dateien (Version 3.3)"));
    EXPECT_EQ(VersionInfo.Comments, S("Version 3.3"));
    EXPECT_EQ(VersionInfo.InternalName, S("Ausdruck von PDF-Dateien"));
    EXPECT_NE(VersionInfo.Copyright, S("(c) fallback"));
    const QDate modified = QFileInfo(QCoreApplication::applicationFilePath()).lastModified().toLocalTime().date();
    EXPECT_EQ(date, QLocale::system().toString(modified, QLocale::ShortFormat));
    EXPECT_FALSE(date.isEmpty());
}

TEST_F(InitProgTest, ProgramVersionFallsBackWithoutRecord)
{
    QTemporaryDir dir;
    const QString exe = dir.filePath(S("plain"));
    ASSERT_TRUE(WriteFile(exe, "no version here"));
    SetExecutableName(exe);
    QString name, date;
    ProgramVersion(S("Prog"), S(" (Vers. 3.3)"), S("(c) fallback"), 2, name, date);
    EXPECT_EQ(VersionInfo.InternalName, S("Prog"));
    EXPECT_EQ(VersionInfo.Version, S(" (Vers. 3.3)"));
    EXPECT_EQ(VersionInfo.Copyright, S("(c) fallback"));
    EXPECT_EQ(VersionInfo.Comments, S("Version  (Vers"));
    EXPECT_EQ(name, S("Prog (Version  (Vers)"));
    EXPECT_FALSE(date.isEmpty());

    // An executable whose time cannot be read gives an empty date.
    SetExecutableName(dir.filePath(S("gone")));
    ProgramVersion(S("Prog"), S("1.2.3.4"), QString(), 3, name, date);
    EXPECT_EQ(name, S("Prog (Version 1.2.3)"));
    EXPECT_TRUE(date.isEmpty());
}

} // namespace
