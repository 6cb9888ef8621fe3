// morvane-printpdf kept running for a whole batch, through morvane-batch and
// the real spooler into a held queue of the test's own: every rule of the
// single call per file, results in order, the same records and jobs as one
// start per file, and a print program killed in the middle of a file.

#include "support/BatchProcess.h"

#include "support/CupsPdf.h"
#include "support/TestSupport.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QThread>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <csignal>
#include <memory>

#include <unistd.h>

using namespace batch_test;
using namespace testing_support;

namespace {

// What the spooler keeps of a job that tells one handover from another.
QString JobSummary(const QString& jobId)
{
    const QByteArray uri = "ipp://localhost/jobs/" + jobId.section(u'-', -1).toUtf8();
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"), ippDelete);
    if (!response)
        return S("no job ") + jobId;
    QString summary;
    for (const char* name : {"job-name", "page-ranges", "orientation-requested", "job-k-octets"}) {
        ipp_attribute_t* a = ippFindAttribute(response.get(), name, IPP_TAG_ZERO);
        char value[1024] = "";
        if (a)
            ippAttributeString(a, value, sizeof value);
        summary += QString::fromLatin1(name) + u'=' + QString::fromUtf8(value) + u';';
    }
    return summary;
}

// The process whose parent is `parent`, and its state letter; 0 when there is none.
pid_t ChildOf(qint64 parent, char* state)
{
    for (const QString& entry : QDir(S("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        const pid_t pid = entry.toInt(&number);
        if (!number)
            continue;
        // "pid (comm) S ppid ...": the name may hold blanks, so read after its last ')'.
        const QByteArray stat = ReadFile(S("/proc/") + entry + S("/stat"));
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields[1].toLongLong() == parent) {
            *state = fields[0].isEmpty() ? '?' : fields[0][0];
            return pid;
        }
    }
    return 0;
}

class BatchProgram : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        // Disabled: every job is accepted and held, nothing is printed.
        QString out;
        ASSERT_TRUE(RunTool(
            S("lpadmin"),
            {S("-p"), queue, S("-E"), S("-v"), S("cups-pdf:/"), S("-P"), S("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")},
            &out))
            << out.toStdString();
        ASSERT_TRUE(RunTool(S("cupsdisable"), {queue}));
        ASSERT_TRUE(QDir().mkpath(docs));
    }
    void TearDown() override { RunTool(S("lpadmin"), {S("-x"), queue}); }

    QList<QJsonObject> Report() const
    {
        QList<QJsonObject> records;
        for (const QByteArray& line : ReadFile(root.filePath(S("run.jsonl"))).split('\n'))
            if (!line.isEmpty())
                records << QJsonDocument::fromJson(line).object();
        return records;
    }
    TBatchResult Batch(const QStringList& args, const QStringList& env = {},
                       const std::function<void(QProcess&, QString&)>& whileRunning = nullptr)
    {
        return RunBatch(QStringList{S("--program"), BuiltPrintProgram(), S("--pause"), S("0"), S("--report"),
                                    S("run.jsonl"), S("-p"), queue} +
                            args,
                        root.path(), root.filePath(S("home")), env, whileRunning);
    }
    QStringList Write(int count)
    {
        QStringList files;
        for (int i = 1; i <= count; ++i) {
            files << docs + QStringLiteral("f%1.pdf").arg(i, 2, 10, QLatin1Char('0'));
            EXPECT_TRUE(WriteFile(files.last(), MakePdf(1 + i % 3)));
        }
        return files;
    }

    QTemporaryDir root;
    QString docs = root.filePath(S("Docs/"));
    QString queue = QStringLiteral("m33b-held-%1").arg(::getpid());
};

TEST_F(BatchProgram, OneProgramForTheBatchKeepsEveryRuleOfTheSingleCallAndItsOutputs)
{
    QStringList files = Write(50);
    // Names that a line-based protocol would cut or a quoting would break.
    for (const auto& [index, name] : {std::pair{6, "with \"quote\" and 'apostrophe'.pdf"},
                                      std::pair{12, "two\nlines.pdf"}, std::pair{20, "  blanks  .pdf"}}) {
        const QString renamed = docs + S(name);
        ASSERT_TRUE(QFile::rename(files[index], renamed));
        files[index] = renamed;
    }
    // A damaged file and one protected by a password among them.
    const QByteArray whole = ReadFile(files[16]);
    ASSERT_TRUE(WriteFile(files[16], whole.left(whole.size() / 2)));
    const QString plain = root.filePath(S("plain.pdf"));
    ASSERT_TRUE(QFile::rename(files[32], plain));
    ASSERT_TRUE(RunTool(S("qpdf"), {S("--encrypt"), S("user"), S("owner"), S("256"), S("--"), plain, files[32]}));

    // Pages 2-3: the one-page files are passed over by the program's own rule.
    const QStringList args = QStringList{S("--print-settings"), S("2-3,landscape"), S("--files")} + files;
    const TBatchResult r = Batch(args);
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();

    const QList<QJsonObject> records = Report();
    ASSERT_EQ(records.size(), files.size()) << r.Err.toStdString();
    QStringList jobs;
    int printed = 0, skipped = 0;
    for (qsizetype i = 0; i < files.size(); ++i) {
        const QJsonObject& o = records[i];
        SCOPED_TRACE(files[i].toStdString());
        EXPECT_EQ(o.value(S("file")).toString(), files[i]);
        const QString result = o.value(S("result")).toString();
        const QString reason = o.value(S("reason")).toString();
        if (i == 16 || i == 32) {
            EXPECT_EQ(result, S("failed"));
            EXPECT_EQ(o.value(S("exit_code")).toInt(), 2);
            EXPECT_TRUE(reason.contains(i == 16 ? S("incomplete") : S("protected by a password")))
                << reason.toStdString();
        } else if ((i + 1) % 3 == 0) {
            ++skipped;
            EXPECT_EQ(result, S("skipped"));
            EXPECT_EQ(o.value(S("exit_code")).toInt(), 6);
        } else {
            ++printed;
            EXPECT_EQ(result, S("printed")) << reason.toStdString();
            EXPECT_EQ(o.value(S("document_pages")).toInt(), 1 + (i + 1) % 3);
            const QJsonArray ids = o.value(S("job_ids")).toArray();
            ASSERT_EQ(ids.size(), 1);
            jobs << ids[0].toString();
            // The range clipped to the document, as a single call clips it.
            const QString ranges = (i + 1) % 3 == 1 ? S("2-2") : S("2-3");
            EXPECT_TRUE(
                JobSummary(jobs.last()).contains(S("page-ranges=") + ranges + S(";orientation-requested=landscape;")))
                << JobSummary(jobs.last()).toStdString();
        }
    }
    EXPECT_TRUE(r.Err.contains(QStringLiteral("Printed: %1, failed: 2").arg(printed))) << r.Err.toStdString();
    EXPECT_EQ(skipped, 15);
    // Handed over in the order of the list.
    for (qsizetype i = 1; i < jobs.size(); ++i)
        EXPECT_LT(jobs[i - 1].section(u'-', -1).toInt(), jobs[i].section(u'-', -1).toInt());

    // The same job with one start per file: the same records, messages and jobs.
    const QString batchReport = QString::fromUtf8(ReadFile(root.filePath(S("run.jsonl"))));
    const TBatchResult single = Batch(QStringList{S("--start-per-file")} + args);
    EXPECT_EQ(single.Exit, r.Exit);
    EXPECT_EQ(single.Err, r.Err);
    const QList<QJsonObject> again = Report();
    ASSERT_EQ(again.size(), records.size());
    for (qsizetype i = 0; i < records.size(); ++i) {
        QJsonObject a = records[i], b = again[i];
        const QJsonArray idsA = a.take(S("job_ids")).toArray(), idsB = b.take(S("job_ids")).toArray();
        a.remove(S("handed_over"));
        b.remove(S("handed_over"));
        EXPECT_EQ(a, b) << files[i].toStdString();
        ASSERT_EQ(idsA.size(), idsB.size());
        if (!idsA.isEmpty()) {
            EXPECT_EQ(JobSummary(idsA[0].toString()), JobSummary(idsB[0].toString()));
        }
    }
}

TEST_F(BatchProgram, AProgramKilledInAFileFailsThatFileAndIsStartedAfresh)
{
    const QStringList files = Write(30);
    pid_t killed = 0, first = 0;
    // The program stops itself when it takes f15.pdf; the test kills it there.
    const TBatchResult r = Batch(QStringList{S("--files")} + files, {S("MORVANE_PRINTPDF_STOP_BEFORE=f15.pdf")},
                                 [&](QProcess& p, QString& err) {
                                     for (int i = 0; i < 1200 && killed == 0; ++i) {
                                         char state = 0;
                                         const pid_t child = ChildOf(p.processId(), &state);
                                         if (first == 0)
                                             first = child;
                                         if (child != 0 && state == 'T' && ::kill(child, SIGKILL) == 0)
                                             killed = child;
                                         else
                                             p.waitForReadyRead(50);
                                         err += QString::fromUtf8(p.readAllStandardError());
                                     }
                                 });
    ASSERT_NE(killed, 0) << r.Err.toStdString();
    // One process took the files up to the one it was killed in.
    EXPECT_EQ(first, killed);
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    const QList<QJsonObject> records = Report();
    ASSERT_EQ(records.size(), files.size()) << r.Err.toStdString();
    for (qsizetype i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].toStdString());
        EXPECT_EQ(records[i].value(S("file")).toString(), files[i]);
        if (i == 14) {
            EXPECT_EQ(records[i].value(S("result")).toString(), S("failed"));
            EXPECT_EQ(records[i].value(S("reason")).toString(), S("The print program was killed by signal 9"));
        } else {
            EXPECT_EQ(records[i].value(S("result")).toString(), S("printed"))
                << records[i].value(S("reason")).toString().toStdString();
        }
    }
    EXPECT_TRUE(r.Err.contains(S("Printed: 29, failed: 1"))) << r.Err.toStdString();
}

TEST_F(BatchProgram, AProgramOfThatNameWithoutTheBatchModeIsStartedPerFile)
{
    // An older morvane-printpdf, say, that the window's settings still name.
    const QString dir = root.filePath(S("old"));
    ASSERT_TRUE(QDir().mkpath(dir));
    const QString calls = root.filePath(S("calls"));
    ASSERT_TRUE(WriteScript(dir + S("/morvane-printpdf"),
                            "#!/bin/sh\necho \"$*\" >> '" + calls.toUtf8() +
                                "'\n[ \"$1\" = -batch ] && { echo 'unexpected argument' >&2; exit 1; }\n"
                                "echo 'request id is Q-1 (1 file(s))'\n"));
    const QStringList files = Write(3);
    const TBatchResult r = RunBatch(
        QStringList{S("--program"), dir + S("/morvane-printpdf"), S("--pause"), S("0"), S("-p"), queue, S("--files")} +
            files,
        root.path(), root.filePath(S("home")));
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    // Asked once for its batch mode, then started for each file.
    const QList<QByteArray> lines = ReadFile(calls).trimmed().split('\n');
    ASSERT_EQ(lines.size(), 4) << ReadFile(calls).toStdString();
    EXPECT_EQ(lines[0], "-batch");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(lines[i + 1], "-print-to " + queue.toUtf8() + ' ' + files[i].toUtf8());
}

} // namespace
