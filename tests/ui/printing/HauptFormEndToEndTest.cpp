// The whole way from the main window through the print-to program and the
// real spooler to the PDF files that the cups-pdf queue writes.

#include "printing/HauptForm.h"

#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/MsgDialogs.h"
#include "printing/PrintSettingsDlg.h"
#include "support/BatchProcess.h"
#include "support/CupsPdf.h"
#include "support/CupsServer.h"
#include "support/ModalHelper.h"
#include "support/PdfWriter.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"
#include "util/FileNameBytes.h"
#include "util/NumberEd.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFormLayout>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace testing_support;

namespace {

// Writes a file whose name is given as raw bytes.
bool WriteRaw(const QByteArray& name, const QByteArray& bytes)
{
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && written;
}

const QString PrintProgram = BuiltPrintProgram();

class HauptFormEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
        ASSERT_TRUE(QFile::exists(PrintProgram));
        TMainSettings settings;
        settings.Sumatra = PrintProgram;
        settings.Printer = TestPrinterName();
        QDir().mkpath(home.filePath(QStringLiteral(".config")));
        ASSERT_TRUE(WriteMainSettings(home.filePath(QStringLiteral(".config/")) + ExeBaseName + QStringLiteral(".ini"),
                                      settings));
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
        form = std::make_unique<THauptForm>(QStringList());
        form->show();
        ASSERT_EQ(form->PrtName, TestPrinterName());
        ASSERT_EQ(form->SumatraPath, PrintProgram);
    }

    void TearDown() override
    {
        form.reset();
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
        EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers());
        MsgDialogTestSeam::Clear();
    }

    void Write(const QString& name, const QByteArray& bytes) { ASSERT_TRUE(WriteFile(docs.filePath(name), bytes)); }

    QTemporaryDir home;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    QTemporaryDir docs;
    std::unique_ptr<THauptForm> form;
};

TEST_F(HauptFormEndToEnd, MasksSubdirectoriesAndPrintListsReachTheQueuePerCopy)
{
    const QString stem = UniqueJobStem(QStringLiteral("window"));
    Write(stem + QStringLiteral("-a.pdf"), MakePdf(1));
    Write(QStringLiteral("sub/") + stem + QStringLiteral("-b.pdf"), MakePdf(2));
    Write(QStringLiteral("lists/") + stem + QStringLiteral("-c.PDF"), MakePdf(3));
    Write(stem + QStringLiteral("-d.txt"), "not a pdf");
    // The list names its entry relative to the directory field.
    Write(QStringLiteral("lists/print.PBT"), QByteArray("lists/") + stem.toUtf8() + "-c.PDF\r\n");

    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(stem + QStringLiteral("-*.pdf;lists/print.PBT"));
    form->chbSubDir->setChecked(true);
    form->KopAnz->setValue(2);
    form->btnProcess->click();

    // Per copy: b and c from the subfolders, a from the folder itself; the list's c
    // is the mask's and is left out.
    EXPECT_EQ(form->StatusText(), QStringLiteral(" 6 files printed; 1 file named twice was printed once"));
    EXPECT_EQ(form->edtKop->GetValue(), 0);
    const QStringList output = WaitForCupsPdfOutput(stem, 6);
    ASSERT_EQ(output.size(), 6) << "output folder: " << CupsPdfOutputDir().toStdString();
    QList<int> pages;
    for (const QString& file : output)
        pages << PdfPageCount(file);
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (QList<int>{1, 1, 2, 2, 3, 3}));
    for (const QString& file : output)
        QFile::remove(file);
}

TEST_F(HauptFormEndToEnd, EveryNameAFileSystemHoldsPrintsExactlyOnce)
{
    const QByteArray stem = UniqueJobStem(QStringLiteral("names")).toUtf8();
    // The folder itself is named with a Latin-1 byte, as copied from an old archive.
    const QByteArray dir = FileNameToBytes(docs.path()) + "/folder\xE9";
    ASSERT_EQ(::mkdir(dir.constData(), 0700), 0);
    // The toolkit cannot remove what it cannot name.
    const auto cleanUp = qScopeGuard([&dir] { std::filesystem::remove_all(dir.toStdString()); });
    ASSERT_EQ(::mkdir(QByteArray(dir + "/sub").constData(), 0700), 0);
    const QByteArray longName = stem + "-" + QByteArray(255 - stem.size() - 5, 'l') + ".pdf";
    const struct
    {
        QByteArray name;
        int pages;
    } files[] = {
        {stem + "-caf\xE9.pdf", 1},
        {stem + "-new\nline.pdf", 2},
        {stem + "-\"quoted\" 'single' $(touch ran).pdf", 3},
        {longName, 4},
        {"sub/" + stem + "-listed\xE9\xFF.pdf", 5},
        {"-" + stem + "-dash.pdf", 6},
    };
    ASSERT_EQ(longName.size(), 255);
    for (const auto& f : files)
        ASSERT_TRUE(WriteRaw(dir + '/' + f.name, MakePdf(f.pages))) << f.name.constData();
    ASSERT_TRUE(WriteRaw(dir + "/list.pbt", files[4].name + "\r\n"));

    form->SourceDirEdit->setEditText(FileNameFromBytes(dir));
    form->FileEdit->setEditText(QStringLiteral("*.pdf;list.pbt"));
    form->btnProcess->click();

    EXPECT_EQ(form->StatusText(), QStringLiteral(" 6 files printed"));
    QStringList output = WaitForCupsPdfOutput(QString::fromUtf8(stem), 5);
    output += WaitForCupsPdfOutput(u'-' + QString::fromUtf8(stem), 1);
    ASSERT_EQ(output.size(), 6) << "output folder: " << CupsPdfOutputDir().toStdString();
    QList<int> pages;
    for (const QString& file : output)
        pages << PdfPageCount(file);
    // The dash file comes last in the list; each page count belongs to one name.
    EXPECT_EQ(pages.last(), 6);
    std::sort(pages.begin(), pages.end());
    EXPECT_EQ(pages, (QList<int>{1, 2, 3, 4, 5, 6}));
    // No shell ever saw the names.
    EXPECT_NE(::access(QByteArray(dir + "/ran").constData(), F_OK), 0);
    for (const QString& file : output)
        QFile::remove(file);
}

// The spooler's answer as its own client gives it, one line a row.
QStringList Lpstat(const QString& option)
{
    QProcess lpstat;
    lpstat.start(QStringLiteral("lpstat"), {option});
    if (!lpstat.waitForFinished())
        return {};
    return QString::fromUtf8(lpstat.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
}

TEST(HauptFormSpooler, OffersTheSpoolersQueuesAndFallsBackToItsDefault)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    QTemporaryDir home;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    TMainSettings settings;
    settings.Sumatra = PrintProgram;
    settings.Printer = QStringLiteral("No Such Queue");
    QDir().mkpath(home.filePath(QStringLiteral(".config")));
    ASSERT_TRUE(
        WriteMainSettings(home.filePath(QStringLiteral(".config/")) + ExeBaseName + QStringLiteral(".ini"), settings));
    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::SetStrict(true);
    // Other tests add and remove queues of their own meanwhile: the window must
    // offer every queue that was there before and after it read the list, and
    // none that was never there.
    const QStringList before = Lpstat(QStringLiteral("-e"));
    THauptForm form{QStringList()};
    form.show();
    const QStringList offered = Items(*form.cxPrinter);
    const QStringList after = Lpstat(QStringLiteral("-e"));
    ASSERT_TRUE(after.contains(TestPrinterName()) && after.contains(QStringLiteral("MorvaneTest2")))
        << "the test set-up adds both queues";
    for (const QString& queue : before) {
        if (after.contains(queue)) {
            EXPECT_TRUE(offered.contains(queue)) << queue.toStdString();
        }
    }
    for (const QString& queue : offered)
        EXPECT_TRUE(before.contains(queue) || after.contains(queue)) << queue.toStdString();
    const QString defaultLine = Lpstat(QStringLiteral("-d")).value(0);
    EXPECT_EQ(form.PrtName, defaultLine.mid(defaultLine.indexOf(u':') + 2)) << defaultLine.toStdString();
    EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
    MsgDialogTestSeam::Clear();
}

TEST_F(HauptFormEndToEnd, PrinterThatIsNoQueueIsNotPrintedTo)
{
    const QString stem = UniqueJobStem(QStringLiteral("noqueue"));
    Write(stem + QStringLiteral("-1.pdf"), MakePdf(1));
    // As when the chosen queue is deleted while the window is open.
    form->PrtName = QStringLiteral("No Such Queue");
    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(stem + QStringLiteral("-*.pdf"));
    form->btnProcess->click();

    EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes().isEmpty());
    EXPECT_EQ(form->StatusText(),
              QStringLiteral("Printer No Such Queue is not available; using ") + form->cxPrinter->currentText());
    EXPECT_EQ(form->PrtName, form->cxPrinter->currentText());
    EXPECT_EQ(form->btnProcess->text(), QStringLiteral("Print"));
    EXPECT_TRUE(form->cxPrinter->isEnabled());
}

TEST_F(HauptFormEndToEnd, DamagedFileAmongGoodOnesIsListedAndReportedAsByTheBatchClient)
{
    const QString stem = UniqueJobStem(QStringLiteral("damaged"));
    Write(stem + QStringLiteral("-1.pdf"), MakePdf(1));
    Write(stem + QStringLiteral("-2.pdf"), "%PDF-1.4\nthis is no PDF file\n");
    Write(stem + QStringLiteral("-3.pdf"), MakePdf(3));
    const QString field = stem + QStringLiteral("-*.pdf;") + stem + QStringLiteral("-4.pdf");
    form->SetPausePerFile(0);
    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(field);
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    form->btnProcess->click();

    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
    EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes()[0].Msg.contains(stem + QStringLiteral("-2.pdf")));
    EXPECT_EQ(form->StatusText(), QStringLiteral(" 2 files printed · 1 failed, 1 not found"));
    QStringList output = WaitForCupsPdfOutput(stem, 2);
    EXPECT_EQ(output.size(), 2);

    // The list's saved report, beside the command-line client's for the same job.
    ASSERT_TRUE(form->btnFailures->isVisible());
    const QString windowReport = home.filePath(QStringLiteral("window.csv"));
    const QString batchReport = home.filePath(QStringLiteral("batch.csv"));
    FileDialogTestSeam::Clear();
    FileDialogTestSeam::PushAnswer({windowReport});
    QTimer::singleShot(0, form.get(), [] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->findChild<QPushButton*>(QStringLiteral("btnSaveReport"))->click();
            dialog->accept();
        }
    });
    form->btnFailures->click();
    EXPECT_FALSE(FileDialogTestSeam::HasPendingAnswers());
    const batch_test::TBatchResult batch = batch_test::RunBatch(
        {QStringLiteral("-p"), form->PrtName, QStringLiteral("--program"), PrintProgram, QStringLiteral("--pause"),
         QStringLiteral("0"), QStringLiteral("--report"), batchReport, docs.path(), field},
        docs.path(), home.path());
    EXPECT_NE(batch.Exit, 0) << batch.Err.toStdString();
    output += WaitForCupsPdfOutput(stem, 4);
    const QByteArray saved = ReadFile(windowReport);
    EXPECT_EQ(saved.count('\n'), 5) << saved.constData(); // header, missing, three invocations
    // The same records, but for the moment each was handed over and the
    // spooler's job numbers, which differ between the two runs.
    const auto withoutHandover = [](const QByteArray& report) {
        QList<QByteArray> lines = report.split('\n');
        for (QByteArray& line : lines) {
            QList<QByteArray> fields = line.split(',');
            if (fields.size() == 14 && !fields[5].isEmpty()) {
                EXPECT_FALSE(fields[6].isEmpty()) << line.constData();
                fields[5] = fields[6] = "-";
            }
            line = fields.join(',');
        }
        return lines;
    };
    EXPECT_EQ(withoutHandover(saved), withoutHandover(ReadFile(batchReport)));
    for (const QString& file : output)
        QFile::remove(file);
}

// Pages 2-3 of a five-page file on both sides, chosen in the settings
// dialog, reach the spooler as the job's page-ranges and sides. The queue's
// driver names duplex; the PDF queue's does not, and its dialog offers none.
TEST(HauptFormPrintSettingsEndToEnd, PagesAndSidesChosenInTheDialogReachTheSpooler)
{
    const QString problem = CupsProblem();
    ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    const QString queue = S("m28-duplex");
    ASSERT_EQ(QProcess::execute(S("lpadmin"), {S("-p"), queue, S("-E"), S("-v"), S("cups-pdf:/"), S("-P"),
                                               S("/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd")}),
              0);
    const auto removeQueue = qScopeGuard([&queue] { QProcess::execute(S("lpadmin"), {S("-x"), queue}); });
    // Held in the queue, so that its attributes can be read and nothing is printed.
    ASSERT_EQ(QProcess::execute(S("cupsdisable"), {queue}), 0);

    QTemporaryDir home, docs;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    TMainSettings settings;
    settings.Sumatra = PrintProgram;
    settings.Printer = TestPrinterName();
    ASSERT_TRUE(QDir().mkpath(home.filePath(S(".config"))));
    ASSERT_TRUE(WriteMainSettings(home.filePath(S(".config/")) + ExeBaseName + S(".ini"), settings));
    ASSERT_TRUE(WriteFile(docs.filePath(S("five.pdf")), MakePdf(5)));
    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::SetStrict(true);
    THauptForm form{QStringList()};
    form.show();
    ASSERT_EQ(form.PrtName, TestPrinterName());

    const auto inDialog = [&form](const std::function<void(TPrintSettingsDialog*, QFormLayout*)>& act) {
        WhenModalShown([&act](QWidget* modal) {
            auto* dialog = qobject_cast<TPrintSettingsDialog*>(modal);
            ASSERT_NE(dialog, nullptr);
            act(dialog, dialog->findChild<QFormLayout*>());
            if (dialog->isVisible())
                dialog->reject();
        });
        form.btnPrintSettings->click();
    };
    bool asked = false;
    inDialog([&asked](TPrintSettingsDialog* d, QFormLayout* rows) {
        EXPECT_FALSE(rows->isRowVisible(d->cbxSides));
        asked = true;
    });
    ASSERT_TRUE(asked);
    form.cxPrinter->setCurrentText(queue);
    form.cxPrinterCloseUp();
    ASSERT_EQ(form.PrtName, queue);
    asked = false;
    inDialog([&asked](TPrintSettingsDialog* d, QFormLayout* rows) {
        EXPECT_TRUE(rows->isRowVisible(d->cbxSides));
        d->edtPages->setText(S("2-3"));
        d->cbxSides->setCurrentText(S("Both sides, long edge"));
        d->Buttons->button(QDialogButtonBox::Ok)->click();
        asked = true;
    });
    ASSERT_TRUE(asked);
    EXPECT_EQ(form.PrintSettingsList, S("2-3,duplexlong"));

    form.SetPausePerFile(0);
    form.SourceDirEdit->setEditText(docs.path());
    form.FileEdit->setEditText(S("five.pdf"));
    form.btnProcess->click();
    EXPECT_EQ(form.StatusText(), S(" 1 file printed"));
    ASSERT_EQ(form.RunEntries().size(), 1);
    ASSERT_EQ(form.RunEntries()[0].JobIds.size(), 1);
    const int job = form.RunEntries()[0].JobIds[0].section(u'-', -1).toInt();
    const QMap<QString, QString> attributes = JobAttributes(QString(), job);
    EXPECT_EQ(attributes.value(S("page-ranges")), S("2-3"));
    EXPECT_EQ(attributes.value(S("sides")), S("two-sided-long-edge"));
    EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
    MsgDialogTestSeam::Clear();
}

} // namespace
