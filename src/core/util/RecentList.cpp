#include "util/RecentList.h"

namespace {

class TStringListItems
{
public:
    explicit TStringListItems(QStringList& list) : FList(list) {}
    qsizetype Count() const { return FList.size(); }
    qsizetype Find(const QString& text) const { return IndexOfIgnoringCase(FList, text); }
    void RemoveAt(qsizetype i) { FList.removeAt(i); }
    void Insert(qsizetype i, const QString& text) { FList.insert(i, text); }
    void Replace(qsizetype i, const QString& text) { FList[i] = text; }

private:
    QStringList& FList;
};

} // namespace

qsizetype IndexOfIgnoringCase(const QStringList& list, const QString& text)
{
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (list[i].compare(text, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void AddToRecentList(QStringList& list, const QString& text, int bound)
{
    TStringListItems items(list);
    AddToRecentList(items, text, bound);
}
