// The main window in German: what it says about a run comes from the catalog
// too, not only its captions.

#include "printing/HauptForm.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"
#include "app/ToolkitTranslations.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/SelectDlg.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

// Logs each call, fails for "bad" files and takes a moment for "slow" ones.
constexpr char kFakePrinter[] = "#!/bin/sh\n"
                                "echo \"$3\" >> \"$0.log\"\n"
                                "case \"$3\" in *slow*) sleep 0.3 ;; esac\n"
                                "case \"$3\" in *bad*) echo damaged >&2; exit 1 ;; esac\n"
                                "exit 0\n";

class GermanWindow : public ::testing::Test
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

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid() && docs.isValid());
        program = home.filePath(S(".local/share/morvane-printpdf"));
        ASSERT_TRUE(WriteScript(program, kFakePrinter));
        // The built print program beside the catalogs would be found first.
        TMainSettings settings;
        settings.Sumatra = program;
        QDir().mkpath(home.filePath(S(".config")));
        ASSERT_TRUE(WriteMainSettings(home.filePath(S(".config/")) + ExeBaseName + S(".ini"), settings));
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
        SelectDialogTestSeam::Clear();
        SelectDialogTestSeam::SetStrict(true);
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
        EXPECT_TRUE(SelectDialogTestSeam::UnexpectedQuestions().isEmpty());
        MsgDialogTestSeam::Clear();
        SelectDialogTestSeam::Clear();
    }

    QTemporaryDir home;
    QTemporaryDir docs;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedPrinters printers{{S("Archive"), S("PDF")}, S("PDF")};
    QString program;
    std::unique_ptr<THauptForm> form;
};

TEST_F(GermanWindow, RunTextsListAndQuestionsAreGerman)
{
    for (const char* name : {"1slow.pdf", "2bad.pdf", "3slow.pdf"})
        ASSERT_TRUE(WriteFile(docs.filePath(S(name)), "%PDF-1.4\n"));
    form = std::make_unique<THauptForm>(QStringList());
    form->SetPausePerFile(0);
    form->show();
    THauptForm* f = form.get();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf;fehlt.pdf"));
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    SelectDialogTestSeam::PushAnswer(1); // print to the end, then quit
    QString progress;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // The bar moves when the window has taken the first file's end from the run's thread.
        if (f->Printing && progress.isEmpty() && !f->RunProgress->text().startsWith(S("0 ")))
            progress = f->RunProgress->text();
        if (!progress.isEmpty() && f->Printing) {
            poll.stop();
            f->close();
        }
    });
    poll.start(5);
    f->btnProcess->click();
    EXPECT_EQ(progress, S("1 von 3"));
    EXPECT_EQ(f->StatusText(), S(" Es wurden 2 Dateien gedruckt · 1 fehlgeschlagen, 1 nicht gefunden"));
    ASSERT_EQ(SelectDialogTestSeam::AnsweredQuestions().size(), 1);
    const auto question = SelectDialogTestSeam::AnsweredQuestions()[0];
    EXPECT_EQ(question.Caption, S("Es werden noch Dateien gedruckt."));
    EXPECT_EQ(question.Buttons, (QStringList{S("Nach der aktuellen Datei anhalten und beenden"),
                                             S("Weiterdrucken und am Ende beenden")}));
    EXPECT_EQ(f->btnFailures->text(), S("Fehler…"));

    QStringList headers;
    QStringList results;
    QString saveCaption;
    QTimer::singleShot(0, f, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        auto* list = dialog->findChild<QTreeWidget*>();
        for (int c = 0; list && c < list->columnCount(); ++c)
            headers << list->headerItem()->text(c);
        for (int i = 0; list && i < list->topLevelItemCount(); ++i)
            results << list->topLevelItem(i)->text(2);
        saveCaption = dialog->findChild<QPushButton*>(S("btnSaveReport"))->text();
        dialog->reject();
    });
    f->btnFailures->click();
    EXPECT_EQ(headers, (QStringList{S("Datei"), S("Exemplar"), S("Ergebnis"), S("Grund")}));
    EXPECT_EQ(results, (QStringList{S("nicht gefunden"), S("fehlgeschlagen")}));
    EXPECT_EQ(saveCaption, S("Bericht speichern…"));
}

TEST_F(GermanWindow, NothingPrintedAndAGonePrinterAreSaidInGerman)
{
    form = std::make_unique<THauptForm>(QStringList());
    form->show();
    THauptForm* f = form.get();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(QString());
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S(" Es wurden keine Dateien gedruckt · Das Feld für die Dateinamen ist leer"));
    f->cxPrinter->setCurrentText(S("Archive"));
    f->cxPrinterCloseUp();
    PrinterTestSeam::Install({S("PDF")}, S("PDF"));
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S("Drucker Archive ist nicht verfügbar; es wird PDF verwendet"));
}

TEST_F(GermanWindow, PrintSettingsAndPreviewAreGerman)
{
    ASSERT_TRUE(WriteFile(docs.filePath(S("a.pdf")), MakePdf(3)));
    form = std::make_unique<THauptForm>(QStringList());
    form->show();
    EXPECT_EQ(form->btnPrintSettings->text(), S("Druckeinstellungen…"));
    EXPECT_EQ(form->btnPreview->text(), S("Vorschau"));
    EXPECT_EQ(form->lblPrintSettings->text(), S("Vorgaben des Druckers"));
    // The buttons are wide enough for their German captions, the summary stays within the window.
    for (const QPushButton* button : {form->btnPrintSettings, form->btnPreview})
        EXPECT_GE(button->width(), button->sizeHint().width());
    EXPECT_LE(form->lblPrintSettings->geometry().right(), form->cxPrinter->geometry().right());
    form->SetPrintSettings(S("2-3,duplex,paper=a4,monochrome"));
    EXPECT_EQ(form->lblPrintSettings->toolTip().section(u'\n', 0, 0), S("Seiten 2-3 · beidseitig · A4 · schwarzweiß"));

    QStringList labels;
    QTimer::singleShot(0, form.get(), [&] {
        auto* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        for (const QLabel* label : dialog->findChildren<QLabel*>())
            if (!label->text().isEmpty())
                labels << label->text();
        static_cast<QDialog*>(dialog)->reject();
    });
    form->btnPrintSettings->click();
    EXPECT_TRUE(labels.contains(S("Ein-/beidseitig:")) && labels.contains(S("Papierformat:")))
        << labels.join(u'|').toStdString();

    QString total;
    QTimer::singleShot(0, form.get(), [&] {
        auto* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        total = dialog->findChild<QLabel*>(S("lblPreviewTotal"))->text();
        static_cast<QDialog*>(dialog)->reject();
    });
    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(S("a.pdf"));
    form->btnPreview->click();
    EXPECT_EQ(total, S("1 Datei · 2 Seiten · 1 Blatt · 1 Kopie"));
}

} // namespace
