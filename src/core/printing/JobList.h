#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

// The job list and its texts: which files a run prints, in which order
// (BuildJobList, from the directory and the file names field), the command
// line that hands one file to the print program, and the texts of the status
// line and the summaries. The run itself, copies, pause and stop, is the
// print engine (printing/PrintEngine).

// Receives one error message (already translated, file name filled in) while
// the job list is built; building goes on with the next token afterwards.
using JobListErrorHandler = std::function<void(const QString& message)>;

// A name of the file field as it reached the job list: a token, or a line of
// a print list the field names.
struct TJobName
{
    QString Name;       // the token or the line as written
    QString Path;       // the file that was looked for, a clean absolute path
    QString List;       // the print list's path; empty for a token of the field
    qsizetype Line = 0; // 1-based line in the print list
};
// A name that found nothing: a token of the file field without "*" or "?"
// that matched no file, or a print list line that names no existing file.
using TUnmatchedName = TJobName;
using UnmatchedNameHandler = std::function<void(const TUnmatchedName& name)>;
// A name whose file an earlier name of the field already put in the job list.
using DuplicateNameHandler = std::function<void(const TJobName& name)>;

// Whether a token of the file field names a print list (extension "pbt", any case).
bool IsPrintListName(const QString& token);

struct TJobListOptions
{
    bool IncludeSubDirs = false;
    // A file that more than one name of the field reaches stays at each of its
    // places; by default only its first place keeps it. Repeated lines of one
    // print list stay either way: whoever wrote the list asked twice.
    bool KeepDuplicates = false;
    JobListErrorHandler ReportError;
    // With it, every name that found nothing is reported and left out of the
    // list. Without it a print list line that names no file stays in the list,
    // so that the print program's failure tells it.
    UnmatchedNameHandler ReportUnmatched;
    // Each place a file is left out at, as a duplicate.
    DuplicateNameHandler ReportDuplicate;
};

// What building a job list passed over, counted.
struct TJobListCounts
{
    quint32 ListErrors = 0;
    quint32 Unmatched = 0;      // names that found nothing (with ReportUnmatched)
    quint32 DuplicateFiles = 0; // files that more than one name reached, kept once
    quint32 EmptyLines = 0;     // empty print list lines, which name no file
};

// The job list for the file field: the field is split at ";"; a print list
// (IsPrintListName) contributes BuildFileName(sourceDir, line) for each of its
// lines that is not empty, any other token the files CollectFiles finds for it.
// Every entry is a clean absolute path (a relative sourceDir is taken from the
// current folder; no "." or ".." parts, no doubled "/"), the name's own
// characters unchanged; duplicates are compared by these paths. A print list
// that does not exist, or is a folder, is reported as "Print list: %s not
// found!", one that exists but cannot be read with the file error naming the
// cause. Empty tokens name nothing and are passed over.
QStringList BuildJobList(const QString& sourceDir, const QString& fileField, const TJobListOptions& options,
                         TJobListCounts* counts = nullptr);
// The job list for names given one by one (a file manager's selection): each
// name is taken as it is, never as a mask and never split at ";". A print list
// (IsPrintListName) contributes its lines joined to the list's own folder, any
// other name the file itself; relative names are taken from sourceDir. A name
// that is no regular file counts as one that found nothing. Duplicates,
// counts and reports as above.
QStringList BuildJobListOfFiles(const QString& sourceDir, const QStringList& names, const TJobListOptions& options,
                                TJobListCounts* counts = nullptr);
// The same with default options; with reportUnmatched, names that found nothing
// are reported and left out.
QStringList BuildJobList(const QString& sourceDir, const QString& fileField, bool includeSubDirs,
                         const JobListErrorHandler& reportError, const UnmatchedNameHandler& reportUnmatched = {});

// A path with "." and ".." parts and doubled delimiters taken out, absolute
// from the current folder when relative; the characters of each part stay.
QString CleanJobPath(const QString& path);

// The note about left-out duplicates: "1 file named twice was printed once",
// "%u files named twice were printed once"; empty for 0.
QString DuplicatesText(quint32 files);

// One line naming a name that found nothing, and one naming a place a
// duplicate was left out at, for warnings, summaries and report records.
QString UnmatchedText(const TUnmatchedName& name);
QString DuplicateText(const TJobName& name);

// A value in double quotes, inner double quotes doubled.
QString QuoteArgument(const QString& value);

// The command line for one file: "program" -print-to "printer" "file", with
// -print-settings "settings" and -job-name "title" before the file when given.
QString PrintCommandLine(const QString& program, const QString& printer, const QString& file,
                         const QString& settings = QString(), const QString& title = QString());

// The job title a job name template gives for one file: {file} is the file's
// name, {batch} the name of the run's folder, {copy} the copy number and
// {date} the day as YYYY-MM-DD; other text stays as written.
QString JobTitle(const QString& pattern, const QString& file, const QString& batch, int copy, const QDate& date);

// What is wrong with a job name template in one line (an unknown
// placeholder, nothing left but blanks), or empty.
QString JobTitleProblem(const QString& pattern);

// Status line while a file is printed: "File: %s" with the name shortened to 50 characters.
QString PrintStatusText(const QString& file);

// The failure prompt for a file: "File: %s\r\ncould not be printed!" with the full name.
QString PrintFailedText(const QString& file);

// The result line: " No file printed", " 1 file printed" or " %u files printed".
QString PrintResultText(quint32 printedCount);

// Whether a result of the process runner means the file was printed: only 0 does. Start
// failures and non-zero exit codes of the print program are failures too.
bool PrintSucceeded(int runnerResult);
