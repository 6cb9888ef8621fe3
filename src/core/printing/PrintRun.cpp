#include "printing/PrintRun.h"

#include "app/GnuGetText.h"
#include "printing/CollectFiles.h"
#include "printlists/PrintList.h"
#include "util/FileNameBytes.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"

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

QStringList BuildJobList(const QString& sourceDir, const QString& fileField, bool includeSubDirs,
                         const JobListErrorHandler& reportError, const UnmatchedNameHandler& reportUnmatched)
{
    QStringList jobList;
    QString rest = fileField;
    while (!rest.isEmpty()) {
        const QString token = ReadNextString(rest, u';');
        if (!IsPrintListName(token)) {
            const qsizetype before = jobList.size();
            CollectFiles(sourceDir, token, includeSubDirs, jobList);
            // A mask may rightly match nothing; a plain name means a file.
            if (reportUnmatched && jobList.size() == before && !token.isEmpty() && !token.contains(u'*') &&
                !token.contains(u'?'))
                reportUnmatched({token, BuildFileName(sourceDir, token, QString()), QString(), 0});
            continue;
        }
        const QString path = BuildFileName(sourceDir, token, QString());
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
            if (reportError)
                reportError(error);
            continue;
        }
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString file = BuildFileName(sourceDir, lines[i], QString());
            struct stat entry
            {
            };
            // By the name's own bytes, as the print program will open it.
            if (reportUnmatched && (::stat(FileNameToBytes(file).constData(), &entry) != 0 || !S_ISREG(entry.st_mode)))
                reportUnmatched({lines[i], file, path, i + 1});
            jobList.append(file);
        }
    }
    return jobList;
}

QString QuoteArgument(const QString& value)
{
    QString quoted = value;
    quoted.replace(u'"', QStringLiteral("\"\""));
    return u'"' + quoted + u'"';
}

QString PrintCommandLine(const QString& program, const QString& printer, const QString& file, const QString& settings)
{
    QString line = QuoteArgument(program) + QStringLiteral(" -print-to ") + QuoteArgument(printer) + u' ';
    if (!settings.isEmpty())
        line += QStringLiteral("-print-settings ") + QuoteArgument(settings) + u' ';
    return line + QuoteArgument(file);
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
