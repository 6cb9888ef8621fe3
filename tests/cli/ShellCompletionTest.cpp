// The bash completion script, loaded by bash as bash-completion would load it,
// asked for the candidates of a command line.

#include "platform/Printers.h"
#include "support/BatchProcess.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QProcess>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

const QString Script = S(MORVANE_SOURCE_DIR "/data/completion/morvane.bash");

// Runs bash in `dir` with the built programs first on PATH; `commands` run after the
// script is loaded.
QString Bash(const QString& dir, const QString& commands)
{
    QProcess bash;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(S("PATH"), S(MORVANE_BINARY_DIR "/src:") + env.value(S("PATH")));
    bash.setProcessEnvironment(env);
    bash.setWorkingDirectory(dir);
    bash.start(S("bash"), {S("--norc"), S("--noprofile"), S("-c"), S("source \"$0\" && ") + commands, Script});
    if (!bash.waitForFinished(60000))
        return S("bash did not finish");
    EXPECT_EQ(bash.exitCode(), 0) << bash.readAllStandardError().toStdString();
    return QString::fromUtf8(bash.readAllStandardOutput());
}

// The candidates for the command line `words`, the last word being completed.
QStringList Complete(const QString& dir, const QStringList& words)
{
    QString line = S("COMP_WORDS=(");
    for (const QString& w : words)
        line += u'\'' + w + S("' ");
    line += S("); COMP_CWORD=") + QString::number(words.size() - 1) + u';';
    line += words.first() == S("morvane-printpdf") ? S("_morvane_printpdf;") : S("_morvane_batch;");
    line += S("printf '%s\\n' \"${COMPREPLY[@]}\"");
    QStringList result = Bash(dir, line).split(u'\n', Qt::SkipEmptyParts);
    result.sort();
    return result;
}

} // namespace

TEST(ShellCompletion, BashOffersOptionsValueSetsPrintersAndFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteFile(dir.filePath(S("a b.pdf")), "%PDF-1.4\n"));
    ASSERT_TRUE(QDir(dir.path()).mkpath(S("Docs")));

    EXPECT_EQ(Bash(dir.path(), S("complete -p morvane-batch morvane-printpdf")),
              S("complete -F _morvane_batch morvane-batch\ncomplete -F _morvane_printpdf morvane-printpdf\n"));

    QString defaultQueue;
    QStringList printers = QueueNames(&defaultQueue);
    ASSERT_FALSE(printers.isEmpty()) << "the tests need the spooler's queues";
    printers.sort();
    struct Case
    {
        QStringList words;
        QStringList expected;
    };
    const Case cases[] = {
        // The options come from the program's own --help.
        {{S("morvane-batch"), S("--pr")}, {S("--print-settings"), S("--printer"), S("--program")}},
        {{S("morvane-batch"), S("--move-")}, {S("--move-failed"), S("--move-printed")}},
        {{S("morvane-batch"), S("-p"), S("")}, printers},
        {{S("morvane-batch"), S("-s"), S("--printer"), S("="), S("")}, printers},
        {{S("morvane-printpdf"), S("-print-to"), S("")}, printers},
        {{S("morvane-batch"), S("--print-settings"), S("1-3,dup")},
         {S("1-3,duplex"), S("1-3,duplexlong"), S("1-3,duplexshort")}},
        // bash splits at "=": only the part after it is replaced.
        {{S("morvane-batch"), S("--print-settings"), S("duplex,border"), S("="), S("d")},
         {S("double"), S("double-thick")}},
        {{S("morvane-printpdf"), S("-print-settings"), S("paper"), S("="), S("A")},
         {S("A2"), S("A3"), S("A4"), S("A5"), S("A6")}},
        // The directory first, then FILES; a value of an option is no operand.
        {{S("morvane-batch"), S("-n"), S("2"), S("")}, {S("Docs")}},
        {{S("morvane-batch"), S("Docs"), S("a")}, {S("a b.pdf")}},
        {{S("morvane-batch"), S("--files"), S("")}, {S("Docs"), S("a b.pdf")}},
        {{S("morvane-batch"), S("--move-printed"), S("")}, {S("Docs")}},
        {{S("morvane-printpdf"), S("-print-to"), printers.first(), S("")}, {S("Docs"), S("a b.pdf")}},
    };
    const auto queuesNow = [] {
        QStringList names = QueueNames(nullptr);
        names.sort();
        return names;
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.words.join(u' ').toStdString());
        if (c.expected != printers) {
            EXPECT_EQ(Complete(dir.path(), c.words), c.expected);
            continue;
        }
        // Tests beside this one add and remove queues of their own: the
        // candidates must be the spooler's queues of just before or just after.
        QStringList got, before, after;
        for (int attempt = 0; attempt < 5; ++attempt) {
            before = queuesNow();
            got = Complete(dir.path(), c.words);
            after = queuesNow();
            if (got == before || got == after)
                break;
        }
        EXPECT_TRUE(got == before || got == after)
            << got.join(u' ').toStdString() << " / " << after.join(u' ').toStdString();
    }
}
