#include "printing/HauptForm.h"

#include "app/HistoryCombo.h"
#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "support/QStringPrinter.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/SelectDlg.h"
#include "dialogs/ShellDirDlg.h"
#include "platform/Printers.h"
#include "support/TestSupport.h"
#include "util/NumberEd.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <memory>
#include <random>

using namespace testing_support;

namespace {

// A stand-in for the print-to program: logs its arguments and its process id,
// fails for files whose name contains "bad" (giving a reason on stderr after
// a blank line) or "silent" (without one) or "vanish" (as when the printer is
// gone), and takes a moment for files named "slow"; a file named "outage" finds
// the spooler away (exit 5) while the file "$0.away" exists.
constexpr char kFakePrinter[] =
    "#!/bin/sh\n"
    "echo $$ >> \"$0.pids\"\n"
    "echo \"$1|$2|$3|$(pwd)\" >> \"$0.log\"\n"
    "case \"$3\" in *slow*) sleep 0.3 ;; esac\n"
    "case \"$3\" in *silent*) exit 1 ;; esac\n"
    "case \"$3\" in *vanish*) echo \"no printer $2\" >&2; exit 4 ;; esac\n"
    "case \"$3\" in *outage*) [ -e \"$0.away\" ] && { echo 'cannot reach the print spooler' >&2; exit 5; } ;; esac\n"
    "case \"$3\" in *bad*) printf '\\n  %s is damaged \\nmore\\n' \"$3\" >&2; exit 1 ;; esac\n"
    "exit 0\n";

// The printers the window sees: the default is not the first one, and the
// other is not a queue of the test spooler, so that a list that came from
// CUPS would show.
const QStringList kPrinters = {S("Archive"), S("PDF")};
const QString kDefaultPrinter = S("PDF");

class HauptFormTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        fakeProgram = home.filePath(S(".local/share/morvane-printpdf"));
        ASSERT_TRUE(WriteScript(fakeProgram, kFakePrinter));
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
        FileDialogTestSeam::Clear();
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty())
            << MsgDialogTestSeam::UnexpectedBoxes().front().Msg.toStdString();
        EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers());
        EXPECT_FALSE(FileDialogTestSeam::HasPendingAnswers());
        MsgDialogTestSeam::Clear();
    }

    THauptForm* Start(const QStringList& arguments = {})
    {
        form = std::make_unique<THauptForm>(arguments);
        form->SetPausePerFile(0);
        form->show();
        return form.get();
    }

    QString IniFile() const { return home.filePath(S(".config/") + ExeBaseName + S(".ini")); }
    QStringList Log() const
    {
        return QString::fromUtf8(ReadFile(fakeProgram + S(".log"))).split(u'\n', Qt::SkipEmptyParts);
    }

    QTemporaryDir home;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedPrinters printers{kPrinters, kDefaultPrinter};
    QString fakeProgram;
    std::unique_ptr<THauptForm> form;
};

TEST_F(HauptFormTest, FirstStartWithoutSettingsFile)
{
    THauptForm* f = Start();
    EXPECT_EQ(f->windowTitle(), S("Morvane - Version 3.3"));
    // The menu entry's icon, in both pixel sizes the package installs.
    const QList<QSize> iconSizes = f->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(48, 48)) && iconSizes.contains(QSize(256, 256)));
    EXPECT_EQ(f->ProgVersName, S("Ausdruck von PDF-Dateien (Version 3.3)"));
    EXPECT_EQ(f->pos(), QPoint(354, 247));
    EXPECT_EQ(f->IniName,
              home.path() + S("/.config/") + QFileInfo(QCoreApplication::applicationFilePath()).baseName() + S(".ini"));
    EXPECT_EQ(Items(*f->cxPrinter), kPrinters);
    EXPECT_EQ(f->PrtName, kDefaultPrinter);
    EXPECT_EQ(f->cxPrinter->currentText(), kDefaultPrinter);
    EXPECT_EQ(f->SumatraPath, fakeProgram);
    EXPECT_EQ(f->btnProcess->text(), S("Print"));
    EXPECT_EQ(f->btnProcess->toolTip(), S("Start printing"));
    EXPECT_EQ(f->KopAnz->value(), 1);
    EXPECT_EQ(f->edtKop->GetValue(), 0);
    EXPECT_TRUE(f->StatusText().isEmpty());

    const QString ini = f->IniName;
    form.reset();
    const QByteArray bytes = ReadFile(ini);
    ASSERT_TRUE(bytes.startsWith("\xFF\xFE"));
    TMainSettings saved = ReadMainSettings(ini, TMainSettings{});
    EXPECT_EQ(saved.Sumatra, fakeProgram);
    EXPECT_EQ(saved.Printer, kDefaultPrinter);
    EXPECT_EQ(saved.Left, 354);
}

TEST_F(HauptFormTest, SettingsAndHistoriesSurviveARestart)
{
    THauptForm* f = Start();
    const QString other = S("Archive");
    f->cxPrinter->setCurrentText(other);
    f->cxPrinterCloseUp();
    EXPECT_EQ(f->PrtName, other);
    EXPECT_EQ(f->PrinterIndex(), 0);
    f->chbSubDir->setChecked(true);
    f->move(100, 120);
    for (const char* dir : {"/srv/a/", "/srv/b/", "/srv/c/"})
        AddToHistory(f->SourceDirEdit, S(dir));
    AddToHistory(f->FileEdit, S("*.pdf"));
    form.reset();

    f = Start();
    EXPECT_EQ(f->PrtName, other);
    EXPECT_EQ(f->cxPrinter->currentText(), other);
    EXPECT_TRUE(f->chbSubDir->isChecked());
    EXPECT_EQ(f->pos(), QPoint(100, 120));
    EXPECT_EQ(Items(*f->SourceDirEdit), (QStringList{S("/srv/c/"), S("/srv/b/"), S("/srv/a/")}));
    EXPECT_EQ(f->SourceDirEdit->currentText(), S("/srv/c/"));
    EXPECT_EQ(Items(*f->FileEdit), QStringList{S("*.pdf")});
    // One item: a plain edit field without a drop-down button.
    EXPECT_FALSE(HistoryBoxHasDropDown(f->FileEdit));
    EXPECT_TRUE(HistoryBoxHasDropDown(f->SourceDirEdit));
}

TEST_F(HauptFormTest, FirstNonOptionArgumentFillsTheFields)
{
    THauptForm* f = Start({S("-lang:de"), S("/data/Docs/list.pbt"), S("/other/x.pdf")});
    EXPECT_EQ(f->SourceDirEdit->currentText(), S("/data/Docs/"));
    EXPECT_EQ(f->FileEdit->currentText(), S("list.pbt"));
    EXPECT_EQ(f->SourceDirEdit->itemText(0), S("/data/Docs/"));
    EXPECT_EQ(f->FileEdit->itemText(0), S("list.pbt"));
    // No wildcard in the name: the subdirectories box is disabled.
    EXPECT_FALSE(f->chbSubDir->isEnabled());
}

TEST_F(HauptFormTest, SubdirectoriesBoxFollowsWildcardsButKeepsItsState)
{
    THauptForm* f = Start();
    f->chbSubDir->setChecked(true);
    f->FileEdit->setEditText(S("*.pdf"));
    EXPECT_TRUE(f->chbSubDir->isEnabled());
    QTest::keyClicks(f->FileEdit->lineEdit(), QString());
    f->FileEdit->setEditText(S("report.pdf"));
    EXPECT_FALSE(f->chbSubDir->isEnabled());
    EXPECT_TRUE(f->chbSubDir->isChecked());
    f->FileEdit->setEditText(S("report?.pdf"));
    EXPECT_TRUE(f->chbSubDir->isEnabled());
}

TEST_F(HauptFormTest, MissingSavedPrinterGivesWayToTheDefault)
{
    TMainSettings settings;
    settings.Printer = S("No Such Printer");
    settings.Sumatra = home.filePath(S("gone/morvane-printpdf"));
    QDir().mkpath(QFileInfo(IniFile()).path());
    ASSERT_TRUE(WriteMainSettings(IniFile(), settings));
    THauptForm* f = Start();
    EXPECT_EQ(f->PrtName, kDefaultPrinter);
    EXPECT_EQ(f->StatusText(), S("Printer No Such Printer is not available; using PDF"));
    // A saved program that no longer exists is searched again.
    EXPECT_EQ(f->SumatraPath, fakeProgram);
}

TEST_F(HauptFormTest, SettingsPathThatIsAPipeNeitherHangsNorStops)
{
    QDir().mkpath(QFileInfo(IniFile()).path());
    ASSERT_EQ(::mkfifo(QFile::encodeName(IniFile()).constData(), 0600), 0);
    THauptForm* f = Start();
    EXPECT_EQ(f->pos(), QPoint(354, 247));
    form.reset();
    // The settings are written as a plain file in the pipe's place.
    EXPECT_TRUE(QFileInfo(IniFile()).isFile());
    EXPECT_EQ(ReadMainSettings(IniFile(), TMainSettings{}).Sumatra, fakeProgram);
}

TEST_F(HauptFormTest, TerminateClosesOpenDialogsAndTheWindowSavingTheSettings)
{
    THauptForm* f = Start();
    QTimer::singleShot(0, f, [f] { f->Terminate(); });
    {
        QDialog dialog(f);
        // Ends only when the termination rejects it.
        EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    }
    ASSERT_TRUE(QTest::qWaitFor([f] { return !f->isVisible(); }, 5000));
    form.reset();
    EXPECT_EQ(ReadMainSettings(IniFile(), TMainSettings{}).Sumatra, fakeProgram);
}

TEST_F(HauptFormTest, AboutBoxShowsFiveLinesAtTheMouse)
{
    THauptForm* f = Start();
    MsgDialogTestSeam::PushAnswer(mrOk);
    f->InfoBtn->click();
    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
    const TMsgBoxRecord box = MsgDialogTestSeam::AnsweredBoxes()[0];
    EXPECT_EQ(box.DlgType, mtInformation);
    const QStringList lines = box.Msg.split(S("\r\n"));
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], f->ProgVersName + S(" - ") + f->ProgVersDate);
    EXPECT_TRUE(lines[2].startsWith(S("E-Mail: ")));
    EXPECT_EQ(lines[3], S("Installation of Sumatra PDF required:"));
}

TEST_F(HauptFormTest, SeekDialogPicksTheProgram)
{
    QFile::remove(fakeProgram);
    FileDialogTestSeam::PushAnswer({S("/opt/print/tool")});
    THauptForm* f = Start();
    EXPECT_EQ(f->SumatraPath, S("/opt/print/tool"));
    ASSERT_EQ(FileDialogTestSeam::AnsweredDialogs().size(), 1);
    EXPECT_EQ(FileDialogTestSeam::AnsweredDialogs()[0].Title, S("Seek for Sumatra PDF"));
    EXPECT_EQ(FileDialogTestSeam::AnsweredDialogs()[0].InitialDir, S("/usr/bin"));
    EXPECT_TRUE(f->isVisible());
}

TEST_F(HauptFormTest, CancelledSeekEndsTheProgram)
{
    QFile::remove(fakeProgram);
    FileDialogTestSeam::PushAnswer({});
    MsgDialogTestSeam::PushAnswer(mrOk);
    THauptForm* f = Start();
    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
    const TMsgBoxRecord box = MsgDialogTestSeam::AnsweredBoxes()[0];
    EXPECT_EQ(box.DlgType, mtError);
    EXPECT_EQ(box.Title, S("Morvane - Version 3.3"));
    EXPECT_EQ(box.Msg, S("Sumatra PDF not found on this computer!\r\n"
                         "Printing of PDF files using this program is not available!"));
    ASSERT_TRUE(QTest::qWaitFor([f] { return !f->isVisible(); }, 5000));
}

TEST_F(HauptFormTest, ScreenshotMatchesTheDesignSize)
{
    THauptForm* f = Start({S("/data/Docs/*.pdf")});
    for (const QLabel* label : f->findChildren<QLabel*>()) {
        EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()))
            << label->text().toStdString() << " is cut off";
    }
    EXPECT_GT(f->SourceDirEdit->x(), f->Label1->geometry().right());
    const QImage image = f->grab().toImage();
    // The design's 381 x 231 and the two rows of print settings and preview below the printer.
    EXPECT_EQ(image.size(), QSize(381, 292));
    const QByteArray dir = qgetenv("MORVANE_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(image.save(QString::fromUtf8(dir) + S("/main-window.png")));
    }
}

TEST_F(HauptFormTest, DirectorySelectionStartsInDocumentsAndHeadsTheHistory)
{
    TShellDirDialog dialog;
    ShellDirDialog = &dialog;
    ShellDirDialogTestSeam::Clear();
    ShellDirDialogTestSeam::PushAnswer(S("/srv/pdf/"));
    ShellDirDialogTestSeam::PushAnswer(std::nullopt);
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(QString());
    f->SourceSelectBtn->click();
    ASSERT_EQ(ShellDirDialogTestSeam::AnsweredCalls().size(), 1);
    const auto call = ShellDirDialogTestSeam::AnsweredCalls()[0];
    EXPECT_EQ(call.Title, S("Directory with files to print"));
    EXPECT_EQ(call.Dir, f->UserPath);
    EXPECT_TRUE(call.Hidden);
    EXPECT_TRUE(call.FileView);
    EXPECT_FALSE(call.ZipAsFiles);
    EXPECT_TRUE(call.HomeDir.isEmpty());
    EXPECT_EQ(f->SourceDirEdit->currentText(), S("/srv/pdf/"));
    EXPECT_EQ(f->SourceDirEdit->itemText(0), S("/srv/pdf/"));

    // Cancel changes nothing.
    f->SourceSelectBtn->click();
    EXPECT_EQ(ShellDirDialogTestSeam::AnsweredCalls().size(), 2);
    EXPECT_EQ(ShellDirDialogTestSeam::AnsweredCalls()[1].Dir, S("/srv/pdf/"));
    EXPECT_EQ(f->SourceDirEdit->currentText(), S("/srv/pdf/"));
    EXPECT_EQ(f->SourceDirEdit->count(), 1);
    form.reset();
    ShellDirDialog = nullptr;
}

TEST_F(HauptFormTest, FileSelectionFillsNamesAndDirectory)
{
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(S("/data/Docs"));
    f->FileEdit->setEditText(S("*.pdf"));
    f->chbSubDir->setChecked(true);
    FileDialogTestSeam::PushAnswer({S("/data/Docs/a.pdf"), S("/data/Docs/b.pdf")});
    f->FileBtn->click();
    const TFileDialogOptions options = FileDialogTestSeam::AnsweredDialogs().value(0);
    EXPECT_EQ(options.Title, S("Select files to print or print list"));
    EXPECT_TRUE(options.Filter.startsWith(S("PDF files|*.pdf|Print list|*.pbt|Printable files|*.pdf;*.ps;*.jpg;")))
        << options.Filter.toStdString();
    EXPECT_EQ(options.InitialDir, S("/data/Docs"));
    EXPECT_TRUE(options.MultiSelect);
    EXPECT_EQ(f->SourceDirEdit->currentText(), S("/data/Docs/"));
    EXPECT_EQ(f->SourceDirEdit->itemText(0), S("/data/Docs/"));
    EXPECT_EQ(f->FileEdit->currentText(), S("a.pdf;b.pdf"));
    EXPECT_EQ(f->FileEdit->itemText(0), S("a.pdf;b.pdf"));
    EXPECT_FALSE(f->chbSubDir->isChecked());
    EXPECT_FALSE(f->chbSubDir->isEnabled());

    // Cancel leaves everything as it was.
    FileDialogTestSeam::PushAnswer({});
    f->FileBtn->click();
    EXPECT_EQ(f->FileEdit->currentText(), S("a.pdf;b.pdf"));
}

TEST_F(HauptFormTest, UnreachablePositionOpensCentredOnThePrimaryScreen)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    // A monitor that is gone, and a position that hides most of the window.
    for (const QPoint saved : {QPoint(area.right() + 500, area.top() + 100), QPoint(area.right() - 100, area.top())}) {
        TMainSettings settings;
        settings.Left = saved.x();
        settings.Top = saved.y();
        QDir().mkpath(QFileInfo(IniFile()).path());
        ASSERT_TRUE(WriteMainSettings(IniFile(), settings));
        const QRect placed = Start()->frameGeometry();
        EXPECT_TRUE(area.contains(placed)) << placed.x() << "," << placed.y();
        EXPECT_LE(qAbs(placed.center().x() - area.center().x()), 3);
        // The title bar above the window is reckoned in.
        EXPECT_LE(qAbs(placed.center().y() - area.center().y()), 30);
        form.reset();
        EXPECT_EQ(ReadMainSettings(IniFile(), TMainSettings{}).Left, placed.x());
    }
}

// ---- Print run with a stand-in print program ----

class MainWindowRun : public HauptFormTest
{
protected:
    void MakeFiles(const QStringList& names)
    {
        for (const QString& name : names) {
            ASSERT_TRUE(WriteFile(docs.filePath(name), "%PDF-1.4\n"));
        }
    }
    QTemporaryDir docs;
};

TEST_F(MainWindowRun, EmptyFieldPrintsNothing)
{
    THauptForm* f = Start();
    f->FileEdit->setEditText(QString());
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S(" No file printed · The file names field is empty"));
    EXPECT_EQ(f->StatusColor(), QColor(Qt::blue));
    EXPECT_EQ(f->btnProcess->text(), S("Print"));
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_TRUE(f->cxPrinter->isEnabled());
}

TEST_F(MainWindowRun, CopiesArePrintedCollated)
{
    MakeFiles({S("a.pdf"), S("b.pdf"), S("c.PDF"), S("note.txt")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    // A name that matches nothing asks nothing (the seam fails on any box)
    // and is counted at the end.
    f->FileEdit->setEditText(S("a.pdf;b.pdf;gone.pdf;c.PDF"));
    f->KopAnz->setValue(2);
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S(" 6 files printed · 1 not found"));
    // Idle, the counter shows no copy.
    EXPECT_EQ(f->edtKop->GetValue(), 0);
    const QStringList log = Log();
    ASSERT_EQ(log.size(), 6);
    const QString prefix = S("-print-to|") + f->PrtName + u'|' + docs.path() + u'/';
    EXPECT_EQ(log[0], prefix + S("a.pdf|") + docs.path());
    EXPECT_EQ(log[2], prefix + S("c.PDF|") + docs.path());
    EXPECT_EQ(log[3], log[0]);
    EXPECT_FALSE(f->Printing);
}

TEST_F(MainWindowRun, MaskPrintsANumberedStackInNameOrder)
{
    QStringList ordered;
    for (int i = 1; i <= 15; ++i)
        ordered << S(i % 2 ? "Doc%1.pdf" : "doc%1.pdf").arg(i);
    QStringList shuffled = ordered;
    std::shuffle(shuffled.begin(), shuffled.end(), std::mt19937(15));
    MakeFiles(shuffled);
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("doc*.pdf"));
    f->btnProcess->click();
    QStringList printed;
    for (const QString& line : Log())
        printed << QFileInfo(line.section(u'|', 2, 2)).fileName();
    EXPECT_EQ(printed, ordered);
}

TEST_F(MainWindowRun, TypedEntriesPrintAsTypedAndHeadTheHistories)
{
    MakeFiles({S("a.pdf"), S("b.pdf"), S("small/c.pdf")});
    THauptForm* f = Start();
    AddToHistory(f->SourceDirEdit, docs.filePath(S("small/")));
    AddToHistory(f->FileEdit, S("a.pdf;b.pdf"));
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));

    // Typing a beginning of a history entry offers it below the field and
    // adds nothing to the text.
    const auto type = [](QComboBox* box, const QString& text, const QString& suggested) {
        box->setFocus();
        box->setEditText(QString());
        QTest::keyClicks(box->lineEdit(), text);
        EXPECT_TRUE(box->completer()->popup()->isVisible()) << text.toStdString();
        EXPECT_EQ(box->completer()->currentCompletion(), suggested);
        EXPECT_EQ(box->currentText(), text);
        EXPECT_FALSE(box->lineEdit()->hasSelectedText());
    };
    type(f->SourceDirEdit, docs.path() + S("/sm"), docs.filePath(S("small/")));
    QTest::keyClick(f->SourceDirEdit->completer()->popup(), Qt::Key_Escape);
    f->SourceDirEdit->setEditText(docs.path());
    type(f->FileEdit, S("a.pdf"), S("a.pdf;b.pdf"));
    QTest::keyClick(f->FileEdit->completer()->popup(), Qt::Key_Escape);
    EXPECT_EQ(f->FileEdit->currentText(), S("a.pdf"));

    f->btnProcess->click();
    ASSERT_EQ(Log().size(), 1);
    EXPECT_TRUE(Log()[0].contains(S("/a.pdf|"))) << Log()[0].toStdString();
    EXPECT_EQ(Items(*f->SourceDirEdit), (QStringList{docs.path(), docs.filePath(S("small/"))}));
    EXPECT_EQ(Items(*f->FileEdit), (QStringList{S("a.pdf"), S("a.pdf;b.pdf")}));

    // A suggestion is taken only when picked.
    type(f->FileEdit, S("a.pdf;"), S("a.pdf;b.pdf"));
    QTest::keyClick(f->FileEdit->completer()->popup(), Qt::Key_Down);
    QTest::keyClick(f->FileEdit->completer()->popup(), Qt::Key_Return);
    EXPECT_EQ(f->FileEdit->currentText(), S("a.pdf;b.pdf"));

    // Remembered across a restart, like picked entries.
    form.reset();
    f = Start();
    EXPECT_EQ(Items(*f->SourceDirEdit).value(0), docs.path());
    EXPECT_EQ(Items(*f->FileEdit).value(0), S("a.pdf"));
}

TEST_F(MainWindowRun, TypedCopiesStayWithinOneToAHundred)
{
    MakeFiles({S("a.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("a.pdf"));
    auto* edit = f->KopAnz->findChild<QLineEdit*>();
    ASSERT_TRUE(edit);
    const auto type = [edit](const char* text) {
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, S(text));
    };
    // Letters cannot be typed; what stays is no number.
    const struct
    {
        const char* typed;
        int copies;
    } cases[] = {{"0", 1}, {"000", 1}, {"", 1}, {"x", 1}, {"7", 7}, {"100", 100}};
    qsizetype calls = 0;
    for (const auto& c : cases) {
        f->KopAnz->setValue(3);
        type(c.typed);
        f->btnProcess->click();
        EXPECT_EQ(f->KopAnz->value(), c.copies) << c.typed;
        EXPECT_EQ(edit->text(), QString::number(c.copies)) << c.typed;
        EXPECT_EQ(Log().size() - calls, c.copies) << c.typed;
        calls = Log().size();
    }
    // A digit that takes the number above the range makes it the maximum at
    // once, with the numeric edit's error sound.
    int limited = 0;
    QObject::connect(f, &THauptForm::CopiesLimited, [&] { ++limited; });
    type("150");
    EXPECT_EQ(edit->text(), S("100"));
    EXPECT_EQ(limited, 1);
    f->KopAnz->interpretText();
    EXPECT_EQ(f->KopAnz->value(), 100);
    // Leaving the box keeps the value in range as well.
    f->KopAnz->setValue(3);
    type("0");
    QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(f->KopAnz, &focusOut);
    EXPECT_EQ(f->KopAnz->value(), 1);
}

TEST_F(MainWindowRun, FailedFileAsksWithTheProgramsReasonAndCancelStops)
{
    MakeFiles({S("1.pdf"), S("silent.pdf"), S("bad.pdf"), S("3.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path() + u'/');
    f->FileEdit->setEditText(S("1.pdf;silent.pdf;bad.pdf;3.pdf"));
    f->KopAnz->setValue(2);
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    MsgDialogTestSeam::PushAnswer(mrCancel);
    f->btnProcess->click();
    const QList<TMsgBoxRecord> boxes = MsgDialogTestSeam::AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 2);
    // Without a word from the print program the prompt is the plain one;
    // otherwise its first line follows, trimmed.
    EXPECT_EQ(boxes[0].Msg, S("File: ") + docs.path() + S("/silent.pdf\r\ncould not be printed!"));
    EXPECT_EQ(boxes[1].Msg, S("File: ") + docs.path() + S("/bad.pdf\r\ncould not be printed!\r\n") + docs.path() +
                                S("/bad.pdf is damaged"));
    // Cancel, Ignore and "Ignore all" (the "All" button under its own caption).
    for (const TMsgBoxRecord& box : boxes)
        EXPECT_EQ(box.Buttons, TMsgDlgButtons(mbCancel | mbIgnore | mbAll));
    EXPECT_EQ(Log().size(), 3);
    EXPECT_EQ(f->StatusText(), S(" 1 file printed · 2 failed, stopped before the end"));
}

TEST_F(MainWindowRun, IgnoreGoesOnOncePerCopy)
{
    MakeFiles({S("1.pdf"), S("bad.pdf"), S("3.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    f->KopAnz->setValue(2);
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    f->btnProcess->click();
    EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 2);
    EXPECT_EQ(Log().size(), 6);
    EXPECT_EQ(f->StatusText(), S(" 4 files printed · 2 failed"));
}

TEST_F(MainWindowRun, StopFinishesTheCurrentFile)
{
    MakeFiles({S("1slow.pdf"), S("2slow.pdf"), S("3slow.pdf"), S("4slow.pdf"), S("5slow.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("1slow.pdf;2slow.pdf;3slow.pdf;4slow.pdf;5slow.pdf"));
    // Press Stop while the third file is being handed over.
    QTimer poll;
    bool stopShown = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (Log().size() == 3 && f->Printing) {
            stopShown = f->btnProcess->text() == S("Stop") && !f->cxPrinter->isEnabled();
            f->btnProcess->click();
            poll.stop();
        }
    });
    poll.start(10);
    f->btnProcess->click();
    EXPECT_TRUE(stopShown);
    EXPECT_EQ(Log().size(), 3);
    EXPECT_EQ(f->StatusText(), S(" 3 files printed · stopped before the end"));
    EXPECT_EQ(f->btnProcess->text(), S("Print"));
    EXPECT_FALSE(f->Stopped);
}

TEST_F(MainWindowRun, StopInThePauseEndsTheRunBeforeTheNextFile)
{
    MakeFiles({S("1.pdf"), S("2.pdf"), S("3.pdf"), S("4.pdf"), S("5.pdf"), S("6.pdf")});
    THauptForm* f = Start();
    // Long enough that only the Stop button can end it within the test.
    f->SetPausePerFile(60000);
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    ASSERT_TRUE(f->chbSubDir->isEnabled());
    // The pause has begun once the first print program has been reaped.
    const auto firstCallReaped = [&] {
        const QList<QByteArray> pids = ReadFile(fakeProgram + S(".pids")).split('\n');
        return pids.size() == 2 && ::kill(pids[0].toInt(), 0) != 0 && errno == ESRCH;
    };
    QTimer poll;
    bool heldBack = false;
    QElapsedTimer sinceStart;
    sinceStart.start();
    QObject::connect(&poll, &QTimer::timeout, [&] {
        // A click within the double-click interval after the start is no Stop.
        if (!f->Printing || !firstCallReaped() || sinceStart.elapsed() <= QApplication::doubleClickInterval())
            return;
        poll.stop();
        // Other input waits for the end of the pause; the Stop button does not.
        QTest::mouseClick(f->chbSubDir, Qt::LeftButton);
        heldBack = !f->chbSubDir->isChecked();
        QTest::mouseClick(f->btnProcess, Qt::LeftButton);
    });
    poll.start(10);
    f->btnProcess->click();
    EXPECT_TRUE(heldBack);
    EXPECT_EQ(Log().size(), 1);
    EXPECT_EQ(f->StatusText(), S(" 1 file printed · stopped before the end"));
    EXPECT_EQ(f->btnProcess->text(), S("Print"));
    EXPECT_FALSE(f->Stopped);
    // The click held back in the pause arrives afterwards.
    EXPECT_TRUE(QTest::qWaitFor([&] { return f->chbSubDir->isChecked(); }));
}

TEST_F(MainWindowRun, RelativeDirectoryIsTakenFromTheCurrentFolder)
{
    MakeFiles({S("a.pdf")});
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(QFileInfo(docs.path()).path()));
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(QFileInfo(docs.path()).fileName() + u'/');
    f->FileEdit->setEditText(S("*.pdf"));
    f->btnProcess->click();
    QDir::setCurrent(before);
    EXPECT_EQ(f->StatusText(), S(" 1 file printed"));
    EXPECT_EQ(Log(), QStringList{S("-print-to|") + f->PrtName + u'|' + docs.path() + S("/a.pdf|") + docs.path()});
}

TEST_F(MainWindowRun, MissingPrintListIsReportedAndTheRunGoesOn)
{
    MakeFiles({S("a.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("missing.PBT;a.pdf"));
    MsgDialogTestSeam::PushAnswer(mrOk);
    f->btnProcess->click();
    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
    EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes()[0].Msg,
              S("Print list: ") + docs.path() + S("/missing.PBT not found!"));
    EXPECT_EQ(f->StatusText(), S(" 1 file printed · 1 not found"));
}

// ---- What the window tells about a run ----

TEST_F(MainWindowRun, ProgressShowsThePositionAndTheTimeLeftAndGoesAtTheEnd)
{
    MakeFiles({S("1slow.pdf"), S("2slow.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("1slow.pdf;2slow.pdf"));
    f->KopAnz->setValue(2);
    // The bar's text while file k of 4 is being handed over.
    QMap<qsizetype, QString> seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const qsizetype k = Log().size();
        if (f->Printing && k > 0 && !seen.contains(k) && f->RunProgress->isVisible())
            seen[k] = f->RunProgress->text();
    });
    poll.start(10);
    f->btnProcess->click();
    ASSERT_EQ(seen.keys(), (QList<qsizetype>{1, 2, 3, 4}));
    EXPECT_EQ(seen[1], S("1 of 4"));
    for (qsizetype k = 2; k <= 4; ++k) {
        EXPECT_TRUE(QRegularExpression(S("^%1 of 4 · about \\d+ s left$").arg(k)).match(seen[k]).hasMatch())
            << seen[k].toStdString();
    }
    EXPECT_FALSE(f->RunProgress->isVisible());
    EXPECT_EQ(f->StatusText(), S(" 4 files printed"));
}

TEST_F(MainWindowRun, EndTextSaysWhatElseHappened)
{
    MakeFiles({S("a.pdf"), S("bad.pdf"), S("c.pdf")});
    ASSERT_TRUE(WriteFile(home.filePath(S("Docs/h.pdf")), "%PDF-1.4\n"));
    ASSERT_TRUE(WriteFile(home.filePath(S("top.pdf")), "%PDF-1.4\n"));
    const QString missingDir = docs.filePath(S("nowhere"));
    const struct
    {
        QString dir;
        QString field;
        QList<int> answers;
        QString end;
        QStringList printed; // the files handed over, in order
    } cases[] = {
        {docs.path(),
         S("a.pdf;bad.pdf;gone.pdf;c.pdf"),
         {mrIgnore},
         S(" 2 files printed · 1 failed, 1 not found"),
         {docs.filePath(S("a.pdf")), docs.filePath(S("bad.pdf")), docs.filePath(S("c.pdf"))}},
        {docs.path(), S("gone.pdf"), {}, S(" No file printed · 1 not found"), {}},
        {docs.path(), S("*.xyz"), {}, S(" No file printed · Nothing matched *.xyz"), {}},
        {missingDir, S("*.pdf"), {}, S(" No file printed · The folder ") + missingDir + S(" does not exist"), {}},
        {S("~/Docs"), S("h.pdf"), {}, S(" 1 file printed"), {home.filePath(S("Docs/h.pdf"))}},
        {S("~"), S("top.pdf"), {}, S(" 1 file printed"), {home.filePath(S("top.pdf"))}},
        {S("~nobody"), S("x.pdf"), {}, S(" No file printed · The folder ~nobody does not exist"), {}},
    };
    THauptForm* f = Start();
    // A relative "~nobody" would be taken from the current folder.
    const QString before = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(docs.path()));
    for (const auto& c : cases) {
        QFile::remove(fakeProgram + S(".log"));
        for (int answer : c.answers)
            MsgDialogTestSeam::PushAnswer(answer);
        f->SourceDirEdit->setEditText(c.dir);
        f->FileEdit->setEditText(c.field);
        f->btnProcess->click();
        QString end = f->StatusText();
        EXPECT_EQ(end.replace(docs.path() + u'/', S("")), QString(c.end).replace(docs.path() + u'/', S("")))
            << c.dir.toStdString() << " " << c.field.toStdString();
        QStringList handed;
        for (const QString& line : Log())
            handed << line.section(u'|', 2, 2);
        EXPECT_EQ(handed, c.printed) << c.field.toStdString();
        EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers()) << c.field.toStdString();
    }
    QDir::setCurrent(before);
}

TEST_F(MainWindowRun, IgnoreAllAndAVanishedPrinterAskOnce)
{
    MakeFiles(
        {S("1.pdf"), S("2vanish.pdf"), S("3vanish.pdf"), S("4bad.pdf"), S("5silent.pdf"), S("6bad.pdf"), S("7.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    // One question for the vanished printer, one for the first damaged file,
    // whose "Ignore all" lets the rest pass unasked.
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    MsgDialogTestSeam::PushAnswer(mrAll);
    f->btnProcess->click();
    const QList<TMsgBoxRecord> boxes = MsgDialogTestSeam::AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 2);
    EXPECT_TRUE(boxes[0].Msg.contains(S("2vanish.pdf")));
    EXPECT_TRUE(boxes[0].Msg.endsWith(S("no printer ") + kDefaultPrinter));
    EXPECT_TRUE(boxes[1].Msg.contains(S("4bad.pdf")));
    EXPECT_EQ(Log().size(), 7);
    EXPECT_EQ(f->StatusText(), S(" 2 files printed · 5 failed"));
    QStringList failed;
    for (const TReportRecord& entry : f->RunFailures())
        failed << QFileInfo(entry.File).fileName() + u'=' + QString::number(entry.ExitCode);
    EXPECT_EQ(failed, (QStringList{S("2vanish.pdf=4"), S("3vanish.pdf=4"), S("4bad.pdf=1"), S("5silent.pdf=1"),
                                   S("6bad.pdf=1")}));
    // The next run asks again.
    MsgDialogTestSeam::PushAnswer(mrCancel);
    f->FileEdit->setEditText(S("4bad.pdf;1.pdf"));
    f->btnProcess->click();
    EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 3);
}

TEST_F(MainWindowRun, SpoolerOutageIsWaitedOutInTheStatusLineAndStopEndsIt)
{
    MakeFiles({S("1.pdf"), S("2outage.pdf"), S("3.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    const QString away = fakeProgram + S(".away");
    // First the spooler comes back; in the second run Stop ends the waiting.
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped" : "back");
        ASSERT_TRUE(WriteFile(away, "down"));
        QTimer poll;
        bool waited = false;
        QElapsedTimer sinceStart;
        sinceStart.start();
        QObject::connect(&poll, &QTimer::timeout, [&] {
            // A click within the double-click interval after the start is no Stop.
            if (!f->Printing || !f->StatusText().startsWith(S("Waiting for the print spooler: cannot reach")) ||
                sinceStart.elapsed() <= QApplication::doubleClickInterval())
                return;
            waited = true;
            poll.stop();
            if (stop)
                f->btnProcess->click();
            else
                QFile::remove(away);
        });
        poll.start(10);
        f->btnProcess->click();
        EXPECT_TRUE(waited);
        // No box in either case: the test's strict seam fails on one.
        EXPECT_EQ(f->StatusText(),
                  stop ? S(" 1 file printed · 1 failed, stopped before the end") : S(" 3 files printed"));
    }
    QFile::remove(away);
}

TEST_F(MainWindowRun, DoubleClickOnPrintDoesNotStopTheRun)
{
    MakeFiles({S("1slow.pdf"), S("2slow.pdf"), S("3slow.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    // The second click, arriving while the first file is handed over.
    QTimer poll;
    bool clicked = false;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (f->Printing && !Log().isEmpty()) {
            QTest::mouseClick(f->btnProcess, Qt::LeftButton);
            clicked = true;
            poll.stop();
        }
    });
    poll.start(5);
    QTest::mouseClick(f->btnProcess, Qt::LeftButton);
    ASSERT_TRUE(clicked);
    EXPECT_EQ(Log().size(), 3);
    EXPECT_EQ(f->StatusText(), S(" 3 files printed"));
}

TEST_F(MainWindowRun, CloseDuringARunAsksOnceAndKeepsTheSettings)
{
    MakeFiles({S("1slow.pdf"), S("2slow.pdf"), S("3slow.pdf"), S("4slow.pdf")});
    SelectDialogTestSeam::Clear();
    SelectDialogTestSeam::SetStrict(true);
    // Answer 0 stops after the current file, 1 prints to the end; both quit.
    for (const auto& [answer, printed] : {std::pair{0, 1}, std::pair{1, 4}}) {
        QFile::remove(fakeProgram + S(".log"));
        THauptForm* f = Start();
        f->SourceDirEdit->setEditText(docs.path());
        f->FileEdit->setEditText(S("*.pdf"));
        f->chbSubDir->setChecked(true);
        SelectDialogTestSeam::PushAnswer(answer);
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (f->Printing && Log().size() == 1) {
                poll.stop();
                f->close();
                // A second close asks nothing more (strict seam).
                f->close();
            }
        });
        poll.start(5);
        f->btnProcess->click();
        EXPECT_EQ(Log().size(), printed) << answer;
        ASSERT_EQ(SelectDialogTestSeam::AnsweredQuestions().size(), 1);
        const auto question = SelectDialogTestSeam::AnsweredQuestions()[0];
        EXPECT_EQ(question.Caption, S("Files are still being printed."));
        EXPECT_EQ(question.Buttons,
                  (QStringList{S("Stop after the current file and quit"), S("Keep printing and quit at the end")}));
        EXPECT_TRUE(QTest::qWaitFor([f] { return !f->isVisible(); }, 5000)) << answer;
        form.reset();
        EXPECT_TRUE(ReadMainSettings(IniFile(), TMainSettings{}).Subdirectories) << answer;
        EXPECT_EQ(Items(*[&] {
                      Start();
                      return form->FileEdit;
                  }()),
                  QStringList{S("*.pdf")});
        form.reset();
        QFile::remove(IniFile());
        SelectDialogTestSeam::Clear();
        SelectDialogTestSeam::SetStrict(true);
    }
    EXPECT_TRUE(SelectDialogTestSeam::UnexpectedQuestions().isEmpty());
    SelectDialogTestSeam::Clear();
}

TEST_F(MainWindowRun, CloseQuestionShowsItsAnswersUncut)
{
    // The real dialog this time: its answer buttons must hold their captions.
    MakeFiles({S("1slow.pdf"), S("2slow.pdf"), S("3slow.pdf")});
    SelectDialogTestSeam::Clear();
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    QStringList cut;
    int answers = 0;
    bool closing = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            poll.stop();
            for (const QPushButton* button : dialog->findChildren<QPushButton*>()) {
                ++answers;
                if (button->width() < button->sizeHint().width())
                    cut << button->text();
            }
            // Escape: the run goes on, and the window closes at its end.
            dialog->reject();
        } else if (f->Printing && !Log().isEmpty() && !closing) {
            // From a timer of its own: the question's event loop must not run inside this one.
            closing = true;
            QTimer::singleShot(0, f, [f] { f->close(); });
        }
    });
    poll.start(5);
    f->btnProcess->click();
    EXPECT_EQ(answers, 3);
    EXPECT_EQ(cut, QStringList());
    EXPECT_EQ(Log().size(), 3);
    EXPECT_TRUE(QTest::qWaitFor([f] { return !f->isVisible(); }, 5000));
}

TEST_F(MainWindowRun, PrinterListFollowsTheSpooler)
{
    MakeFiles({S("a.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("a.pdf"));
    f->cxPrinter->setCurrentText(S("Archive"));
    f->cxPrinterCloseUp();
    // The queue goes and another comes between two runs: the run does not
    // start on a printer that was not shown, and says so.
    PrinterTestSeam::Install({S("PDF"), S("New")}, S("PDF"));
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S("Printer Archive is not available; using PDF"));
    EXPECT_TRUE(Log().isEmpty());
    EXPECT_EQ(Items(*f->cxPrinter), (QStringList{S("PDF"), S("New")}));
    EXPECT_EQ(f->PrtName, S("PDF"));
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S(" 1 file printed"));
    EXPECT_TRUE(Log().value(0).startsWith(S("-print-to|PDF|")));
    // Opening the list asks the spooler again and keeps the choice.
    PrinterTestSeam::Install({S("Later"), S("PDF"), S("New")}, S("New"));
    f->cxPrinter->showPopup();
    EXPECT_EQ(Items(*f->cxPrinter), (QStringList{S("Later"), S("PDF"), S("New")}));
    EXPECT_EQ(f->cxPrinter->currentText(), S("PDF"));
    f->cxPrinter->hidePopup();
}

TEST_F(MainWindowRun, FailureListShowsEachFileWithItsResultAndReason)
{
    MakeFiles({S("a.pdf"), S("bad.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("a.pdf;bad.pdf;gone.pdf"));
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    f->btnProcess->click();
    ASSERT_TRUE(f->btnFailures->isVisible());
    QStringList rows;
    QTimer::singleShot(0, f, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        if (auto* list = dialog->findChild<QTreeWidget*>()) {
            for (int i = 0; i < list->topLevelItemCount(); ++i) {
                QStringList columns;
                for (int c = 0; c < list->columnCount(); ++c)
                    columns << list->topLevelItem(i)->text(c);
                rows << columns.join(u'|');
            }
        }
        // The report holds every record of the run, the printed file too; a
        // place that cannot take it is said so.
        FileDialogTestSeam::PushAnswer({home.filePath(S("run.jsonl"))});
        FileDialogTestSeam::PushAnswer({home.filePath(S("no/such/dir/run.csv"))});
        MsgDialogTestSeam::PushAnswer(mrOk);
        auto* save = dialog->findChild<QPushButton*>(S("btnSaveReport"));
        save->click();
        save->click();
        dialog->findChild<QPushButton*>(S("btnClose"))->click();
    });
    f->btnFailures->click();
    const QString dir = docs.path() + u'/';
    EXPECT_EQ(rows, (QStringList{dir + S("gone.pdf||not found|\"gone.pdf\" matched no file"),
                                 dir + S("bad.pdf|1|failed|") + dir + S("bad.pdf is damaged")}));
    const QList<QByteArray> lines = ReadFile(home.filePath(S("run.jsonl"))).split('\n');
    ASSERT_EQ(lines.size(), 4); // three records and the end of the last line
    EXPECT_TRUE(lines[0].contains("gone.pdf") && lines[0].contains("missing")) << lines[0].constData();
    EXPECT_TRUE(lines[1].contains("a.pdf") && lines[1].contains("printed")) << lines[1].constData();
    EXPECT_TRUE(lines[2].contains("bad.pdf is damaged")) << lines[2].constData();
    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 2);
    EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes()[1].Msg.startsWith(
        S("The report ") + home.filePath(S("no/such/dir/run.csv")) + S(" cannot be written: ")))
        << MsgDialogTestSeam::AnsweredBoxes()[1].Msg.toStdString();
    // A run without failures has nothing to list.
    f->FileEdit->setEditText(S("a.pdf"));
    f->btnProcess->click();
    EXPECT_FALSE(f->btnFailures->isVisible());
}

TEST_F(MainWindowRun, RunGoesOnWhileTheInfoBoxIsOpen)
{
    MakeFiles({S("1slow.pdf"), S("2slow.pdf"), S("3slow.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf"));
    // A real box this time, open from the first file on until the last one
    // has been handed over, or for ten seconds when the run stands still.
    MsgDialogTestSeam::SetStrict(false);
    qsizetype handedOverWhileOpen = -1;
    QElapsedTimer open;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || (Log().size() < 3 && open.elapsed() < 10000))
            return;
        closer.stop();
        handedOverWhileOpen = Log().size();
        box->close();
    });
    QTimer opener;
    opener.setSingleShot(true);
    QObject::connect(&opener, &QTimer::timeout, [&] {
        if (!f->Printing || Log().isEmpty()) {
            opener.start(5);
            return;
        }
        open.start();
        closer.start(5);
        f->InfoBtn->click();
    });
    opener.start(5);
    f->btnProcess->click();
    MsgDialogTestSeam::SetStrict(true);
    EXPECT_EQ(handedOverWhileOpen, 3);
    EXPECT_EQ(f->StatusText(), S(" 3 files printed"));
}

TEST_F(MainWindowRun, KeyboardAloneStartsARunAndReadsItsEnd)
{
    MakeFiles({S("a.pdf"), S("b.pdf")});
    THauptForm* f = Start();
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    f->SourceDirEdit->setFocus();
    f->SourceDirEdit->setEditText(QString());
    QTest::keyClicks(f->SourceDirEdit->lineEdit(), docs.path());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(f->FileEdit->hasFocus());
    QTest::keyClicks(f->FileEdit->lineEdit(), S("a.pdf;b.pdf"));
    // Copies, then Print: without a wildcard the subdirectories box is disabled.
    for (int i = 0; i < 2; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_TRUE(f->btnProcess->hasFocus());
    QTest::keyClick(f->btnProcess, Qt::Key_Space);
    ASSERT_TRUE(QTest::qWaitFor([f] { return !f->Printing && f->StatusText() == S(" 2 files printed"); }, 10000))
        << f->StatusText().toStdString();
    EXPECT_EQ(Log().size(), 2);
}

TEST_F(MainWindowRun, ScreenshotsOfARunAndOfTheFailureList)
{
    MakeFiles({S("2026-03 invoice.pdf"), S("2026-04 invoice bad.pdf"), S("2026-05 invoice slow.pdf"),
               S("2026-06 invoice slow.pdf"), S("2026-07 invoice.pdf")});
    THauptForm* f = Start();
    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("*.pdf;2026-08 invoice.pdf"));
    f->KopAnz->setValue(2);
    MsgDialogTestSeam::PushAnswer(mrAll);
    QImage during;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (f->Printing && Log().size() == 4) {
            poll.stop();
            // The progress bar lies inside the window, beside the status text.
            EXPECT_TRUE(f->rect().contains(f->RunProgress->geometry().translated(f->StatusBar->pos())));
            during = f->grab().toImage();
        }
    });
    poll.start(5);
    f->btnProcess->click();
    ASSERT_FALSE(during.isNull());
    QImage list;
    QTimer::singleShot(0, f, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            list = dialog->grab().toImage();
            dialog->reject();
        }
    });
    f->btnFailures->click();
    ASSERT_FALSE(list.isNull());
    const QByteArray dir = qgetenv("MORVANE_SCREENSHOT_DIR");
    if (!dir.isEmpty()) {
        EXPECT_TRUE(during.save(QString::fromUtf8(dir) + S("/main-window-run.png")));
        EXPECT_TRUE(list.save(QString::fromUtf8(dir) + S("/failure-list.png")));
    }
}

} // namespace
