#include "printing/JobList.h"
#include "printing/CollectFiles.h"
#include "printing/ExecProcess.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include <sys/stat.h>

using testing_support::WriteFile;

namespace {

// A folder tree made of the given relative names; names ending in "/" are folders.
class Tree
{
public:
    explicit Tree(const QStringList& names)
    {
        for (const QString& n : names) {
            if (n.endsWith(u'/'))
                QDir().mkpath(path(n));
            else
                WriteFile(path(n), "%PDF-1.4\n");
        }
    }
    QString path(const QString& rel = {}) const { return rel.isEmpty() ? m_dir.path() : m_dir.filePath(rel); }
    QString dir() const { return m_dir.path() + u'/'; }
    // The names relative to the root, for readable comparisons.
    QStringList relative(const QStringList& found) const
    {
        QStringList out;
        for (const QString& f : found)
            out << (f.startsWith(dir()) ? f.mid(dir().size()) : f);
        return out;
    }

private:
    QTemporaryDir m_dir;
};

QStringList Collect(const Tree& tree, const QString& mask, bool subDirs)
{
    QStringList found;
    CollectFiles(tree.dir(), mask, subDirs, found);
    return tree.relative(found);
}

QStringList Sorted(QStringList l)
{
    l.sort();
    return l;
}

} // namespace

TEST(CollectFiles, MatchesMasksByWindowsRules)
{
    const struct TMaskCase
    {
        const char* name;
        const char* mask;
        bool match;
    } cases[] = {
        {"Report.PDF", "*.pdf", true}, {"report.pdfx", "*.pdf", false}, {"README", "*.*", true},
        {"a.b.c", "*.*", true},        {"a.pdf", "?.pdf", true},        {"ab.pdf", "?.pdf", false},
        {"[a].pdf", "[a].pdf", true},  {"a.pdf", "[a].pdf", false},     {"report", "report.*", true},
        {"README", "*.", true},        {"a.txt", "*.", false},          {"a.pdf", "", false},
        {"x y.pdf", "x*y.PDF", true},  {"ÄRGER.pdf", "ä*", true},       {"aXbXc", "a*b*c", true},
        {"abc", "a*b*c*d", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.match)
            << c.name << " ~ " << c.mask;

    // "?" at the end of a mask or before a dot also matches no character.
    const TMaskCase questionMarks[] = {
        {"q1.pdf", "q1?.pdf", true},  {"a", "a?", true},
        {"q12.pdf", "q1?.pdf", true}, {"q123.pdf", "q1?.pdf", false},
        {"ab.pdf", "a??.pdf", true},  {"a.pdf", "a??.pdf", true},
        {"ac", "a?c", false},         {"abc", "a?", false},
        {"a", "a?.*", true},          {"ab", "a?.", true},
        {"a", "a?.", true},           {"r.pdf", "r.pd?", true},
        {"r.pd", "r.pd?", true},      {"r.p", "r.pd?", false},
    };
    for (const auto& c : questionMarks)
        EXPECT_EQ(MatchesMask(QString::fromUtf8(c.name), QString::fromUtf8(c.mask)), c.match)
            << c.name << " ~ " << c.mask;
}

TEST(CollectFiles, SearchesSubdirectoriesFirstAndSkipsFolders)
{
    Tree tree({u"a.pdf"_qs, u".hidden.pdf"_qs, u"note.txt"_qs, u"folder.pdf/"_qs, u"A/B/deep.pdf"_qs, u"A/mid.PDF"_qs,
               u"C/c.pdf"_qs});
    EXPECT_EQ(Sorted(Collect(tree, u"*.pdf"_qs, false)), (QStringList{u".hidden.pdf"_qs, u"a.pdf"_qs}));

    const QStringList all = Collect(tree, u"*.pdf"_qs, true);
    EXPECT_EQ(Sorted(all),
              (QStringList{u".hidden.pdf"_qs, u"A/B/deep.pdf"_qs, u"A/mid.PDF"_qs, u"C/c.pdf"_qs, u"a.pdf"_qs}));
    const auto at = [&all](const char* n) { return all.indexOf(QString::fromUtf8(n)); };
    EXPECT_LT(at("A/B/deep.pdf"), at("A/mid.PDF"));
    EXPECT_LT(at("A/mid.PDF"), at("a.pdf"));
    EXPECT_LT(at("C/c.pdf"), at("a.pdf"));

    EXPECT_TRUE(Collect(tree, u"nothing*.pdf"_qs, true).isEmpty());
    QStringList none;
    CollectFiles(tree.path(u"missing"_qs), u"*.*"_qs, true, none);
    EXPECT_TRUE(none.isEmpty());
}

TEST(CollectFiles, DeliversEachFolderInNameOrder)
{
    // The expected order; the files are created shuffled, so the file
    // system's own order (creation or hash order) cannot pass for it.
    const QStringList ordered{
        u"sub2/x.pdf"_qs,
        u"Sub10/x.pdf"_qs,
        u"_x.pdf"_qs,
        u"a.pdf"_qs,
        u"A1.pdf"_qs,
        u"a02.pdf"_qs,
        u"a2.pdf"_qs,
        u"a10.pdf"_qs,
        u"a10b.pdf"_qs,
        u"B.pdf"_qs,
        u"b.pdf"_qs,
        u"doc9.pdf"_qs,
        u"Doc10.pdf"_qs,
        u"doc11.pdf"_qs,
        u"doc99999999999999999999.pdf"_qs,
        u"doc100000000000000000000.pdf"_qs,
        u"é.pdf"_qs,
    };
    QStringList shuffled = ordered;
    std::mt19937 random(4711);
    std::shuffle(shuffled.begin(), shuffled.end(), random);
    ASSERT_NE(shuffled, ordered);
    Tree tree(shuffled);
    EXPECT_EQ(Collect(tree, u"*.pdf"_qs, true), ordered);
}

TEST(CollectFiles, JoinsTheMaskFolderAndSurvivesLinkLoops)
{
    Tree tree({u"sub/x.pdf"_qs, u"sub/inner/y.pdf"_qs, u"z.pdf"_qs});
    EXPECT_EQ(Collect(tree, u"sub/*.pdf"_qs, false), QStringList{u"sub/x.pdf"_qs});
    EXPECT_EQ(Collect(tree, u"sub/*.pdf"_qs, true), (QStringList{u"sub/inner/y.pdf"_qs, u"sub/x.pdf"_qs}));
    for (const QString& f : Collect(tree, u"sub/*.pdf"_qs, true))
        EXPECT_TRUE(QFile::exists(tree.path(f))) << f.toStdString();

    // A link back to the root and a second link to the same folder: every folder is searched once.
    ASSERT_TRUE(QFile::link(tree.path(), tree.path(u"sub/inner/loop"_qs)));
    ASSERT_TRUE(QFile::link(tree.path(u"sub"_qs), tree.path(u"again"_qs)));
    ASSERT_TRUE(QFile::link(tree.path(u"z.pdf"_qs), tree.path(u"sub/linked.pdf"_qs)));
    ASSERT_TRUE(QFile::link(tree.path(u"gone.pdf"_qs), tree.path(u"dangling.pdf"_qs)));
    QStringList found = Collect(tree, u"*.pdf"_qs, true);
    QStringList targets;
    for (const QString& f : found)
        targets << QFileInfo(tree.path(f)).canonicalFilePath();
    targets.removeAll(QString());
    const qsizetype distinct = QSet<QString>(targets.begin(), targets.end()).size();
    EXPECT_EQ(found.size(), 5) << found.join(u' ').toStdString();
    EXPECT_EQ(distinct, 3) << "x, y and z, plus the links to z and the dangling one";
    EXPECT_TRUE(found.contains(u"dangling.pdf"_qs));
}

TEST(PrintRun, BuildsTheJobListFromMasksAndPrintLists)
{
    Tree tree({u"a.pdf"_qs, u"b.pdf"_qs, u"lists/x.pdf"_qs, u"dir.pbt/"_qs});
    ASSERT_TRUE(WriteFile(tree.path(u"lists/L.PBT"_qs), "x.pdf\r\n\r\n/abs/y.pdf\rz\n a.pdf\n\r"));
    QStringList errors;
    const auto report = [&errors](const QString& m) { errors << m; };

    ASSERT_EQ(::mkfifo(QFile::encodeName(tree.path(u"pipe.pbt"_qs)).constData(), 0600), 0);

    const QStringList jobs =
        BuildJobList(tree.dir(), u"a.pdf;lists/L.PBT;missing.pbt;dir.pbt;pipe.pbt; b.pdf;b.pdf;"_qs, false, report);
    // List lines are relative to the source folder, not to the list's own folder; the
    // lone CR at the end is one more, empty line, which names no file.
    EXPECT_EQ(tree.relative(jobs),
              (QStringList{u"a.pdf"_qs, u"x.pdf"_qs, u"/abs/y.pdfz"_qs, u" a.pdf"_qs, u"b.pdf"_qs}));
    ASSERT_EQ(errors.size(), 3);
    EXPECT_EQ(errors[0], u"Print list: "_qs + tree.path(u"missing.pbt"_qs) + u" not found!"_qs);
    // "If a file of that name exists": a folder is not a file.
    EXPECT_EQ(errors[1], u"Print list: "_qs + tree.path(u"dir.pbt"_qs) + u" not found!"_qs);
    // A list that exists but cannot be read gets the file error with its cause.
    EXPECT_TRUE(errors[2].contains(tree.path(u"pipe.pbt"_qs))) << errors[2].toStdString();
    EXPECT_FALSE(errors[2].contains(u"not found"_qs));

    EXPECT_TRUE(IsPrintListName(u"x.Pbt"_qs));
    EXPECT_FALSE(IsPrintListName(u"x.pbt.bak"_qs));
    EXPECT_FALSE(IsPrintListName(u"pbt"_qs));
    EXPECT_TRUE(BuildJobList(tree.dir(), u";"_qs, true, report).isEmpty());
}

TEST(PrintRun, CommandLineRoundTripsThroughTheRunnerSplitter)
{
    EXPECT_EQ(PrintCommandLine(u"/usr/bin/morvane-printpdf"_qs, u"PDF"_qs, u"/d/a b.pdf"_qs),
              u"\"/usr/bin/morvane-printpdf\" -print-to \"PDF\" \"/d/a b.pdf\""_qs);
    EXPECT_EQ(QuoteArgument(u"say \"hi\""_qs), u"\"say \"\"hi\"\"\""_qs);
    const QString odd[] = {u"/d/q\"uote\".pdf"_qs, u"/d/back\\slash\\"_qs, u"/d/\\\"mix\"\\.pdf"_qs, u"/d/"_qs,
                           u"/d/tab\tand  blanks .pdf"_qs};
    for (const QString& file : odd)
        EXPECT_EQ(SplitCommandLine(PrintCommandLine(u"/p"_qs, u"My \"Printer\""_qs, file)),
                  (QStringList{u"/p"_qs, u"-print-to"_qs, u"My \"Printer\""_qs, file}))
            << file.toStdString();
}

TEST(PrintRun, JobTitlesFromTemplates)
{
    const QDate day(2026, 3, 7);
    const struct
    {
        QString pattern;
        QString title; // or the start of the problem
    } rows[] = {
        {u"{file}"_qs, u"a b.pdf"_qs},
        {u"{batch}: {file} ({copy}) {date}"_qs, u"Invoices: a b.pdf (2) 2026-03-07"_qs},
        {u"{copy}{copy}"_qs, u"22"_qs},
        {u"plain {text"_qs, u"plain {text"_qs},
        {u"{ file}"_qs, u"unknown placeholder { file} in the job name"_qs},
        {u"x{name}"_qs, u"unknown placeholder {name} in the job name"_qs},
        {u"  "_qs, u"the job name is empty"_qs},
    };
    for (const auto& row : rows) {
        const QString problem = JobTitleProblem(row.pattern);
        const QString result =
            problem.isEmpty() ? JobTitle(row.pattern, u"/d/Invoices/a b.pdf"_qs, u"Invoices"_qs, 2, day) : problem;
        EXPECT_TRUE(result.startsWith(row.title)) << row.pattern.toStdString() << " -> " << result.toStdString();
    }
    // A file name that looks like a placeholder is not filled again.
    EXPECT_EQ(JobTitle(u"{file}-{copy}"_qs, u"/d/{copy}.pdf"_qs, u"d"_qs, 3, day), u"{copy}.pdf-3"_qs);
    EXPECT_EQ(SplitCommandLine(PrintCommandLine(u"/p"_qs, u"Q"_qs, u"/d/a.pdf"_qs, u"2up"_qs, u"a \"b\""_qs)),
              (QStringList{u"/p"_qs, u"-print-to"_qs, u"Q"_qs, u"-print-settings"_qs, u"2up"_qs, u"-job-name"_qs,
                           u"a \"b\""_qs, u"/d/a.pdf"_qs}));
}

TEST(PrintRun, StatusTexts)
{
    EXPECT_EQ(PrintStatusText(u"/docs/a.pdf"_qs), u"File: /docs/a.pdf"_qs);
    const QString longName = u"/home/user/documents/projects/2026/invoices/december/final/inv-0001.pdf"_qs;
    const QString status = PrintStatusText(longName);
    EXPECT_TRUE(status.startsWith(u"File: "_qs));
    EXPECT_LE(status.size() - 6, 50);
    EXPECT_TRUE(status.endsWith(u"/inv-0001.pdf"_qs));
    EXPECT_EQ(PrintFailedText(longName), u"File: "_qs + longName + u"\r\ncould not be printed!"_qs);
    EXPECT_EQ(PrintResultText(0), u" No file printed"_qs);
    EXPECT_EQ(PrintResultText(1), u" 1 file printed"_qs);
    EXPECT_EQ(PrintResultText(6), u" 6 files printed"_qs);
    EXPECT_TRUE(PrintSucceeded(0));
    EXPECT_FALSE(PrintSucceeded(0x20000002));
    EXPECT_FALSE(PrintSucceeded(WinErrorFileNotFound));
    EXPECT_FALSE(PrintSucceeded(ProcessHandleFailed));
}
