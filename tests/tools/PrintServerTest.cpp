// The print-to program against a print server of the test's own: a second
// cupsd on a loopback port, reached by IPP URI, by CUPS_SERVER and by the
// user's client.conf; its printer class spreads jobs over both members.

#include "support/CupsPdf.h"
#include "support/CupsServer.h"
#include "support/PdfWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

class PrintServer : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = m_server.start();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    QString write(const QString& stem, int pages)
    {
        const QString path = m_tmp.filePath(stem + u".pdf"_qs);
        EXPECT_TRUE(WriteFile(path, MakePdf(pages)));
        return path;
    }

    QString printerUri(const QString& kind, const QString& name) const
    {
        return u"ipp://"_qs + m_server.address() + u'/' + kind + u'/' + name;
    }

    CupsServer m_server;
    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(PrintServer, ReachedByUriCupsServerAndClientConfUntilItStops)
{
    ASSERT_EQ(m_server.addPdfQueue(u"Remote"_qs), QString());
    const QString byUri = UniqueJobStem(u"uri"_qs), byTls = UniqueJobStem(u"tls"_qs), byEnv = UniqueJobStem(u"env"_qs),
                  byConf = UniqueJobStem(u"conf"_qs);
    // A client.conf in a home of its own names the server; CUPS_SERVER is cleared so that it counts.
    QTemporaryDir home;
    ASSERT_TRUE(WriteFile(home.filePath(u".cups/client.conf"_qs), "ServerName " + m_server.address().toUtf8() + '\n'));

    const PrintResult uri = RunPrintProgram(
        {u"-print-to"_qs, printerUri(u"printers"_qs, u"Remote"_qs), u"-print-settings"_qs, u"2-3"_qs, write(byUri, 5)});
    // ipps with the server's self-signed certificate; a reversed range prints backwards.
    QString tlsUri = printerUri(u"printers"_qs, u"Remote"_qs);
    tlsUri.replace(u"ipp://"_qs, u"ipps://"_qs);
    const PrintResult tls =
        RunPrintProgram({u"-print-to"_qs, tlsUri, u"-print-settings"_qs, u"4-2"_qs, write(byTls, 5)});
    const PrintResult env =
        RunPrintProgram({u"-print-to"_qs, u"Remote"_qs, write(byEnv, 1)}, {{u"CUPS_SERVER"_qs, m_server.address()}});
    const PrintResult conf = RunPrintProgram({u"-print-to"_qs, u"Remote"_qs, write(byConf, 2)},
                                             {{u"CUPS_SERVER"_qs, QString()}, {u"HOME"_qs, home.path()}});
    for (const PrintResult* r : {&uri, &tls, &env, &conf}) {
        ASSERT_EQ(r->exitCode, 0) << r->errors.toStdString();
        ASSERT_EQ(r->jobIds.size(), 1);
        // The job is this server's, not the machine spooler's.
        EXPECT_EQ(WaitForJobEnd(m_server.address(), r->jobIds[0]), u"completed"_qs);
    }
    const struct
    {
        QString stem;
        int pages;
        QString text;
    } outputs[] = {{byUri, 2, u"Page 2 Page 3"_qs},
                   {byTls, 3, u"Page 4 Page 3 Page 2"_qs},
                   {byEnv, 1, QString()},
                   {byConf, 2, QString()}};
    for (const auto& o : outputs) {
        const QStringList out = WaitForCupsPdfOutput(o.stem, 1);
        ASSERT_EQ(out.size(), 1) << o.stem.toStdString() << " not in " << CupsPdfOutputDir().toStdString();
        EXPECT_EQ(PdfPageCount(out[0]), o.pages) << o.stem.toStdString();
        if (!o.text.isEmpty()) {
            QProcess text;
            text.start(u"pdftotext"_qs, {out[0], u"-"_qs});
            ASSERT_TRUE(text.waitForFinished(30000));
            EXPECT_EQ(QString::fromUtf8(text.readAllStandardOutput()).simplified().remove(QChar(u'\f')), o.text);
        }
        QFile::remove(out[0]);
    }

    const QString file = write(UniqueJobStem(u"refused"_qs), 1);
    EXPECT_EQ(RunPrintProgram({u"-print-to"_qs, printerUri(u"printers"_qs, u"Nowhere"_qs), file}).exitCode, 4);
    EXPECT_EQ(
        RunPrintProgram({u"-print-to"_qs, u"Nowhere"_qs, file}, {{u"CUPS_SERVER"_qs, m_server.address()}}).exitCode, 4);
    m_server.stop();
    const PrintResult gone = RunPrintProgram({u"-print-to"_qs, printerUri(u"printers"_qs, u"Remote"_qs), file});
    EXPECT_EQ(gone.exitCode, 5);
    EXPECT_TRUE(gone.errors.contains(m_server.address())) << gone.errors.toStdString();
    EXPECT_EQ(
        RunPrintProgram({u"-print-to"_qs, u"Remote"_qs, file}, {{u"CUPS_SERVER"_qs, m_server.address()}}).exitCode, 5);
}

TEST_F(PrintServer, ClassSpreadsJobsOverItsMembers)
{
    for (const QString& queue : {u"MemberA"_qs, u"MemberB"_qs}) {
        ASSERT_EQ(m_server.addPdfQueue(queue), QString());
        ASSERT_EQ(m_server.addToClass(queue, u"Pool"_qs), QString());
    }
    const QString stem = UniqueJobStem(u"class"_qs);
    QList<int> jobs;
    for (int i = 0; i < 10; ++i) {
        const PrintResult r = RunPrintProgram(
            {u"-print-to"_qs, printerUri(u"classes"_qs, u"Pool"_qs), write(stem + u'-' + QString::number(i), 1)});
        ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
        jobs << r.jobIds;
    }
    ASSERT_EQ(jobs.size(), 10);
    QSet<QString> members;
    for (int job : jobs) {
        EXPECT_EQ(WaitForJobEnd(m_server.address(), job), u"completed"_qs) << job;
        // The member that printed the job; the class is only the job's address.
        const QString actual = JobAttributes(m_server.address(), job).value(u"job-printer-uri-actual"_qs);
        members << actual.section(u'/', -1);
    }
    EXPECT_EQ(members, (QSet<QString>{u"MemberA"_qs, u"MemberB"_qs}));
    for (int i = 0; i < 10; ++i) {
        const QStringList out = WaitForCupsPdfOutput(stem + u'-' + QString::number(i), 1);
        EXPECT_EQ(out.size(), 1) << i;
        for (const QString& f : out)
            QFile::remove(f);
    }
}
