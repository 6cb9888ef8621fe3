#pragma once

#include <QString>

// The main window's own values in the settings file, section "Config".

struct TMainSettings
{
    int Left = 354;
    int Top = 247;
    QString Sumatra;
    QString Printer;
    bool Subdirectories = false;
    // The window's print settings list (-print-settings of the print
    // program); empty: the printer's defaults. A key of its own after the
    // five above, which older readers pass over.
    QString PrintSettings;
};

// Gives `defaults` and sets *errorText when the file cannot be read.
TMainSettings ReadMainSettings(const QString& iniName, const TMainSettings& defaults, QString* errorText = nullptr);
bool WriteMainSettings(const QString& iniName, const TMainSettings& settings, QString* errorText = nullptr);
