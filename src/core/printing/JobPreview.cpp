#include "printing/JobPreview.h"

#include "printing/PdfPages.h"
#include "printing/PrintSettings.h"
#include "util/SafeFormat.h"
#include "util/Translate.h"

namespace {

// Collects what building the job list meets; nothing is printed.
class TPreviewClient : public TPrintRunClient
{
public:
    explicit TPreviewClient(TJobPreview& preview) : FPreview(preview) {}
    void JobListError(const QString& message) override { FPreview.ListErrors << message; }
    void NameMatchedNothing(const TUnmatchedName& name) override { FPreview.Unmatched << name; }
    void NameDuplicated(const TJobName& name) override { FPreview.Duplicates << name; }
    TRunStep FileFailed(const TInvocation&) override { return TRunStep::Stop; }
    bool StopRequested() override { return false; }

private:
    TJobPreview& FPreview;
};

qint64 Up(qint64 n, qint64 d)
{
    return (n + d - 1) / d;
}

// "1 page", "%u pages": the number first, in each language's own words.
QString Counted(qint64 n, const char* one, const char* many)
{
    return n == 1 ? TrDefault(one) : FillPlaceholders(TrDefault(many), {QString::number(n)});
}

} // namespace

TJobPreview PreviewPrintJob(const TPrintJob& job)
{
    TJobPreview preview;
    PrintSettings::Settings settings;
    if (!job.PrintSettings.isEmpty()) {
        std::string error;
        if (!PrintSettings::Parse(job.PrintSettings.toStdString(), &settings, &error)) {
            preview.SettingsError = QString::fromStdString(error);
            return preview;
        }
    }
    preview.TwoSided = settings.sides.starts_with("two-sided");
    preview.Copies = qMax(job.Copies, 1) * qMax(settings.copies, 1) * qMax(settings.jobCopies, 1);
    const int perSheetSide = qMax(settings.numberUp, 1);

    TPrintJob listed = job;
    listed.ReportUnmatched = true;
    TPreviewClient client(preview);
    for (const QString& file : BuildJobList(listed, client)) {
        TPreviewFile entry;
        entry.File = file;
        const TPdfPages pages = CountDocumentPages(file);
        entry.Pages = pages.Pages;
        entry.Problem = pages.Problem;
        entry.PagesUnknown = pages.Unknown;
        if (entry.PagesUnknown) {
            ++preview.PagesUnknown;
            preview.Files << entry;
            continue;
        }
        if (entry.Problem.isEmpty()) {
            PrintSettings::Options options;
            std::string error;
            entry.PrintedPages = PrintSettings::SelectedPageCount(settings, entry.Pages);
            if (entry.PrintedPages == 0)
                entry.Problem = TrDefault("no page in the page range");
            else if (!PrintSettings::JobOptions(settings, entry.Pages, &options, &error))
                entry.Problem = TrDefault("the pages cannot be printed in this order");
        }
        if (!entry.Problem.isEmpty()) {
            entry.PrintedPages = 0;
            ++preview.Unprintable;
        } else {
            const qint64 sides = Up(entry.PrintedPages, perSheetSide);
            entry.Sheets = (preview.TwoSided ? Up(sides, 2) : sides) * preview.Copies;
        }
        preview.Pages += entry.PrintedPages;
        preview.Sheets += entry.Sheets;
        preview.Files << entry;
    }
    return preview;
}

QString PreviewTotalText(const TJobPreview& preview)
{
    const QString dot = QStringLiteral(" · ");
    QString text = Counted(preview.Files.size(), MarkDefault("1 file"), MarkDefault("%u files")) + dot +
                   Counted(preview.Pages, MarkDefault("1 page"), MarkDefault("%u pages")) + dot +
                   Counted(preview.Sheets, MarkDefault("1 sheet"), MarkDefault("%u sheets")) + dot +
                   Counted(preview.Copies, MarkDefault("1 copy"), MarkDefault("%u copies"));
    if (preview.Unprintable > 0)
        text +=
            dot + Counted(preview.Unprintable, MarkDefault("1 cannot be printed"), MarkDefault("%u cannot be printed"));
    if (preview.PagesUnknown > 0)
        text += dot + Counted(preview.PagesUnknown, MarkDefault("1 office document not counted"),
                              MarkDefault("%u office documents not counted"));
    if (!preview.Duplicates.isEmpty())
        text += dot + Counted(preview.Duplicates.size(), MarkDefault("1 left out as named twice"),
                              MarkDefault("%u left out as named twice"));
    if (const qsizetype notFound = preview.Unmatched.size() + preview.ListErrors.size(); notFound > 0)
        text += dot + FillPlaceholders(TrDefault("%u not found"), {QString::number(notFound)});
    return text;
}

QString PreviewSummaryLine(const TJobPreview& preview)
{
    return QStringLiteral("files=%1 pages=%2 sheets=%3 copies=%4 unprintable=%5 unknown=%6")
        .arg(preview.Files.size())
        .arg(preview.Pages)
        .arg(preview.Sheets)
        .arg(preview.Copies)
        .arg(preview.Unprintable)
        .arg(preview.PagesUnknown);
}
