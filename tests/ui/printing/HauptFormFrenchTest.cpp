// The main window and its dialogs in French: every caption fits its control
// (the controls are placed for the English and German texts), and the texts
// come from the French catalogs. With MORVANE_SCREENSHOT_DIR set, each window
// is saved there as fr-NAME.png for a look at the result.

#include "printing/HauptForm.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "app/ToolkitTranslations.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/SelectDlg.h"
#include "dialogs/ShellDirDlg.h"
#include "printlists/FileListDlg.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testing_support;

namespace {

constexpr char kFakePrinter[] = "#!/bin/sh\n"
                                "case \"$*\" in *bad*) echo damaged >&2; exit 1 ;; esac\n"
                                "exit 0\n";

// The captions of window that do not fit their control, each with the
// width it needs and the width it has.
QStringList CutOff(const QWidget* window)
{
    QStringList cut;
    const auto report = [&](const QString& text, int need, int have) {
        if (have < need)
            cut << S("%1 (%2 > %3)").arg(text).arg(need).arg(have);
    };
    for (const QLabel* label : window->findChildren<QLabel*>()) {
        if (!label->isVisibleTo(window) || label->wordWrap() || label->text().isEmpty() ||
            Qt::mightBeRichText(label->text()))
            continue;
        int need = 0;
        for (const QString& line : label->text().split(u'\n'))
            need = std::max(need, label->fontMetrics().horizontalAdvance(QString(line).remove(u'&')));
        report(label->text(), need, label->contentsRect().width());
    }
    for (const QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
        if (!button->isVisibleTo(window) || button->text().isEmpty())
            continue;
        // The caption, an icon beside it and a little room on either side; a
        // check box's mark counts as an icon.
        const bool mark = qobject_cast<const QCheckBox*>(button) != nullptr;
        const auto* tool = qobject_cast<const QToolButton*>(button);
        const bool under = tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon;
        const int icon = (button->icon().isNull() && !mark) || under ? 0 : button->iconSize().width() + 4;
        report(button->text(),
               button->fontMetrics().horizontalAdvance(QString(button->text()).remove(u'&')) + icon + 8,
               button->width());
    }
    for (const QGroupBox* box : window->findChildren<QGroupBox*>())
        if (box->isVisibleTo(window) && !box->title().isEmpty())
            report(box->title(), box->fontMetrics().horizontalAdvance(box->title()) + 16, box->width());
    return cut;
}

class FrenchWindow : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        // The build puts the compiled catalogs below the program's folder.
        SetExecutableName(QStringLiteral(MORVANE_BINARY_DIR "/src/morvane"));
        InitGnuGetText();
        AddDomainForToolkitTexts(QString::fromLatin1(ToolkitDomain));
        UseLanguage(QStringLiteral("fr"));
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid() && docs.isValid());
        program = home.filePath(S(".local/share/morvane-printpdf"));
        ASSERT_TRUE(WriteScript(program, kFakePrinter));
        TMainSettings settings;
        settings.Sumatra = program;
        QDir().mkpath(home.filePath(S(".config")));
        ASSERT_TRUE(WriteMainSettings(home.filePath(S(".config/")) + ExeBaseName + S(".ini"), settings));
        MsgDialogTestSeam::Clear();
        SelectDialogTestSeam::Clear();
        ShellDirDialogTestSeam::Clear();
        form = std::make_unique<THauptForm>(QStringList());
        form->show();
        QApplication::processEvents();
    }

    void TearDown() override
    {
        form.reset();
        MsgDialogTestSeam::Clear();
        ShellDirDialogTestSeam::Clear();
    }

    // Clicks button and looks at the modal window it opens: its title, and
    // what does not fit; then answers it (default: closes it).
    QString InDialog(
        QAbstractButton* button, const char* name, QStringList& cut,
        const std::function<void(QDialog*)>& answer = [](QDialog* d) { d->reject(); })
    {
        return InDialog([button] { button->click(); }, name, cut, answer);
    }

    QString InDialog(const std::function<void()>& open, const char* name, QStringList& cut,
                     const std::function<void(QDialog*)>& answer)
    {
        QString title;
        // Polled: a dialog may fill itself before it turns modal.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (!dialog || !dialog->isVisible())
                return;
            poll.stop();
            title = dialog->windowTitle();
            cut << CutOff(dialog);
            Save(dialog, name);
            answer(dialog);
        });
        poll.start(10);
        open();
        EXPECT_FALSE(title.isEmpty() && poll.isActive()) << name << " showed no dialog";
        return title;
    }

    static void Save(QWidget* window, const char* name)
    {
        const QByteArray dir = qgetenv("MORVANE_SCREENSHOT_DIR");
        if (!dir.isEmpty()) {
            QApplication::processEvents();
            EXPECT_TRUE(window->grab().save(QString::fromUtf8(dir) + S("/fr-") + S(name) + S(".png")));
        }
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

TEST_F(FrenchWindow, EveryCaptionFitsInTheWindowAndItsDialogs)
{
    THauptForm* f = form.get();
    EXPECT_EQ(f->btnProcess->text(), S("Imprimer"));
    EXPECT_EQ(f->chbSubDir->text(), S("Inclure les sous-dossiers"));
    QStringList cut = CutOff(f);
    EXPECT_LE(f->lblPrintSettings->geometry().right(), f->cxPrinter->geometry().right());
    Save(f, "main-window");
    f->SetPrintSettings(S("2-3,duplex,paper=a4,monochrome,landscape"));
    EXPECT_EQ(f->lblPrintSettings->toolTip().section(u'\n', 0, 0),
              S("pages 2-3 · recto verso · A4 · noir et blanc · paysage"));
    Save(f, "main-window-settings");

    ASSERT_TRUE(WriteFile(docs.filePath(S("a.pdf")), MakePdf(3)));
    ASSERT_TRUE(WriteFile(docs.filePath(S("bad.pdf")), MakePdf(1)));
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    EXPECT_EQ(InDialog(f->btnPrintSettings, "print-settings", cut), S("Réglages d’impression pour PDF"));
    EXPECT_FALSE(InDialog(f->btnPreview, "preview", cut).isEmpty());
    InDialog(f->InfoBtn, "about", cut);

    TFileListDialog lists;
    FileListDialog = &lists;
    EXPECT_EQ(InDialog(f->btnNew, "print-list-editor", cut), S("Créer une liste d’impression"));
    FileListDialog = nullptr;
    TShellDirDialog folders;
    ShellDirDialog = &folders;
    EXPECT_EQ(InDialog(f->SourceSelectBtn, "folder-picker", cut), S("Dossier des fichiers à imprimer"));
    ShellDirDialog = nullptr;

    // A run with a failure: the status line, then the list of files not printed.
    f->SetPausePerFile(0);
    const QString box = InDialog(
        [f] {
            f->btnProcess->click();
            EXPECT_TRUE(QTest::qWaitFor([f] { return !f->Printing; }, 10000));
        },
        "failure-prompt", cut,
        [](QDialog* d) {
            for (QAbstractButton* b : d->findChildren<QAbstractButton*>())
                if (b->text().remove(u'&') == S("Ignorer"))
                    return b->click();
            ADD_FAILURE() << "no Ignorer button";
            d->reject();
        });
    EXPECT_FALSE(box.isEmpty());
    EXPECT_EQ(f->StatusText(), S(" 1 fichier imprimé · 1 en échec"));
    cut << CutOff(f);
    Save(f, "main-window-run");
    EXPECT_EQ(InDialog(f->btnFailures, "failure-list", cut), S("Fichiers non imprimés"));

    EXPECT_TRUE(cut.isEmpty()) << cut.join(S(" | ")).toStdString();
}

} // namespace
