#pragma once

// The whole of morvane-batch: language set-up, the application object, the
// options, then the one-off run or the watch. Returns the exit code.
int BatchMain(int argc, char* argv[]);
