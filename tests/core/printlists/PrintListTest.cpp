#include "printlists/PrintList.h"

#include "support/TestSupport.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

using testing_support::ReadFile;
using testing_support::WriteFile;

TEST(PrintList, SplitsLinesByTheReadingRules)
{
    const struct
    {
        const char* text;
        QStringList lines;
    } cases[] = {
        {"a\r\nb\r\n", {u"a"_qs, u"b"_qs}},
        {"a\nb", {u"a"_qs, u"b"_qs}},
        {"a\r\n\r\nb\r\n", {u"a"_qs, QString(), u"b"_qs}},
        {"a\rb\n", {u"ab"_qs}},
        {"  spaced  \n\n", {u"  spaced  "_qs, QString()}},
        {"\n", {QString()}},
        // "Any other lone CR" goes, but "a text without a final line end still yields its last line".
        {"a\n\r", {u"a"_qs, QString()}},
        {"\r", {QString()}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SplitPrintListLines(QString::fromUtf8(c.text)), c.lines) << c.text;
}

TEST(PrintList, WritesEntriesWithCrLfAndReadsThemBack)
{
    QTemporaryDir tmp;
    const QString name = tmp.filePath(u"list.pbt"_qs);
    const QStringList entries{u"a.pdf"_qs, QString(), u"Sub/b\u00e4.pdf"_qs};
    QString error;
    ASSERT_TRUE(WritePrintList(name, entries, &error)) << error.toStdString();
    EXPECT_EQ(ReadFile(name), QByteArray("a.pdf\r\n\r\nSub/b\xC3\xA4.pdf\r\n"));
    QStringList read{u"stale"_qs};
    ASSERT_TRUE(ReadPrintList(name, read, &error));
    EXPECT_EQ(read, entries);

    // Replacing writes the whole new list.
    ASSERT_TRUE(WritePrintList(name, {u"only.pdf"_qs}));
    EXPECT_EQ(ReadFile(name), QByteArray("only.pdf\r\n"));

    // LF-only files and a last line without its line end give the same entries.
    ASSERT_TRUE(WriteFile(name, "a.pdf\n\nSub/b\xC3\xA4.pdf"));
    ASSERT_TRUE(ReadPrintList(name, read));
    EXPECT_EQ(read, entries);

    // Name bytes that are not UTF-8 (a Latin-1 list) come back unchanged.
    const QByteArray latin1("caf\xE9.pdf\r\nSub/\xFF\xC3.pdf\r\n");
    ASSERT_TRUE(WriteFile(name, latin1));
    ASSERT_TRUE(ReadPrintList(name, read));
    ASSERT_EQ(read.size(), 2);
    ASSERT_TRUE(WritePrintList(name, read));
    EXPECT_EQ(ReadFile(name), latin1);
}

TEST(PrintList, ReportsFilesThatCannotBeReadOrWritten)
{
    QTemporaryDir tmp;
    QStringList read{u"stale"_qs};
    QString error;
    const QString missing = tmp.filePath(u"missing.pbt"_qs);
    EXPECT_FALSE(ReadPrintList(missing, read, &error));
    EXPECT_TRUE(read.isEmpty());
    EXPECT_TRUE(error.contains(missing)) << error.toStdString();

    error.clear();
    EXPECT_FALSE(ReadPrintList(tmp.path(), read, &error)) << "a directory is no list";
    EXPECT_TRUE(error.contains(tmp.path())) << error.toStdString();

    const QString fifo = tmp.filePath(u"fifo.pbt"_qs);
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    error.clear();
    EXPECT_FALSE(ReadPrintList(fifo, read, &error)) << "a pipe must not block the reader";
    EXPECT_TRUE(error.contains(fifo)) << error.toStdString();

    // The folder of the target is a file: nothing can be created there.
    ASSERT_TRUE(WriteFile(tmp.filePath(u"file"_qs), "x"));
    const QString impossible = tmp.filePath(u"file/list.pbt"_qs);
    error.clear();
    EXPECT_FALSE(WritePrintList(impossible, {u"a.pdf"_qs}, &error));
    EXPECT_TRUE(error.contains(impossible)) << error.toStdString();
}

TEST(PrintList, CommaTextKeepsItemsWithBlanksCommasQuotesAndEmptyOnes)
{
    const QStringList items{u"a.pdf"_qs, u"my file.pdf"_qs, u"x,y.pdf"_qs, u"say \"hi\".pdf"_qs, QString()};
    const QString text = ListToCommaText(items);
    EXPECT_EQ(text, u"a.pdf,\"my file.pdf\",\"x,y.pdf\",\"say \"\"hi\"\".pdf\",\"\""_qs);
    EXPECT_EQ(CommaTextToList(text), items);
    EXPECT_EQ(CommaTextToList(QString()), QStringList());
    EXPECT_EQ(ListToCommaText({}), QString());
    // An unterminated quote ends the text instead of running past it.
    EXPECT_EQ(CommaTextToList(u"\"open,b"_qs), QStringList{u"open,b"_qs});
}
