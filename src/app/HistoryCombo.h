#pragma once

#include <QString>

class QComboBox;

// Histories of editable combo boxes, stored with the routines of Histories.
// LoadHistory gives a box with at most one item the look of a plain edit
// field (no drop-down button, no drop-down keys), which stays when items are
// added later; that look is a proxy style the box owns. The history is
// offered while typing as a list below the field, never completed inline.

// maxCount 0 means the box's drop-down count (maxVisibleItems). The style is
// set even when the file cannot be read.
bool LoadHistory(const QString& iniName, const QString& section, QComboBox* box, int maxCount = 0, bool quote = false,
                 QString* errorText = nullptr);
bool SaveHistory(const QString& iniName, const QString& section, bool erase, QComboBox* box, int maxCount = 0,
                 bool quote = false, QString* errorText = nullptr);

// The box's edit text stays as it was.
void AddToHistory(QComboBox* box, const QString& text);
void AddToHistory(QComboBox* box, const QString& text, int bound);

void SetHistoryBoxDropDown(QComboBox* box, bool dropDown);
bool HistoryBoxHasDropDown(const QComboBox* box);
