#pragma once

#include <QString>
#include <QStringList>

class QComboBox;

// Histories of editable combo boxes, stored with the routines of Histories.
// A history box can look like a plain edit field (no drop-down button, no
// drop-down keys); that look is a proxy style the box owns. LoadHistory gives
// it to a box with at most one item, and it stays when items are added later;
// a loaded history is offered while typing as a list below the field, never
// completed inline. Other boxes choose the look with SetHistoryBoxDropDown.

// maxCount 0 means the box's drop-down count (maxVisibleItems). The style is
// set even when the file cannot be read.
bool LoadHistory(const QString& iniName, const QString& section, QComboBox* box, int maxCount = 0, bool quote = false,
                 QString* errorText = nullptr);
bool SaveHistory(const QString& iniName, const QString& section, bool erase, QComboBox* box, int maxCount = 0,
                 bool quote = false, QString* errorText = nullptr);

// The box's edit text stays as it was.
void AddToHistory(QComboBox* box, const QString& text);
void AddToHistory(QComboBox* box, const QString& text, int bound);

// Replaces the items, keeping the edit text and selecting none; signals nothing.
void SetHistoryItems(QComboBox* box, const QStringList& items);

void SetHistoryBoxDropDown(QComboBox* box, bool dropDown);
bool HistoryBoxHasDropDown(const QComboBox* box);
