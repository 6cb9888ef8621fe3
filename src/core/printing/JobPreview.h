#pragma once

#include "printing/PrintEngine.h"

#include <QList>
#include <QString>
#include <QStringList>

// What a job would print, without printing: the job list as the run builds
// it, each file's pages and the paper it takes, and what the list leaves out.

struct TPreviewFile
{
    QString File;
    int Pages = 0;             // pages of the document; 0 when it cannot be read
    int PrintedPages = 0;      // pages the print settings leave, for one copy
    qint64 Sheets = 0;         // sheets of paper for all copies
    QString Problem;           // why it cannot be printed, translated; empty when it can
    bool PagesUnknown = false; // an office document, counted only when converted
};

struct TJobPreview
{
    QList<TPreviewFile> Files; // the job list, in its order
    QList<TJobName> Duplicates;
    QList<TUnmatchedName> Unmatched;
    QStringList ListErrors;
    // Copies of each file: the run's copies times those of the print
    // settings (Nx or copies=N).
    int Copies = 1;
    bool TwoSided = false;
    qint64 Pages = 0;  // printed pages of one copy
    qint64 Sheets = 0; // sheets of all copies
    qsizetype Unprintable = 0;
    qsizetype PagesUnknown = 0; // files whose pages are not in Pages and Sheets
    QString SettingsError;      // the print settings list was refused: nothing is counted
};

// Builds the job's list and counts its pages; the job's print settings
// decide the pages, the sides and the pages per sheet. Names that found
// nothing are listed (as with TPrintJob::ReportUnmatched).
TJobPreview PreviewPrintJob(const TPrintJob& job);

// "52 files · 310 pages · 160 sheets · 2 copies", with the files that cannot
// be printed, the places left out and the names that found nothing after
// it; translated.
QString PreviewTotalText(const TJobPreview& preview);

// The same figures for scripts, never translated:
// "files=52 pages=310 sheets=160 copies=2 unprintable=0 unknown=0" (unknown:
// the office documents, whose pages are not counted before their conversion).
QString PreviewSummaryLine(const TJobPreview& preview);
