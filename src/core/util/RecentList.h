#pragma once

#include <QString>
#include <QStringList>

// Lists of recent entries (histories): newest first, each entry once
// regardless of letter case, bounded.

// Puts text at the top of list. An entry equal to it but for letter case
// moves up and takes text's spelling; a new one may push the oldest out when
// the list already holds `bound` entries (bound 0: no bound). An empty text
// changes nothing.
//
// TList is any list that offers Count(), Find(text) (its own search that
// ignores case; -1 when absent), RemoveAt(i), Insert(0, text) and
// Replace(0, text); AddToRecentList(QStringList&, ...) below is the plain one.
template <typename TList>
void AddToRecentList(TList& list, const QString& text, int bound)
{
    if (text.isEmpty())
        return;
    const qsizetype p = list.Find(text);
    if (p < 0) {
        while (bound > 0 && list.Count() >= bound)
            list.RemoveAt(list.Count() - 1);
        list.Insert(0, text);
    } else if (p > 0) {
        list.RemoveAt(p);
        list.Insert(0, text);
    }
    list.Replace(0, text);
}

void AddToRecentList(QStringList& list, const QString& text, int bound);
// Index of the entry equal to text but for letter case, or -1.
qsizetype IndexOfIgnoringCase(const QStringList& list, const QString& text);
