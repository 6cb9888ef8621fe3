// Test helper: runs the program's language set-up exactly as the program
// entry does, then prints the language, the configuration file and a few
// lookups, one "name=value" per line (CR and LF written as \r and \n).
// The language can be switched once per process, hence a process per case.

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/LangUtils.h"

#include <QCoreApplication>

#include <cstdio>

namespace {

void Print(const char* name, const QString& value)
{
    QString text = value;
    text.replace(u'\r', QStringLiteral("\\r")).replace(u'\n', QStringLiteral("\\n"));
    const QByteArray bytes = text.toUtf8();
    std::printf("%s=%s\n", name, bytes.constData());
}

} // namespace

int main(int argc, char* argv[])
{
    InitProgModule();
    InitGnuGetText();
    SetCatalogNoticeHandler([](const QString& text) { Print("notice", text); });
    InitLanguage({}, {}, {QString::fromLatin1(ToolkitDomain)});
    // Resets the locale from the environment, as the application object does.
    QCoreApplication app(argc, argv);

    Print("language", GetCurrentLanguage());
    Print("cfg", CfgName);
    Print("default", TrDefault("Print"));
    Print("multiline", TrDefault("File: %s\r\ncould not be printed!"));
    Print("dialogs", TrDialogs("Cancel"));
    Print("toolkit", TrToolkit("&Yes"));
    Print("missing", TrDefault("No such text"));
    std::fflush(stdout);
    return 0;
}
