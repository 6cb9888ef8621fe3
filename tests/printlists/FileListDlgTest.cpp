#include "printlists/FileListDlg.h"

#include "app/HistoryCombo.h"
#include "app/QStringPrinter.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/MsgDialogs.h"
#include "printing/HauptForm.h"
#include "printing/PrintRun.h"
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

using namespace testing_support;

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

const QString kPdfFilter = S("PDF files|*.pdf");
const QString kListFilter = S("Print list|*.pbt");

class FileListDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        docs = tmp.filePath(S("docs/"));
        ASSERT_TRUE(QDir().mkpath(docs));
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
        FileDialogTestSeam::Clear();
    }

    void TearDown() override
    {
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty())
            << MsgDialogTestSeam::UnexpectedBoxes().front().Msg.toStdString();
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

    QString Edit(const QString& listFile, const std::function<void()>& steps)
    {
        return Run(
            [&]() -> QString {
                return dialog.Execute(S("Edit print list"), kPdfFilter, docs, listFile, kListFilter, S("pbt"), true);
            },
            steps);
    }

    QString Create(const QString& commonPath, const std::function<void()>& steps)
    {
        return Run(
            [&]() -> QString {
                return dialog.Execute(S("Create print list"), kPdfFilter, commonPath, QString(), kListFilter, S("pbt"),
                                      true);
            },
            steps);
    }

    void Select(int row) { dialog.lbxFiles->setCurrentRow(row); }
    int Selected() const
    {
        const QList<QListWidgetItem*> items = dialog.lbxFiles->selectedItems();
        return items.isEmpty() ? -1 : dialog.lbxFiles->row(items.front());
    }

    QTemporaryDir tmp;
    QString docs;
    TFileListDialog dialog;
};

TEST_F(FileListDlgTest, EditingShowsTheListAndOkWritesItBackWithCrLf)
{
    // LF-only line ends, a blank line and a last line without its line end.
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a.pdf\n\nSub/b.pdf"));
    const QString result = Edit(list, [&] {
        EXPECT_EQ(dialog.windowTitle(), S("Edit print list"));
        EXPECT_EQ(dialog.lblListfile->text(), S("list.pbt"));
        EXPECT_EQ(dialog.lblPath->text(), docs);
        EXPECT_EQ(dialog.CommonPath(), docs);
        EXPECT_EQ(dialog.Entries(), (QStringList{S("a.pdf"), QString(), S("Sub/b.pdf")}));
        EXPECT_EQ(Selected(), 0);
        EXPECT_TRUE(dialog.paTop->isVisible());
        EXPECT_TRUE(dialog.btSaveAs->isVisible());
        dialog.OKBtn->click();
    });
    EXPECT_EQ(result, list);
    EXPECT_EQ(ReadFile(list), QByteArray("a.pdf\r\n\r\nSub/b.pdf\r\n"));
}

TEST_F(FileListDlgTest, ListOutsideTheCommonPathIsShownRelativeToItAndWrittenBackUnchanged)
{
    const QString list = Path("lists/l.pbt");
    const QByteArray bytes("../docs/a.pdf\r\n/abs/x.pdf\r\n\r\n../docs/Sub/b.pdf\r\n");
    ASSERT_TRUE(WriteFile(list, bytes));
    EXPECT_EQ(
        Edit(list,
             [&] {
                 EXPECT_EQ(dialog.Entries(), (QStringList{S("a.pdf"), S("/abs/x.pdf"), QString(), S("Sub/b.pdf")}));
                 dialog.OKBtn->click();
             }),
        list);
    EXPECT_EQ(ReadFile(list), bytes);
}

TEST_F(FileListDlgTest, LongCommonPathLosesFoldersFromTheFrontToFit)
{
    const QString deep = docs + S("a-rather-long-folder/another-long-folder/yet-another-one/and-the-last/");
    Run([&]() -> QString { return dialog.Execute(S("t"), kPdfFilter, deep, QString(), kListFilter, S("pbt"), true); },
        [&] {
            const QString shown = dialog.lblPath->text();
            EXPECT_TRUE(shown.contains(S("/.../"))) << shown.toStdString();
            EXPECT_TRUE(shown.endsWith(S("/and-the-last/"))) << shown.toStdString();
            EXPECT_LE(dialog.lblPath->fontMetrics().horizontalAdvance(shown),
                      dialog.width() - dialog.lblPath->x() - 10);
        });
}

TEST_F(FileListDlgTest, CancelEscapeAndAnEmptyListLeaveTheFileAlone)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "x.pdf\n"));
    EXPECT_TRUE(Edit(list, [&] {
                    dialog.DeleteBtn->click();
                    dialog.OKBtn->click();
                    EXPECT_FALSE(dialog.isVisible());
                }).isEmpty());
    EXPECT_TRUE(Edit(list, [&] {
                    FileDialogTestSeam::PushAnswer({docs + S("a.pdf")});
                    dialog.InsertBtn->click();
                    QTest::keyClick(dialog.lbxFiles, Qt::Key_Escape);
                    EXPECT_FALSE(dialog.isVisible());
                }).isEmpty());
    EXPECT_TRUE(Edit(list, [&] { dialog.CancelBtn->click(); }).isEmpty());
    EXPECT_EQ(ReadFile(list), QByteArray("x.pdf\n"));
}

TEST_F(FileListDlgTest, AddedFilesAreAppendedRelativeToTheCommonPath)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "first.pdf\r\nsecond.pdf\r\n"));
    Edit(list, [&] {
        Select(0);
        FileDialogTestSeam::PushAnswer(
            {docs + S("a.pdf"), docs + S("Sub/b.pdf"), Path("other/c.pdf"), S("/elsewhere/x.pdf"), docs + S("a.pdf")});
        dialog.InsertBtn->click();
        EXPECT_EQ(dialog.Entries(), (QStringList{S("first.pdf"), S("second.pdf"), S("a.pdf"), S("Sub/b.pdf"),
                                                 S("../other/c.pdf"), S("/elsewhere/x.pdf"), S("a.pdf")}));
        EXPECT_EQ(Selected(), 0);

        // A line break in a name would split the entry when it is written.
        FileDialogTestSeam::PushAnswer({docs + S("two\nlines.pdf")});
        MsgDialogTestSeam::PushAnswer(mrOk);
        dialog.InsertBtn->click();
        EXPECT_EQ(dialog.lbxFiles->count(), 7);
        ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
        EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes().front().Msg.contains(S("two\nlines.pdf")));
    });
    const QList<TFileDialogOptions> asked = FileDialogTestSeam::AnsweredDialogs();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0].InitialDir, docs);
    EXPECT_EQ(asked[0].Filter, kPdfFilter);
    EXPECT_TRUE(asked[0].MultiSelect);

    // Without a common path the full names are stored.
    Create(QString(), [&] {
        EXPECT_TRUE(dialog.lblPath->text().isEmpty());
        FileDialogTestSeam::PushAnswer({docs + S("a.pdf")});
        dialog.InsertBtn->click();
        EXPECT_EQ(dialog.Entries(), QStringList{docs + S("a.pdf")});
    });
}

TEST_F(FileListDlgTest, UpDownAndDeleteStopAtTheEnds)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a\r\nb\r\nc\r\n"));
    Edit(list, [&] {
        const auto entries = [&] { return dialog.Entries().join(u','); };
        Select(0);
        dialog.UpBtn->click();
        EXPECT_EQ(entries(), S("a,b,c"));
        EXPECT_EQ(Selected(), 0);
        dialog.DownBtn->click();
        EXPECT_EQ(entries(), S("b,a,c"));
        EXPECT_EQ(Selected(), 1);
        Select(2);
        dialog.DownBtn->click();
        EXPECT_EQ(entries(), S("b,a,c"));
        dialog.UpBtn->click();
        EXPECT_EQ(entries(), S("b,c,a"));
        EXPECT_EQ(Selected(), 1);

        dialog.lbxFiles->clearSelection();
        dialog.DownBtn->click();
        dialog.DeleteBtn->click();
        EXPECT_EQ(entries(), S("b,c,a"));

        Select(2);
        dialog.DeleteBtn->click();
        EXPECT_EQ(entries(), S("b,c"));
        EXPECT_EQ(Selected(), 1) << "the new last entry";
        Select(0);
        dialog.DeleteBtn->click();
        EXPECT_EQ(entries(), S("c"));
        EXPECT_EQ(Selected(), 0);
        dialog.DeleteBtn->click();
        EXPECT_EQ(dialog.lbxFiles->count(), 0);
        EXPECT_EQ(Selected(), -1);
        dialog.DeleteBtn->click();
        dialog.UpBtn->click();
    });
}

TEST_F(FileListDlgTest, NewListKeepsItsEntriesWhenNoNameIsChosen)
{
    const QString target = docs + S("new.pbt");
    const QString result = Create(docs, [&] {
        EXPECT_TRUE(dialog.ListFileName().isEmpty());
        FileDialogTestSeam::PushAnswer({docs + S("a.pdf"), docs + S("b.pdf"), docs + S("c.pdf")});
        dialog.InsertBtn->click();
        FileDialogTestSeam::PushAnswer({});
        dialog.OKBtn->click();
        EXPECT_TRUE(dialog.isVisible()) << "a cancelled name must not lose the entries";
        EXPECT_EQ(dialog.lbxFiles->count(), 3);
        FileDialogTestSeam::PushAnswer({target});
        dialog.OKBtn->click();
        EXPECT_FALSE(dialog.isVisible());
    });
    EXPECT_EQ(result, target);
    EXPECT_EQ(ReadFile(target), QByteArray("a.pdf\r\nb.pdf\r\nc.pdf\r\n"));
    const QList<TFileDialogOptions> asked = FileDialogTestSeam::AnsweredDialogs();
    ASSERT_EQ(asked.size(), 3);
    EXPECT_EQ(asked[2].InitialDir, docs);
    EXPECT_EQ(asked[2].Filter, kListFilter);
    EXPECT_EQ(asked[2].DefaultExt, S("pbt"));
}

TEST_F(FileListDlgTest, FailedWriteIsReportedAndTheEditorStaysOpen)
{
    // A regular file where the folder should be: nothing can be created there.
    ASSERT_TRUE(WriteFile(Path("blocker"), "x"));
    const QString impossible = Path("blocker/new.pbt");
    const QString target = docs + S("new.pbt");
    const QString result = Create(docs, [&] {
        FileDialogTestSeam::PushAnswer({docs + S("a.pdf")});
        dialog.InsertBtn->click();
        FileDialogTestSeam::PushAnswer({impossible});
        MsgDialogTestSeam::PushAnswer(mrOk);
        dialog.OKBtn->click();
        EXPECT_TRUE(dialog.isVisible());
        ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
        const TMsgBoxRecord box = MsgDialogTestSeam::AnsweredBoxes().front();
        EXPECT_EQ(box.Title, S("Create print list"));
        EXPECT_TRUE(box.Msg.contains(impossible)) << box.Msg.toStdString();
        EXPECT_EQ(box.DlgType, mtError);
        // The failed name is not kept: OK asks again.
        FileDialogTestSeam::PushAnswer({target});
        dialog.OKBtn->click();
    });
    EXPECT_EQ(result, target);
    EXPECT_EQ(ReadFile(target), QByteArray("a.pdf\r\n"));
}

TEST_F(FileListDlgTest, UnreadableListIsReportedWithoutOpeningTheEditor)
{
    MsgDialogTestSeam::PushAnswer(mrOk);
    const QString missing = docs + S("missing.pbt");
    EXPECT_TRUE(Edit(missing, [] { ADD_FAILURE() << "the editor opened"; }).isEmpty());
    ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
    EXPECT_TRUE(MsgDialogTestSeam::AnsweredBoxes().front().Msg.contains(missing));
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
        FileDialogTestSeam::PushAnswer({docs + S("b.pdf")});
        dialog.InsertBtn->click();
        dialog.OKBtn->click();
    });
    EXPECT_EQ(result, copy);
    EXPECT_EQ(ReadFile(copy), QByteArray("a.pdf\r\nb.pdf\r\n"));
    EXPECT_EQ(ReadFile(list), QByteArray("a.pdf\r\n"));
    const QList<TFileDialogOptions> asked = FileDialogTestSeam::AnsweredDialogs();
    ASSERT_FALSE(asked.isEmpty());
    EXPECT_EQ(asked[0].InitialDir, docs);
    EXPECT_EQ(asked[0].Filter, kListFilter);
}

TEST_F(FileListDlgTest, CommaTextModeHasNoFileAndReturnsTheItems)
{
    const QString result = Run(
        [&]() -> QString {
            return dialog.Execute(S("t"), kPdfFilter, docs, S("a.pdf,\"b c.pdf\",x/../d.pdf"), QString(), QString(),
                                  false);
        },
        [&] {
            EXPECT_FALSE(dialog.paTop->isVisible());
            EXPECT_FALSE(dialog.btSaveAs->isVisible());
            EXPECT_EQ(dialog.Entries(), (QStringList{S("a.pdf"), S("b c.pdf"), S("x/../d.pdf")}));
            dialog.UpBtn->click();
            Select(1);
            dialog.UpBtn->click();
            dialog.OKBtn->click();
        });
    EXPECT_EQ(result, S("\"b c.pdf\",a.pdf,x/../d.pdf"));
}

TEST_F(FileListDlgTest, LayoutFollowsTheDesignAndItsAnchors)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a.pdf\r\nSub/b.pdf\r\n../other/c.pdf\r\n"));
    Edit(list, [&] {
        EXPECT_EQ(dialog.size(), QSize(371, 425));
        EXPECT_EQ(dialog.lbxFiles->geometry(), QRect(10, 55, 314, 301));
        EXPECT_EQ(dialog.paCenter->geometry().top(), 26);
        EXPECT_EQ(dialog.OKBtn->mapTo(&dialog, QPoint(0, 0)), QPoint(185, 393));
        dialog.resize(471, 525);
        EXPECT_EQ(dialog.lbxFiles->geometry(), QRect(10, 55, 414, 401)) << "anchored to all sides";
        EXPECT_EQ(dialog.btSaveAs->mapTo(&dialog, QPoint(0, 0)), QPoint(433, 451));
    });
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
    std::unique_ptr<THauptForm> form;
};

TEST_F(ListCommandsTest, NewListInAnotherFolderPrintsTheFilesItNames)
{
    for (const char* name : {"docs/a.pdf", "docs/Sub/b.pdf", "other/c.pdf"})
        ASSERT_TRUE(WriteFile(Path(name), "%PDF-1.4\n"));
    const QString lists = Path("lists/");
    ASSERT_TRUE(QDir().mkpath(lists));
    RunCommand(&THauptForm::btnNewClick, [&] {
        EXPECT_EQ(dialog.windowTitle(), S("Create print list"));
        FileDialogTestSeam::PushAnswer({Path("docs/a.pdf"), Path("docs/Sub/b.pdf"), Path("other/c.pdf")});
        dialog.InsertBtn->click();
        EXPECT_EQ(dialog.Entries(), (QStringList{S("a.pdf"), S("Sub/b.pdf"), S("../other/c.pdf")}));
        FileDialogTestSeam::PushAnswer({lists + S("new.pbt")});
        dialog.OKBtn->click();
    });
    const QList<TFileDialogOptions> asked = FileDialogTestSeam::AnsweredDialogs();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0].Filter, kPdfFilter);
    EXPECT_EQ(asked[1].Filter, S("Batch files|*.pbt"));
    EXPECT_EQ(asked[1].DefaultExt, S("pbt"));

    EXPECT_EQ(form->FileEdit->currentText(), S("new.pbt"));
    EXPECT_EQ(form->SourceDirEdit->currentText(), lists);
    EXPECT_EQ(form->SourceDirEdit->itemText(0), lists);
    // Saved away from the common path, the entries follow the list's folder.
    EXPECT_EQ(ReadFile(lists + S("new.pbt")), QByteArray("../docs/a.pdf\r\n../docs/Sub/b.pdf\r\n../other/c.pdf\r\n"));

    QStringList errors;
    const QStringList jobs = BuildJobList(form->SourceDirEdit->currentText(), form->FileEdit->currentText(), false,
                                          [&](const QString& message) { errors << message; });
    EXPECT_TRUE(errors.isEmpty()) << errors.join(u'\n').toStdString();
    QStringList printed;
    for (const QString& job : jobs)
        printed << QFileInfo(job).canonicalFilePath();
    EXPECT_EQ(printed, (QStringList{QFileInfo(Path("docs/a.pdf")).canonicalFilePath(),
                                    QFileInfo(Path("docs/Sub/b.pdf")).canonicalFilePath(),
                                    QFileInfo(Path("other/c.pdf")).canonicalFilePath()}));

    // Editing it again from the list's folder shows the same entries.
    form->FileEdit->setEditText(S("new.pbt;more.pdf"));
    FileDialogTestSeam::PushAnswer({lists + S("new.pbt")});
    RunCommand(&THauptForm::btnEditClick, [&] {
        EXPECT_EQ(dialog.Entries(), (QStringList{S("../docs/a.pdf"), S("../docs/Sub/b.pdf"), S("../other/c.pdf")}));
    });
}

TEST_F(ListCommandsTest, EditPresetsTheListNameAndTakesTheResult)
{
    const QString list = docs + S("list.pbt");
    ASSERT_TRUE(WriteFile(list, "a.pdf\r\n"));
    form->FileEdit->setEditText(S("list.pbt;more.pdf"));
    const QStringList historyBefore = [&] {
        QStringList items;
        for (int i = 0; i < form->SourceDirEdit->count(); ++i)
            items << form->SourceDirEdit->itemText(i);
        return items;
    }();
    FileDialogTestSeam::PushAnswer({list});
    RunCommand(&THauptForm::btnEditClick, [&] {
        EXPECT_EQ(dialog.windowTitle(), S("Edit print list"));
        EXPECT_EQ(dialog.lblListfile->text(), S("list.pbt"));
        FileDialogTestSeam::PushAnswer({});
        dialog.btSaveAs->click();
        dialog.OKBtn->click();
    });
    const QList<TFileDialogOptions> asked = FileDialogTestSeam::AnsweredDialogs();
    ASSERT_EQ(asked.size(), 2);
    EXPECT_EQ(asked[0].FileName, S("list.pbt"));
    EXPECT_EQ(asked[0].InitialDir, docs);
    EXPECT_EQ(asked[0].Filter, kListFilter);
    EXPECT_EQ(asked[0].Title, S("Select print list"));
    EXPECT_EQ(asked[1].Filter, kListFilter) << "the save dialog offers the open dialog's filter";
    EXPECT_EQ(form->FileEdit->currentText(), S("list.pbt"));
    EXPECT_EQ(form->SourceDirEdit->currentText(), docs);
    EXPECT_EQ(form->SourceDirEdit->count(), historyBefore.size()) << "same folder: no history entry";
    EXPECT_EQ(ReadFile(list), QByteArray("a.pdf\r\n"));

    // An upper-case list name still opens the dialog; a field without one presets nothing.
    for (const char* field : {"LIST.PBT", "*.pdf"}) {
        form->FileEdit->setEditText(S(field));
        FileDialogTestSeam::Clear();
        FileDialogTestSeam::PushAnswer({});
        form->btnEditClick();
        ASSERT_EQ(FileDialogTestSeam::AnsweredDialogs().size(), 1);
        EXPECT_EQ(FileDialogTestSeam::AnsweredDialogs()[0].FileName, field[0] == 'L' ? S(field) : QString());
    }
    EXPECT_EQ(form->FileEdit->currentText(), S("*.pdf")) << "a cancelled pick changes nothing";
}

TEST_F(ListCommandsTest, WithoutTheEditorTheCommandsDoNothing)
{
    FileListDialog = nullptr;
    form->FileEdit->setEditText(S("x.pbt"));
    form->btnNewClick();
    form->btnEditClick();
    EXPECT_TRUE(FileDialogTestSeam::AnsweredDialogs().isEmpty());
    EXPECT_EQ(form->FileEdit->currentText(), S("x.pbt"));
}

} // namespace
