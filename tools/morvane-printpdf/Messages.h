#pragma once

// The print program's texts in the user's language, from the catalog domain
// "printpdf" (beside the program in the build tree, or in Morvane's share
// folder once installed). Texts that callers parse (the request id and page
// lines, the batch protocol's words) are never looked up.

#include "printing/PrintPdfTexts.h"

// Binds the catalogs and settles the language, before the first lookup:
// LANGUAGE, else LC_ALL, LC_MESSAGES or LANG, also when the locale is "C" or unset.
void InitMessages();
