#pragma once

// The print program's single call, shared by main() and the batch mode.

#include <string>
#include <vector>

// Does what one start with these arguments (without the program name) does,
// writing the same lines to standard output and error; returns the exit code.
int PrintFromArguments(const std::vector<std::string>& args);

// The message of the last refusal of PrintFromArguments; empty after success.
const std::string& LastFailureMessage();

// -batch: takes calls on standard input until it ends (BatchMode.cpp).
int RunBatchMode();
