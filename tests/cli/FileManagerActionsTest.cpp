// The file managers' "Print with Morvane": the action files as installed, and
// their command run on a selection from two folders through the real spooler.

#include "app/MainSettings.h"
#include "support/BatchProcess.h"
#include "support/CupsPdf.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSettings>

#include <gtest/gtest.h>

using namespace batch_test;
using namespace testing_support;

namespace {

const QString DataDir = S(MORVANE_SOURCE_DIR "/data/");

// The Exec line of a group, read as the desktop entry format has it.
QString ExecOf(const QString& file, const QString& group)
{
    QSettings desktop(DataDir + file, QSettings::IniFormat);
    return desktop.value(group + S("/Exec")).toString();
}

} // namespace

TEST(FileManagerActions, EveryActionRunsTheSameCommandAndPrintsASelectionOfTwoFolders)
{
    QProcess validate;
    validate.start(S("desktop-file-validate"), {DataDir + S("org.morvane.Morvane.desktop")});
    ASSERT_TRUE(validate.waitForFinished(60000)) << "desktop-file-validate (desktop-file-utils) is needed";
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();

    const QString print = ExecOf(S("org.morvane.Morvane.desktop"), S("Desktop Action print"));
    EXPECT_EQ(print, S("morvane-batch --files %F"));
    EXPECT_EQ(ExecOf(S("filemanagers/org.morvane.Morvane.servicemenu.desktop"), S("Desktop Action print")), print);
    EXPECT_EQ(ExecOf(S("filemanagers/morvane-print.nemo_action"), S("Nemo Action")), print);
    const QString window = ExecOf(S("org.morvane.Morvane.desktop"), S("Desktop Action window"));
    EXPECT_EQ(window, S("morvane %F"));
    EXPECT_EQ(ExecOf(S("filemanagers/org.morvane.Morvane.servicemenu.desktop"), S("Desktop Action window")), window);
    EXPECT_EQ(ExecOf(S("filemanagers/morvane-window.nemo_action"), S("Nemo Action")), window);

    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QTemporaryDir root;
    const QString stem = UniqueJobStem(S("action"));
    // Names the field form would split or take as masks are files here.
    const QStringList files = {root.filePath(S("Mail/")) + stem + S("-a.pdf"),
                               root.filePath(S("Scans 2/")) + stem + S("-b;*.pdf"),
                               root.filePath(S("Scans 2/")) + stem + S("-c.pdf")};
    for (const QString& file : files)
        ASSERT_TRUE(WriteFile(file, MakePdf(3)));
    // The window saved the printer and "page 1 only"; the action names neither.
    TMainSettings settings;
    settings.Printer = TestPrinterName();
    settings.Sumatra = BuiltPrintProgram();
    settings.PrintSettings = S("1");
    const QString home = root.filePath(S("home"));
    ASSERT_TRUE(QDir().mkpath(home + S("/.config")));
    ASSERT_TRUE(WriteMainSettings(home + S("/.config/morvane.ini"), settings));

    // %F as the file manager expands it: one argument per selected file.
    QStringList args = print.split(u' ');
    ASSERT_EQ(args.takeFirst(), S("morvane-batch"));
    args.replaceInStrings(S("%F"), S("\n"));
    args.removeAll(S("\n"));
    args << files;
    const TBatchResult r = RunBatch(args, QDir::rootPath(), home);
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Printed: 3, failed: 0"))) << r.Err.toStdString();

    const QStringList output = WaitForCupsPdfOutput(stem, 3);
    ASSERT_EQ(output.size(), 3) << "output folder: " << CupsPdfOutputDir().toStdString();
    for (const QString& file : output) {
        EXPECT_EQ(PdfPageCount(file), 1) << file.toStdString();
        QFile::remove(file);
    }
}
