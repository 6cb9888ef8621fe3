#pragma once

#include "platform/SysInfo.h"

#include <QString>
#include <QStringList>

// File name of the print-to program that hands PDF files to the spooler.
inline constexpr char PrintProgramName[] = "morvane-printpdf";

// Where the print-to program is looked for, in order: beside the executable,
// the 32-bit and 64-bit program folders, the user's local data folder.
QStringList PrintProgramCandidates(const QString& exePath, const QProcessEnvironment& env = CurrentEnvironment());

// The first candidate that exists as a file, or empty.
QString FindPrintProgram(const QString& exePath, const QProcessEnvironment& env = CurrentEnvironment());
