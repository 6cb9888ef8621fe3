#include "Console.h"

#include "app/GnuGetText.h"
#include "util/SafeFormat.h"

#include <cstdio>

using namespace Qt::StringLiterals;

QString Tr(const char* key, const QString& a, const QString& b, const QString& c)
{
    // Absent values are empty texts: a placeholder they reach is emptied.
    return FillPlaceholders(TrDefault(key), {a, b, c});
}

void Err(const QString& line)
{
    std::fputs((line + u'\n').toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

void ErrLine(const QString& message)
{
    Err(u"morvane-batch: "_s + message);
}
