#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

// The command line of morvane-batch. Each option is one row of a table
// (BatchOptionTable): its names, whether it takes a value, its help text and
// what it does to TBatchOptions. A new option is a new row.

// A text of the program's catalog, looked up first and then filled with a, b
// and c in turn; a file name that holds "%s" is not filled again.
QString Tr(const char* key, const QString& a = {}, const QString& b = {}, const QString& c = {});

// A line on standard error, at once (progress and messages interleave there).
void Err(const QString& line);
// The same, after the program's name, as messages on the terminal go.
void ErrLine(const QString& message);

struct TBatchOptions
{
    QString Directory;
    QString Files = QStringLiteral("*.pdf");
    bool SubDirectories = false;
    QString Printer;       // empty: the saved printer, else the default queue
    QString PrintSettings; // handed to the print program per file; already checked
    int Copies = 1;
    QString Program; // empty: the saved print program, else the search
    unsigned long PauseMs = 1000;
    bool StopOnError = false;
    int TimeoutPerFileS = 600; // 0: no limit
    // How long a spooler that cannot take a file for the moment is waited
    // out; 0: the file fails at once.
    int RetryForS = 300;
    bool DryRun = false;
    bool KeepDuplicates = false; // print a file at every place a name of FILES gives it
    QString Report;              // empty: none; "-": standard output
    bool Quiet = false;
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
    const char* ValueName; // nullptr: a switch without value
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
