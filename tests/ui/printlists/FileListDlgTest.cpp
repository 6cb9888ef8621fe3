#include "printlists/FileListDlg.h"

#include "app/HistoryCombo.h"
#include "support/QStringPrinter.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/MsgDialogs.h"
#include "printing/HauptForm.h"
#include "printing/JobList.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>

using namespace testing_support;

namespace {

const QString kPdfFilter = S("PDF files|*.pdf");
const QString kListFilter = S("Print list|*.pbt");

class FileListDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(docs));
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
        FileDialogTestSeam::Clear();
    }

    void TearDown() override
    {
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
        EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers());
        EXPECT_FALSE(FileDialogTestSeam::HasPendingAnswers());
        MsgDialogTestSeam::Clear();
        FileDialogTestSeam::Clear();
    }

    QString Path(const char* relative) const { return tmp.filePath(S(relative)); }

    // Calls `execute`; once the editor is shown modally, `steps` run in it,
    // and an editor still open afterwards is cancelled so that no test hangs.
    QString Run(const std::function<QString()>& execute, const std::function<void()>& steps)
    {
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &dialog, [this, &steps] {
            if (!dialog.isVisible())
                return;
            steps();
            if (dialog.isVisible())
                dialog.CancelBtn->click();
        });
        timer.start(0);
        return execute();
    }

    // Edits listFile, or creates a list when it is empty, with docs as the common path.
    QString Edit(const QString& listFile, const std::function<void()>& steps,
                 const std::optional<QString>& commonPath = std::nullopt)
    {
        return Run(
            [&]() -> QString {
                return dialog.Execute(S("Edit"), kPdfFilter, commonPath.value_or(docs), listFile, kListFilter, S("pbt"),
                                      true);
            },
            steps);
    }

    void Add(const QStringList& files)
    {
        FileDialogTestSeam::PushAnswer(files);
        dialog.InsertBtn->click();
    }
    int Selected() const
    {
        const QList<QListWidgetItem*> items = dialog.lbxFiles->selectedItems();
        return items.isEmpty() ? -1 : dialog.lbxFiles->row(items.front());
    }

    QTemporaryDir tmp;
    const QString docs = tmp.filePath(S("docs/"));
    TFileListDialog dialog;
};

TEST_F(FileListDlgTest, EditingShowsTheListAndOkWritesItBackWithCrLf)
{
    // LF-only line ends, a blank line and a last line without its line end.
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a.pdf\n\nSub/b.pdf"));
    const QString result = Edit(list, [&] {
        EXPECT_EQ(dialog.lblListfile->text(), S("list.pbt"));
        EXPECT_EQ(dialog.lblPath->text(), docs);
        EXPECT_EQ(dialog.Entries(), (QStringList{S("a.pdf"), QString(), S("Sub/b.pdf")}));
        EXPECT_EQ(Selected(), 0);
        dialog.OKBtn->click();
    });
    EXPECT_EQ(result, list);
    EXPECT_EQ(ReadFile(list), QByteArray("a.pdf\r\n\r\nSub/b.pdf\r\n"));

    // A list outside the common path shows its entries relative to it and
    // is written back as it was.
    const QString other = Path("lists/l.pbt");
    const QByteArray bytes("../docs/a.pdf\r\n/abs/x.pdf\r\n\r\n");
    ASSERT_TRUE(WriteFile(other, bytes));
    EXPECT_EQ(Edit(other,
                   [&] {
                       EXPECT_EQ(dialog.Entries(), (QStringList{S("a.pdf"), S("/abs/x.pdf"), QString()}));
                       dialog.OKBtn->click();
                   }),
              other);
    EXPECT_EQ(ReadFile(other), bytes);
}

TEST_F(FileListDlgTest, CancelEscapeAndAnEmptyListLeaveTheFileAlone)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "x.pdf\n"));
    EXPECT_TRUE(Edit(list, [&] {
                    dialog.DeleteBtn->click();
                    dialog.OKBtn->click();
                }).isEmpty());
    EXPECT_TRUE(Edit(list, [&] {
                    Add({docs + S("a.pdf")});
                    QTest::keyClick(dialog.lbxFiles, Qt::Key_Escape);
                    EXPECT_FALSE(dialog.isVisible());
                }).isEmpty());
    EXPECT_TRUE(Edit(list, [&] { dialog.CancelBtn->click(); }).isEmpty());
    EXPECT_EQ(ReadFile(list), QByteArray("x.pdf\n"));

    MsgDialogTestSeam::PushAnswer(mrOk);
    EXPECT_TRUE(Edit(docs + S("missing.pbt"), [] { ADD_FAILURE() << "opened without a list"; }).isEmpty());
    EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes().value(0).Msg.contains(S("missing.pbt")));
}

TEST_F(FileListDlgTest, AddedFilesAreAppendedRelativeToTheCommonPath)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "first.pdf\r\nsecond.pdf\r\n"));
    Edit(list, [&] {
        Add({docs + S("a.pdf"), docs + S("Sub/b.pdf"), Path("other/c.pdf"), S("/elsewhere/x.pdf"), docs + S("a.pdf")});
        EXPECT_EQ(dialog.Entries(), (QStringList{S("first.pdf"), S("second.pdf"), S("a.pdf"), S("Sub/b.pdf"),
                                                 S("../other/c.pdf"), S("/elsewhere/x.pdf"), S("a.pdf")}));
        EXPECT_EQ(Selected(), 0);
        // A line break in a name would split the entry when it is written.
        MsgDialogTestSeam::PushAnswer(mrOk);
        Add({docs + S("two\nlines.pdf")});
        EXPECT_EQ(dialog.lbxFiles->count(), 7);
        EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes().value(0).Msg.contains(S("two\nlines.pdf")));
    });
    const TFileDialogOptions asked = FileDialogTestSeam::AnsweredDialogs().value(0);
    EXPECT_EQ(asked.InitialDir, docs);
    EXPECT_EQ(asked.Filter, kPdfFilter);
    EXPECT_TRUE(asked.MultiSelect);

    // Without a common path the full names are stored.
    Edit(
        QString(),
        [&] {
            Add({docs + S("a.pdf")});
            EXPECT_EQ(dialog.Entries(), QStringList{docs + S("a.pdf")});
        },
        QString());
}

TEST_F(FileListDlgTest, UpDownAndDeleteStopAtTheEnds)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a\r\nb\r\nc\r\n"));
    Edit(list, [&] {
        const auto state = [&]() -> QString {
            return dialog.Entries().join(u',') + u' ' + QString::number(Selected());
        };
        const struct
        {
            QToolButton* button;
            int select;
            const char* after;
        } steps[] = {
            {dialog.UpBtn, 0, "a,b,c 0"},   {dialog.DownBtn, 0, "b,a,c 1"},   {dialog.DownBtn, 2, "b,a,c 2"},
            {dialog.UpBtn, 2, "b,c,a 1"},   {dialog.DownBtn, -1, "b,c,a -1"}, {dialog.DeleteBtn, -1, "b,c,a -1"},
            {dialog.DeleteBtn, 2, "b,c 1"}, {dialog.DeleteBtn, 0, "c 0"},     {dialog.DeleteBtn, 0, " -1"},
            {dialog.DeleteBtn, -1, " -1"},
        };
        for (const auto& step : steps) {
            dialog.lbxFiles->setCurrentRow(step.select);
            step.button->click();
            EXPECT_EQ(state(), S(step.after)) << step.button->toolTip().toStdString() << " at " << step.select;
        }
    });
}

TEST_F(FileListDlgTest, NewListStaysOpenWhenNoNameIsChosenOrTheWriteFails)
{
    ASSERT_TRUE(WriteFile(Path("blocker"), "x"));
    const QString impossible = Path("blocker/new.pbt");
    const QString target = docs + S("new.pbt");
    const QString result = Edit(QString(), [&] {
        Add({docs + S("a.pdf"), docs + S("b.pdf"), docs + S("c.pdf")});
        FileDialogTestSeam::PushAnswer({});
        dialog.OKBtn->click();
        EXPECT_TRUE(dialog.isVisible()) << "a cancelled name must not lose the entries";
        // A regular file where the folder should be: nothing can be created there.
        FileDialogTestSeam::PushAnswer({impossible});
        MsgDialogTestSeam::PushAnswer(mrOk);
        dialog.OKBtn->click();
        EXPECT_TRUE(dialog.isVisible());
        const TMsgBoxRecord box = MsgDialogTestSeam::AnsweredBoxes().value(0);
        EXPECT_EQ(box.DlgType, mtError);
        EXPECT_TRUE(box.Msg.contains(impossible)) << box.Msg.toStdString();
        // The failed name is not kept: OK asks again.
        FileDialogTestSeam::PushAnswer({target});
        dialog.OKBtn->click();
    });
    EXPECT_EQ(result, target);
    EXPECT_EQ(ReadFile(target), QByteArray("a.pdf\r\nb.pdf\r\nc.pdf\r\n"));
    const TFileDialogOptions asked = FileDialogTestSeam::AnsweredDialogs().value(1);
    EXPECT_EQ(asked.InitialDir, docs);
    EXPECT_EQ(asked.Filter, kListFilter);
    EXPECT_EQ(asked.DefaultExt, S("pbt"));
}

TEST_F(FileListDlgTest, SaveAsWritesAtOnceAndOkWritesThereAgain)
{
    const QString list = docs + S("list.pbt");
    const QString copy = docs + S("copy.pbt");
    ASSERT_TRUE(WriteFile(list, "a.pdf\r\n"));
    const QString result = Edit(list, [&] {
        FileDialogTestSeam::PushAnswer({copy});
        dialog.btSaveAs->click();
        EXPECT_EQ(ReadFile(copy), QByteArray("a.pdf\r\n"));
        EXPECT_EQ(dialog.lblListfile->text(), S("list.pbt"));
        Add({docs + S("b.pdf")});
        dialog.OKBtn->click();
    });
    EXPECT_EQ(result, copy);
    EXPECT_EQ(ReadFile(copy), QByteArray("a.pdf\r\nb.pdf\r\n"));
    EXPECT_EQ(ReadFile(list), QByteArray("a.pdf\r\n"));
}

TEST_F(FileListDlgTest, CommaTextModeHasNoFileAndReturnsTheItems)
{
    const QString result = Run(
        [&]() -> QString {
            return dialog.Execute(S("t"), kPdfFilter, docs, S("a.pdf,\"b c.pdf\",x/../d.pdf"), {}, {}, false);
        },
        [&] {
            EXPECT_FALSE(dialog.paTop->isVisible());
            EXPECT_FALSE(dialog.btSaveAs->isVisible());
            dialog.DownBtn->click();
            dialog.OKBtn->click();
        });
    EXPECT_EQ(result, S("\"b c.pdf\",a.pdf,x/../d.pdf"));
}

TEST_F(FileListDlgTest, LayoutFollowsTheDesignAndItsAnchors)
{
    const QString deep = docs + S("a-rather-long-folder/another-long-folder/yet-another-one/and-the-last/");
    ASSERT_TRUE(WriteFile(docs + S("l.pbt"), "a.pdf\r\n"));
    Edit(
        docs + S("l.pbt"),
        [&] {
            EXPECT_EQ(dialog.size(), QSize(371, 425));
            EXPECT_EQ(dialog.lbxFiles->geometry(), QRect(10, 55, 314, 301));
            EXPECT_EQ(dialog.OKBtn->mapTo(&dialog, QPoint(0, 0)), QPoint(185, 393));
            // The path is measured in the label's bold font.
            const QString shown = dialog.lblPath->text();
            EXPECT_TRUE(shown.startsWith(S("/.../")) && shown.endsWith(S("/and-the-last/"))) << shown.toStdString();
            EXPECT_LE(dialog.lblPath->fontMetrics().horizontalAdvance(shown), 371 - 20 - 10);
            dialog.resize(471, 525);
            EXPECT_EQ(dialog.lbxFiles->geometry(), QRect(10, 55, 414, 401));
            EXPECT_EQ(dialog.btSaveAs->mapTo(&dialog, QPoint(0, 0)), QPoint(433, 451));
            dialog.resize(371, 425);
        },
        deep);
}

// The main window's two commands, with the editor the program creates at start-up.
class ListCommandsTest : public FileListDlgTest
{
protected:
    void SetUp() override
    {
        FileListDlgTest::SetUp();
        form = std::make_unique<THauptForm>(QStringList{});
        form->SourceDirEdit->setEditText(docs);
        FileListDialog = &dialog;
    }
    void TearDown() override
    {
        FileListDialog = nullptr;
        form.reset();
        FileListDlgTest::TearDown();
    }

    QString RunCommand(void (THauptForm::*command)(), const std::function<void()>& steps)
    {
        return Run(
            [&]() -> QString {
                (form.get()->*command)();
                return {};
            },
            steps);
    }

    ScopedEnv homeEnv{"HOME", tmp.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedPrinters printers{{S("PDF")}, S("PDF")};
    std::unique_ptr<THauptForm> form;
};

TEST_F(ListCommandsTest, NewListInAnotherFolderPrintsTheFilesItNames)
{
    QStringList files;
    QStringList canonical;
    for (const char* name : {"docs/a.pdf", "docs/Sub/b.pdf", "other/c.pdf"}) {
        ASSERT_TRUE(WriteFile(Path(name), "%PDF-1.4\n"));
        files << Path(name);
        canonical << QFileInfo(Path(name)).canonicalFilePath();
    }
    const QString lists = Path("lists/");
    ASSERT_TRUE(QDir().mkpath(lists));
    RunCommand(&THauptForm::btnNewClick, [&] {
        EXPECT_EQ(dialog.windowTitle(), S("Create print list"));
        Add(files);
        FileDialogTestSeam::PushAnswer({lists + S("new.pbt")});
        dialog.OKBtn->click();
    });
    EXPECT_EQ(FileDialogTestSeam::AnsweredDialogs().value(1).Filter, S("Batch files|*.pbt"));
    EXPECT_EQ(form->FileEdit->currentText(), S("new.pbt"));
    EXPECT_EQ(form->SourceDirEdit->currentText(), lists);
    EXPECT_EQ(form->SourceDirEdit->itemText(0), lists);

    // Saved away from the common path, the entries follow the list's folder,
    // from which the print run reads them.
    EXPECT_EQ(ReadFile(lists + S("new.pbt")), QByteArray("../docs/a.pdf\r\n../docs/Sub/b.pdf\r\n../other/c.pdf\r\n"));
    QStringList errors;
    QStringList printed;
    for (const QString& job : BuildJobList(form->SourceDirEdit->currentText(), form->FileEdit->currentText(), false,
                                           [&](const QString& message) { errors << message; }))
        printed << QFileInfo(job).canonicalFilePath();
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    EXPECT_EQ(printed, canonical);
}

TEST_F(ListCommandsTest, EditPresetsTheListNameAndTakesTheResult)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a.pdf\r\n"));
    AddToHistory(form->SourceDirEdit, docs);
    for (const char* field : {"LIST.PBT", "*.pdf", "list.pbt;more.pdf"}) {
        form->FileEdit->setEditText(S(field));
        FileDialogTestSeam::PushAnswer({});
        form->btnEditClick();
    }
    const QList<TFileDialogOptions> asked = FileDialogTestSeam::AnsweredDialogs();
    EXPECT_EQ(asked.value(0).FileName, S("LIST.PBT"));
    EXPECT_EQ(asked.value(1).FileName, QString());
    EXPECT_EQ(asked.value(2).FileName, S("list.pbt"));
    EXPECT_EQ(asked.value(2).InitialDir, docs);
    EXPECT_EQ(asked.value(2).Filter, kListFilter);
    EXPECT_EQ(form->FileEdit->currentText(), S("list.pbt;more.pdf")) << "a cancelled pick changes nothing";

    FileDialogTestSeam::Clear();
    FileDialogTestSeam::PushAnswer({list});
    RunCommand(&THauptForm::btnEditClick, [&] {
        EXPECT_EQ(dialog.windowTitle(), S("Edit print list"));
        FileDialogTestSeam::PushAnswer({});
        dialog.btSaveAs->click();
        dialog.OKBtn->click();
    });
    EXPECT_EQ(FileDialogTestSeam::AnsweredDialogs().value(1).Filter, kListFilter);
    EXPECT_EQ(form->FileEdit->currentText(), S("list.pbt"));
    EXPECT_EQ(form->SourceDirEdit->count(), 1) << "same folder: no new history entry";

    // Without the editor the commands do nothing.
    FileListDialog = nullptr;
    FileDialogTestSeam::Clear();
    form->btnNewClick();
    form->btnEditClick();
    EXPECT_TRUE(FileDialogTestSeam::AnsweredDialogs().isEmpty());
}

} // namespace
