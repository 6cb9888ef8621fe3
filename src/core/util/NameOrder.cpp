#include "util/NameOrder.h"

#include <algorithm>
#include <vector>

namespace {

bool IsAsciiDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}

// Compares case-folded names; 0 when they differ only where folding or
// leading zeros hide it.
int CompareFolded(QStringView a, QStringView b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsAsciiDigit(a[i]) && IsAsciiDigit(b[j])) {
            // Digit runs by value, of any length: without leading zeros the
            // longer run is the larger number, equal lengths compare as text.
            while (i < a.size() && a[i] == u'0')
                ++i;
            while (j < b.size() && b[j] == u'0')
                ++j;
            qsizetype endA = i, endB = j;
            while (endA < a.size() && IsAsciiDigit(a[endA]))
                ++endA;
            while (endB < b.size() && IsAsciiDigit(b[endB]))
                ++endB;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            if (const int c = a.mid(i, endA - i).compare(b.mid(j, endB - j)); c != 0)
                return c;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    if (i < a.size())
        return 1;
    return j < b.size() ? -1 : 0;
}

int Compare(QStringView foldedA, QStringView a, QStringView foldedB, QStringView b)
{
    if (const int c = CompareFolded(foldedA, foldedB); c != 0)
        return c;
    return a.compare(b);
}

} // namespace

void SortByNameOrder(QStringList& names)
{
    // Folded once per name rather than once per comparison.
    struct Key
    {
        QString Folded;
        QString Name;
    };
    std::vector<Key> keys;
    keys.reserve(size_t(names.size()));
    for (const QString& name : std::as_const(names))
        keys.push_back({name.toCaseFolded(), name});
    std::sort(keys.begin(), keys.end(),
              [](const Key& x, const Key& y) { return Compare(x.Folded, x.Name, y.Folded, y.Name) < 0; });
    for (size_t k = 0; k < keys.size(); ++k)
        names[qsizetype(k)] = std::move(keys[k].Name);
}
