#include "printing/HauptForm.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"

THauptForm::THauptForm(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("HauptForm"));
    FormCreate();
}

THauptForm::~THauptForm() = default;

void THauptForm::FormCreate()
{
    InitPaths(AppPath, UserPath, ProgPath, true);
    IniName = ::IniName(AppPath);
    ProgramVersion(QStringLiteral("Ausdruck von PDF-Dateien"), QStringLiteral(" (Vers. 3.3)"),
                   QStringLiteral("Copyright (C) 2026 The Morvane developers"), 2, ProgVersName, ProgVersDate);
    setWindowTitle(QStringLiteral("Morvane - ") + VersionInfo.Comments);
    resize(381, 231);
}
