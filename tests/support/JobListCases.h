#pragma once

// One prepared tree and one table of file fields over it, shared by the tests
// of the window's engine client and of morvane-batch, so that both clients are
// held to the same job list.

#include "support/TestSupport.h"

#include <QStringList>

#include <vector>

namespace job_list_cases {

// Logs the file it is given, one line per call; a name that is no file fails
// with exit code 2, as the print-to program does.
constexpr char kLoggingProgram[] = "#!/bin/sh\n"
                                   "echo \"$3\" >> \"$0.log\"\n"
                                   "[ -f \"$3\" ] || { echo \"cannot open $3\" >&2; exit 2; }\n"
                                   "exit 0\n";

// Docs/ holds a.pdf, B.PDF, c.pdf, sub/d.pdf and notes.txt, and list.pbt with
// a repeated line, an empty one, a name of no file and names through "." and "..".
inline bool WriteTree(const QString& docs)
{
    using testing_support::S;
    bool ok = true;
    for (const char* name : {"a.pdf", "B.PDF", "c.pdf", "sub/d.pdf", "notes.txt"})
        ok = ok && testing_support::WriteFile(docs + S(name), "%PDF-1.4\n");
    return ok && testing_support::WriteFile(docs + S("list.pbt"),
                                            "a.pdf\n\nsub/d.pdf\nsub/d.pdf\ngone.pdf\n./c.pdf\n../Docs/B.PDF\n");
}

// Files are relative to Docs/.
struct TCase
{
    const char* Field;
    bool SubDirs;
    bool KeepDuplicates;
    QStringList Calls;            // what morvane-batch hands over, in order (one copy)
    QStringList Missing;          // names that found nothing, by the file looked for
    QStringList LeftOut;          // each place a duplicate was left out at, in order
    quint32 DuplicateFiles;       // distinct files among LeftOut
    quint32 EmptyLines;           // empty print list lines passed over
    QStringList WindowCalls = {}; // where the window differs: missing list lines are handed over
};

inline const std::vector<TCase>& Cases()
{
    using testing_support::S;
    const QString a = S("a.pdf"), b = S("B.PDF"), c = S("c.pdf"), d = S("sub/d.pdf"), gone = S("gone.pdf");
    static const std::vector<TCase> cases{
        // Masks ignore case: the second finds the same three files.
        {"*.pdf;*.PDF", false, false, {a, b, c}, {}, {a, b, c}, 3, 0},
        {"*.pdf;*.PDF", false, true, {a, b, c, a, b, c}, {}, {}, 0, 0},
        // One list alone: its repeated line stays, "." and ".." come out clean, the empty line names nothing.
        {"list.pbt", false, false, {a, d, d, c, b}, {gone}, {}, 0, 1, {a, d, d, gone, c, b}},
        // The README's pattern: the list's files that the mask found are printed at the mask's place.
        {"*.pdf;list.pbt", false, false, {a, b, c, d, d}, {gone}, {a, c, b}, 3, 1, {a, b, c, d, d, gone}},
        {"*.pdf;list.pbt", false, true, {a, b, c, a, d, d, c, b}, {gone}, {}, 0, 1, {a, b, c, a, d, d, gone, c, b}},
        // The list first, then a mask through the subfolder: the list keeps its places.
        {"list.pbt;*.pdf", true, false, {a, d, d, c, b}, {gone}, {d, a, b, c}, 4, 1, {a, d, d, gone, c, b}},
        // A file left out at two places still counts once.
        {"*.pdf;*.PDF;list.pbt",
         false,
         false,
         {a, b, c, d, d},
         {gone},
         {a, b, c, a, c, b},
         3,
         1,
         {a, b, c, d, d, gone}},
        // "." and ".." in names of the field; a plain name that found nothing.
        {"sub/../a.pdf;./a.pdf;nothing.pdf", false, false, {a}, {S("nothing.pdf")}, {a}, 1, 0, {a}},
        {"nothing*.pdf", false, false, {}, {}, {}, 0, 0},
    };
    return cases;
}

} // namespace job_list_cases
