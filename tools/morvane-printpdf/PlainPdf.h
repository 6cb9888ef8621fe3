#pragma once

// The PDF check without the PDF library for the files where its answer is
// certain: a single cross-reference table, no encryption, no incremental
// update, every object read where the table says, and a page tree whose
// pages are exactly the ones it counts. Such a file opens in the PDF library
// with the same pages, no password and printing allowed. Whatever is not
// that plain (and every file that the check would refuse) is left to the
// library, which repairs and refuses as it always has. The library and its
// two dozen shared libraries then need not be loaded for most files.

// True and *pages when the file at fd is such a plain PDF; false when the
// PDF library must decide.
bool PlainPdfPages(int fd, int* pages);
