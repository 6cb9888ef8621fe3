#include "printing/HotFolder.h"

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

// What a crash or a stranger can leave behind.
TEST(WatchState, TornTailIsDroppedAndDamageIsRefused)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("w.state"));
    QString error;
    const auto fresh = [&] {
        QFile::remove(file);
        TWatchState state;
        ASSERT_TRUE(state.Load(file, kFolder, kField, &error));
        state.Record(QStringLiteral("a.pdf"), {1, 2});
        ASSERT_TRUE(state.Save(&error));
        state.Record(QStringLiteral("b.pdf"), {3, 4});
        ASSERT_TRUE(state.Commit(QStringLiteral("b.pdf"), &error));
    };
    struct Case
    {
        const char* name;
        QByteArray tail;
        bool loads;
        std::set<QString> keys;
    };
    const Case cases[] = {
        {"clean", "", true, {QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}},
        {"append cut short", "5\t6\tc.p", true, {QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}},
        {"removal cut short", "-\t-", true, {QStringLiteral("a.pdf"), QStringLiteral("b.pdf")}},
        {"removal", "-\t-\ta.pdf\n", true, {QStringLiteral("b.pdf")}},
        {"garbage line", "x\ty\tc.pdf\n", false, {}},
        {"line without a name", "5\t6\n", false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        Append(file, c.tail);
        TWatchState state;
        error.clear();
        EXPECT_EQ(state.Load(file, kFolder, kField, &error), c.loads);
        if (c.loads)
            EXPECT_EQ(Keys(state), c.keys);
        else
            EXPECT_TRUE(error.contains(QStringLiteral("damaged"))) << error.toStdString();
    }
    // A state of another folder is not taken over.
    TWatchState other;
    EXPECT_FALSE(other.Load(file, QStringLiteral("/elsewhere/"), kField, &error));
}
