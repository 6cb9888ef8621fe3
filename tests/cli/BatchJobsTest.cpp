// Batches as offices want them, through the built print-to program and the
// real spooler, into queues of the test's own whose backend keeps each job's
// stream: the whole batch as one job of several documents while another
// client prints too, separator pages between its files, and a batch shared
// among three printers one of which is stopped half way.

#include "support/BatchProcess.h"

#include "support/CupsPdf.h"
#include "support/TestSupport.h"
#include "support/CupsServer.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QThread>

#include <cups/cups.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace batch_test;
using namespace testing_support;

namespace {

// Keeps each job's whole stream, all its documents in order, as JOBID.data in
// the folder its device URI names; run as root (mode 0700).
constexpr char kSinkBackend[] =
    "#!/bin/sh\n"
    "[ $# -eq 0 ] && { echo 'direct m30-sink \"Unknown\" \"Morvane test sink\"'; exit 0; }\n"
    "dir=\"${DEVICE_URI#m30-sink:}\"\n"
    "if [ -n \"$6\" ]; then cat \"$6\"; else cat; fi > \"$dir/$1.data\"\n";
constexpr char kSinkPath[] = "/usr/lib/cups/backend/m30-sink";

bool WaitFor(const std::function<bool()>& done, int seconds = 90)
{
    for (int i = 0; i < seconds * 20 && !done(); ++i)
        QThread::msleep(50);
    return done();
}

struct Job
{
    int id = 0;
    QString queue, title;
    ipp_jstate_t state = IPP_JSTATE_PENDING;
};

class BatchJobs : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_TRUE(QDir().mkpath(sink));
        ASSERT_EQ(::chmod(QFile::encodeName(sink).constData(), 0777), 0);
        if (ReadFile(S(kSinkPath)) != kSinkBackend) {
            ASSERT_TRUE(WriteFile(S(kSinkPath), kSinkBackend)) << "the backend folder needs root";
            ASSERT_EQ(::chmod(kSinkPath, 0700), 0);
        }
    }
    void TearDown() override
    {
        // Deleting a queue cancels what is left in it.
        for (const QString& q : queues)
            RunTool(S("lpadmin"), {S("-x"), q});
    }

    QString AddQueue(const QString& tag)
    {
        const QString name = QStringLiteral("m30-%1-%2").arg(tag).arg(::getpid());
        QString out;
        EXPECT_TRUE(
            RunTool(S("lpadmin"), {S("-p"), name, S("-E"), S("-v"), S("m30-sink:") + sink, S("-m"), S("raw")}, &out))
            << out.toStdString();
        queues << name;
        return name;
    }

    // Every job of the test's queues, oldest first.
    QList<Job> Jobs() const
    {
        QList<Job> jobs;
        for (const QString& q : queues) {
            cups_job_t* list = nullptr;
            const int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, q.toUtf8().constData(), 0, CUPS_WHICHJOBS_ALL);
            for (int i = 0; i < n; ++i)
                jobs << Job{list[i].id, q, QString::fromUtf8(list[i].title), list[i].state};
            cupsFreeJobs(n, list);
        }
        std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
        return jobs;
    }
    bool AllDone() const
    {
        const QList<Job> jobs = Jobs();
        return std::all_of(jobs.begin(), jobs.end(), [](const Job& j) { return j.state >= IPP_JSTATE_CANCELED; });
    }

    QString Write(const QString& name, const QByteArray& bytes)
    {
        EXPECT_TRUE(WriteFile(docs + name, bytes));
        return docs + name;
    }
    QList<QJsonObject> Report() const
    {
        QList<QJsonObject> records;
        for (const QByteArray& line : ReadFile(root.filePath(S("run.jsonl"))).split('\n'))
            if (!line.isEmpty())
                records << QJsonDocument::fromJson(line).object();
        return records;
    }
    TBatchResult Batch(const QStringList& args, const std::function<void(QProcess&, QString&)>& whileRunning = nullptr)
    {
        return RunBatch(
            QStringList{S("--program"), BuiltPrintProgram(), S("--pause"), S("0"), S("--report"), S("run.jsonl")} +
                args + QStringList{S("Docs")},
            root.path(), root.filePath(S("home")), {}, whileRunning);
    }

    QTemporaryDir root;
    QString docs = root.filePath(S("Docs/"));
    QString sink = root.filePath(S("sink"));
    QStringList queues;
};

// The names of a job's documents in the order the spooler keeps them.
QStringList DocumentNames(int jobId)
{
    QStringList names;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/"), ippDelete);
    for (ipp_attribute_t* a = response ? ippFindAttribute(response.get(), "document-name-supplied", IPP_TAG_ZERO)
                                       : nullptr;
         a; a = ippFindNextAttribute(response.get(), "document-name-supplied", IPP_TAG_ZERO))
        names << QString::fromUtf8(ippGetString(a, 0, nullptr));
    return names;
}

TEST_F(BatchJobs, OneJobKeepsTheBatchTogetherWhileAnotherClientPrints)
{
    const QString queue = AddQueue(S("one"));
    QByteArray together;
    QStringList names;
    for (int i = 1; i <= 5; ++i) {
        names << QStringLiteral("doc-%1.pdf").arg(i);
        const QByteArray pdf = MakePdf(i);
        Write(names.last(), pdf);
        together += pdf;
        // A damaged file among them is left out, and the job goes without it.
        if (i == 3)
            Write(S("doc-3b.pdf"), pdf.left(pdf.size() / 2));
    }
    // Another client printing into the same queue meanwhile, spread over the batch's run.
    QProcess other;
    other.start(S("sh"),
                {S("-c"),
                 S("for i in $(seq 10); do lp -d '%1' -t other-$i '%2'; sleep 0.1; done").arg(queue, docs + names[0])});
    const TBatchResult r = Batch({S("--one-job"), S("-p"), queue});
    ASSERT_TRUE(other.waitForFinished(60000));
    EXPECT_EQ(r.Exit, 2) << r.Err.toStdString();
    EXPECT_TRUE(r.Err.contains(S("Printed: 5, failed: 1"))) << r.Err.toStdString();

    // One record per file, all of them with the one job.
    const QList<QJsonObject> records = Report();
    ASSERT_EQ(records.size(), 6);
    QStringList jobIds;
    for (const QJsonObject& o : records) {
        if (o.value(S("file")).toString().endsWith(S("doc-3b.pdf"))) {
            EXPECT_EQ(o.value(S("result")).toString(), S("failed"));
            EXPECT_TRUE(o.value(S("reason")).toString().contains(S("is incomplete: no end-of-file mark")))
                << o.value(S("reason")).toString().toStdString();
            continue;
        }
        EXPECT_EQ(o.value(S("result")).toString(), S("printed"));
        EXPECT_EQ(o.value(S("destination")).toString(), queue);
        ASSERT_EQ(o.value(S("job_ids")).toArray().size(), 1);
        jobIds << o.value(S("job_ids")).toArray().at(0).toString();
    }
    jobIds.removeDuplicates();
    ASSERT_EQ(jobIds.size(), 1) << jobIds.join(u' ').toStdString();
    const int id = jobIds[0].section(u'-', -1).toInt();

    ASSERT_TRUE(WaitFor([&] { return AllDone(); }));
    EXPECT_EQ(JobAttributes(QString(), id).value(S("number-of-documents")), S("5"));
    EXPECT_EQ(DocumentNames(id), names);
    // The printer got the five files in their order and nothing between them;
    // the other client's jobs are jobs of their own.
    EXPECT_TRUE(ReadFile(sink + QStringLiteral("/%1.data").arg(id)) == together);
    int others = 0;
    for (const Job& j : Jobs()) {
        EXPECT_EQ(j.state, IPP_JSTATE_COMPLETED) << j.id;
        if (j.id != id) {
            ++others;
            EXPECT_TRUE(j.title.startsWith(S("other-"))) << j.title.toStdString();
            EXPECT_EQ(JobAttributes(QString(), j.id).value(S("number-of-documents")), S("1"));
        }
    }
    EXPECT_EQ(others, 10);
}

TEST_F(BatchJobs, SeparatorPagesBetweenTheFilesAndQueuesThatCannotTakeSeveralDocuments)
{
    const QString queue = AddQueue(S("sep"));
    Write(S("a.pdf"), MakePdf(2));
    Write(S("b.pdf"), MakePdf(1));
    Write(S("c.pdf"), MakePdf(3));
    const TBatchResult r = Batch({S("--one-job"), S("--print-settings"), S("separator=title"), S("-p"), queue});
    ASSERT_EQ(r.Exit, 0) << r.Err.toStdString();
    ASSERT_TRUE(WaitFor([&] { return AllDone(); }));
    const QList<Job> jobs = Jobs();
    ASSERT_EQ(jobs.size(), 1);

    // The job's documents as the printer received them, one PDF after the other.
    const QByteArray stream = ReadFile(sink + QStringLiteral("/%1.data").arg(jobs[0].id));
    QList<int> pages;
    QStringList titles;
    for (qsizetype at = stream.indexOf("%PDF-"); at >= 0;) {
        const qsizetype next = stream.indexOf("%PDF-", at + 1);
        const QString part = root.filePath(QStringLiteral("part%1.pdf").arg(pages.size()));
        ASSERT_TRUE(WriteFile(part, stream.mid(at, next < 0 ? -1 : next - at)));
        pages << PdfPageCount(part);
        QProcess text;
        text.start(S("pdftotext"), {part, S("-")});
        ASSERT_TRUE(text.waitForFinished(30000));
        titles << QString::fromUtf8(text.readAllStandardOutput()).trimmed();
        at = next;
    }
    EXPECT_EQ(pages, (QList<int>{2, 1, 1, 1, 3})) << "a, the page titled b, b, the page titled c, c";
    EXPECT_EQ(titles.value(1), S("b.pdf"));
    EXPECT_EQ(titles.value(3), S("c.pdf"));
    EXPECT_EQ(DocumentNames(jobs[0].id),
              (QStringList{S("a.pdf"), S("separator"), S("b.pdf"), S("separator"), S("c.pdf")}));

    // The cups-pdf queue writes only the first document of a job and then
    // blocks: refused in one line before anything is spooled or reported.
    const TBatchResult pdf = Batch({S("--one-job"), S("-p"), TestPrinterName()});
    EXPECT_EQ(pdf.Exit, 1);
    EXPECT_EQ(pdf.Err, S("morvane-batch: ") + TestPrinterName() +
                           S(" cannot print a job of several documents: its cups-pdf backend writes only the first; "
                             "print without --one-job\n"));
    const PrintResult direct =
        RunPrintProgram({S("-print-to"), TestPrinterName(), S("-one-job"), docs + S("a.pdf"), docs + S("b.pdf")});
    EXPECT_EQ(direct.exitCode, 1);
    EXPECT_TRUE(direct.jobIds.isEmpty());
    EXPECT_TRUE(direct.errors.contains(S("cannot print a job of several documents"))) << direct.errors.toStdString();
}

TEST_F(BatchJobs, SharedPrintersPassOverTheOneStoppedHalfWay)
{
    const QStringList printers = {AddQueue(S("a")), AddQueue(S("b")), AddQueue(S("c"))};
    for (int i = 0; i < 30; ++i)
        Write(QStringLiteral("f%1.pdf").arg(i, 2, 10, QLatin1Char('0')), MakePdf(1));
    int stoppedAt = 0; // the newest job id when the third printer was stopped
    // Stopped during the pause after a handover, so that no file is on its way meanwhile.
    const TBatchResult r =
        Batch({S("-q"), S("--pause"), S("500"), S("-p"), printers[0], S("-p"), printers[1], S("-p"), printers[2]},
              [&](QProcess&, QString&) {
                  ASSERT_TRUE(WaitFor([&] { return Jobs().size() >= 15; }));
                  ASSERT_TRUE(RunTool(S("cupsdisable"), {printers[2]}));
                  stoppedAt = Jobs().last().id;
              });
    EXPECT_EQ(r.Exit, 0) << r.Err.toStdString();
    ASSERT_GT(stoppedAt, 0);

    // Jobs left waiting in the stopped printer print once it is started again.
    ASSERT_TRUE(RunTool(S("cupsenable"), {printers[2]}));
    ASSERT_TRUE(WaitFor([&] { return AllDone(); }));
    QMap<QString, Job> byFile;
    QMap<QString, int> perPrinter;
    int stoppedGotLater = 0;
    for (const Job& j : Jobs()) {
        EXPECT_EQ(j.state, IPP_JSTATE_COMPLETED) << j.id;
        EXPECT_FALSE(byFile.contains(j.title)) << j.title.toStdString() << " printed twice";
        byFile[j.title] = j;
        ++perPrinter[j.queue];
        if (j.queue == printers[2] && j.id > stoppedAt)
            ++stoppedGotLater;
    }
    EXPECT_EQ(byFile.size(), 30);
    EXPECT_EQ(stoppedGotLater, 0);
    for (const QString& p : printers)
        EXPECT_GE(perPrinter.value(p), 3) << p.toStdString() << " got too few: the printers take turns";
    // The report names the printer each file went to.
    const QList<QJsonObject> records = Report();
    ASSERT_EQ(records.size(), 30);
    for (const QJsonObject& o : records) {
        const QString file = QFileInfo(o.value(S("file")).toString()).fileName();
        EXPECT_EQ(o.value(S("result")).toString(), S("printed"));
        EXPECT_EQ(o.value(S("destination")).toString(), byFile.value(file).queue) << file.toStdString();
        EXPECT_EQ(o.value(S("job_ids")).toArray().at(0).toString(),
                  byFile.value(file).queue + u'-' + QString::number(byFile.value(file).id));
    }
}

} // namespace
