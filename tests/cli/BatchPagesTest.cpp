// morvane-batch --dry-run --pages: the preview's figures for scripts.

#include "support/BatchProcess.h"

#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <gtest/gtest.h>

using namespace batch_test;
using namespace testing_support;

namespace {

TEST(BatchPages, DryRunEndsWithThePagesAndSheetsOfTheRun)
{
    QTemporaryDir root;
    const auto write = [&root](const char* name, const QByteArray& bytes) {
        ASSERT_TRUE(WriteFile(root.filePath(S(name)), bytes));
    };
    write("Docs/a.pdf", MakePdf(5));
    write("Docs/b.pdf", MakePdf(1));
    write("Docs/c.pdf", MakePdf(PdfSpec{3, false}));
    write("Docs/d.pdf", MakePdf(4));
    const QString home = root.filePath(S("home"));
    const QStringList noCups = {S("CUPS_SERVER=/nonexistent.sock")};

    // Pages 2-3 both sides in three copies: a and d take one sheet per copy;
    // b has no page in the range and c may not be printed.
    const TBatchResult r = RunBatch(
        {S("--dry-run"), S("--pages"), S("-n"), S("3"), S("--print-settings"), S("2-3,duplex"), S("Docs"), S("*.pdf")},
        root.path(), home, noCups);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QStringList out = r.Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 13);
    EXPECT_EQ(out.first(), S("1\t") + root.filePath(S("Docs/a.pdf")));
    EXPECT_EQ(out.last(), S("files=4 pages=4 sheets=6 copies=3 unprintable=2"));
    EXPECT_EQ(r.Err, S("morvane-batch: ") + root.filePath(S("Docs/b.pdf")) +
                         S(" cannot be printed: no page in the page range\nmorvane-batch: ") +
                         root.filePath(S("Docs/c.pdf")) + S(" cannot be printed: does not allow printing\n"));

    const TBatchResult alone = RunBatch({S("--pages"), S("Docs")}, root.path(), home, noCups);
    EXPECT_EQ(alone.Exit, 1);
    EXPECT_EQ(alone.Err.section(u'\n', 0, 0), S("morvane-batch: --pages needs --dry-run"));
}

} // namespace
