// The watch logic in process, with real inotify and no spooler: a file is
// handed over once it is closed and quiet, again only when its content
// changed; one watch per folder; nothing handed over without its intent on
// disk; and a restart settles the handovers a kill cut short by asking.

#include "watch/WatchFolder.h"

#include "support/QStringPrinter.h"
#include "support/ScopedFileSizeLimit.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace testing_support;

namespace {

class WatchFolder : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir().mkpath(inbox));
    }

    TWatchConfig Config(TJobFinder finder = {}) const
    {
        TWatchConfig config;
        config.Dir = inbox;
        config.Field = S("*.pdf");
        config.SettleMs = 300;
        config.QuietMs = 300;
        config.StateDir = root.filePath(S("state"));
        config.FindJobs = std::move(finder);
        QDir().mkpath(config.StateDir);
        return config;
    }

    // Runs the watch until files are handed over or ms have passed.
    static QList<TArrival> Take(TWatchFolder& hot, int ms)
    {
        QElapsedTimer waited;
        waited.start();
        QList<TArrival> got;
        while (got.isEmpty() && waited.elapsed() < ms) {
            if (hot.Wait(-1, static_cast<int>(ms - waited.elapsed())) != TWatchFolder::TWait::Ready)
                continue;
            TArrival file;
            while (hot.TakeNext(file))
                got << file;
        }
        return got;
    }
    static QStringList Keys(const QList<TArrival>& files)
    {
        QStringList keys;
        for (const TArrival& f : files)
            keys << f.Key;
        return keys;
    }
    // What a print program's run does to the state: intent, then result.
    static void Print(TWatchFolder& hot, TArrival file, const QStringList& jobs = {})
    {
        QString error;
        ASSERT_TRUE(hot.BeginHandover(file, S("Office"), &error)) << error.toStdString();
        ASSERT_TRUE(hot.Printed(file, false, jobs, &error)) << error.toStdString();
    }
    static void Append(const QString& file, const QByteArray& bytes)
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    // Both times, as touch sets them (the modification time alone is
    // reported like a write, and then the long fallback for a writer that
    // never closes applies).
    static void SetTime(const QString& file, qint64 mtimeNs)
    {
        const timespec time{mtimeNs / 1000000000, mtimeNs % 1000000000};
        const timespec times[2] = {time, time};
        ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(file).constData(), times, 0), 0);
    }

    QTemporaryDir root;
    QString inbox = root.filePath(S("in/"));
};

TEST_F(WatchFolder, WholeAfterTheQuietTimeAndAgainOnlyForNewContent)
{
    auto hot = std::make_unique<TWatchFolder>(Config());
    QString error;
    ASSERT_TRUE(hot->Start(&error)) << error.toStdString();

    // Written in pieces, closed in between: nothing goes while it changes.
    const QString a = inbox + S("a.pdf");
    const QByteArray pieces[] = {"%PDF-1.4\n", QByteArray(3000, 'x'), "\n%%EOF\n"};
    QByteArray whole;
    for (const QByteArray& piece : pieces) {
        EXPECT_TRUE(Take(*hot, 150).isEmpty()) << "handed over after " << whole.size() << " bytes";
        Append(a, piece);
        whole += piece;
    }
    QList<TArrival> got = Take(*hot, 5000);
    ASSERT_EQ(Keys(got), QStringList{S("a.pdf")});
    EXPECT_EQ(got[0].Stamp.Size, whole.size());
    Print(*hot, got[0]);

    // A new time, or the same bytes written again: recorded, not handed over.
    const TFileStamp printed = StampOf(a);
    SetTime(a, printed.MTimeNs + 5000000000);
    EXPECT_TRUE(Take(*hot, 1500).isEmpty()) << "touched";
    ASSERT_TRUE(WriteFile(a, whole));
    EXPECT_TRUE(Take(*hot, 1500).isEmpty()) << "the same bytes";

    // New content of the same size and time: handed over.
    QByteArray changed = whole;
    changed[20] = 'y';
    const TFileStamp before = StampOf(a);
    ASSERT_TRUE(WriteFile(a, changed));
    SetTime(a, before.MTimeNs);
    ASSERT_EQ(StampOf(a), before);
    got = Take(*hot, 5000);
    ASSERT_EQ(Keys(got), QStringList{S("a.pdf")});
    Print(*hot, got[0]);

    // A restart after all that hands nothing over.
    ASSERT_TRUE(hot->Flush(&error));
    hot.reset();
    TWatchFolder again(Config());
    ASSERT_TRUE(again.Start(&error)) << error.toStdString();
    EXPECT_EQ(again.DoneBefore(), 1);
    EXPECT_EQ(again.Resumed(), 0);
    EXPECT_TRUE(Take(again, 1000).isEmpty());
}

TEST_F(WatchFolder, OneWatchPerFolderAndAKilledOneLeavesNoLock)
{
    // A watch in another process, killed while it holds the folder.
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        TWatchFolder hot(Config());
        QString error;
        const char ok = hot.Start(&error) ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ::close(ready[0]);
    ::close(ready[1]);
    ASSERT_EQ(ok, '1');

    QString error;
    {
        TWatchFolder second(Config());
        EXPECT_FALSE(second.Start(&error));
        EXPECT_TRUE(error.contains(S("is running (process ") + QString::number(child) + u')')) << error.toStdString();
        // Another field of the same folder is another watch.
        TWatchConfig other = Config();
        other.Field = S("*.ps");
        TWatchFolder third(other);
        EXPECT_TRUE(third.Start(&error)) << error.toStdString();
    }
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    TWatchFolder next(Config());
    EXPECT_TRUE(next.Start(&error)) << error.toStdString();
}

TEST_F(WatchFolder, NothingIsHandedOverWhileTheStateCannotBeWritten)
{
    QString error;
    {
        TWatchFolder hot(Config());
        ASSERT_TRUE(hot.Start(&error)) << error.toStdString();
        ASSERT_TRUE(WriteFile(inbox + S("a.pdf"), "%PDF-1.4\na\n%%EOF\n"));
        QList<TArrival> got = Take(hot, 5000);
        ASSERT_EQ(Keys(got), QStringList{S("a.pdf")});
        {
            // The state file cannot grow, as on a full disk: the file stays
            // and comes back, again and again, without being handed over.
            ScopedFileSizeLimit full(static_cast<rlim_t>(QFileInfo(hot.StateFileName()).size()));
            EXPECT_FALSE(hot.BeginHandover(got[0], S("Office"), &error));
            EXPECT_FALSE(error.isEmpty());
            for (int round = 0; round < 2; ++round) {
                got = Take(hot, 5000);
                ASSERT_EQ(Keys(got), QStringList{S("a.pdf")}) << round;
                EXPECT_FALSE(hot.BeginHandover(got[0], S("Office"), &error)) << round;
            }
        }
        // Space again: it goes on.
        got = Take(hot, 5000);
        ASSERT_EQ(Keys(got), QStringList{S("a.pdf")});
        Print(hot, got[0]);
    }
    TWatchFolder again(Config());
    ASSERT_TRUE(again.Start(&error)) << error.toStdString();
    EXPECT_EQ(again.DoneBefore(), 1);
    EXPECT_TRUE(Take(again, 1000).isEmpty());
}

TEST_F(WatchFolder, RestartAsksTheSpoolerAboutHandoversCutShort)
{
    QString error;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    {
        TWatchFolder hot(Config());
        ASSERT_TRUE(hot.Start(&error)) << error.toStdString();
        for (const char* name : {"a.pdf", "b.pdf", "c.pdf"})
            ASSERT_TRUE(WriteFile(inbox + S(name), QByteArray("%PDF-1.4\n") + name + "\n%%EOF\n"));
        QList<TArrival> got;
        for (int i = 0; i < 10 && got.size() < 3; ++i)
            got += Take(hot, 2000);
        ASSERT_EQ(Keys(got), (QStringList{S("a.pdf"), S("b.pdf"), S("c.pdf")}));
        // Killed while a, b and a new version of c were handed over: their
        // intents stay without a result.
        ASSERT_TRUE(hot.BeginHandover(got[0], S("Office"), &error));
        ASSERT_TRUE(hot.BeginHandover(got[1], S("Office"), &error));
        Print(hot, got[2], {S("Office-3")});
        ASSERT_TRUE(WriteFile(inbox + S("c.pdf"), "%PDF-1.4\nc, new\n%%EOF\n"));
        // (a and b, whose handovers never ended here, may come along too.)
        QList<TArrival> again;
        for (int i = 0; i < 10 && !Keys(again).contains(S("c.pdf")); ++i)
            again += Take(hot, 2000);
        ASSERT_TRUE(Keys(again).contains(S("c.pdf")));
        ASSERT_TRUE(hot.BeginHandover(again[Keys(again).indexOf(S("c.pdf"))], S("Office"), &error));
    }
    const qint64 after = QDateTime::currentMSecsSinceEpoch();

    // The spooler knows a's job, not b's.
    QStringList asked;
    const auto spooler = [&](const QString& file, const TIntent& intent) {
        asked << QFileInfo(file).fileName();
        EXPECT_EQ(intent.Destination, S("Office"));
        EXPECT_GE(intent.StartedMs, before);
        EXPECT_LE(intent.StartedMs, after);
        EXPECT_EQ(intent.Stamp, StampOf(file));
        // c's job is that of its earlier version (the same title in the same second).
        if (file.endsWith(S("a.pdf")))
            return TJobLookup{true, {S("Office-1")}};
        return file.endsWith(S("c.pdf")) ? TJobLookup{true, {S("Office-3")}} : TJobLookup{true, {}};
    };
    // Killed again before its report records were written: the next start
    // finds the same handovers, since nothing saved them as printed.
    for (const bool recordsWritten : {false, true}) {
        SCOPED_TRACE(recordsWritten ? "records written" : "killed before the records");
        asked.clear();
        TWatchFolder hot(Config(spooler));
        ASSERT_TRUE(hot.Start(&error)) << error.toStdString();
        asked.sort();
        // (Those the spooler does not know are handed over again either way.)
        EXPECT_EQ(asked, (recordsWritten ? QStringList{S("a.pdf")} : QStringList{S("a.pdf"), S("b.pdf"), S("c.pdf")}));
        const QList<TRecovered> recovered = hot.TakeRecovered();
        ASSERT_EQ(recovered.size(), 1);
        EXPECT_EQ(recovered[0].Path, inbox + S("a.pdf"));
        EXPECT_EQ(recovered[0].JobIds, QStringList{S("Office-1")});
        EXPECT_EQ(hot.DoneBefore(), 1);
        EXPECT_EQ(hot.Resumed(), 2);
        if (!recordsWritten)
            continue;
        ASSERT_TRUE(hot.SaveRecovered(&error)) << error.toStdString();
        QList<TArrival> got;
        for (int i = 0; i < 10 && got.size() < 2; ++i)
            got += Take(hot, 2000);
        ASSERT_EQ(Keys(got), (QStringList{S("b.pdf"), S("c.pdf")}));
        // Cut short once more, and now the spooler cannot be asked: handed over again.
        ASSERT_TRUE(hot.BeginHandover(got[0], S("Office"), &error));
    }
    TWatchFolder hot(Config([](const QString&, const TIntent&) { return TJobLookup{}; }));
    ASSERT_TRUE(hot.Start(&error)) << error.toStdString();
    EXPECT_TRUE(hot.TakeRecovered().isEmpty());
    QList<TArrival> got;
    for (int i = 0; i < 10 && got.size() < 2; ++i)
        got += Take(hot, 2000);
    EXPECT_EQ(Keys(got), (QStringList{S("b.pdf"), S("c.pdf")}));
}

} // namespace
