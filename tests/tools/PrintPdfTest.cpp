// The print-to program against the real spooler: its jobs come out of the
// cups-pdf queue with every page, and each kind of refusal has its exit code.

#include "printing/ExecProcess.h"
#include "printing/JobList.h"

#include "support/CupsPdf.h"
#include "support/CupsServer.h"
#include "support/PdfWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

const QString PrintProgram = BuiltPrintProgram();

class PrintPdf : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // Under CI these tests must run: a missing spooler is a failure, not a skip.
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        // A folder name with a blank and a quote exercises the command line quoting.
        m_dir = m_tmp.filePath(u"in \"quoted\" dir"_qs);
        ASSERT_TRUE(QDir().mkpath(m_dir));
    }

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir + u'/' + name;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    // Runs the program through the runner as the print run does; stderr lands in *messages.
    int print(const QString& printer, const QString& file, QStringList* messages = nullptr)
    {
        QStringList lines;
        const int result = ExecuteProcess(QString(), PrintCommandLine(PrintProgram, printer, file), m_dir,
                                          poCaptureOutput | poCaptureStdErr, 0, false, &lines, 65001);
        lines.removeIf(
            [](const QString& l) { return l.startsWith(u"request id is"_qs) || l.startsWith(u"document pages: "_qs); });
        if (messages)
            *messages = lines;
        return result;
    }

    struct TRun
    {
        int exitCode = -1;
        QString out, err;
    };

    // Runs the program in language LANGUAGE under a locale of "C" (or none at all, localeC false).
    static TRun runInLanguage(const QString& language, bool localeC, const QStringList& args)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"})
            env.remove(QString::fromLatin1(variable));
        env.insert(u"LANGUAGE"_qs, language);
        if (localeC)
            env.insert(u"LC_ALL"_qs, u"C"_qs);
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(PrintProgram, args);
        TRun run;
        if (!process.waitForFinished(60000))
            return run;
        run.exitCode = process.exitCode();
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }

    QTemporaryDir m_tmp;
    QString m_dir;
};

} // namespace

TEST_F(PrintPdf, JobsComeOutOfTheQueueWithAllPages)
{
    const QString one = UniqueJobStem(u"one"_qs);
    const QString three = UniqueJobStem(u"three"_qs);
    ASSERT_EQ(print(TestPrinterName(), write(one + u".pdf"_qs, MakePdf(1))), 0);
    // In German the lines that the callers read stay as they are.
    const TRun german =
        runInLanguage(u"de"_qs, true, {u"-print-to"_qs, TestPrinterName(), write(three + u".pdf"_qs, MakePdf(3))});
    ASSERT_EQ(german.exitCode, 0) << german.err.toStdString();
    EXPECT_TRUE(QRegularExpression(u"^request id is \\S+-\\d+ \\(1 file\\(s\\)\\)\ndocument pages: 3\n$"_qs)
                    .match(german.out)
                    .hasMatch())
        << german.out.toStdString();

    const QStringList outOne = WaitForCupsPdfOutput(one, 1);
    const QStringList outThree = WaitForCupsPdfOutput(three, 1);
    ASSERT_EQ(outOne.size(), 1) << "no output in " << CupsPdfOutputDir().toStdString();
    ASSERT_EQ(outThree.size(), 1) << "no output in " << CupsPdfOutputDir().toStdString();
    EXPECT_EQ(PdfPageCount(outOne[0]), 1);
    EXPECT_EQ(PdfPageCount(outThree[0]), 3);
    QFile::remove(outOne[0]);
    QFile::remove(outThree[0]);
}

TEST_F(PrintPdf, JobListFilesReachTheQueue)
{
    // What the Print button does, without the window: a mask and a print list in the
    // source folder, every file handed over with the folder as working directory.
    const QString a = UniqueJobStem(u"mask"_qs), b = UniqueJobStem(u"list"_qs);
    write(a + u".pdf"_qs, MakePdf(2));
    write(u"sub/"_qs + b + u".pdf"_qs, MakePdf(1));
    write(u"batch.pbt"_qs, (u"sub/"_qs + b + u".pdf\r\n"_qs).toUtf8());
    QStringList errors;
    const QStringList jobs =
        BuildJobList(m_dir, a + u"*.pdf;batch.pbt"_qs, false, [&errors](const QString& m) { errors << m; });
    EXPECT_TRUE(errors.isEmpty());
    ASSERT_EQ(jobs.size(), 2);
    for (const QString& file : jobs)
        EXPECT_TRUE(PrintSucceeded(print(TestPrinterName(), file))) << file.toStdString();

    const QStringList outA = WaitForCupsPdfOutput(a, 1), outB = WaitForCupsPdfOutput(b, 1);
    ASSERT_EQ(outA.size(), 1);
    ASSERT_EQ(outB.size(), 1);
    EXPECT_EQ(PdfPageCount(outA[0]), 2);
    EXPECT_EQ(PdfPageCount(outB[0]), 1);
    QFile::remove(outA[0]);
    QFile::remove(outB[0]);
}

TEST_F(PrintPdf, DefaultQueue)
{
    const QStringList lines = [] {
        QStringList out;
        ExecuteProcess(QString(), u"lpstat -d"_qs, QString(), poCaptureOutput, 0, false, &out, 65001);
        return out;
    }();
    // Only the test queue may receive this job: on a machine whose default is real paper, fail instead.
    ASSERT_EQ(lines.value(0), u"system default destination: "_qs + TestPrinterName());

    const QString stem = UniqueJobStem(u"default"_qs);
    const QString file = write(stem + u".pdf"_qs, MakePdf(2));
    ASSERT_EQ(ExecuteProcessSimple(QuoteArgument(PrintProgram) + u" -print-to-default "_qs + QuoteArgument(file), m_dir,
                                   nullptr, 850),
              0);
    const QStringList out = WaitForCupsPdfOutput(stem, 1);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(PdfPageCount(out[0]), 2);
    QFile::remove(out[0]);
}

TEST_F(PrintPdf, RefusesFilesThatCannotBePrinted)
{
    const QByteArray pdf = MakePdf(2);
    const QByteArray seven = MakePdf(7);
    const struct
    {
        const char* name;
        QByteArray bytes;
        int exitCode;
        const char* reason;
    } cases[] = {
        {"text.pdf", "just some text\n", 2, "is incomplete: no PDF header"},
        {"head.pdf", pdf.left(pdf.size() / 3), 2, "is incomplete: no end-of-file mark"},
        // What the PDF library would rebuild into seven pages.
        {"cut.pdf", seven.mid(200), 2, "is incomplete: no PDF header"},
        {"empty.pdf", QByteArray(), 2, "is incomplete: no PDF header"},
        {"noprint.pdf", MakePdf(PdfSpec{1, false}), 3, "does not allow printing"},
    };
    for (const auto& c : cases) {
        const QString file = write(QString::fromUtf8(c.name), c.bytes);
        QStringList messages;
        EXPECT_EQ(print(TestPrinterName(), file, &messages), ProcessExitCodeFlag | c.exitCode) << c.name;
        ASSERT_EQ(messages.size(), 1) << c.name;
        EXPECT_TRUE(messages[0].contains(file)) << messages[0].toStdString();
        EXPECT_TRUE(messages[0].contains(QString::fromUtf8(c.reason))) << messages[0].toStdString();
    }
    // A huge file that is no PDF: refused from its first and last kilobyte,
    // not read through (it would take the program a minute).
    const QString huge = write(u"z.pdf"_qs, "%PDF-1.4\n");
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), 2LL << 30), 0);
    QStringList hugeMessages;
    EXPECT_EQ(print(TestPrinterName(), huge, &hugeMessages), ProcessExitCodeFlag | 2);
    EXPECT_TRUE(hugeMessages.join(u' ').contains(u"no end-of-file mark"_qs)) << hugeMessages.join(u' ').toStdString();
    EXPECT_EQ(print(TestPrinterName(), m_dir + u"/missing.pdf"_qs), ProcessExitCodeFlag | 2);
    EXPECT_EQ(print(TestPrinterName(), m_dir), ProcessExitCodeFlag | 2) << "a directory";
    const QString fifo = m_dir + u"/fifo.pdf"_qs;
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(print(TestPrinterName(), fifo), ProcessExitCodeFlag | 2) << "a pipe must not block";
}

TEST_F(PrintPdf, SpeaksTheLanguageOfLanguageAlsoUnderTheCLocale)
{
    const QString missing = m_dir + u"/missing.pdf"_qs;
    const QString three = write(u"three.pdf"_qs, MakePdf(3));
    // A JPEG whose quantization table segment is cut off.
    const QString cutJpeg = write(u"cut.jpg"_qs, QByteArray("\xFF\xD8\xFF\xDB\x00\x43\x00", 7));
    const struct
    {
        const char* language;
        QStringList args;
        int exitCode;
        const char* out;
        const char* err;
    } cases[] = {
        {"de", {missing}, 1, "", "Aufruf: morvane-printpdf -print-to PRINTER"},
        {"de", {u"--help"_qs}, 0, "Exit-Codes:\n  0  der Auftrag wurde angenommen\n", ""},
        {"de", {u"-check"_qs, missing}, 2, "", "/missing.pdf\" kann nicht geöffnet werden: "},
        {"de", {u"-check"_qs, three}, 0, "three.pdf\": application/pdf, 3 Seiten\n", ""},
        {"de",
         {u"-check"_qs, cutJpeg},
         2,
         "",
         "cut.jpg\" ist unvollständig: ein JPEG-Segment reicht über das Ende der Datei hinaus"},
        {"fr", {u"-check"_qs, three, u"-x"_qs}, 1, "", "argument inattendu \"-x\""},
        {"it",
         {u"-print-to"_qs, TestPrinterName(), u"-print-settings"_qs, u"separator=blank"_qs, three},
         1,
         "",
         "separator=blank richiede -one-job"},
        // A language without catalogs of its own is English.
        {"nl", {u"-check"_qs, missing}, 2, "", "cannot open \""},
    };
    for (const bool localeC : {true, false}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(c.language) + ' ' + c.args.join(u' ').toStdString() + (localeC ? " C" : " unset"));
            const TRun run = runInLanguage(QString::fromLatin1(c.language), localeC, c.args);
            EXPECT_EQ(run.exitCode, c.exitCode);
            EXPECT_TRUE(run.out.contains(QString::fromUtf8(c.out))) << run.out.toStdString();
            EXPECT_TRUE(run.err.contains(QString::fromUtf8(c.err))) << run.err.toStdString();
        }
    }
}

TEST_F(PrintPdf, RefusesUnknownPrintersAndAnUnreachableSpooler)
{
    const QString file = write(UniqueJobStem(u"refused"_qs) + u".pdf"_qs, MakePdf(1));
    QStringList messages;
    EXPECT_EQ(print(u"NoSuchQueue-morvane"_qs, file, &messages), ProcessExitCodeFlag | 4);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(u"NoSuchQueue-morvane"_qs));
    {
        ScopedEnv noSpooler("CUPS_SERVER", "/nonexistent.sock");
        EXPECT_EQ(print(TestPrinterName(), file, &messages), ProcessExitCodeFlag | 5);
        EXPECT_EQ(messages.size(), 1);
    }
    EXPECT_EQ(ExecuteProcessSimple(QuoteArgument(PrintProgram) + u" -print-to"_qs, m_dir, nullptr, 850),
              ProcessExitCodeFlag | 1);
    QStringList help;
    EXPECT_EQ(ExecuteProcess(QString(), QuoteArgument(PrintProgram) + u" --help"_qs, m_dir, poCaptureOutput, 0, false,
                             &help, 65001),
              0);
    EXPECT_TRUE(help.join(u'\n').contains(u"4  the printer does not exist"_qs));
    EXPECT_TRUE(help.join(u'\n').contains(u"paper=SIZE"_qs));
}

TEST_F(PrintPdf, PrintSettingsShapeTheJobs)
{
    const QString printer = TestPrinterName();
    const struct
    {
        QString list;
        int outputs;
        int pages;
    } rows[] = {{u"2-3"_qs, 1, 2}, {u" ODD "_qs, 1, 3}, {u"2x"_qs, 2, 5}, {u"4-99"_qs, 1, 2}};
    QStringList stems;
    for (const auto& row : rows) {
        stems << UniqueJobStem(u"settings"_qs);
        const PrintResult r = RunPrintProgram(
            {u"-print-to"_qs, printer, u"-print-settings"_qs, row.list, write(stems.last() + u".pdf"_qs, MakePdf(5))});
        ASSERT_EQ(r.exitCode, 0) << row.list.toStdString() << ": " << r.errors.toStdString();
        EXPECT_EQ(r.jobIds.size(), row.outputs) << row.list.toStdString();
    }
    // Settings whose effect cups-pdf does not show, as the spooler recorded them on the job.
    const QString hidden = UniqueJobStem(u"hidden"_qs);
    const PrintResult r = RunPrintProgram({u"-print-to"_qs, printer, u"-print-settings"_qs,
                                           u"duplexshort,paper=A5,monochrome,bin=Tray-2,fit,landscape"_qs,
                                           write(hidden + u".pdf"_qs, MakePdf(1))});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
    ASSERT_EQ(r.jobIds.size(), 1);
    const QMap<QString, QString> job = JobAttributes(QString(), r.jobIds[0]);
    EXPECT_EQ(job.value(u"sides"_qs), u"two-sided-short-edge"_qs);
    EXPECT_EQ(job.value(u"media"_qs), u"iso_a5_148x210mm"_qs);
    EXPECT_EQ(job.value(u"print-color-mode"_qs), u"monochrome"_qs);
    EXPECT_EQ(job.value(u"media-source"_qs), u"Tray-2"_qs);
    EXPECT_EQ(job.value(u"print-scaling"_qs), u"fit"_qs);
    EXPECT_EQ(job.value(u"orientation-requested"_qs), u"landscape"_qs);

    for (int i = 0; i < 4; ++i) {
        const QStringList out = WaitForCupsPdfOutput(stems[i], rows[i].outputs);
        EXPECT_EQ(out.size(), rows[i].outputs) << rows[i].list.toStdString();
        for (const QString& f : out) {
            EXPECT_EQ(PdfPageCount(f), rows[i].pages) << rows[i].list.toStdString();
            QFile::remove(f);
        }
    }
    for (const QString& f : WaitForCupsPdfOutput(hidden, 1))
        QFile::remove(f);
}

TEST_F(PrintPdf, RefusedSettingsSpoolNothing)
{
    // With no spooler to reach, any attempt to spool would end in exit code 5:
    // code 1 (a bad list) or 6 (no page of this file left) proves the refusal came first.
    const QString file = write(u"five.pdf"_qs, MakePdf(5));
    const struct
    {
        QString list;
        QString message;
        int exitCode = 1;
    } rows[] = {
        {u"paper=B9"_qs, u"\"paper=B9\""_qs},
        {u"odd,even"_qs, u"\"even\" contradicts \"odd\""_qs},
        {u""_qs, u"empty"_qs},
        {u"7-9"_qs, u"no page is left"_qs, 6},
        {u"3,5,even"_qs, u"no page is left"_qs, 6},
        {u"3,1,2"_qs, u"ascending or in descending order"_qs},
    };
    for (const auto& row : rows) {
        const PrintResult r =
            RunPrintProgram({u"-print-to"_qs, TestPrinterName(), u"-print-settings"_qs, row.list, file},
                            {{u"CUPS_SERVER"_qs, u"/nonexistent.sock"_qs}});
        EXPECT_EQ(r.exitCode, row.exitCode) << row.list.toStdString();
        EXPECT_TRUE(r.errors.contains(row.message)) << r.errors.toStdString();
        EXPECT_EQ(r.errors.count(u'\n'), 1) << r.errors.toStdString();
        EXPECT_TRUE(r.jobIds.isEmpty());
    }
}

namespace {

// A PDF of the given objects (numbered from 1, the first the catalog) with a correct cross-reference table.
QByteArray PdfOfObjects(const QList<QByteArray>& objects)
{
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

} // namespace

TEST_F(PrintPdf, PageTreesMustLeadToThePagesTheyCount)
{
    const QByteArray catalog = "<< /Type /Catalog /Pages 2 0 R >>";
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>";
    const QByteArray good = PdfOfObjects({catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page});
    // Cut inside the cross-reference table: the reader rebuilds it, the pages are all there.
    const qsizetype xref = good.indexOf("xref\n");
    const QByteArray truncatedXref = good.left(xref + 40) + '\n' + good.mid(good.indexOf("trailer"));
    const struct
    {
        const char* name;
        QByteArray bytes;
        int exitCode;
        const char* message;
    } cases[] = {
        {"loop", PdfOfObjects({catalog, "<< /Type /Pages /Kids [2 0 R] /Count 1 >>"}), 2,
         "is damaged: its page tree does not lead to page 1 of 1"},
        {"overcounted", PdfOfObjects({catalog, "<< /Type /Pages /Kids [3 0 R] /Count 3 >>", page}), 2,
         "is damaged: its page tree does not lead to page 2 of 3"},
        {"good", good, 0, ""},
        {"xref", truncatedXref, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString stem = UniqueJobStem(QString::fromUtf8(c.name));
        const QString file = write(stem + u".pdf"_qs, c.bytes);
        QStringList messages;
        const int result = print(TestPrinterName(), file, &messages);
        if (c.exitCode != 0) {
            EXPECT_EQ(result, ProcessExitCodeFlag | c.exitCode);
            ASSERT_EQ(messages.size(), 1);
            EXPECT_TRUE(messages[0].contains(file + u"\" "_qs + QString::fromUtf8(c.message)))
                << messages[0].toStdString();
            continue;
        }
        ASSERT_EQ(result, 0) << messages.join(u'\n').toStdString();
        const QStringList out = WaitForCupsPdfOutput(stem, 1);
        ASSERT_EQ(out.size(), 1) << "no output in " << CupsPdfOutputDir().toStdString();
        EXPECT_EQ(PdfPageCount(out[0]), 1);
        QFile::remove(out[0]);
    }
}

TEST_F(PrintPdf, ServersThatCannotTakeTheJobAreNamedForWhatTheyDo)
{
    const QString file = write(UniqueJobStem(u"silent"_qs) + u".pdf"_qs, MakePdf(1));
    // Takes connections (the kernel completes them) and never answers.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(listener, 4), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const QString silent = u"ipp://127.0.0.1:%1/printers/Silent"_qs.arg(ntohs(address.sin_port));
    const struct
    {
        const char* server;
        QString printer;
        QString message;
    } cases[] = {
        {"/nonexistent.sock", TestPrinterName(), u"the print spooler is not running at /nonexistent.sock"_qs},
        {nullptr, silent, u'"' + silent + u"\" did not answer within 1 s"_qs},
    };
    ScopedEnv answerTime("MORVANE_ANSWER_TIMEOUT", "1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message.toStdString());
        std::optional<ScopedEnv> server;
        if (c.server)
            server.emplace("CUPS_SERVER", c.server);
        QStringList messages;
        EXPECT_EQ(print(c.printer, file, &messages), ProcessExitCodeFlag | 5);
        ASSERT_EQ(messages.size(), 1);
        EXPECT_EQ(messages[0], u"morvane-printpdf: "_qs + c.message);
    }
    ::close(listener);
}

namespace {

// A queue of the test's own that takes jobs and prints none of them: they stay
// in the spooler with their attributes until the queue is deleted.
class StoppedQueue
{
public:
    StoppedQueue() : m_name(u"MorvaneStopped-"_qs + UniqueJobStem(u"q"_qs).right(12))
    {
        QString out;
        m_made = RunTool(u"lpadmin"_qs, {u"-p"_qs, m_name, u"-E"_qs, u"-v"_qs, u"cups-pdf:/"_qs, u"-m"_qs, u"raw"_qs},
                         &out) &&
                 RunTool(u"cupsdisable"_qs, {m_name}, &out);
        m_problem = out;
    }
    ~StoppedQueue()
    {
        if (m_made)
            RunTool(u"lpadmin"_qs, {u"-x"_qs, m_name});
    }
    const QString& name() const { return m_name; }
    QString problem() const { return m_made ? QString() : m_problem; }

private:
    QString m_name, m_problem;
    bool m_made = false;
};

} // namespace

TEST_F(PrintPdf, JobAttributesReachTheSpoolerOrAreRefusedFirst)
{
    StoppedQueue queue;
    ASSERT_TRUE(queue.problem().isEmpty()) << queue.problem().toStdString();
    const QString file = write(UniqueJobStem(u"attributes"_qs) + u".pdf"_qs, MakePdf(3));
    const PrintResult r =
        RunPrintProgram({u"-print-to"_qs, queue.name(), u"-print-settings"_qs,
                         u"copies=3,4up,layout=tblr,border=single,banner=standard,hold=night,priority=80"_qs, file});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
    ASSERT_EQ(r.jobIds.size(), 1) << "copies made by the printer are one job";
    const QMap<QString, QString> job = JobAttributes(QString(), r.jobIds[0]);
    EXPECT_EQ(job.value(u"copies"_qs), u"3"_qs);
    EXPECT_EQ(job.value(u"multiple-document-handling"_qs), u"separate-documents-collated-copies"_qs);
    EXPECT_EQ(job.value(u"number-up"_qs), u"4"_qs);
    EXPECT_EQ(job.value(u"number-up-layout"_qs), u"tblr"_qs);
    EXPECT_EQ(job.value(u"page-border"_qs), u"single"_qs);
    EXPECT_TRUE(job.value(u"job-sheets"_qs).startsWith(u"standard"_qs)) << job.value(u"job-sheets"_qs).toStdString();
    EXPECT_EQ(job.value(u"job-hold-until"_qs), u"night"_qs);
    EXPECT_EQ(job.value(u"job-priority"_qs), u"80"_qs);
    EXPECT_EQ(job.value(u"job-state"_qs), u"pending-held"_qs);

    // What the printer says it cannot do is refused before a job exists.
    const PrintResult refused =
        RunPrintProgram({u"-print-to"_qs, queue.name(), u"-print-settings"_qs, u"2up,banner=nosuchbanner"_qs, file});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_TRUE(refused.jobIds.isEmpty());
    EXPECT_EQ(refused.errors.count(u'\n'), 1) << refused.errors.toStdString();
    EXPECT_TRUE(refused.errors.contains(
        u'"' + queue.name() + u"\" cannot print with job-sheets=nosuchbanner (it does not support that value)"_qs))
        << refused.errors.toStdString();
}

TEST_F(PrintPdf, PagesPerSheetAndHeldJobsShowInTheOutput)
{
    const QString twoUp = UniqueJobStem(u"twoup"_qs), held = UniqueJobStem(u"held"_qs);
    const PrintResult a = RunPrintProgram(
        {u"-print-to"_qs, TestPrinterName(), u"-print-settings"_qs, u"2up"_qs, write(twoUp + u".pdf"_qs, MakePdf(6))});
    ASSERT_EQ(a.exitCode, 0) << a.errors.toStdString();
    const PrintResult h = RunPrintProgram({u"-print-to"_qs, TestPrinterName(), u"-print-settings"_qs,
                                           u"hold=indefinite"_qs, write(held + u".pdf"_qs, MakePdf(1))});
    ASSERT_EQ(h.exitCode, 0) << h.errors.toStdString();
    ASSERT_EQ(h.jobIds.size(), 1);

    const QStringList out = WaitForCupsPdfOutput(twoUp, 1);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(PdfPageCount(out[0]), 3) << "six pages two to a sheet";
    QFile::remove(out[0]);

    // The held job waits in the spooler, with no output, until it is released.
    EXPECT_EQ(JobAttributes(QString(), h.jobIds[0]).value(u"job-state"_qs), u"pending-held"_qs);
    EXPECT_TRUE(QDir(CupsPdfOutputDir()).entryList({held + u"*"_qs}, QDir::Files).isEmpty());
    ASSERT_TRUE(RunTool(u"lp"_qs, {u"-i"_qs, QString::number(h.jobIds[0]), u"-H"_qs, u"resume"_qs}));
    const QStringList released = WaitForCupsPdfOutput(held, 1);
    ASSERT_EQ(released.size(), 1);
    QFile::remove(released[0]);
}

// The program copied alone, without its modules: a plain PDF is still checked
// and printed with its pages; every file that needs the PDF library or
// libmagic is refused with the missing module named, never printed unchecked.
TEST_F(PrintPdf, WithoutItsModulesOnlyWhatItCanCheckItselfIsPrinted)
{
    QTemporaryDir bare;
    const QString program = bare.filePath(u"morvane-printpdf"_qs);
    ASSERT_TRUE(QFile::copy(PrintProgram, program));
    const QByteArray catalog = "<< /Type /Catalog /Pages 2 0 R >>";
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>";
    const QByteArray good = PdfOfObjects({catalog, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", page});
    const QByteArray noXref = good.left(good.indexOf("xref\n")) + "trailer\n<< /Root 1 0 R /Size 4 >>\n%%EOF\n";
    const QString plainStem = UniqueJobStem(u"bare"_qs);
    const struct
    {
        QString name;
        QByteArray bytes;
        const char* missing; // nullptr: printed
    } cases[] = {
        {plainStem + u".pdf"_qs, MakePdf(3), nullptr},
        {u"noxref.pdf"_qs, noXref, "morvane-pdfcheck.so is missing"},
        {u"noprint.pdf"_qs, MakePdf(PdfSpec{1, false}), "morvane-pdfcheck.so is missing"},
        {u"overcounted.pdf"_qs, PdfOfObjects({catalog, "<< /Type /Pages /Kids [3 0 R] /Count 3 >>", page}),
         "morvane-pdfcheck.so is missing"},
        {u"note.txt"_qs, "a line of text\n", "morvane-filetypes.so is missing"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString file = write(c.name, c.bytes);
        QStringList lines;
        const int result = ExecuteProcess(QString(), PrintCommandLine(program, TestPrinterName(), file), m_dir,
                                          poCaptureOutput | poCaptureStdErr, 0, false, &lines, 65001);
        const QString output = lines.join(u'\n');
        if (!c.missing) {
            ASSERT_EQ(result, 0) << output.toStdString();
            EXPECT_TRUE(output.contains(u"document pages: 3"_qs)) << output.toStdString();
            continue;
        }
        EXPECT_EQ(result, ProcessExitCodeFlag | 2) << output.toStdString();
        EXPECT_TRUE(output.contains(QString::fromUtf8(c.missing))) << output.toStdString();
        EXPECT_FALSE(output.contains(u"request id is"_qs)) << output.toStdString();
    }
    const QStringList out = WaitForCupsPdfOutput(plainStem, 1);
    ASSERT_EQ(out.size(), 1);
    EXPECT_EQ(PdfPageCount(out[0]), 3);
    QFile::remove(out[0]);
}
