#pragma once

#include <QString>

// Moves file into destDir (created when missing) as relName; when that name
// is taken there, " (2)", " (3)", ... go before the extension. Never replaces
// a file, also across file systems. The new path, or empty with *error.
QString MoveAside(const QString& file, const QString& destDir, const QString& relName, QString* error);
