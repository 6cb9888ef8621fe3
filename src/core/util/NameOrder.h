#pragma once

#include <QString>
#include <QStringList>

// Sorts names as a file manager lists them: without regard to case, runs of
// digits compared by their value ("doc2" before "doc10"), and names that are
// still equal then (case, leading zeros) by their exact characters, so the
// order is total and the same on every file system.
void SortByNameOrder(QStringList& names);
