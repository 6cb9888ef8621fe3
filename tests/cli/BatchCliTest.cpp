// morvane-batch as a process: what it does before any printer is asked.

#include "support/BatchProcess.h"

#include "support/QStringPrinter.h"

#include <QDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace batch_test;
using namespace testing_support;

namespace {

// No spooler: every case here must get by without one.
const QString NoCups = S("CUPS_SERVER=/nonexistent.sock");

class BatchCli : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        for (const char* name : {"Docs/a.pdf", "Docs/notes.txt", "Docs/sub/c.pdf", "Docs/sub/deep/d.pdf"})
            ASSERT_TRUE(WriteFile(root.filePath(S(name)), "%PDF-1.4\n"));
        ASSERT_TRUE(WriteFile(root.filePath(S("Docs/list.pbt")), "a.pdf\n../extra/x.pdf\n"));
        program = root.filePath(S("tool"));
        ASSERT_TRUE(WriteFile(program, "#!/bin/sh\nexit 0\n"));
    }
    TBatchResult Run(const QStringList& args, const QStringList& env = {NoCups})
    {
        return RunBatch(args, root.path(), root.filePath(S("home")), env);
    }

    QTemporaryDir root;
    QString program;
};

TEST_F(BatchCli, BadArgumentsAndSetUpErrorsEndWithOneClearLine)
{
    struct Case
    {
        QStringList args;
        const char* message;
        QStringList env = {NoCups};
    };
    const Case cases[] = {
        {{}, "no directory given"},
        {{S("--frobnicate"), S("Docs")}, "unknown option --frobnicate"},
        {{S("-sx"), S("Docs")}, "unknown option -x"},
        // What the user typed is shown as typed, placeholders and all.
        {{S("--x%s"), S("Docs")}, "unknown option --x%s"},
        {{S("-n"), S("0"), S("Docs")}, "copies must be a number from 1 to 100, not \"0\""},
        {{S("--copies=101"), S("Docs")}, "copies must be a number from 1 to 100, not \"101\""},
        {{S("-ntwo"), S("Docs")}, "copies must be a number from 1 to 100, not \"two\""},
        {{S("Docs"), S("--copies")}, "option --copies needs a value (N)"},
        {{S("--pause"), S("-5"), S("Docs")}, "the pause must be a number of milliseconds"},
        {{S("--dry-run=yes"), S("Docs")}, "option --dry-run takes no value"},
        {{S("Docs"), S("*.pdf"), S("more")}, "unexpected argument more"},
        {{S("Docs"), S("")}, "the file names are empty"},
        {{S("Missing")}, "the directory Missing does not exist"},
        {{S("Docs/a.pdf")}, "Docs/a.pdf is not a directory"},
        {{S("--program"), S("/nonexistent/tool"), S("Docs")}, "the print program /nonexistent/tool does not exist"},
        // A spooler that is down is said so, not taken for one without printers.
        {{S("--program"), S("tool"), S("Docs")}, "cannot reach the print spooler at /nonexistent.sock"},
        {{S("--job-name"), S("{file} {who}"), S("Docs")}, "unknown placeholder {who} in the job name"},
        {{S("--job-name="), S("Docs")}, "the job name is empty"},
        {{S("-n3"), S("--copies-in-job"), S("--print-settings"), S("2x"), S("Docs")},
         "--copies-in-job: \"copies=3\" contradicts \"2x\""},
        {{S("-n"), S("0"), S("Docs")}, "Kopien", {NoCups, S("LANG=de_DE.UTF-8")}},
        {{S("--one-job"), S("--program"), S("tool"), S("Docs")}, "--one-job needs morvane-printpdf as print program"},
        {{S("--one-job"), S("--watch"), S("Docs")}, "--one-job and --watch cannot be combined"},
        {{S("-p"), S("A"), S("-p"), S("B"), S("--watch"), S("Docs")}, "several printers (-p) and --watch"},
        {{S("-p"), S("A"), S("-p"), S("a"), S("Docs")}, "the printer a is named twice"},
        {{S("--print-settings"), S("separator=title"), S("Docs")},
         "separator=title of --print-settings needs --one-job"},
        {{S("--print-settings"), S("separator=thick"), S("Docs")}, "separator=blank or separator=title"},
        {{S("--files")}, "no file given"},
        {{S("--files"), S("--watch"), S("Docs/a.pdf")}, "--files and --watch cannot be combined"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args.join(u' ').toStdString());
        const TBatchResult r = Run(c.args, c.env);
        EXPECT_EQ(r.Exit, 1);
        EXPECT_TRUE(r.Err.startsWith(S("morvane-batch: "))) << r.Err.toStdString();
        EXPECT_TRUE(r.Err.section(u'\n', 0, 0).contains(S(c.message))) << r.Err.toStdString();
        EXPECT_TRUE(r.Out.isEmpty());
    }
}

TEST_F(BatchCli, HelpAndVersion)
{
    const TBatchResult help = Run({S("--help")});
    EXPECT_EQ(help.Exit, 0);
    for (const char* part : {"-s, --subdirectories", "-p, --printer NAME", "-n, --copies N", "--program PATH",
                             "--pause MS", "--stop-on-error", "--dry-run", "--report FILE", "-q, --quiet", "130"})
        EXPECT_TRUE(help.Out.contains(S(part))) << part;
    const TBatchResult version = Run({S("--version")});
    EXPECT_EQ(version.Exit, 0);
    EXPECT_EQ(version.Out, S("morvane-batch 3.3.1.0\n"));
}

// LANGUAGE decides as in gettext, also where glibc alone would ignore it (locale C or
// unset); in German no line of the help, hot-folder texts included, stays English.
TEST_F(BatchCli, HelpFollowsLanguageAndIsTranslatedThroughout)
{
    const TBatchResult english = Run({S("--help")}, {NoCups, S("LANGUAGE="), S("LC_ALL="), S("LANG=C")});
    ASSERT_EQ(english.Exit, 0);
    // Every line that says something in words; the examples are commands, the same in every language.
    QStringList prose;
    for (const QString& line : english.Out.split(u'\n')) {
        if (line.contains(QRegularExpression(S("[a-z]{4,} [a-z]{2,}"))) && !line.startsWith(S("  morvane-batch")))
            prose << line.trimmed();
    }
    ASSERT_GT(prose.size(), 50);
    struct Case
    {
        QStringList env;
        bool german;
    };
    const Case cases[] = {
        {{S("LANGUAGE=de"), S("LC_ALL="), S("LANG=")}, true},
        {{S("LANGUAGE=de"), S("LC_ALL="), S("LANG=C")}, true},
        {{S("LANGUAGE=de"), S("LC_ALL=C"), S("LANG=C.UTF-8")}, true},
        {{S("LANGUAGE=tlh:de_AT:en"), S("LC_ALL="), S("LANG=")}, true},
        {{S("LANGUAGE="), S("LC_ALL="), S("LANG=de_DE.UTF-8")}, true},
        {{S("LANGUAGE=en"), S("LC_ALL="), S("LANG=de_DE.UTF-8")}, false},
        {{S("LANGUAGE="), S("LC_ALL="), S("LANG=")}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.env.join(u' ').toStdString());
        QStringList env = c.env;
        env << NoCups;
        const TBatchResult help = Run({S("--help")}, env);
        ASSERT_EQ(help.Exit, 0);
        EXPECT_EQ(help.Out.contains(S("Optionen:")), c.german);
        if (!c.german) {
            EXPECT_EQ(help.Out, english.Out);
            continue;
        }
        EXPECT_TRUE(help.Out.contains(S("VERZEICHNIS überwachen")));
        for (const QString& line : std::as_const(prose))
            EXPECT_FALSE(help.Out.contains(line)) << "untranslated: " << line.toStdString();
    }
}

TEST_F(BatchCli, NamedFilesAreTakenAsTheyAreAndListsFromTheirOwnFolder)
{
    // Run from the root: the list's "a.pdf" is Docs/a.pdf, already named.
    const TBatchResult r =
        Run({S("--dry-run"), S("--files"), S("Docs/sub/c.pdf"), S("Docs/a.pdf"), S("Docs/list.pbt"), S("Docs/*.pdf")});
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    EXPECT_EQ(r.Out,
              S("1\t") + root.filePath(S("Docs/sub/c.pdf")) + S("\n1\t") + root.filePath(S("Docs/a.pdf")) + S("\n"));
    EXPECT_TRUE(r.Err.contains(S("list.pbt, line 1: \"a.pdf\" is already listed"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("\"Docs/*.pdf\" matched no file"))) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("extra/x.pdf"))) << r.Err.toStdString();
}

TEST_F(BatchCli, DryRunListsEveryInvocationInRunOrder)
{
    // A relative directory, a mask through subdirectories (deepest first) and
    // a print list, in two collated copies; neither printer nor program needed.
    // The list's a.pdf is left out as the mask's, its missing line is named and not listed.
    const TBatchResult r = Run({S("--dry-run"), S("-s"), S("-n"), S("2"), S("Docs"), S("*.pdf;list.pbt")});
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    const QString d = root.filePath(S("Docs/"));
    QString expected;
    for (const char* copy : {"1\t", "2\t"}) {
        for (const char* name : {"sub/deep/d.pdf", "sub/c.pdf", "a.pdf"})
            expected += S(copy) + d + S(name) + u'\n';
    }
    EXPECT_EQ(r.Out, expected);
    EXPECT_EQ(r.Err, S("morvane-batch: warning: ") + d +
                         S("list.pbt, line 2: \"../extra/x.pdf\" names no existing file\nmorvane-batch: left out: ") +
                         d + S("list.pbt, line 1: \"a.pdf\" is already listed\n"));

    const TBatchResult nothing = Run({S("--dry-run"), S("Docs"), S("*.ps")});
    EXPECT_EQ(nothing.Exit, 3);
    EXPECT_TRUE(nothing.Out.isEmpty());

    const TBatchResult missingList = Run({S("--dry-run"), root.filePath(S("Docs")), S("gone.pbt;a.pdf")});
    EXPECT_EQ(missingList.Exit, 2);
    EXPECT_EQ(missingList.Out, S("1\t") + d + S("a.pdf\n"));
    EXPECT_EQ(missingList.Err, S("morvane-batch: Print list: ") + d + S("gone.pbt not found!\n"));
}

} // namespace
