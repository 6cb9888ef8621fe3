// A report read back gives the records it was written from, in both formats,
// and a file that is no report is refused with its line.

#include "printing/RunReport.h"

#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

QString Fields(const TReportRecord& r)
{
    return QStringList{QString::number(r.Copy),
                       r.File,
                       RecordResultName(r.Result),
                       QString::number(r.ExitCode),
                       r.Reason,
                       r.HandedOver,
                       r.JobIds.join(u'+'),
                       r.Recovered ? S("yes") : S("no"),
                       r.Destination,
                       r.JobState,
                       r.JobStateReasons.join(u'+'),
                       QString::number(r.Pages),
                       QString::number(r.Sheets),
                       QString::number(r.DocumentPages)}
        .join(u'|');
}

} // namespace

TEST(RunReport, RecordsReadBackAsWrittenInBothFormats)
{
    TReportRecord printed{2,         S("/srv/a, \"b\".pdf"),        TRecordResult::Printed,   0,
                          QString(), S("2026-12-09T12:00:00.000Z"), {S("PDF-7"), S("PDF-8")}, true,
                          S("PDF")};
    printed.JobState = S("completed");
    printed.JobStateReasons = {S("job-completed-successfully"), S("other")};
    printed.Pages = 3;
    printed.Sheets = 2;
    printed.DocumentPages = 4;
    const QList<TReportRecord> records = {
        printed,
        {1, S("/srv/bad.pdf"), TRecordResult::Failed, 2, S("line one\r\nline, two \"quoted\"")},
        {0, S("/srv/gone*.pdf"), TRecordResult::Missing, -1, S("\"gone*.pdf\" matched no file")},
        {0, QString(), TRecordResult::Failed, -1, S("the list x.pbt cannot be read")},
        {1, S("/srv/ä ö.pdf"), TRecordResult::NotTried, -1, QString()},
    };
    QTemporaryDir dir;
    for (const QString& name : {S("run.csv"), S("run.jsonl")}) {
        const QString file = dir.filePath(name);
        TRunReport report;
        QString error;
        ASSERT_TRUE(report.Open(file, TRunReport::TMode::Replace, &error)) << error.toStdString();
        for (const TReportRecord& record : records)
            ASSERT_TRUE(report.Add(record, &error));
        ASSERT_TRUE(report.Finish(&error)) << error.toStdString();
        QList<TReportRecord> read;
        ASSERT_TRUE(ReadRunReport(file, &read, &error)) << name.toStdString() << ": " << error.toStdString();
        ASSERT_EQ(read.size(), records.size()) << name.toStdString();
        for (qsizetype i = 0; i < records.size(); ++i)
            EXPECT_EQ(Fields(read[i]), Fields(records[i])) << name.toStdString();
    }

    // A CSV row cut short, a JSON line that is no record, a file that is not there.
    const struct
    {
        const char* name;
        QByteArray bytes;
        QString error;
    } refused[] = {
        {"cut.csv",
         "copy,file,result,exit_code,reason,handed_over,job_ids,recovered,destination,job_state,job_state_reasons,"
         "pages,sheets,document_pages\r\n1,a.pdf,failed\r\n",
         S(" is no report of a run (line 2)")},
        {"other.jsonl", "{\"copy\":1,\"file\":\"a.pdf\",\"result\":\"failed\"}\n\n{\"result\":\"lost\"}\n",
         S(" is no report of a run (line 3)")},
    };
    for (const auto& c : refused) {
        const QString file = dir.filePath(S(c.name));
        ASSERT_TRUE(WriteFile(file, c.bytes));
        QList<TReportRecord> read;
        QString error;
        EXPECT_FALSE(ReadRunReport(file, &read, &error)) << c.name;
        EXPECT_EQ(error, file + c.error);
    }
    QList<TReportRecord> read;
    QString error;
    EXPECT_FALSE(ReadRunReport(dir.filePath(S("none.csv")), &read, &error));
    EXPECT_FALSE(error.isEmpty());
}
