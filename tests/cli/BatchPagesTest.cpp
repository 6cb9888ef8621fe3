// morvane-batch --dry-run --pages: the preview's figures for scripts.

#include "support/BatchProcess.h"

#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QFile>

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
    // The other types, counted as the print program counts them: PostScript
    // by its comment, a text by the estimate, a foreign file refused, an
    // office document not counted (that would take a conversion).
    write("Docs/e.ps", "%!PS-Adobe-3.0\n%%Pages: 3\n%%EndComments\nshowpage showpage showpage\n");
    write("Docs/f.txt", QByteArray("line\n").repeated(150));
    write("Docs/g.docx", QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    write("Docs/h.bin", QByteArray("\x00\x01\x02\x03\xfe\xff", 6));
    // Found in PATH, never started by a dry run.
    write("bin/soffice", "#!/bin/sh\nexit 1\n");
    ASSERT_TRUE(QFile::setPermissions(root.filePath(S("bin/soffice")), QFile::ReadOwner | QFile::ExeOwner));
    const QString home = root.filePath(S("home"));
    const QStringList noCups = {S("CUPS_SERVER=/nonexistent.sock"),
                                S("PATH=") + root.filePath(S("bin")) + S(":/usr/bin:/bin")};

    // Pages 2-3 both sides in three copies: a, d, e and f take one sheet per
    // copy; b has no page in the range and c may not be printed.
    const TBatchResult r = RunBatch(
        {S("--dry-run"), S("--pages"), S("-n"), S("3"), S("--print-settings"), S("2-3,duplex"), S("Docs"), S("*.*")},
        root.path(), home, noCups);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    const QStringList out = r.Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(out.size(), 25);
    EXPECT_EQ(out.first(), S("1\t") + root.filePath(S("Docs/a.pdf")));
    EXPECT_EQ(out.last(), S("files=8 pages=8 sheets=12 copies=3 unprintable=3 unknown=1"));
    EXPECT_EQ(r.Err,
              S("morvane-batch: ") + root.filePath(S("Docs/b.pdf")) +
                  S(" cannot be printed: no page in the page range\nmorvane-batch: ") + root.filePath(S("Docs/c.pdf")) +
                  S(" cannot be printed: does not allow printing\nmorvane-batch: ") + root.filePath(S("Docs/h.bin")) +
                  S(" cannot be printed: is of a type that is not printed: data (application/octet-stream)\n"));

    const TBatchResult alone = RunBatch({S("--pages"), S("Docs")}, root.path(), home, noCups);
    EXPECT_EQ(alone.Exit, 1);
    EXPECT_EQ(alone.Err.section(u'\n', 0, 0), S("morvane-batch: --pages needs --dry-run"));
}

} // namespace
