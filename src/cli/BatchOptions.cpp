#include "BatchOptions.h"

#include "app/GnuGetText.h"
#include "printing/JobList.h"
#include "printing/PrintSettings.h"
#include "util/SafeFormat.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// A whole number from min to max, or false.
bool ReadNumber(const QString& text, qlonglong min, qlonglong max, qlonglong& value)
{
    bool ok = false;
    value = text.toLongLong(&ok, 10);
    return ok && !text.startsWith(u'+') && value >= min && value <= max;
}

// A duration in seconds: a whole number, alone or with s, m or h; at most a week.
bool ReadDuration(const QString& text, qlonglong& seconds)
{
    qlonglong unit = 1;
    QString number = text;
    if (number.endsWith(u's'))
        number.chop(1);
    else if (number.endsWith(u'm'))
        unit = 60, number.chop(1);
    else if (number.endsWith(u'h'))
        unit = 3600, number.chop(1);
    qlonglong n = 0;
    if (number.isEmpty() || !ReadNumber(number, 0, 7 * 86400 / unit, n))
        return false;
    seconds = n * unit;
    return true;
}

QString Flag(bool& target)
{
    target = true;
    return {};
}

} // namespace

const std::vector<TBatchOption>& BatchOptionTable()
{
    static const std::vector<TBatchOption> table{
        {"files", 0, nullptr,
         MarkDefault(
             "the operands are the PDF files and print lists to print, from any folders, each name as it is (no "
             "masks); without -p and --print-settings the window's printer and print settings (for a file manager's "
             "selection)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.FileOperands); }},
        {"subdirectories", 's', nullptr, MarkDefault("search the subdirectories too"),
         [](TBatchOptions& o, const QString&) { return Flag(o.SubDirectories); }},
        {"printer", 'p', "NAME",
         MarkDefault(
             "the CUPS queue, QUEUE/INSTANCE or an IPP URI (default: the printer saved by the window, else the default "
             "queue); given more than once, the printers share the files: each goes to the one with the fewest jobs "
             "waiting, a stopped or rejecting one is passed over"),
         [](TBatchOptions& o, const QString& v) {
             if (v.isEmpty())
                 return Tr("the printer name is empty");
             if (o.Printers.contains(v, Qt::CaseInsensitive))
                 return Tr("the printer %s is named twice", v);
             if (o.Printers.isEmpty())
                 o.Printer = v;
             o.Printers << v;
             return QString();
         }},
        {"print-settings", 0, "LIST",
         MarkDefault("print settings for every file, e.g. 2-3,duplex,paper=A4 (the list of morvane-printpdf --help)"),
         [](TBatchOptions& o, const QString& v) {
             // Checked here, so that a bad list stops the run before any file is handed over.
             PrintSettings::Settings parsed;
             std::string error;
             if (!PrintSettings::Parse(v.toStdString(), &parsed, &error))
                 return Tr("bad print settings: %s", QString::fromStdString(error));
             o.PrintSettings = v;
             return QString();
         }},
        {"copies", 'n', "N", MarkDefault("copies from 1 to 100, collated (default 1)"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = 0;
             if (!ReadNumber(v, 1, 100, n))
                 return Tr("copies must be a number from 1 to 100, not \"%s\"", v);
             o.Copies = static_cast<int>(n);
             return QString();
         }},
        {"copies-in-job", 0, nullptr,
         MarkDefault("with -n: hand each file over once and let the printer make the copies, collated (copies=N of the "
                     "print settings; not for PDF queues, which ignore copies)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.CopiesInJob); }},
        {"one-job", 0, nullptr,
         MarkDefault(
             "hand the whole list over as one job of several documents in order (per copy), so that no other job comes "
             "between the files; a file that fails its check is left out (not for cups-pdf queues; with "
             "--print-settings separator=blank or separator=title a page between the files)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.OneJob); }},
        {"job-name", 0, "TEMPLATE",
         MarkDefault("the job's name in the queue: {file} the file's name, {batch} the folder's name, {copy} the copy, "
                     "{date} YYYY-MM-DD (default: the file's name)"),
         [](TBatchOptions& o, const QString& v) {
             const QString problem = JobTitleProblem(v);
             if (problem.isEmpty())
                 o.JobName = v;
             return problem;
         }},
        {"program", 0, "PATH", MarkDefault("the print-to program (default: the one the window uses)"),
         [](TBatchOptions& o, const QString& v) {
             if (v.isEmpty())
                 return Tr("the print program name is empty");
             o.Program = v;
             return QString();
         }},
        {"start-per-file", 0, nullptr,
         MarkDefault("start the print program once per file and copy, as any other print program, instead of keeping "
                     "morvane-printpdf running for the whole batch and handing it file after file"),
         [](TBatchOptions& o, const QString&) { return Flag(o.StartPerFile); }},
        {"pause", 0, "MS", MarkDefault("pause after each printed file in milliseconds (default 1000)"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = 0;
             if (!ReadNumber(v, 0, 3600000, n))
                 return Tr("the pause must be a number of milliseconds from 0 to 3600000, not \"%s\"", v);
             o.PauseMs = static_cast<unsigned long>(n);
             return QString();
         }},
        {"timeout-per-file", 0, "S",
         MarkDefault(
             "end a print program that has not finished after S seconds and fail its file; 0: no limit (default 600)"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = 0;
             if (!ReadNumber(v, 0, 86400, n))
                 return Tr("the time limit must be a number of seconds from 0 to 86400, not \"%s\"", v);
             o.TimeoutPerFileS = static_cast<int>(n);
             return QString();
         }},
        {"retry-for", 0, "DURATION",
         MarkDefault(
             "wait out a print spooler that cannot take a file for the moment (restart, not reachable) this long, "
             "handing the file over again: seconds, or with s, m or h; 0: fail at once (default 5m; with --watch: no "
             "limit)"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = 0;
             if (!ReadDuration(v, n))
                 return Tr("the retry time must be a duration of at most a week such as 90, 90s, 5m or 2h, not \"%s\"",
                           v);
             o.RetryForS = static_cast<int>(n);
             o.RetryForGiven = true;
             return QString();
         }},
        {"wait", 0, "[=DURATION]",
         MarkDefault(
             "follow each job at the spooler until the printer has completed, aborted or canceled it, at most DURATION "
             "after the last handover (seconds, or with s, m or h; default: no limit); printed then means completed"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = -1;
             if (!v.isEmpty() && !ReadDuration(v, n))
                 return Tr("the wait must be a duration of at most a week such as 90, 90s, 5m or 2h, not \"%s\"", v);
             o.Wait = true;
             o.WaitS = static_cast<int>(n);
             return QString();
         }},
        {"stop-on-error", 0, nullptr, MarkDefault("stop at the first file that fails (default: go on)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.StopOnError); }},
        {"dry-run", 0, nullptr, MarkDefault("print nothing; write \"copy<TAB>file\" per invocation to standard output"),
         [](TBatchOptions& o, const QString&) { return Flag(o.DryRun); }},
        {"pages", 0, nullptr,
         MarkDefault(
             "with --dry-run: count each file's pages and end standard output with the line \"files=N pages=N "
             "sheets=N copies=N unprintable=N unknown=N\" (pages after --print-settings for one copy, sheets for all "
             "copies and both sides, unknown the office documents, not converted to be counted); files that cannot be "
             "printed are named on standard error"),
         [](TBatchOptions& o, const QString&) { return Flag(o.Pages); }},
        {"keep-duplicates", 0, nullptr,
         MarkDefault(
             "print a file that several names of FILES reach at each of its places (default: at the first only)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.KeepDuplicates); }},
        {"report", 0, "FILE",
         MarkDefault(
             "write one record per file and copy (printed, failed, pending, missing, skipped, not-tried, duplicate): "
             "CSV for "
             "*.csv, else JSON Lines; - is standard output"),
         [](TBatchOptions& o, const QString& v) {
             if (v.isEmpty())
                 return Tr("the report file name is empty");
             o.Report = v;
             return QString();
         }},
        {"quiet", 'q', nullptr, MarkDefault("no progress, only errors and the summary"),
         [](TBatchOptions& o, const QString&) { return Flag(o.Quiet); }},
        {"notify", 0, nullptr,
         MarkDefault("at the end, a desktop notification of what was printed and what failed (through the session bus; "
                     "without a notification service only the summary on standard error)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.Notify); }},
        {"watch", 0, nullptr, MarkDefault("watch DIRECTORY and print each file that arrives, once (see below)"),
         [](TBatchOptions& o, const QString&) { return Flag(o.Watch); }},
        {"settle", 0, "MS",
         MarkDefault(
             "with --watch: a file whose close cannot be seen is complete when its size and time held this long "
             "(default 2000)"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = 0;
             if (!ReadNumber(v, 0, 3600000, n))
                 return Tr("the settle time must be a number of milliseconds from 0 to 3600000, not \"%s\"", v);
             o.SettleMs = static_cast<int>(n);
             o.WatchOnly << u"--settle"_s;
             return QString();
         }},
        {"quiet-time", 0, "MS",
         MarkDefault(
             "with --watch: a file closed by its writer or moved in is complete when it then stayed unchanged this "
             "long (default 1500)"),
         [](TBatchOptions& o, const QString& v) {
             qlonglong n = 0;
             if (!ReadNumber(v, 0, 3600000, n))
                 return Tr("the quiet time must be a number of milliseconds from 0 to 3600000, not \"%s\"", v);
             o.QuietMs = static_cast<int>(n);
             o.WatchOnly << u"--quiet-time"_s;
             return QString();
         }},
        {"include-existing", 0, nullptr,
         MarkDefault("with --watch: print the files already there at the first start too"),
         [](TBatchOptions& o, const QString&) {
             o.WatchOnly << u"--include-existing"_s;
             return Flag(o.IncludeExisting);
         }},
        {"move-printed", 0, "DIR",
         MarkDefault("with --watch: move each printed file into DIR (never replacing a file there)"),
         [](TBatchOptions& o, const QString& v) {
             if (v.isEmpty())
                 return Tr("the folder name is empty");
             o.MovePrinted = v;
             o.WatchOnly << u"--move-printed"_s;
             return QString();
         }},
        {"move-failed", 0, "DIR",
         MarkDefault("with --watch: move each file that failed into DIR (never replacing a file there)"),
         [](TBatchOptions& o, const QString& v) {
             if (v.isEmpty())
                 return Tr("the folder name is empty");
             o.MoveFailed = v;
             o.WatchOnly << u"--move-failed"_s;
             return QString();
         }},
        {"help", 'h', nullptr, MarkDefault("show this help and end"),
         [](TBatchOptions& o, const QString&) { return Flag(o.Help); }},
        {"version", 0, nullptr, MarkDefault("show the version and end"),
         [](TBatchOptions& o, const QString&) { return Flag(o.Version); }},
    };
    return table;
}

bool ParseBatchArguments(const QStringList& arguments, TBatchOptions& options, QString* error)
{
    const auto& table = BatchOptionTable();
    const auto fail = [error](const QString& message) {
        if (error)
            *error = message;
        return false;
    };
    QStringList operands;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString arg = arguments[i];
        if (optionsEnded || arg == u"-"_s || !arg.startsWith(u'-')) {
            operands << arg;
            continue;
        }
        if (arg == u"--"_s) {
            optionsEnded = true;
            continue;
        }
        // One or more options in this argument: "--name[=value]" or "-abc" / "-nVALUE".
        const bool isLong = arg.startsWith(u"--"_s);
        qsizetype pos = isLong ? 2 : 1;
        while (pos < arg.size()) {
            const TBatchOption* found = nullptr;
            QString inlineValue;
            bool hasInline = false;
            QString shown;
            if (isLong) {
                const qsizetype eq = arg.indexOf(u'=');
                const QString name = arg.mid(2, eq < 0 ? -1 : eq - 2);
                shown = u"--"_s + name;
                for (const TBatchOption& o : table) {
                    if (name == QLatin1String(o.LongName))
                        found = &o;
                }
                if (eq >= 0) {
                    hasInline = true;
                    inlineValue = arg.mid(eq + 1);
                }
                pos = arg.size();
            } else {
                const QChar c = arg[pos++];
                shown = u"-"_s + c;
                for (const TBatchOption& o : table) {
                    if (o.ShortName != 0 && c == QLatin1Char(o.ShortName))
                        found = &o;
                }
                if (found && found->ValueName && pos < arg.size()) {
                    hasInline = true;
                    inlineValue = arg.mid(pos);
                    pos = arg.size();
                }
            }
            if (!found)
                return fail(Tr("unknown option %s", shown));
            QString value;
            if (found->ValueName && found->ValueName[0] == '[') {
                // An optional value: only "--name=VALUE", so that an operand after it stays one.
                value = inlineValue;
                if (hasInline && value.isEmpty())
                    return fail(Tr("option %s needs a value after \"=\"", shown));
            } else if (found->ValueName) {
                if (hasInline)
                    value = inlineValue;
                else if (i + 1 < arguments.size())
                    value = arguments[++i];
                else
                    return fail(Tr("option %s needs a value (%s)", shown, QString::fromLatin1(found->ValueName)));
            } else if (hasInline) {
                return fail(Tr("option %s takes no value", shown));
            }
            const QString problem = found->Apply(options, value);
            if (!problem.isEmpty())
                return fail(problem);
        }
    }
    if (options.Help || options.Version)
        return true;
    if (!options.Watch && !options.WatchOnly.isEmpty())
        return fail(Tr("option %s needs --watch", options.WatchOnly.first()));
    if (options.Watch && options.DryRun)
        return fail(Tr("--dry-run and --watch cannot be combined"));
    if (options.Pages && !options.DryRun)
        return fail(Tr("--pages needs --dry-run"));
    if (options.DryRun && options.Report == u"-"_s)
        return fail(Tr("--dry-run and --report - cannot be combined: both write to standard output"));
    if (options.Watch && options.OneJob)
        return fail(Tr("--one-job and --watch cannot be combined"));
    if (options.Watch && options.Printers.size() > 1)
        return fail(Tr("several printers (-p) and --watch cannot be combined"));
    if (!options.OneJob && !options.PrintSettings.isEmpty()) {
        PrintSettings::Settings parsed;
        std::string problem;
        if (PrintSettings::Parse(options.PrintSettings.toStdString(), &parsed, &problem) && !parsed.separator.empty())
            return fail(
                Tr("separator=%s of --print-settings needs --one-job", QString::fromStdString(parsed.separator)));
    }
    if (options.CopiesInJob && options.Copies > 1) {
        // Checked with the rest of the list, so that "3x" and the like are refused before the run.
        const QString copies = u"copies="_s + QString::number(options.Copies);
        const QString list = options.PrintSettings.isEmpty() ? copies : options.PrintSettings + u',' + copies;
        PrintSettings::Settings parsed;
        std::string problem;
        if (!PrintSettings::Parse(list.toStdString(), &parsed, &problem))
            return fail(Tr("--copies-in-job: %s", QString::fromStdString(problem)));
        options.PrintSettings = list;
        options.Copies = 1;
    }
    if (options.FileOperands) {
        if (options.Watch)
            return fail(Tr("--files and --watch cannot be combined"));
        if (operands.isEmpty())
            return fail(Tr("no file given"));
        if (operands.contains(QString()))
            return fail(Tr("the file names are empty"));
        options.FileNames = operands;
        return true;
    }
    if (operands.isEmpty())
        return fail(Tr("no directory given"));
    if (operands.size() > 2)
        return fail(Tr("unexpected argument %s", operands[2]));
    options.Directory = operands[0];
    if (operands.size() == 2)
        options.Files = operands[1];
    if (options.Files.isEmpty())
        return fail(Tr("the file names are empty"));
    return true;
}

QString BatchUsage()
{
    QString text = Tr("Usage: %s [OPTIONS] DIRECTORY [FILES]", u"morvane-batch"_s) + u'\n' +
                   Tr("   or: %s [OPTIONS] --files FILE...", u"morvane-batch"_s) + u'\n' +
                   TrDefault("Prints the files in DIRECTORY through the print-to program, one after the other.\n"
                             "FILES are names, masks and print lists (*.pbt) separated by \";\", as in the\n"
                             "window's file names field (default *.pdf). A relative DIRECTORY is taken from the\n"
                             "current folder. Printer and print program default to the window's settings.") +
                   u"\n\n"_s +
                   TrDefault("A file that several names reach (\"*.pdf;*.PDF\", a mask and a print list) is\n"
                             "printed once per copy, at its first place; repeated lines of one print list stay.\n"
                             "Empty print list lines are passed over. A name that found nothing is not handed\n"
                             "over. A file of which --print-settings leave no page (a page range beyond its end)\n"
                             "is skipped: no failure. After --stop-on-error the files never tried are counted.") +
                   u"\n\n"_s +
                   TrDefault("Printed are PDF, PostScript, JPEG, PNG, TIFF, GIF and BMP images, plain text and,\n"
                             "with LibreOffice, office documents (.odt .ods .odp .doc .docx .xls .xlsx .ppt .pptx\n"
                             ".rtf), each told by its content; a mask such as \"*.*\" reaches them all.") +
                   u"\n\n"_s + TrDefault("Options:") + u'\n';
    for (const TBatchOption& o : BatchOptionTable()) {
        QString names = o.ShortName ? u"  -"_s + QLatin1Char(o.ShortName) + u", --"_s : u"      --"_s;
        names += QLatin1String(o.LongName);
        if (o.ValueName)
            names += (o.ValueName[0] == '[' ? QString() : u" "_s) + QLatin1String(o.ValueName);
        text += names.leftJustified(28) + u' ' + TrDefault(o.Help) + u'\n';
    }
    text += u'\n' + TrDefault("Exit codes:") + u'\n' + TrDefault("  0    every file was printed or skipped") + u'\n' +
            TrDefault("  1    wrong usage or a set-up error (directory, printer, print program)") + u'\n' +
            TrDefault("  2    at least one file or print list failed, or a name found no file") + u'\n' +
            TrDefault("  3    nothing printed: FILES matched no file, or every file was skipped") + u'\n' +
            TrDefault("  4    the files were handed over as the summary says, but the report or the list on\n"
                      "       standard output could not be written completely (disk full, closed pipe)") +
            u'\n' +
            TrDefault("  5    with --wait: every file was handed over and none failed, but the printer had not\n"
                      "       finished every job in time (records \"pending\"; they may still print)") +
            u'\n' + TrDefault("  130  stopped by SIGINT, SIGTERM or SIGHUP after the current file") + u"\n\n"_s +
            TrDefault("With --wait a file is printed when the printer completed its jobs; an aborted or\n"
                      "canceled job fails it, one not ended in time leaves it pending. Report records carry\n"
                      "handed_over, job_ids and destination, and with --wait job_state, job_state_reasons,\n"
                      "pages and sheets. A watch with --wait moves a file to --move-printed only then,\n"
                      "hands a file whose job was aborted or canceled over again up to 3 times in all, and\n"
                      "after a restart follows the jobs left pending instead of printing again.") +
            u"\n\n"_s +
            TrDefault("With --watch it prints nothing that was there at the first start (unless\n"
                      "--include-existing), then each file that arrives or is replaced, once it is complete:\n"
                      "closed by its writer or moved in and then unchanged for the quiet time (counted from\n"
                      "its last change), else unchanged for the settle time. A file still changing is never\n"
                      "handed over, moved or failed. A file the print program refuses is tried once more\n"
                      "after it held for the settle time. A file is printed again only when its content\n"
                      "changed (SHA-256), not for a new time. What was printed is kept in a state file per\n"
                      "folder and FILES below ~/.local/share/morvane/watch, so a restart prints nothing twice\n"
                      "and prints what arrived meanwhile. A kill during a handover is settled at the restart\n"
                      "by asking the spooler for the job by its title; where it cannot be asked (an IPP URI,\n"
                      "no answer), that file can be printed a second time. While the state cannot be saved\n"
                      "nothing is handed over. One watch per folder and FILES runs at a time. Print lists in\n"
                      "FILES are read at the start and whenever they change; their entries are printed as\n"
                      "they arrive like names. Files stay in place unless moved with --move-printed or\n"
                      "--move-failed.\n"
                      "Exit codes of a watch: 0 stopped by SIGINT or SIGTERM (after the current file),\n"
                      "1 set-up error, another watch of the folder runs, or the folder is gone, 2 a file failed\n"
                      "with --stop-on-error.") +
            u'\n' +
            TrDefault("A watch also stops on SIGHUP, and with 4 when a report record cannot be written; the\n"
                      "records not written are then shown on standard error. A print program still running\n"
                      "5 s after a stop signal is ended.") +
            u"\n\n"_s + TrDefault("Example:") + u'\n' +
            u"  morvane-batch -s -n 2 --report run.csv ~/Invoices '*.pdf;urgent.pbt'\n"_s +
            u"  morvane-batch --one-job --print-settings separator=title -p Office ~/Invoices\n"_s +
            u"  morvane-batch -p Office1 -p Office2 -p ipp://print.example/printers/Hall --report run.csv ~/Batch\n"_s +
            u"  morvane-batch --watch --move-printed ~/Done --report ~/watch.csv ~/Inbox\n"_s +
            u"  morvane-batch --files ~/a.pdf ~/Letters/b.pdf ~/Letters/monday.pbt\n"_s;
    // Catalog texts come with CR LF line breaks; a terminal wants LF.
    text.remove(u'\r');
    return text;
}
