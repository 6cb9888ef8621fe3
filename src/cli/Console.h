#pragma once

#include <QString>

// What morvane-batch says on standard error, and the text lookup it says it with.

// A text of the program's catalog, looked up first and then filled with a, b
// and c in turn; a file name that holds "%s" is not filled again.
QString Tr(const char* key, const QString& a = {}, const QString& b = {}, const QString& c = {});

// A line on standard error, at once (progress and messages interleave there).
void Err(const QString& line);
// The same, after the program's name, as messages on the terminal go.
void ErrLine(const QString& message);
