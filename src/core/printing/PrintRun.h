#pragma once

#include <QString>
#include <QStringList>

#include <functional>

// The pieces of a print run that need no window: the job list from the input
// fields, the command line for one file and the texts of the status line.
// The click handler strings them together:
//   jobs = BuildJobList(dir, field, subDirs, [&](auto& m) { ErrorDialog(caption, m, dmActiveForm); });
//   for each copy and file, until stopped:
//       status := PrintStatusText(file)
//       r = ExecuteProcessSimple(PrintCommandLine(program, printer, file), dir, nullptr, 850)
//       PrintSucceeded(r) ? count and pause : ask with PrintFailedText(file)
//   status := PrintResultText(count)

// Receives one error message (already translated, file name filled in) while
// the job list is built; building goes on with the next token afterwards.
using JobListErrorHandler = std::function<void(const QString& message)>;

// A name that found nothing: a token of the file field without "*" or "?"
// that matched no file, or a print list line that names no existing file.
struct TUnmatchedName
{
    QString Name;       // the token or the line as written
    QString Path;       // the file that was looked for
    QString List;       // the print list's path; empty for a token of the field
    qsizetype Line = 0; // 1-based line in the print list
};
using UnmatchedNameHandler = std::function<void(const TUnmatchedName& name)>;

// Whether a token of the file field names a print list (extension "pbt", any case).
bool IsPrintListName(const QString& token);

// The job list for the file field: the field is split at ";"; a print list
// (IsPrintListName) contributes BuildFileName(sourceDir, line) for each of its
// lines, any other token the files CollectFiles finds for it. A print list
// that does not exist, or is a folder, is reported as "Print list: %s not
// found!", one that exists but cannot be read with the file error naming the
// cause. With reportUnmatched, every name that found nothing is reported too
// (empty tokens name nothing and are passed over); the list stays the same.
QStringList BuildJobList(const QString& sourceDir, const QString& fileField, bool includeSubDirs,
                         const JobListErrorHandler& reportError, const UnmatchedNameHandler& reportUnmatched = {});

// A value in double quotes, inner double quotes doubled.
QString QuoteArgument(const QString& value);

// The command line for one file: "program" -print-to "printer" "file", with
// -print-settings "settings" before the file when settings are given.
QString PrintCommandLine(const QString& program, const QString& printer, const QString& file,
                         const QString& settings = QString());

// Status line while a file is printed: "File: %s" with the name shortened to 50 characters.
QString PrintStatusText(const QString& file);

// The failure prompt for a file: "File: %s\r\ncould not be printed!" with the full name.
QString PrintFailedText(const QString& file);

// The result line: " No file printed", " 1 file printed" or " %u files printed".
QString PrintResultText(quint32 printedCount);

// Whether a result of the process runner means the file was printed: only 0 does. Start
// failures and non-zero exit codes of the print program are failures too.
bool PrintSucceeded(int runnerResult);
