// The window's print settings, its preview, and files that come from the file
// manager or are dropped onto it: real widgets with a fixed printer list and
// a stand-in print program.

#include "printing/HauptForm.h"

#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "dialogs/MsgDialogs.h"
#include "platform/Printers.h"
#include "printing/PrintSettingsDlg.h"
#include "printlists/PrintList.h"
#include "support/ModalHelper.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

// Logs the settings and the file of each call; a file named "short" has no
// page in the range (the print program's code 6).
constexpr char kFakePrinter[] = "#!/bin/sh\n"
                                "echo \"$*\" >> \"$0.log\"\n"
                                "case \"$*\" in *short*) exit 6 ;; esac\n"
                                "exit 0\n";

// Archive says it prints one side in monochrome only; PDF can do everything.
TPrinterCapabilities FullPrinter()
{
    TPrinterCapabilities caps;
    caps.Sides = {S("one-sided"), S("two-sided-long-edge"), S("two-sided-short-edge")};
    caps.Media = {S("iso_a4_210x297mm"), S("na_letter_8.5x11in")};
    caps.ColorModes = {S("monochrome"), S("color")};
    caps.Sources = {S("tray-1"), S("manual")};
    caps.Scaling = {S("auto"), S("fit"), S("none")};
    caps.Orientations = {S("3"), S("4")};
    return caps;
}

TPrinterCapabilities SimplexMonoPrinter()
{
    TPrinterCapabilities caps = FullPrinter();
    caps.Sides = {S("one-sided")};
    caps.ColorModes = {S("monochrome")};
    return caps;
}

class HauptFormSettings : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        fakeProgram = home.filePath(S(".local/share/morvane-printpdf"));
        ASSERT_TRUE(WriteScript(fakeProgram, kFakePrinter));
        PrinterTestSeam::InstallCapabilities(S("PDF"), FullPrinter());
        PrinterTestSeam::InstallCapabilities(S("Archive"), SimplexMonoPrinter());
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
        EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers());
        MsgDialogTestSeam::Clear();
    }

    THauptForm* Start(const QStringList& arguments = {})
    {
        form = std::make_unique<THauptForm>(arguments);
        form->SetPausePerFile(0);
        form->show();
        return form.get();
    }

    // Opens the settings dialog from the window, lets `act` work in it and
    // returns once it has closed.
    void InSettingsDialog(const std::function<void(TPrintSettingsDialog*)>& act)
    {
        bool ran = false;
        WhenModalShown([&](QWidget* modal) {
            auto* dialog = qobject_cast<TPrintSettingsDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            act(dialog);
            ran = true;
            if (dialog->isVisible())
                dialog->reject();
        });
        form->btnPrintSettings->click();
        EXPECT_TRUE(ran);
    }

    QString Summary() const { return form->lblPrintSettings->toolTip().section(u'\n', 0, 0); }
    QString IniFile() const { return home.filePath(S(".config/") + ExeBaseName + S(".ini")); }
    QStringList Log() const
    {
        return QString::fromUtf8(ReadFile(fakeProgram + S(".log"))).split(u'\n', Qt::SkipEmptyParts);
    }
    QString Doc(const QString& name) const { return docs.filePath(name); }
    void Write(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(WriteFile(docs.filePath(name), bytes)); }

    QTemporaryDir home;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedPrinters printers{{S("Archive"), S("PDF")}, S("PDF")};
    QTemporaryDir docs;
    QString fakeProgram;
    std::unique_ptr<THauptForm> form;
};

// With MORVANE_SCREENSHOT_DIR set, the README's picture of a dialog.
void SaveScreenshot(QWidget* dialog, const char* name)
{
    const QByteArray dir = qgetenv("MORVANE_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        QApplication::processEvents();
        EXPECT_TRUE(dialog->grab().save(QString::fromUtf8(dir) + u'/' + S(name)));
    }
}

bool RowShown(TPrintSettingsDialog* dialog, QWidget* field)
{
    auto* form = dialog->findChild<QFormLayout*>();
    return form && form->isRowVisible(field);
}

TEST_F(HauptFormSettings, DialogValuesGoThroughTheSettingsFileAndBackAndARefusedListIsNotTaken)
{
    Start();
    // The new buttons come after the earlier controls in the tab order, which stays as it was.
    const QList<QWidget*> tabOrder = {form->SourceDirEdit, form->FileEdit,  form->KopAnz,           form->chbSubDir,
                                      form->btnProcess,    form->EndeBtn,   form->InfoBtn,          form->btnEdit,
                                      form->btnNew,        form->cxPrinter, form->btnPrintSettings, form->btnPreview};
    QList<QWidget*> chain;
    for (QWidget* w = form->SourceDirEdit; chain.size() < tabOrder.size(); w = w->nextInFocusChain())
        if (tabOrder.contains(w) && !chain.contains(w))
            chain << w;
    EXPECT_EQ(chain, tabOrder);
    EXPECT_EQ(Summary(), S("printer defaults"));
    InSettingsDialog([](TPrintSettingsDialog* d) {
        EXPECT_EQ(d->windowTitle(), S("Print settings for PDF"));
        // Only the sizes the printer names are offered.
        EXPECT_EQ(Items(*d->cbxPaper), (QStringList{S("Printer default"), S("A4"), S("Letter")}));
        d->edtPages->setText(S("2-3"));
        d->cbxPageSet->setCurrentText(S("Odd pages"));
        d->cbxSides->setCurrentText(S("Both sides, long edge"));
        d->cbxPaper->setCurrentText(S("A4"));
        d->cbxScaling->setCurrentText(S("Fit to the paper"));
        d->cbxColor->setCurrentText(S("Monochrome"));
        d->cbxTray->setCurrentText(S("tray-1"));
        d->cbxOrientation->setCurrentText(S("Landscape"));
        d->edtOther->setText(S("copies=2"));
        SaveScreenshot(d, "print-settings.png");
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        EXPECT_FALSE(d->isVisible());
    });
    const QString list = S("2-3,odd,duplexlong,paper=A4,fit,monochrome,bin=tray-1,landscape,copies=2");
    EXPECT_EQ(form->PrintSettingsList, list);
    EXPECT_EQ(Summary(), S("pages 2-3 · odd pages · both sides · A4 · fit to the paper · mono · tray tray-1 · "
                           "landscape · copies=2"));

    form.reset();
    EXPECT_EQ(ReadMainSettings(IniFile(), TMainSettings()).PrintSettings, list);
    Start();
    EXPECT_EQ(form->PrintSettingsList, list);
    InSettingsDialog([](TPrintSettingsDialog* d) {
        EXPECT_EQ(d->edtPages->text(), S("2-3"));
        EXPECT_EQ(d->cbxPageSet->currentText(), S("Odd pages"));
        EXPECT_EQ(d->cbxSides->currentText(), S("Both sides, long edge"));
        EXPECT_EQ(d->cbxPaper->currentText(), S("A4"));
        EXPECT_EQ(d->cbxScaling->currentText(), S("Fit to the paper"));
        EXPECT_EQ(d->cbxColor->currentText(), S("Monochrome"));
        EXPECT_EQ(d->cbxTray->currentText(), S("tray-1"));
        EXPECT_EQ(d->cbxOrientation->currentText(), S("Landscape"));
        EXPECT_EQ(d->edtOther->text(), S("copies=2"));
        // What the print program would refuse keeps the dialog open with the parser's reason.
        d->edtPages->setText(S("2-x"));
        QTest::mouseClick(d->Buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        EXPECT_TRUE(d->isVisible());
        EXPECT_TRUE(d->lblError->isVisible());
        EXPECT_EQ(d->lblError->text(), S("These settings cannot be used: unknown print setting \"2-x\""));
    });
    EXPECT_EQ(form->PrintSettingsList, list);

    // A hand-edited settings file with a list the parser refuses: the run does not start.
    form.reset();
    TMainSettings settings = ReadMainSettings(IniFile(), TMainSettings());
    settings.PrintSettings = S("2-3,duplex,simplex");
    ASSERT_TRUE(WriteMainSettings(IniFile(), settings));
    Write(S("a.pdf"), MakePdf(3));
    Start();
    EXPECT_EQ(Summary(), S("not usable: 2-3,duplex,simplex"));
    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(S("*.pdf"));
    MsgDialogTestSeam::PushAnswer(mrOk);
    form->btnProcess->click();
    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
    EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes()[0].Msg,
              S("The print settings cannot be used: \"simplex\" contradicts \"duplex\""));
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(HauptFormSettings, ThePrinterChoiceDecidesWhatTheDialogOffersAndTheRunHandsOn)
{
    Start();
    form->cxPrinter->setCurrentText(S("Archive"));
    form->cxPrinterCloseUp();
    form->SetPrintSettings(S("duplex,2-3,monochrome"));
    InSettingsDialog([](TPrintSettingsDialog* d) {
        // No second side and no colour to choose: those rows are not shown,
        // and the duplex the list asks for stays with the further settings.
        EXPECT_FALSE(RowShown(d, d->cbxSides));
        EXPECT_FALSE(RowShown(d, d->cbxColor));
        EXPECT_TRUE(RowShown(d, d->cbxPaper));
        EXPECT_EQ(d->edtPages->text(), S("2-3"));
        EXPECT_EQ(d->edtOther->text(), S("duplex,monochrome"));
        EXPECT_EQ(d->List(), S("2-3,duplex,monochrome"));
    });
    form->cxPrinter->setCurrentText(S("PDF"));
    form->cxPrinterCloseUp();
    InSettingsDialog([](TPrintSettingsDialog* d) {
        EXPECT_TRUE(RowShown(d, d->cbxSides));
        EXPECT_TRUE(RowShown(d, d->cbxColor));
        EXPECT_EQ(d->cbxSides->currentText(), S("Both sides, long edge"));
        EXPECT_EQ(d->edtOther->text(), QString());
        EXPECT_EQ(d->List(), S("2-3,duplexlong,monochrome"));
    });

    // The list goes to the print program as morvane-batch hands it over.
    // A file of which the range leaves nothing is counted as skipped, not as printed.
    Write(S("a.pdf"), MakePdf(3));
    Write(S("short.pdf"), MakePdf(1));
    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(S("a.pdf;short.pdf"));
    form->btnProcess->click();
    EXPECT_EQ(Log(), (QStringList{S("-print-to PDF -print-settings duplex,2-3,monochrome ") + Doc(S("a.pdf")),
                                  S("-print-to PDF -print-settings duplex,2-3,monochrome ") + Doc(S("short.pdf"))}));
    EXPECT_EQ(form->StatusText(), S(" 1 file printed · 1 skipped"));
    ASSERT_EQ(form->RunEntries().size(), 2);
    EXPECT_EQ(form->RunEntries()[1].Result, TRecordResult::Skipped);
}

TEST_F(HauptFormSettings, PreviewCountsPagesSheetsAndCopiesAndNamesWhatCannotBePrinted)
{
    Write(S("Invoices/a.pdf"), MakePdf(5));
    Write(S("Invoices/b.pdf"), MakePdf(1));
    Write(S("Invoices/c.pdf"), MakePdf(3));
    Write(S("Invoices/d.pdf"), MakePdf(PdfSpec{2, false}));
    Write(S("Invoices/e.pdf"), "%PDF-1.4\nnot really\n%%EOF\n");
    Write(S("Invoices/f.pdf"), MakePdf(9));
    Write(S("Invoices/g.pdf"), MakePdf(2).chopped(40)); // cut short while copied
    Write(S("Invoices/list.pbt"), "a.pdf\r\ngone.pdf\r\n");
    // An office document is not converted for a count; LibreOffice only has to be there.
    Write(S("Invoices/h.docx"), QByteArray("PK\x05\x06", 4) + QByteArray(18, '\0'));
    Write(S("bin/soffice"), "#!/bin/sh\nexit 1\n");
    ASSERT_TRUE(QFile::setPermissions(Doc(S("bin/soffice")), QFile::ReadOwner | QFile::ExeOwner));
    const ScopedEnv pathEnv{"PATH", Doc(S("bin")).toUtf8() + ":/usr/bin:/bin"};
    Start();
    form->SourceDirEdit->setEditText(Doc(S("Invoices")));
    form->FileEdit->setEditText(S("*.pdf;*.docx;list.pbt"));
    form->KopAnz->setValue(2);
    form->SetPrintSettings(S("2-3,duplex,4up"));

    QList<QStringList> rows;
    QString total;
    WhenModalShown([&](QWidget* modal) {
        auto* list = modal->findChild<QTreeWidget*>(S("lvPreview"));
        for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
            QStringList row;
            for (int c = 0; c < 5; ++c)
                row << list->topLevelItem(i)->text(c);
            rows << row;
        }
        total = modal->findChild<QLabel*>(S("lblPreviewTotal"))->text();
        SaveScreenshot(modal, "preview.png");
        modal->findChild<QPushButton*>(S("btnClose"))->click();
    });
    form->btnPreview->click();

    // Pages 2-3, four per sheet side, both sides: one sheet per copy; two copies.
    const QList<QStringList> expected = {
        {Doc(S("Invoices/a.pdf")), S("5"), S("2"), S("2"), S("")},
        {Doc(S("Invoices/b.pdf")), S("1"), S(""), S(""), S("cannot be printed: no page in the page range")},
        {Doc(S("Invoices/c.pdf")), S("3"), S("2"), S("2"), S("")},
        {Doc(S("Invoices/d.pdf")), S(""), S(""), S(""), S("cannot be printed: does not allow printing")},
        {Doc(S("Invoices/e.pdf")), S(""), S(""), S(""), S("cannot be printed: not a PDF file or damaged")},
        {Doc(S("Invoices/f.pdf")), S("9"), S("2"), S("2"), S("")},
        {Doc(S("Invoices/g.pdf")), S(""), S(""), S(""), S("cannot be printed: not a PDF file or incomplete")},
        {Doc(S("Invoices/h.docx")), S(""), S(""), S(""),
         S("office document: its pages are counted when LibreOffice converts it")},
        {Doc(S("Invoices/a.pdf")), S(""), S(""), S(""),
         Doc(S("Invoices/list.pbt")) + S(", line 1: \"a.pdf\" is already listed")},
        {Doc(S("Invoices/gone.pdf")), S(""), S(""), S(""),
         Doc(S("Invoices/list.pbt")) + S(", line 2: \"gone.pdf\" names no existing file")},
    };
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(total,
              S("8 files · 6 pages · 6 sheets · 2 copies · 4 cannot be printed · 1 office document not counted · "
                "1 left out as named twice · 1 not found"));
    EXPECT_TRUE(Log().isEmpty());
}

TEST_F(HauptFormSettings, FilesFromTheFileManagerAndFromADropFillTheFields)
{
    Write(S("one/a.pdf"), MakePdf(1));
    Write(S("one/b.pdf"), MakePdf(1));
    Write(S("one/c.pdf"), MakePdf(1));
    Write(S("two/d.pdf"), MakePdf(1));
    Write(S("two/notes.txt"), "text");

    // Files of one folder: that folder and their names.
    Start({S("-lang:en"), Doc(S("one/a.pdf")), Doc(S("one/b.pdf")), Doc(S("one/c.pdf"))});
    EXPECT_EQ(form->SourceDirEdit->currentText(), Doc(S("one/")));
    EXPECT_EQ(form->FileEdit->currentText(), S("a.pdf;b.pdf;c.pdf"));

    // Files of two folders: a print list in the user's data folder names
    // them, and the files of a print list among them.
    Write(S("two/more.pbt"), "../one/c.pdf\r\n\r\nd.pdf\r\n");
    Start({Doc(S("one/b.pdf")), Doc(S("two/d.pdf")), Doc(S("two/more.pbt"))});
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + u'/';
    EXPECT_TRUE(dataDir.startsWith(home.path() + S("/.local/share/"))) << dataDir.toStdString();
    EXPECT_EQ(form->SourceDirEdit->currentText(), dataDir);
    const QString listName = form->FileEdit->currentText();
    EXPECT_TRUE(listName.startsWith(S("selection-")) && listName.endsWith(S(".pbt"))) << listName.toStdString();
    QStringList entries;
    ASSERT_TRUE(ReadPrintList(dataDir + listName, entries));
    // The list's d.pdf is the one selected, listed once.
    EXPECT_EQ(entries, (QStringList{Doc(S("one/b.pdf")), Doc(S("two/d.pdf")), Doc(S("one/c.pdf"))}));
    form->btnProcess->click();
    EXPECT_EQ(Log(), (QStringList{S("-print-to PDF ") + Doc(S("one/b.pdf")), S("-print-to PDF ") + Doc(S("two/d.pdf")),
                                  S("-print-to PDF ") + Doc(S("one/c.pdf"))}));

    // Dropped: files of one folder onto the window (the text file is passed
    // over), then a folder onto the directory field, which keeps the names.
    const auto drop = [](QWidget* target, const QStringList& paths) {
        QMimeData data;
        QList<QUrl> urls;
        for (const QString& path : paths)
            urls << QUrl::fromLocalFile(path);
        data.setUrls(urls);
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &dropped);
        EXPECT_TRUE(dropped.isAccepted());
    };
    drop(form.get(), {Doc(S("one/a.pdf")), Doc(S("one/c.pdf")), Doc(S("two/notes.txt"))});
    EXPECT_EQ(form->SourceDirEdit->currentText(), Doc(S("one/")));
    EXPECT_EQ(form->FileEdit->currentText(), S("a.pdf;c.pdf"));
    drop(form->SourceDirEdit->lineEdit(), {Doc(S("two"))});
    EXPECT_EQ(form->SourceDirEdit->currentText(), Doc(S("two/")));
    EXPECT_EQ(form->FileEdit->currentText(), S("a.pdf;c.pdf"));
}

} // namespace
