// morvane-batch --watch as a process with a stand-in print program: complete
// files only, each once, in arrival order, across restarts and kills; moves
// that never replace a file; the refused partial file tried once more.

#include "support/BatchProcess.h"

#include "support/QStringPrinter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QRandomGenerator>
#include <QThread>

#include <gtest/gtest.h>

#include <csignal>

using namespace batch_test;
using namespace testing_support;

namespace {

// Logs "begin|file|run" (run: the watch that started it) when started and "end|file|checksum" (or "refused") when
// done; refuses a "partial" or "bad" file that does not end like a whole PDF, with the print program's code for a
// file it cannot load.
// Scans are only logged, to keep 500 of them quick.
constexpr char kFakeProgram[] = "#!/bin/sh\n"
                                "echo \"begin|$3|$WATCH_RUN\" >> \"$0.log\"\n"
                                "case \"$3\" in *partial*|*bad*) case \"$(tail -c 6 \"$3\")\" in *%%EOF*) ;;\n"
                                "  *) echo \"incomplete: $3\" >&2; echo \"end|$3|refused\" >> \"$0.log\"; exit 2 ;;\n"
                                "esac ;; esac\n"
                                "case \"$3\" in *scan-*) echo \"end|$3|\" >> \"$0.log\"; exit 0 ;; esac\n"
                                "echo \"end|$3|$(cksum < \"$3\" | cut -d' ' -f1)\" >> \"$0.log\"\n";

QByteArray Pdf(const QByteArray& body)
{
    return "%PDF-1.4\n" + body + "\n%%EOF\n";
}

class BatchWatch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        program = root.filePath(S("bin/fake-print"));
        ASSERT_TRUE(WriteScript(program, kFakeProgram));
        ASSERT_TRUE(QDir().mkpath(inbox));
    }

    // Starts a watch of the inbox; returns once it watches. Its stderr goes
    // to a file, so that a long run never blocks on a full pipe.
    void Start(QProcess& p, const QStringList& extra, int run = 0)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(S("HOME"), root.filePath(S("home")));
        env.remove(S("XDG_CONFIG_HOME"));
        env.remove(S("XDG_DATA_HOME"));
        env.insert(S("WATCH_RUN"), QString::number(run));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(root.path());
        QFile::remove(errFile);
        p.setStandardErrorFile(errFile);
        p.start(BuiltBatchProgram(), QStringList{S("--watch"), S("--settle"), S("200"), S("--quiet-time"), S("300"),
                                                 S("--pause"), S("0"), S("--program"), program} +
                                         extra + QStringList{S("Inbox")});
        ASSERT_TRUE(WaitForErr(S("Watching"))) << Err().toStdString();
    }
    QString Err() const { return QString::fromUtf8(ReadFile(errFile)); }
    bool WaitForErr(const QString& text) const
    {
        return WaitFor([&] { return Err().contains(text); });
    }
    // Ends the watch with a signal; its exit code.
    static int Stop(QProcess& p, int signal)
    {
        ::kill(static_cast<pid_t>(p.processId()), signal);
        EXPECT_TRUE(p.waitForFinished(60000));
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    QStringList Log(const char* kind) const
    {
        QStringList lines;
        for (const QString& line : QString::fromUtf8(ReadFile(program + S(".log"))).split(u'\n')) {
            if (line.startsWith(S(kind)))
                lines << line.section(u'|', 1).replace(inbox, QString());
        }
        return lines;
    }
    // The names printed so far, in order ("name|checksum" with sums).
    QStringList Printed(bool sums = false) const
    {
        QStringList names;
        for (const QString& entry : Log("end|")) {
            if (!entry.endsWith(S("|refused")))
                names << (sums ? entry : entry.section(u'|', 0, 0));
        }
        return names;
    }
    // Polls the condition for up to 60 s.
    static bool WaitFor(const std::function<bool()>& done)
    {
        for (int i = 0; i < 1200 && !done(); ++i)
            QThread::msleep(50);
        return done();
    }
    bool WaitForPrinted(qsizetype count) const
    {
        return WaitFor([&] { return Printed().size() >= count; });
    }
    static QString Cksum(const QByteArray& bytes)
    {
        QProcess cksum;
        cksum.start(S("cksum"), {});
        cksum.write(bytes);
        cksum.closeWriteChannel();
        cksum.waitForFinished();
        return QString::fromLatin1(cksum.readAll()).section(u' ', 0, 0);
    }

    QTemporaryDir root;
    QString inbox = root.filePath(S("Inbox/"));
    QString program;
    QString errFile = root.filePath(S("watch.err"));
};

TEST_F(BatchWatch, CompleteFilesOnceInArrivalOrder)
{
    ASSERT_TRUE(WriteFile(inbox + S("there-before.pdf"), Pdf("old")));
    QProcess watch;
    Start(watch, {});
    EXPECT_TRUE(Err().contains(S("Files already here, left alone: 1 (--include-existing would print them).")))
        << Err().toStdString();

    // A slow writer: nothing is handed over while it writes, though each
    // pause is longer than the settle time, and the whole file after the close.
    QFile slow(inbox + S("slow.pdf"));
    ASSERT_TRUE(slow.open(QIODevice::WriteOnly));
    QByteArray whole;
    for (int chunk = 0; chunk < 4; ++chunk) {
        const QByteArray part = chunk == 0 ? QByteArray("%PDF-1.4\n") : QByteArray(4000, char('a' + chunk));
        ASSERT_EQ(slow.write(part), part.size());
        ASSERT_TRUE(slow.flush());
        whole += part;
        QThread::msleep(400); // the writer's own pace
        EXPECT_TRUE(Log("begin|").isEmpty()) << "handed over while written, chunk " << chunk;
    }
    ASSERT_EQ(slow.write("\n%%EOF\n"), 7);
    whole += "\n%%EOF\n";
    slow.close();
    ASSERT_TRUE(WaitForPrinted(1));
    EXPECT_EQ(Printed(true), QStringList{S("slow.pdf|") + Cksum(whole)});

    // 500 at once, as a copier drops them: each once, in the order they came;
    // other names and the file that was there before are left alone.
    QStringList dropped{S("slow.pdf")};
    for (int i = 0; i < 500; ++i) {
        const QString name = QStringLiteral("scan-%1.pdf").arg(QRandomGenerator::global()->bounded(1000000) * 1000 + i);
        ASSERT_TRUE(WriteFile(inbox + name, Pdf(name.toUtf8())));
        dropped << name;
        if (i % 100 == 0) {
            ASSERT_TRUE(WriteFile(inbox + name + S(".txt"), "not a pdf"));
        }
    }
    ASSERT_TRUE(WaitForPrinted(dropped.size()));
    // The folder going away ends the watch with 1; nothing more was printed.
    ASSERT_TRUE(QDir(inbox).removeRecursively());
    ASSERT_TRUE(watch.waitForFinished(60000));
    EXPECT_EQ(watch.exitCode(), 1);
    EXPECT_TRUE(Err().contains(S("is gone")));
    EXPECT_EQ(Printed(), dropped);
}

TEST_F(BatchWatch, RestartsAndKillsPrintEachFileOnce)
{
    ASSERT_TRUE(WriteFile(inbox + S("there-before.pdf"), Pdf("old")));
    QStringList expected;
    int serial = 0;
    const auto drop = [&](int count) {
        for (int i = 0; i < count; ++i) {
            const QString name = QStringLiteral("f%1.pdf").arg(++serial, 4, 10, QLatin1Char('0'));
            ASSERT_TRUE(WriteFile(inbox + name, Pdf(name.toUtf8())));
            expected << name;
        }
    };

    // A clean stop: exit 0 after the files so far; a restart prints what
    // arrived meanwhile and nothing twice.
    QProcess first;
    Start(first, {});
    drop(3);
    ASSERT_TRUE(WaitForPrinted(3));
    EXPECT_EQ(Stop(first, SIGTERM), 0);
    EXPECT_TRUE(Err().contains(S("Printed: 3, failed: 0"))) << Err().toStdString();
    drop(2);

    // Killed at random moments while files arrive, and started again. Only a
    // file being handed over at a kill may be printed a second time.
    for (int round = 1; round <= 6; ++round) {
        QProcess watch;
        Start(watch, {}, round);
        if (round == 1) {
            EXPECT_TRUE(Err().contains(S("After a restart: left alone as printed before: 4; to print now: 2.")))
                << Err().toStdString();
        }
        drop(8);
        watch.waitForFinished(QRandomGenerator::global()->bounded(50, 400)); // the kill's moment
        ::kill(static_cast<pid_t>(watch.processId()), SIGKILL);
        ASSERT_TRUE(watch.waitForFinished(60000));
        drop(2); // while no watch runs
    }

    // Replaced files print again: written over, and renamed over.
    QProcess last;
    Start(last, {});
    ASSERT_TRUE(WriteFile(inbox + S("f0001.pdf"), Pdf("new content")));
    ASSERT_TRUE(WriteFile(root.filePath(S("tmp.pdf")), Pdf("renamed in")));
    ASSERT_EQ(::rename(QFile::encodeName(root.filePath(S("tmp.pdf"))).constData(),
                       QFile::encodeName(inbox + S("f0002.pdf")).constData()),
              0);
    expected << S("f0001.pdf") << S("f0002.pdf");
    const QStringList replaced{S("f0001.pdf|") + Cksum(Pdf("new content")), S("f0002.pdf|") + Cksum(Pdf("renamed in"))};
    ASSERT_TRUE(WaitFor([&] {
        const QStringList printed = Printed(true);
        return printed.contains(replaced[0]) && printed.contains(replaced[1]);
    }));
    EXPECT_EQ(Stop(last, SIGINT), 0);

    // One more start with the newest file: anything it would print a second
    // time settles with that file and goes before it.
    drop(1);
    QProcess check;
    Start(check, {});
    ASSERT_TRUE(WaitFor([&] { return Printed().contains(expected.last()); }));
    EXPECT_EQ(Stop(check, SIGTERM), 0);

    // The file each killed watch handed over last (its print program may
    // have logged after the kill).
    QMap<QString, QString> lastOfRun;
    for (const QString& entry : Log("begin|"))
        lastOfRun[entry.section(u'|', 1)] = entry.section(u'|', 0, 0);
    QStringList handedOverAtKill;
    for (int round = 1; round <= 6; ++round)
        handedOverAtKill << lastOfRun.value(QString::number(round));

    QMap<QString, int> times;
    for (const QString& name : Printed())
        ++times[name];
    for (const QString& name : std::as_const(expected))
        EXPECT_GE(times.value(name), 1) << name.toStdString() << " was never printed";
    EXPECT_FALSE(times.contains(S("there-before.pdf")));
    for (auto it = times.cbegin(); it != times.cend(); ++it) {
        const qsizetype allowed = expected.count(it.key()) + handedOverAtKill.count(it.key());
        EXPECT_LE(it.value(), allowed) << it.key().toStdString() << " printed too often";
    }
}

TEST_F(BatchWatch, MovesNeverReplaceAndRefusedFilesAreTriedOnceMore)
{
    ASSERT_TRUE(WriteFile(inbox + S("Printed/a.pdf"), "older a"));
    QProcess watch;
    // With subdirectories, so the move targets inside the folder must be left out.
    Start(watch, {S("-s"), S("--move-printed"), S("Inbox/Printed"), S("--move-failed"), S("Inbox/Failed"),
                  S("--report"), S("watch.csv")});
    ASSERT_TRUE(WriteFile(inbox + S("a.pdf"), Pdf("a1")));
    ASSERT_TRUE(WaitFor([&] { return QFile::exists(inbox + S("Printed/a (2).pdf")); }));
    ASSERT_TRUE(WriteFile(inbox + S("a.pdf"), Pdf("a2")));
    ASSERT_TRUE(WaitForPrinted(2));

    // Refused while half written, then completed: printed on the second try.
    ASSERT_TRUE(WriteFile(inbox + S("sub/partial.pdf"), "%PDF-1.4\nhalf"));
    ASSERT_TRUE(WaitForErr(S("tried once more")));
    QFile rest(inbox + S("sub/partial.pdf"));
    ASSERT_TRUE(rest.open(QIODevice::Append));
    rest.write("\n%%EOF\n");
    rest.close();
    ASSERT_TRUE(WaitForPrinted(3));
    // Refused twice: failed, moved aside, not tried again.
    ASSERT_TRUE(WriteFile(inbox + S("bad.pdf"), "%PDF-1.4\nnever complete"));
    ASSERT_TRUE(WaitForErr(S("could not be printed")));
    EXPECT_EQ(Stop(watch, SIGTERM), 0);
    EXPECT_TRUE(Err().contains(S("Printed: 3, failed: 1"))) << Err().toStdString();

    EXPECT_EQ(Printed(), (QStringList{S("a.pdf"), S("a.pdf"), S("sub/partial.pdf")}));
    EXPECT_EQ(Log("end|").filter(S("bad.pdf")).size(), 2);
    EXPECT_EQ(ReadFile(inbox + S("Printed/a.pdf")), "older a");
    EXPECT_EQ(ReadFile(inbox + S("Printed/a (2).pdf")), Pdf("a1"));
    EXPECT_EQ(ReadFile(inbox + S("Printed/a (3).pdf")), Pdf("a2"));
    EXPECT_TRUE(QFile::exists(inbox + S("Printed/sub/partial.pdf")));
    EXPECT_EQ(ReadFile(inbox + S("Failed/bad.pdf")), "%PDF-1.4\nnever complete");
    EXPECT_EQ(QDir(inbox).entryList(QDir::Files), QStringList());
    const QStringList report = QString::fromUtf8(ReadFile(root.filePath(S("watch.csv")))).split(S("\r\n"));
    ASSERT_EQ(report.size(), 6) << report.join(u'\n').toStdString();
    EXPECT_EQ(report[0], S("copy,file,result,exit_code,reason,handed_over,job_ids,recovered,destination,job_state,"
                           "job_state_reasons,pages,sheets,document_pages"));
    // Each handover has its record with its time; the stand-in names no jobs.
    const QStringList bad = report[4].split(u',');
    ASSERT_EQ(bad.size(), 14) << report[4].toStdString();
    EXPECT_EQ(bad.mid(0, 5).join(u','), S("1,") + inbox + S("bad.pdf,failed,2,incomplete: ") + inbox + S("bad.pdf"));
    EXPECT_TRUE(QDateTime::fromString(bad[5], Qt::ISODateWithMs).isValid()) << bad[5].toStdString();
    EXPECT_EQ(bad.mid(6).join(u','), S(",no,,,,,,"));

    // A folder that does not exist: exit 1 at once.
    const TBatchResult missing =
        RunBatch({S("--watch"), S("--program"), program, S("Nowhere")}, root.path(), root.filePath(S("home")));
    EXPECT_EQ(missing.Exit, 1);
    EXPECT_TRUE(missing.Err.contains(S("the directory Nowhere does not exist"))) << missing.Err.toStdString();
}

} // namespace
