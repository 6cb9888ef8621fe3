// The file managers' "Print with Morvane": the action files as installed, and
// their command run on a selection from two folders through the real spooler,
// its notification received on a session bus of the test's own.

#include "app/MainSettings.h"
#include "support/BatchProcess.h"
#include "support/CupsPdf.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QScopeGuard>
#include <QSettings>
#include <QThread>
#include <QVariantMap>

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

// The notification service, answering in a thread of its own while the test
// waits for the program.
class TNotificationListener : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList Received()
    {
        QMutexLocker lock(&FMutex);
        return FReceived;
    }

public Q_SLOTS:
    uint Notify(const QString& app, uint, const QString&, const QString& summary, const QString& body,
                const QStringList&, const QVariantMap& hints, int)
    {
        QMutexLocker lock(&FMutex);
        FReceived << app + u'|' + summary + u'|' + body + u'|' + QString::number(hints.value(S("urgency")).toInt());
        return uint(FReceived.size());
    }

private:
    QMutex FMutex;
    QStringList FReceived;
};

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

    // A session bus of the test's own, with the listener as its notification service.
    QProcess daemon;
    daemon.start(S("dbus-daemon"), {S("--session"), S("--nofork"), S("--print-address=1")});
    ASSERT_TRUE(daemon.waitForStarted(30000)) << "dbus-daemon is needed";
    const auto stopDaemon = qScopeGuard([&daemon] {
        daemon.kill();
        daemon.waitForFinished();
    });
    while (!daemon.canReadLine() && daemon.waitForReadyRead(30000)) {
    }
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    QThread thread;
    TNotificationListener listener;
    listener.moveToThread(&thread);
    thread.start();
    const auto stopThread = qScopeGuard([&thread] {
        thread.quit();
        thread.wait();
    });
    QDBusConnection bus = QDBusConnection::connectToBus(address, S("m32-listener"));
    ASSERT_TRUE(bus.isConnected());
    ASSERT_TRUE(bus.registerObject(S("/org/freedesktop/Notifications"), &listener, QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(bus.registerService(S("org.freedesktop.Notifications")));

    // %F as the file manager expands it: one argument per selected file.
    QStringList args = print.split(u' ');
    ASSERT_EQ(args.takeFirst(), S("morvane-batch"));
    args.replaceInStrings(S("%F"), S("\n"));
    args.removeAll(S("\n"));
    args << files;
    const TBatchResult r = RunBatch(args, QDir::rootPath(), home, {S("DBUS_SESSION_BUS_ADDRESS=") + address});
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Printed: 3, failed: 0"))) << r.Err.toStdString();
    EXPECT_EQ(listener.Received(), QStringList{S("Morvane|Printed: 3, failed: 0||1")});

    // A file gone meanwhile is named in the notification, as failed; without a
    // bus nothing else changes.
    QFile::remove(files[2]);
    const TBatchResult missing = RunBatch({S("--files"), S("--notify"), S("--program"), S("/bin/true"), files[2]},
                                          QDir::rootPath(), home, {S("DBUS_SESSION_BUS_ADDRESS=") + address});
    EXPECT_EQ(missing.Exit, 2) << missing.Err.toStdString();
    ASSERT_EQ(listener.Received().size(), 2);
    EXPECT_TRUE(listener.Received()[1].startsWith(S("Morvane|Printed: 0, failed: 0|\"") + files[2]))
        << listener.Received()[1].toStdString();
    EXPECT_TRUE(listener.Received()[1].endsWith(S("|2")));
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

#include "FileManagerActionsTest.moc"
