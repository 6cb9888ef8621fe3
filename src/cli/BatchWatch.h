#pragma once

#include "BatchOptions.h"
#include "printing/PrintEngine.h"

#include <csignal>

// morvane-batch --watch: prints each file that arrives in options.Directory
// through job (printer, program, copies and pause already chosen) until
// *stop is set; wakeFd becomes readable at that moment. Returns the exit code.
int RunWatch(const TBatchOptions& options, const TPrintJob& job, int wakeFd, const volatile sig_atomic_t* stop);
