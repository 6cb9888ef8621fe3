#include "watch/WatchFolder.h"

#include "support/QStringPrinter.h"
#include "util/FileNameBytes.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <set>

namespace {

const QString kFolder = QStringLiteral("/in/");
const QString kField = QStringLiteral("*.pdf");

QByteArray Read(const QString& file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void Append(const QString& file, const QByteArray& bytes)
{
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
    f.write(bytes);
}

// Odd names too: line ends, tabs, a backslash, a byte that is not UTF-8.
QString Name(int i)
{
    const QByteArray odd = i % 7 == 0 ? QByteArray("\n\t\\x") : i % 7 == 1 ? QByteArray("caf\xE9") : QByteArray();
    return FileNameFromBytes(QByteArray("f" + QByteArray::number(i) + odd + ".pdf"));
}

std::set<QString> Keys(const TWatchState& state)
{
    const QStringList keys = state.Keys();
    return {keys.cbegin(), keys.cend()};
}

} // namespace

// The state grows by one line per file and is written whole only now and
// then; whatever the mix of records and removals, a reload sees what the
// watch knew, and the file stays bounded by the files it names.
TEST(WatchState, LinesAppendedPerFileReloadToTheSameState)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("w.state"));
    TWatchState state;
    QString error;
    ASSERT_TRUE(state.Load(file, kFolder, kField, &error)) << error.toStdString();
    std::set<QString> expected;
    for (int i = 0; i < 600; ++i) {
        const QString key = Name(i);
        state.Record(key, {i, 1000LL * i});
        ASSERT_TRUE(state.Commit(key, &error)) << error.toStdString();
        expected.insert(key);
        // Files moved away after printing are no longer done.
        if (i % 2 == 1 && i < 550) {
            const QString gone = Name(i / 2 + (i / 2) % 2);
            if (state.Remove(gone)) {
                ASSERT_TRUE(state.Commit(gone, &error)) << error.toStdString();
            }
            expected.erase(gone);
        }
    }
    for (int i = 0; i < 400; ++i) {
        if (state.Remove(Name(i))) {
            ASSERT_TRUE(state.Commit(Name(i), &error)) << error.toStdString();
        }
        expected.erase(Name(i));
    }
    TWatchState reloaded;
    ASSERT_TRUE(reloaded.Load(file, kFolder, kField, &error)) << error.toStdString();
    EXPECT_EQ(Keys(reloaded), expected);
    EXPECT_TRUE(reloaded.IsDone(QStringLiteral("f599.pdf"), {599, 599000}));
    EXPECT_FALSE(reloaded.IsDone(QStringLiteral("f599.pdf"), {599, 1}));
    // Hundreds of lines more than files were committed; rewrites keep about two lines per file at most.
    ASSERT_EQ(expected.size(), 200u);
    EXPECT_LE(Read(file).count('\n') - 3, 2 * 200 + 64 + 1);
}

// What a crash or a stranger can leave behind, and the intents of handovers
// that a kill cut short.
TEST(WatchState, TornTailIsDroppedAndDamageIsRefused)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("w.state"));
    QString error;
    const auto fresh = [&] {
        QFile::remove(file);
        TWatchState state;
        ASSERT_TRUE(state.Load(file, kFolder, kField, &error));
        state.Record(QStringLiteral("a.pdf"), {1, 2}, "d1", {QStringLiteral("PDF-7")});
        ASSERT_TRUE(state.Save(&error));
        state.Record(QStringLiteral("b.pdf"), {3, 4});
        ASSERT_TRUE(state.Commit(QStringLiteral("b.pdf"), &error));
    };
    const QByteArray intent = "I\t5\t6\td3\t1700000000000\tOffice/duplex\tc.pdf\n";
    struct Case
    {
        const char* name;
        QByteArray tail;
        bool loads;
        std::set<QString> keys;
        std::set<QString> intents;
    };
    const std::set<QString> ab{QStringLiteral("a.pdf"), QStringLiteral("b.pdf")};
    const Case cases[] = {
        {"clean", "", true, ab, {}},
        {"append cut short", "D\t5\t6\t-\t-\tc.p", true, ab, {}},
        {"removal cut short", "-\t", true, ab, {}},
        {"removal", "-\ta.pdf\n", true, {QStringLiteral("b.pdf")}, {}},
        {"intent without a result", intent, true, ab, {QStringLiteral("c.pdf")}},
        {"intent with its result",
         intent + "D\t5\t6\td3\tOffice-9\tc.pdf\n",
         true,
         {QStringLiteral("a.pdf"), QStringLiteral("b.pdf"), QStringLiteral("c.pdf")},
         {}},
        {"intent dropped", intent + "X\tc.pdf\n", true, ab, {}},
        {"garbage line", "x\ty\tc.pdf\n", false, {}, {}},
        {"line without a name", "D\t5\t6\n", false, {}, {}},
        {"intent with a bad time", "I\t5\t6\td3\tsoon\tOffice\tc.pdf\n", false, {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        Append(file, c.tail);
        TWatchState state;
        error.clear();
        EXPECT_EQ(state.Load(file, kFolder, kField, &error), c.loads);
        if (!c.loads) {
            EXPECT_TRUE(error.contains(QStringLiteral("damaged"))) << error.toStdString();
            continue;
        }
        EXPECT_EQ(Keys(state), c.keys);
        const QStringList intents = state.Intents().keys();
        EXPECT_EQ(std::set<QString>(intents.cbegin(), intents.cend()), c.intents);
        // What a record holds survives the whole save and the reload.
        ASSERT_TRUE(state.Save(&error));
        TWatchState again;
        ASSERT_TRUE(again.Load(file, kFolder, kField, &error));
        if (c.keys.count(QStringLiteral("a.pdf"))) {
            ASSERT_NE(again.Done(QStringLiteral("a.pdf")), nullptr);
            EXPECT_EQ(again.Done(QStringLiteral("a.pdf"))->Digest, "d1");
            EXPECT_EQ(again.Done(QStringLiteral("a.pdf"))->JobIds, QStringList{QStringLiteral("PDF-7")});
        }
        if (!c.intents.empty()) {
            const TIntent i = again.Intents().value(QStringLiteral("c.pdf"));
            EXPECT_EQ(i.Stamp, (TFileStamp{5, 6}));
            EXPECT_EQ(i.Digest, "d3");
            EXPECT_EQ(i.StartedMs, 1700000000000);
            EXPECT_EQ(i.Destination, QStringLiteral("Office/duplex"));
        }
    }
    // A state of another folder is not taken over.
    TWatchState other;
    EXPECT_FALSE(other.Load(file, QStringLiteral("/elsewhere/"), kField, &error));

    // A state of the earlier format knows its files by size and time.
    ASSERT_TRUE(QFile::remove(file));
    Append(file, "morvane-watch-state 1\nfolder\t/in/\nfield\t*.pdf\n1\t2\ta.pdf\n3\t4\tb\tc.pdf\n-\t-\ta.pdf\n");
    TWatchState old;
    ASSERT_TRUE(old.Load(file, kFolder, kField, &error)) << error.toStdString();
    EXPECT_EQ(Keys(old), std::set<QString>{QStringLiteral("b\tc.pdf")});
    EXPECT_TRUE(old.IsDone(QStringLiteral("b\tc.pdf"), {3, 4}));
}
