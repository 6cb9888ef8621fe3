#include "printing/JobList.h"

#include "app/GnuGetText.h"
#include "printing/CollectFiles.h"
#include "printlists/PrintList.h"
#include "util/FileNameBytes.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <iterator>

#include <sys/stat.h>

bool IsPrintListName(const QString& token)
{
    const QString ext = FileExtension(token);
    // Only ASCII letters are folded, so no other character can turn into "pbt".
    if (ext.size() != 3)
        return false;
    QString lower = ext;
    for (QChar& c : lower) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return lower == QLatin1String(PrintListExtension);
}

QString CleanJobPath(const QString& path)
{
    // By the text alone: the name handed over is the one given, without detours,
    // and links in it are left to the system as they were.
    if (path.startsWith(u'/'))
        return QDir::cleanPath(path);
    return QDir::cleanPath(QDir::currentPath() + u'/' + path);
}

namespace {

bool IsRegularFile(const QString& path)
{
    struct stat st
    {
    };
    // By the name's own bytes, as the print program will open it.
    return ::stat(FileNameToBytes(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// Keeps each file at the first place a name of the field gives it; the places
// one name gives among themselves all stay.
class TDuplicateFilter
{
public:
    TDuplicateFilter(const TJobListOptions& options, TJobListCounts& counts) : FOptions(options), FCounts(counts) {}

    // The entries from jobs[from] on came from the name just read: those that an
    // earlier name already put in the list are taken out again and reported.
    void NameDone(QStringList& jobs, qsizetype from, const TJobName& name)
    {
        if (FOptions.KeepDuplicates)
            return;
        // Nothing to compare with before the second name that finds files.
        if (from > 0 && !FSeenFilled) {
            for (qsizetype i = 0; i < from; ++i)
                FSeen.insert(jobs[i]);
            FSeenFilled = true;
        }
        if (!FSeenFilled)
            return;
        qsizetype kept = from;
        for (qsizetype i = from; i < jobs.size(); ++i) {
            if (FSeen.contains(jobs[i])) {
                if (!FLeftOut.contains(jobs[i])) {
                    FLeftOut.insert(jobs[i]);
                    ++FCounts.DuplicateFiles;
                }
                if (FOptions.ReportDuplicate) {
                    TJobName left = name;
                    left.Path = jobs[i];
                    if (!name.List.isEmpty()) {
                        left.Name = FLines.value(i - from);
                        left.Line = FLineNumbers.value(i - from);
                    }
                    FOptions.ReportDuplicate(left);
                }
                continue;
            }
            jobs[kept++] = jobs[i];
        }
        jobs.resize(kept);
        for (qsizetype i = from; i < kept; ++i)
            FSeen.insert(jobs[i]);
    }

    // The line and line number of each entry a print list gave, for the report.
    void ListEntry(const QString& line, qsizetype number)
    {
        FLines << line;
        FLineNumbers << number;
    }
    void ListStarts()
    {
        FLines.clear();
        FLineNumbers.clear();
    }

private:
    const TJobListOptions& FOptions;
    TJobListCounts& FCounts;
    QSet<QString> FSeen;
    QSet<QString> FLeftOut;
    bool FSeenFilled = false;
    QStringList FLines;
    QList<qsizetype> FLineNumbers;
};

} // namespace

namespace {

// Both job lists: the tokens of a file field (masks, names, print lists below
// sourceDir) or, with literal, names that each mean one file or print list.
QStringList BuildJobListOfNames(const QString& sourceDir, const QStringList& tokens, bool literal,
                                const TJobListOptions& options, TJobListCounts* counts)
{
    TJobListCounts own;
    TJobListCounts& n = counts ? *counts : own;
    n = {};
    // Cleaned once, so that the names found below it are clean as they come.
    const QString dir = DirectoryWithDelimiter(CleanJobPath(sourceDir));
    TDuplicateFilter duplicates(options, n);
    QStringList jobList;
    for (const QString& token : tokens) {
        const qsizetype before = jobList.size();
        if (literal && !IsPrintListName(token)) {
            const QString file = CleanJobPath(BuildFileName(dir, token, QString()));
            if (!options.ReportUnmatched || IsRegularFile(file)) {
                jobList.append(file);
            } else {
                ++n.Unmatched;
                options.ReportUnmatched({token, file, QString(), 0});
            }
            duplicates.NameDone(jobList, before, {token, QString(), QString(), 0});
            continue;
        }
        if (!IsPrintListName(token)) {
            CollectFiles(dir, token, options.IncludeSubDirs, jobList);
            // A folder part of the mask may hold "." or "..".
            if (token.contains(u'/')) {
                for (qsizetype i = before; i < jobList.size(); ++i)
                    jobList[i] = QDir::cleanPath(jobList[i]);
            }
            // A mask may rightly match nothing; a plain name means a file.
            if (jobList.size() == before && !token.isEmpty() && !token.contains(u'*') && !token.contains(u'?') &&
                options.ReportUnmatched) {
                ++n.Unmatched;
                options.ReportUnmatched({token, CleanJobPath(BuildFileName(dir, token, QString())), QString(), 0});
            }
            duplicates.NameDone(jobList, before, {token, QString(), QString(), 0});
            continue;
        }
        const QString path = CleanJobPath(BuildFileName(dir, token, QString()));
        QStringList lines;
        QString error;
        struct stat st
        {
        };
        // A folder is no file, so a folder of that name is "not found" as well.
        if (::stat(FileNameToBytes(path).constData(), &st) != 0 || S_ISDIR(st.st_mode))
            error = FillPlaceholders(TrDefault("Print list: %s not found!"), {path});
        else if (!ReadPrintList(path, lines, &error) && error.isEmpty())
            error = path;
        if (!error.isEmpty()) {
            ++n.ListErrors;
            if (options.ReportError)
                options.ReportError(error);
            continue;
        }
        duplicates.ListStarts();
        // A list given by itself names its files from its own folder.
        const QString listDir = literal ? DirectoryWithDelimiter(FolderPart(path)) : dir;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            // Joined to the folder an empty line would name the folder itself.
            if (lines[i].isEmpty()) {
                ++n.EmptyLines;
                continue;
            }
            const QString file = CleanJobPath(BuildFileName(listDir, lines[i], QString()));
            if (options.ReportUnmatched && !IsRegularFile(file)) {
                ++n.Unmatched;
                options.ReportUnmatched({lines[i], file, path, i + 1});
                continue;
            }
            jobList.append(file);
            duplicates.ListEntry(lines[i], i + 1);
        }
        duplicates.NameDone(jobList, before, {token, QString(), path, 0});
    }
    return jobList;
}

} // namespace

QStringList BuildJobList(const QString& sourceDir, const QString& fileField, const TJobListOptions& options,
                         TJobListCounts* counts)
{
    QStringList tokens;
    QString rest = fileField;
    while (!rest.isEmpty())
        tokens << ReadNextString(rest, u';');
    return BuildJobListOfNames(sourceDir, tokens, false, options, counts);
}

QStringList BuildJobListOfFiles(const QString& sourceDir, const QStringList& names, const TJobListOptions& options,
                                TJobListCounts* counts)
{
    return BuildJobListOfNames(sourceDir, names, true, options, counts);
}

QStringList BuildJobList(const QString& sourceDir, const QString& fileField, bool includeSubDirs,
                         const JobListErrorHandler& reportError, const UnmatchedNameHandler& reportUnmatched)
{
    TJobListOptions options;
    options.IncludeSubDirs = includeSubDirs;
    options.ReportError = reportError;
    options.ReportUnmatched = reportUnmatched;
    return BuildJobList(sourceDir, fileField, options);
}

QString DuplicatesText(quint32 files)
{
    if (files == 0)
        return {};
    if (files == 1)
        return TrDefault("1 file named twice was printed once");
    return FillPlaceholders(TrDefault("%u files named twice were printed once"), {QString::number(files)});
}

QString UnmatchedText(const TUnmatchedName& name)
{
    if (name.List.isEmpty())
        return FillPlaceholders(TrDefault("\"%s\" matched no file"), {name.Name});
    return FillPlaceholders(TrDefault("%s, line %s: \"%s\" names no existing file"),
                            {name.List, QString::number(name.Line), name.Name});
}

QString DuplicateText(const TJobName& name)
{
    if (name.List.isEmpty())
        return FillPlaceholders(TrDefault("\"%s\" names %s again"), {name.Name, name.Path});
    return FillPlaceholders(TrDefault("%s, line %s: \"%s\" is already listed"),
                            {name.List, QString::number(name.Line), name.Name});
}

QString QuoteArgument(const QString& value)
{
    QString quoted = value;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString PrintCommandLine(const QString& program, const QString& printer, const QString& file, const QString& settings,
                         const QString& title)
{
    QString line = QuoteArgument(program) + QStringLiteral(" -print-to ") + QuoteArgument(printer) + u' ';
    if (!settings.isEmpty())
        line += QStringLiteral("-print-settings ") + QuoteArgument(settings) + u' ';
    if (!title.isEmpty())
        line += QStringLiteral("-job-name ") + QuoteArgument(title) + u' ';
    return line + QuoteArgument(file);
}

namespace {

const QLatin1StringView JobTitlePlaceholders[] = {QLatin1StringView("{file}"), QLatin1StringView("{batch}"),
                                                  QLatin1StringView("{copy}"), QLatin1StringView("{date}")};

} // namespace

QString JobTitle(const QString& pattern, const QString& file, const QString& batch, int copy, const QDate& date)
{
    const QString values[] = {QFileInfo(file).fileName(), batch, QString::number(copy),
                              date.toString(QStringLiteral("yyyy-MM-dd"))};
    // One pass, so that a file name holding "{copy}" stays as it is.
    QString out;
    for (qsizetype i = 0; i < pattern.size();) {
        bool replaced = false;
        for (std::size_t k = 0; k < std::size(JobTitlePlaceholders); ++k) {
            if (QStringView(pattern).mid(i).startsWith(JobTitlePlaceholders[k])) {
                out += values[k];
                i += JobTitlePlaceholders[k].size();
                replaced = true;
                break;
            }
        }
        if (!replaced)
            out += pattern[i++];
    }
    return out;
}

QString JobTitleProblem(const QString& pattern)
{
    if (pattern.trimmed().isEmpty())
        return TrDefault("the job name is empty");
    for (qsizetype open = pattern.indexOf(u'{'); open >= 0; open = pattern.indexOf(u'{', open + 1)) {
        const qsizetype close = pattern.indexOf(u'}', open);
        if (close < 0)
            break;
        const QString name = pattern.mid(open, close - open + 1);
        if (std::find(std::begin(JobTitlePlaceholders), std::end(JobTitlePlaceholders), name) ==
            std::end(JobTitlePlaceholders))
            return FillPlaceholders(
                TrDefault("unknown placeholder %s in the job name (use {file}, {batch}, {copy}, {date})"), {name});
    }
    return {};
}

QString PrintStatusText(const QString& file)
{
    return FillPlaceholders(TrDefault("File: %s"), {ShortenPath(file, 50)});
}

QString PrintFailedText(const QString& file)
{
    return FillPlaceholders(TrDefault("File: %s\r\ncould not be printed!"), {file});
}

QString PrintResultText(quint32 printedCount)
{
    if (printedCount == 0)
        return u' ' + TrDefault("No file printed");
    if (printedCount == 1)
        return u' ' + TrDefault("1 file printed");
    return u' ' + FillPlaceholders(TrDefault("%u files printed"), {QString::number(printedCount)});
}

bool PrintSucceeded(int runnerResult)
{
    return runnerResult == 0;
}
