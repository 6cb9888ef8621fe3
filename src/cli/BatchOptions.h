#pragma once

#include "Console.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The command line of morvane-batch. Each option is one row of a table
// (BatchOptionTable): its names, whether it takes a value, its help text and
// what it does to TBatchOptions. A new option is a new row.

struct TBatchOptions
{
    QString Directory;
    QString Files = QStringLiteral("*.pdf");
    // --files: the operands are the files and print lists to print, each taken
    // as it is, from any folder; Directory and Files are then unused.
    bool FileOperands = false;
    QStringList FileNames;
    bool SubDirectories = false;
    QString Printer;       // empty: the saved printer, else the default queue
    QStringList Printers;  // every -p in order; more than one share the run (Printer is the first)
    QString PrintSettings; // handed to the print program per file; already checked
    int Copies = 1;
    // The copies go as copies=N of the print settings: each file once, the
    // printer makes them. Set by ParseBatchArguments, which then sets Copies to 1.
    bool CopiesInJob = false;
    QString JobName; // the job title template; empty: the file's name
    bool OneJob = false; // the job list as one job of several documents per copy
    QString Program; // empty: the saved print program, else the search
    // morvane-printpdf started per file and copy instead of once for the batch.
    bool StartPerFile = false;
    unsigned long PauseMs = 1000;
    bool StopOnError = false;
    int TimeoutPerFileS = 600; // 0: no limit
    // How long a spooler that cannot take a file for the moment is waited
    // out; 0: the file fails at once.
    int RetryForS = 300;
    bool RetryForGiven = false; // a watch waits without limit unless --retry-for says otherwise
    // Follow each job at the spooler to its end (--wait), at most WaitS
    // seconds after the last handover; -1: as long as it takes.
    bool Wait = false;
    int WaitS = -1;
    bool DryRun = false;
    // With the dry run: count the pages and sheets and end standard output
    // with one summary line.
    bool Pages = false;
    bool KeepDuplicates = false; // print a file at every place a name of FILES gives it
    QString Report;              // empty: none; "-": standard output
    bool Quiet = false;
    bool Notify = false; // a desktop notification with the summary at the end
    // Watching a folder: each file that arrives is printed once.
    bool Watch = false;
    int SettleMs = 2000;
    int QuietMs = 1500; // a closed or moved-in file must then stay unchanged this long
    bool IncludeExisting = false;
    QString MovePrinted; // empty: printed files stay
    QString MoveFailed;
    QStringList WatchOnly; // options given that need --watch
    bool Help = false;
    bool Version = false;
};

struct TBatchOption
{
    const char* LongName;  // without "--"
    char ShortName;        // 0: none
    const char* ValueName; // nullptr: a switch without value; "[=NAME]": a value only as --name=VALUE
    const char* Help;      // English; translated when shown
    // Takes the value (empty for a switch); returns an error text (translated) or empty.
    std::function<QString(TBatchOptions&, const QString& value)> Apply;
};

const std::vector<TBatchOption>& BatchOptionTable();

// Parses the arguments (without the program name). On a usage error returns
// false and sets *error to one line naming the cause. "--" ends the options;
// "-" alone is an operand. Long options take "--name VALUE" or
// "--name=VALUE", short ones "-n VALUE" or "-nVALUE", and switches group ("-sq").
bool ParseBatchArguments(const QStringList& arguments, TBatchOptions& options, QString* error);

// The --help text, translated.
QString BatchUsage();
