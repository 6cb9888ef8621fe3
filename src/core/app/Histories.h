#pragma once

#include <QString>
#include <QStringList>

class TMemIniFile;

// Histories: the item lists of editable combo boxes, newest first, without
// duplicates. In the settings file each item is a key "History" followed by
// its position (History0 is the newest).

inline constexpr int MaxHistory = 50;
inline constexpr char DefaultHistoryPrefix[] = "History";

// Replaces `list` (and returns true) only when the section has entries.
bool ReadHistory(const TMemIniFile& ini, const QString& section, QStringList& list, const QString& keyPrefix,
                 int maxCount, bool quote);
void WriteHistory(TMemIniFile& ini, const QString& section, const QStringList& list, const QString& keyPrefix,
                  int maxCount, bool erase, bool quote);

// Writing keeps the encoding the file was found in.
bool ReadHistoryFile(const QString& fileName, const QString& section, QStringList& list, int maxCount, bool quote,
                     bool* sectionFound = nullptr, QString* errorText = nullptr);
bool WriteHistoryFile(const QString& fileName, const QString& section, const QStringList& list, int maxCount,
                      bool erase, bool quote, QString* errorText = nullptr);

// A bound of 0 or less means no bound.
void AddToHistory(QStringList& list, const QString& text, int bound);
inline void AddToHistory(QStringList& list, const QString& text)
{
    AddToHistory(list, text, MaxHistory);
}
