#pragma once

// Finds and loads the print program's PDF check module (PdfCheck.h): beside
// the executable in the build tree, else in the private library folder of
// the installation, found relative to the executable.

#include "PdfCheck.h"

#include <string>

// The module's check function, loaded on the first call; nullptr and *error
// (where it was looked for and why it failed) when it cannot be loaded.
MorvanePdfCheckFn LoadPdfCheck(std::string* error);
