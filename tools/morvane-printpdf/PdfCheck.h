#pragma once

// The PDF check of the print program, in a module of its own: the PDF
// library and the two dozen libraries it needs are loaded only for a file
// that passed the cheap checks, not at every start of the program.
// Plain C at the boundary, so that the module and the program need not
// agree on more than this header.

#ifdef __cplusplus
extern "C" {
#endif

// What the check found.
enum MorvanePdfVerdict
{
    MorvanePdfOk = 0,
    MorvanePdfDamaged = 1, // the library cannot open it (not a PDF, or damaged beyond repair)
    MorvanePdfLocked = 2,  // protected by a password
    MorvanePdfNoPages = 3, // no page in it
    MorvanePdfNoPrint = 4, // printing not allowed
    MorvanePdfBadTree = 5, // the page tree does not lead to page *badPage of *pages
};

// The function's name carries its version, so that a program never calls a
// module of another shape: a new shape gets a new name.
#define MORVANE_PDF_CHECK_SYMBOL "morvane_pdf_check_v1"

// Opens file with the PDF library and checks it; sets *pages (when the count
// is known) and *badPage (for MorvanePdfBadTree, 1-based).
typedef int (*MorvanePdfCheckFn)(const char* file, int* pages, int* badPage);

#ifdef __cplusplus
}
#endif
