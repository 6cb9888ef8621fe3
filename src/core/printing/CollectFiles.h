#pragma once

#include <QString>
#include <QStringList>

// The file search of the print run.

// Whether a file name matches a mask by the Windows rules, without regard to
// case: "*" any run of characters, "?" exactly one, every other character
// (also "[") stands for itself; a "?" at the end of the mask or before a "."
// also matches no character where the name ends or has its "." ("q1?.pdf"
// matches "q1.pdf", "a?" matches "a"); a trailing ".*" also matches a name
// without that extension (so "*.*" matches every name), and a trailing "."
// matches names without any extension.
bool MatchesMask(const QString& name, const QString& mask);

// Appends to jobList the files in dir that match mask, each as
// BuildFileName(dir, name). With includeSubDirs the subdirectories are searched
// first, depth first, so the matches below a directory come before its own.
// Within a directory, subdirectories and files each come in name order
// (SortByNameOrder). Hidden (dot) files count, directories never match,
// symbolic links count as their targets, and no directory is searched twice
// (a link loop ends). Names that are not valid UTF-8 are carried losslessly
// (FileNameFromBytes). A directory part of the mask
// ("sub/*.pdf") is joined to dir first and the search starts there. A missing
// directory or no match adds nothing.
void CollectFiles(const QString& dir, const QString& mask, bool includeSubDirs, QStringList& jobList);
