#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/LangUtils.h"
#include "app/ToolkitTranslations.h"
#include "app/UnixSignals.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/ShellDirDlg.h"
#include "printing/HauptForm.h"
#include "printing/ShowText.h"
#include "printlists/FileListDlg.h"

#include <QApplication>

#include <cstdio>

namespace {

// Without any display Qt aborts with a terse message; say what to do instead.
bool HaveDisplay()
{
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM");
}

} // namespace

int main(int argc, char* argv[])
{
    InitProgModule();
    InitGnuGetText();
    InstallCatalogNoticeBox();
    if (!HaveDisplay()) {
        std::fputs("morvane: no display found (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                   "Start it under a virtual display instead:  xvfb-run -a morvane\n",
                   stderr);
        return 1;
    }
    // Before the application object exists: no window may show a text yet.
    InitLanguage({}, {}, {QString::fromLatin1(ToolkitDomain)});

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Morvane"));
    InstallToolkitTranslations(GetCurrentLanguage());
    // The menu entry's name: desktops match the window to its entry and icon.
    QApplication::setDesktopFileName(QStringLiteral("org.morvane.Morvane"));
    InstallProcessWindows();

    THauptForm mainForm(QApplication::arguments().mid(1));
    // The dialogs live as long as the program and are reused on every call.
    TShellDirDialog shellDirDialog(&mainForm);
    ShellDirDialog = &shellDirDialog;
    TFileListDialog fileListDialog(&mainForm);
    FileListDialog = &fileListDialog;
    UnixSignalWatcher signalWatcher([&mainForm](int) { mainForm.Terminate(); });
    mainForm.show();
    const int result = QApplication::exec();
    FileListDialog = nullptr;
    ShellDirDialog = nullptr;
    return result;
}
