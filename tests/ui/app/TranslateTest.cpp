// German lookups inside one process: the language is switched once, in the
// first test that needs it; every case runs as its own ctest process anyway.

#include "app/TranslateWidgets.h"

#include "support/QStringPrinter.h"
#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/ToolkitTranslations.h"
#include "dialogs/FileDialogs.h"
#include "support/ModalHelper.h"
#include "util/FileIO.h"
#include "util/NumberUtils.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

class German : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The build puts the compiled catalogs below the program's folder.
        SetExecutableName(QStringLiteral(MORVANE_BINARY_DIR "/src/morvane"));
        InitGnuGetText();
        AddDomainForToolkitTexts(QString::fromLatin1(ToolkitDomain));
        UseLanguage(QStringLiteral("de"));
    }
};

struct TestWindow
{
    QDialog Dialog;
    QLabel* Label = new QLabel(QStringLiteral("Directory:"), &Dialog);
    QCheckBox* Check = new QCheckBox(QStringLiteral("Show files"), &Dialog);
    QPushButton* Button = new QPushButton(QStringLiteral("Cancel"), &Dialog);
    QGroupBox* Group = new QGroupBox(QStringLiteral("Delete directory"), &Dialog);
    QComboBox* Combo = new QComboBox(Group);
    QListWidget* List = new QListWidget(&Dialog);
    QAction* Action = new QAction(QStringLiteral("Create folder"), &Dialog);

    TestWindow()
    {
        Dialog.setWindowTitle(QStringLiteral("Select directory"));
        Dialog.setObjectName(QStringLiteral("Update"));
        Button->setToolTip(QStringLiteral("One folder up"));
        Label->setFont(QFont(QStringLiteral("Desktop")));
        Combo->addItems({QStringLiteral("Documents"), QStringLiteral("Not in any catalog")});
        List->addItem(QStringLiteral("Network"));
        Dialog.addAction(Action);
    }
};

} // namespace

TEST_F(German, WindowTranslatedWithItsDomain)
{
    TestWindow w;
    TranslateComponent(&w.Dialog, "dialogs");
    EXPECT_EQ(w.Dialog.windowTitle(), QStringLiteral("Verzeichnis auswählen"));
    EXPECT_EQ(w.Label->text(), QStringLiteral("Verzeichnis:"));
    EXPECT_EQ(w.Check->text(), QStringLiteral("Dateien anzeigen"));
    EXPECT_EQ(w.Button->text(), QStringLiteral("Abbrechen"));
    EXPECT_EQ(w.Button->toolTip(), QStringLiteral("Eine Ebene nach oben"));
    EXPECT_EQ(w.Group->title(), QStringLiteral("Verzeichnis löschen"));
    EXPECT_EQ(w.Combo->itemText(0), QStringLiteral("Dokumente"));
    EXPECT_EQ(w.Combo->itemText(1), QStringLiteral("Not in any catalog"));
    EXPECT_EQ(w.List->item(0)->text(), QStringLiteral("Netzwerk"));
    EXPECT_EQ(w.Action->text(), QStringLiteral("Verzeichnis erstellen"));
    // Names and fonts are no texts.
    EXPECT_EQ(w.Dialog.objectName(), QStringLiteral("Update"));
    EXPECT_EQ(w.Label->font().family(), QStringLiteral("Desktop"));
}

TEST_F(German, DomainsKeepTheirOwnTexts)
{
    TestWindow w;
    TranslateComponent(&w.Dialog, "default");
    EXPECT_EQ(w.Label->text(), QStringLiteral("Verzeichnis:")); // in both catalogs
    EXPECT_EQ(w.Check->text(), QStringLiteral("Show files"));
    EXPECT_EQ(TrDialogs("Print"), QStringLiteral("Print"));
    EXPECT_EQ(TrDefault("Print"), QStringLiteral("Drucken"));
    EXPECT_EQ(TrToolkit("&Yes"), QStringLiteral("&Ja"));
    EXPECT_EQ(TrToolkit("Cannot open file \"%s\"."), QStringLiteral("Datei \"%s\" kann nicht geöffnet werden."));
    EXPECT_EQ(TrToolkit("Print"), QStringLiteral("Drucken")); // "default" is asked first
    // The empty key would be the catalog's header.
    EXPECT_EQ(TrDefault(""), QString());
    EXPECT_EQ(TrDomain("no-such-domain", QStringLiteral("Print")), QStringLiteral("Print"));
}

// The lowest layer looks its texts up without knowing the catalogs: what the
// language switch installed reaches it.
TEST_F(German, LowestLayerTextsComeFromTheCatalogs)
{
    EXPECT_EQ(CannotOpenFileText(QStringLiteral("/x.ini"), QStringLiteral("Permission denied")),
              QStringLiteral("Datei \"/x.ini\" kann nicht geöffnet werden. Permission denied"));
    try {
        HexToInt64(QStringLiteral("xyz"));
        ADD_FAILURE() << "no error raised";
    } catch (const EConvertError& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("xyz ist kein gültiger Hexadezimalwert"));
    }
}

TEST_F(German, EveryTextOfTheMainWindowIsGerman)
{
    const char* keys[] = {"%u files printed",
                          "1 file printed",
                          "About the program",
                          "Batch files|*.%s",
                          "Copies",
                          "Create new print list",
                          "Create print list",
                          "Directory with files to print",
                          "Directory:",
                          "Edit print list",
                          "File names:",
                          "File: %s",
                          "File: %s\r\ncould not be printed!",
                          "Include subdirectories",
                          "Insert filename(s) or wildcards",
                          "Installation of Sumatra PDF required:",
                          "No file printed",
                          "No printer available!",
                          "of",
                          "PDF files|*.pdf",
                          "PDF files|*.pdf|Print list|*.%s",
                          "Print",
                          "Print list: %s not found!",
                          "Print list|*.%s",
                          "Printer:",
                          "Printing",
                          "Printing of PDF files",
                          "Programs|*.exe",
                          "Quit program",
                          "Seek for Sumatra PDF",
                          "Select directory with PDF files",
                          "Select files",
                          "Select files to print or print list",
                          "Select print list",
                          "Start printing",
                          "Stop",
                          "Stop printing",
                          "Sumatra PDF not found on this computer!\r\nPrinting of PDF files using this program is not "
                          "available!"};
    for (const char* key : keys)
        EXPECT_NE(TrDefault(key), QString::fromUtf8(key)) << key;
    EXPECT_EQ(TrDefault("Sumatra PDF not found on this computer!\r\nPrinting of PDF files using this program is not "
                        "available!"),
              QStringLiteral("Sumatra PDF wurde auf diesem Computer nicht gefunden!\r\n"
                             "Das Ausdrucken von PDF-Dateien mit diesem Programm ist nicht möglich!"));
    // A key written with a bare LF finds the same entry and comes back with CR LF.
    EXPECT_EQ(TrDefault("File: %s\ncould not be printed!"),
              QStringLiteral("Datei: %s\r\nkonnte nicht gedruckt werden!"));
}

TEST_F(German, ToolkitDialogsSpeakGermanOurCatalogsFirst)
{
    EXPECT_TRUE(InstallToolkitTranslations(GetCurrentLanguage()));
    QString lookIn, fileType, back;
    testing_support::WhenModalShown([&](QWidget* modal) {
        const auto label = [modal](const char* name) {
            const auto* l = modal->findChild<QLabel*>(QString::fromLatin1(name));
            return l ? l->text() : QString();
        };
        lookIn = label("lookInLabel");
        fileType = label("fileTypeLabel");
        if (const auto* button = modal->findChild<QToolButton*>(QStringLiteral("backButton")))
            back = button->toolTip();
        static_cast<QDialog*>(modal)->reject();
    });
    TFileDialogOptions options;
    options.Filter = QStringLiteral("PDF files|*.pdf");
    EXPECT_TRUE(OpenFileDialog(nullptr, options).isEmpty());
    EXPECT_EQ(lookIn, QStringLiteral("Suchen in:"));
    // Ours, where Qt's own says "Dateien des Typs:".
    EXPECT_EQ(fileType, QStringLiteral("Dateityp:"));
    // Only Qt's own translation has this one.
    EXPECT_EQ(back, QStringLiteral("Zurück"));
}
