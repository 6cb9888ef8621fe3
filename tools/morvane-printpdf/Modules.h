#pragma once

// Finds and loads the print program's private modules, which hold the
// libraries that only some files need (the PDF library, libmagic, libtiff):
// beside the executable in the build tree, else in the private library
// folder of the installation, found relative to the executable.

#include <string>

// The folder of the running executable (links resolved), with a trailing slash;
// empty when it cannot be read.
std::string ExecutableDir();

// The symbol of the module (a file name such as "morvane-pdfcheck.so"), the
// module loaded on the first call; nullptr and *error (where it was looked
// for and why it failed) when it cannot be had.
void* ModuleSymbol(const char* module, const char* symbol, std::string* error);
