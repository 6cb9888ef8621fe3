#pragma once

#include <QString>

class QComboBox;

// Histories of editable combo boxes: the box's item list, newest first,
// stored in a section of the settings file (see IniFileUtils.h).
//
// A box filled by LoadHistory with at most one item looks like a plain edit
// field: its drop-down button is hidden and the drop-down keys do nothing,
// also when items are added later. With more items it is an editable
// drop-down box. The style is set only by LoadHistory (or
// SetHistoryBoxDropDown); for the plain look the box gets its own style, a
// proxy of the application style without the button.

// Fills the box from the section; maxCount 0 means the box's drop-down count
// (QComboBox::maxVisibleItems). The items are replaced only when the section
// has entries; the first item is then selected. False with an error text when
// the file exists but cannot be read (the box keeps its items, and its style
// is set all the same).
bool LoadHistory(const QString& iniName, const QString& section, QComboBox* box, int maxCount = 0, bool quote = false,
                 QString* errorText = nullptr);

// Writes the box's first maxCount items (0: the drop-down count) to the
// section, removing the section first when `erase` is set, and saves the file
// in the encoding it was found in. False with an error text on failure; the
// old file is then untouched.
bool SaveHistory(const QString& iniName, const QString& section, bool erase, QComboBox* box, int maxCount = 0,
                 bool quote = false, QString* errorText = nullptr);

// Puts text at the top of the box's items (see AddToHistory in
// IniFileUtils.h); the text in the box's edit field stays as it is.
void AddToHistory(QComboBox* box, const QString& text);
void AddToHistory(QComboBox* box, const QString& text, int bound);

// Editable drop-down box (true) or plain edit field without a button (false).
void SetHistoryBoxDropDown(QComboBox* box, bool dropDown);
// False while the box has the plain edit field look.
bool HistoryBoxHasDropDown(const QComboBox* box);
