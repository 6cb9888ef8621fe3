// The file managers' "Print with Morvane": the action files as installed, and
// their command run on a selection from two folders through the real spooler,
// its notification received on a session bus of the test's own and answered.

#include "app/MainSettings.h"
#include "printing/RunReport.h"
#include "support/BatchProcess.h"
#include "support/CupsPdf.h"
#include "support/NotificationService.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

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

// The window process a run started: its arguments, and whether it still runs.
QStringList ProcessArguments(qint64 pid)
{
    QFile cmdline(S("/proc/") + QString::number(pid) + S("/cmdline"));
    if (!cmdline.open(QIODevice::ReadOnly))
        return {};
    QStringList args;
    for (const QByteArray& arg : cmdline.readAll().split('\0'))
        args << QString::fromUtf8(arg);
    return args;
}

bool ProcessGone(qint64 pid)
{
    QFile status(S("/proc/") + QString::number(pid) + S("/status"));
    if (!status.open(QIODevice::ReadOnly))
        return true;
    return status.readAll().contains("State:\tZ");
}

} // namespace

TEST(FileManagerActions, EveryActionRunsTheSameCommandAndPrintsASelectionOfTwoFolders)
{
    QProcess validate;
    validate.start(S("desktop-file-validate"), {DataDir + S("org.morvane.Morvane.desktop")});
    ASSERT_TRUE(validate.waitForFinished(60000)) << "desktop-file-validate (desktop-file-utils) is needed";
    EXPECT_EQ(validate.exitCode(), 0) << validate.readAllStandardOutput().toStdString();

    const QString print = ExecOf(S("org.morvane.Morvane.desktop"), S("Desktop Action print"));
    EXPECT_EQ(print, S("morvane-batch --files --notify %F"));
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

    // A session bus of the test's own, with a notification service.
    TNotificationService service;
    ASSERT_TRUE(service.Problem().isEmpty()) << service.Problem().toStdString();
    const QString address = service.Address();
    TNotificationListener& listener = service.Listener();

    // GNOME Files: the extension, loaded with the real Nautilus module, finds
    // the desktop entry's print action and runs it when its item is activated.
    const QString dataDirs = root.filePath(S("xdg"));
    ASSERT_TRUE(QDir().mkpath(dataDirs + S("/applications")));
    ASSERT_TRUE(QFile::copy(DataDir + S("org.morvane.Morvane.desktop"),
                            dataDirs + S("/applications/org.morvane.Morvane.desktop")));
    QProcess python;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("HOME"), home);
    env.remove(S("XDG_CONFIG_HOME"));
    env.remove(S("XDG_DATA_HOME"));
    env.insert(S("XDG_DATA_DIRS"), dataDirs);
    env.insert(S("PATH"), QFileInfo(BuiltBatchProgram()).path() + u':' + env.value(S("PATH")));
    env.insert(S("DBUS_SESSION_BUS_ADDRESS"), address);
    python.setProcessEnvironment(env);
    python.setWorkingDirectory(QDir::rootPath());
    const QString script = S("import importlib.util, sys\n"
                             "found = importlib.util.spec_from_file_location('ext', sys.argv[1])\n"
                             "ext = importlib.util.module_from_spec(found)\n"
                             "found.loader.exec_module(ext)\n"
                             "assert ext.MorvaneMenuProvider().get_file_items([]) == []\n"
                             "items = {i.props.name: i for i in ext.menu_items(sys.argv[2:])}\n"
                             "print(' '.join(sorted(items)) + '|' + items['Morvane::print'].props.label)\n"
                             "print(' '.join(ext.action_command('print', sys.argv[2:])))\n"
                             "items['Morvane::print'].activate()\n");
    // Debian's own interpreter: python3-nautilus is installed for it.
    python.start(S("/usr/bin/python3"),
                 QStringList{S("-c"), script, DataDir + S("filemanagers/morvane-nautilus.py")} << files);
    ASSERT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    const QStringList lines = QString::fromUtf8(python.readAllStandardOutput()).split(u'\n');
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines[0], S("Morvane::print Morvane::window|Print with Morvane"));
    EXPECT_EQ(lines[1], S("morvane-batch --files --notify ") + files.join(u' '));
    ASSERT_TRUE(listener.WaitForCount(1));
    EXPECT_EQ(listener.Received(), QStringList{S("Morvane|Printed: 3, failed: 0||1|")});

    // A file gone meanwhile is named in the notification, as failed; its click
    // starts the window on the run's records.
    QFile::remove(files[2]);
    listener.SetAnswer(S("default"));
    const QStringList busEnv = {S("DBUS_SESSION_BUS_ADDRESS=") + address, S("QT_QPA_PLATFORM=offscreen")};
    const TBatchResult missing = RunBatch({S("--files"), S("--notify"), S("--program"), S("/bin/true"), files[2]},
                                          QDir::rootPath(), home, busEnv);
    EXPECT_EQ(missing.Exit, 2) << missing.Err.toStdString();
    ASSERT_EQ(listener.Received().size(), 2);
    const QString sent = listener.Received()[1];
    EXPECT_TRUE(sent.startsWith(S("Morvane|Printed: 0, failed: 0|\"") + files[2])) << sent.toStdString();
    EXPECT_TRUE(sent.endsWith(S("|2|default,Show failures,failures,Show failures"))) << sent.toStdString();
    const QRegularExpressionMatch shown =
        QRegularExpression(S("shown in the window \\(process (\\d+)\\): (.*)\n")).match(missing.Err);
    ASSERT_TRUE(shown.hasMatch()) << missing.Err.toStdString();
    const qint64 pid = shown.captured(1).toLongLong();
    const QString reportFile = shown.captured(2);
    EXPECT_TRUE(reportFile.startsWith(home + S("/.local/share/"))) << reportFile.toStdString();
    QList<TReportRecord> records;
    QString error;
    ASSERT_TRUE(ReadRunReport(reportFile, &records, &error)) << error.toStdString();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(records[0].File, files[2]);
    EXPECT_EQ(records[0].Result, TRecordResult::Missing);
    EXPECT_EQ(ProcessArguments(pid).mid(1, 2), (QStringList{S("--failures"), reportFile}));
    // The window is up (with its list); the session's end closes both.
    EXPECT_FALSE(ProcessGone(pid));
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    for (int i = 0; i < 300 && !ProcessGone(pid); ++i)
        QThread::msleep(100);
    EXPECT_TRUE(ProcessGone(pid));

    // Closed without a click: the run ends without the window.
    listener.SetAnswer(S("closed"));
    const TBatchResult closed = RunBatch({S("--files"), S("--notify"), S("--program"), S("/bin/true"), files[2]},
                                         QDir::rootPath(), home, busEnv);
    EXPECT_EQ(closed.Exit, 2) << closed.Err.toStdString();
    EXPECT_EQ(listener.Received().size(), 3);
    EXPECT_FALSE(closed.Err.contains(S("shown in the window"))) << closed.Err.toStdString();

    // A run that cannot start says why there too.
    const TBatchResult setUp =
        RunBatch({S("--files"), S("--notify"), S("-p"), S("m32d-none"), files[0]}, QDir::rootPath(), home, busEnv);
    EXPECT_EQ(setUp.Exit, 1) << setUp.Err.toStdString();
    ASSERT_EQ(listener.Received().size(), 4);
    EXPECT_EQ(listener.Received()[3], S("Morvane|Nothing was printed|the printer m32d-none does not exist|2|"));

    // Without a bus nothing else changes.
    const TBatchResult noBus = RunBatch({S("--files"), S("--notify"), S("--program"), S("/bin/true"), files[0]},
                                        QDir::rootPath(), home, {S("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent")});
    EXPECT_EQ(noBus.Exit, 0) << noBus.Err.toStdString();
    EXPECT_TRUE(noBus.Err.contains(S("Printed: 1, failed: 0"))) << noBus.Err.toStdString();

    const QStringList output = WaitForCupsPdfOutput(stem, 3);
    ASSERT_EQ(output.size(), 3) << "output folder: " << CupsPdfOutputDir().toStdString();
    for (const QString& file : output) {
        EXPECT_EQ(PdfPageCount(file), 1) << file.toStdString();
        QFile::remove(file);
    }
}
