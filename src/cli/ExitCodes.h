#pragma once

// The exit codes of morvane-batch, for the one-off run and the watch alike
// (the manual page's table and --help list them).
enum TBatchExit
{
    ExitPrinted = 0, // a one-off run: every file printed or skipped
    ExitStopped = 0, // a watch: stopped by a signal
    ExitSetUp = 1,
    ExitFailed = 2,
    ExitNothing = 3,
    // The files were handed over as the summary says, but the report or the
    // list on standard output is not complete: a wrapper must not print again.
    ExitReportLost = 4,
    // --wait: every file was handed over and none failed, but the printer
    // had not finished every job when the wait was over.
    ExitNotFinished = 5,
    ExitSignal = 130,
};
