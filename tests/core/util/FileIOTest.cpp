#include "util/FileIO.h"

#include "support/ScopedFileSizeLimit.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

QStringList FolderEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

TEST(FileIOTest, SaveCreatesAndReplacesWholeFile)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("a.ini"));
    QString error = S("unchanged");
    ASSERT_TRUE(SaveToFile(name, QByteArray("first version, long"), &error));
    ASSERT_TRUE(SaveToFile(name, QByteArray("second"), &error));
    EXPECT_EQ(ReadFile(name), QByteArray("second"));
    // An empty content is a valid file too.
    ASSERT_TRUE(SaveToFile(name, QByteArray(), &error));
    EXPECT_TRUE(QFileInfo::exists(name));
    EXPECT_EQ(QFileInfo(name).size(), 0);
    // No temporary file is left beside it.
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{S("a.ini")});
}

TEST(FileIOTest, FailedCreateReportsAndKeepsOldFiles)
{
    QTemporaryDir dir;
    // The parent of the target is a file: nothing can be created there, not even as root.
    const QString parent = dir.filePath(S("plain"));
    ASSERT_TRUE(WriteFile(parent, "keep"));
    const QString name = parent + S("/a.ini");
    QString error;
    EXPECT_FALSE(SaveToFile(name, QByteArray("data"), &error));
    EXPECT_TRUE(error.startsWith(S("Cannot create file \"") + name + S("\". "))) << error.toStdString();
    EXPECT_GT(error.size(), QString(S("Cannot create file \"") + name + S("\". ")).size());
    EXPECT_EQ(ReadFile(parent), QByteArray("keep"));

    // The target is a folder.
    const QString folder = dir.filePath(S("folder.ini"));
    ASSERT_TRUE(QDir().mkpath(folder));
    error.clear();
    EXPECT_FALSE(SaveToFile(folder, QByteArray("data"), &error));
    EXPECT_TRUE(error.startsWith(S("Cannot create file \"") + folder + S("\"."))) << error.toStdString();
    EXPECT_TRUE(QFileInfo(folder).isDir());
}

TEST(FileIOTest, WriteFailureLeavesOldFileIntact)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("settings.ini"));
    const QByteArray old("old content that must survive\r\n");
    ASSERT_TRUE(SaveToFile(name, old));
    QString error;
    {
        // Like a full disk: the temporary file cannot grow past 64 bytes.
        ScopedFileSizeLimit limit(64);
        EXPECT_FALSE(SaveToFile(name, QByteArray(100000, 'x'), &error));
        // Small enough to sit in a write buffer until the commit.
        EXPECT_FALSE(SaveToFile(name, QByteArray(65, 'y'), &error));
    }
    EXPECT_TRUE(error.startsWith(S("Cannot create file \"") + name + S("\". "))) << error.toStdString();
    EXPECT_EQ(ReadFile(name), old);
    EXPECT_EQ(FolderEntries(dir.path()), QStringList{S("settings.ini")});
}

TEST(FileIOTest, LoadReportsMissingFoldersAndOversizedFiles)
{
    QTemporaryDir dir;
    const QString name = dir.filePath(S("x.pbt"));
    QByteArray data("stale");
    QString error;
    EXPECT_FALSE(LoadFromFile(name, data, &error));
    EXPECT_TRUE(data.isEmpty());
    EXPECT_TRUE(error.startsWith(S("Cannot open file \"") + name + S("\". "))) << error.toStdString();

    EXPECT_FALSE(LoadFromFile(dir.path(), data, &error));
    EXPECT_TRUE(error.startsWith(S("Cannot open file \""))) << error.toStdString();

    ASSERT_TRUE(WriteFile(name, QByteArray("0123456789")));
    EXPECT_FALSE(LoadFromFile(name, data, &error, 9));
    EXPECT_TRUE(data.isEmpty());
    EXPECT_TRUE(LoadFromFile(name, data, &error, 10));
    EXPECT_EQ(data, QByteArray("0123456789"));
}

} // namespace
