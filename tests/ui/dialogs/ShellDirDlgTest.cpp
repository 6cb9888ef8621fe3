#include "dialogs/ShellDirDlg.h"

#include "support/ModalHelper.h"
#include "dialogs/InputQuery.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/SelectDlg.h"
#include "platform/NetworkFolder.h"
#include "support/TestSupport.h"

#include <QAbstractItemModel>
#include <QAbstractProxyModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <memory>

#include <unistd.h>

using testing_support::S;
using testing_support::ScopedEnv;
using testing_support::WhenModalShown;
using testing_support::WriteFile;

namespace {

// The file list fills from the model's loader thread. Its first file
// information (type names and icons, read once per process) takes seconds on
// a machine busy with other work, so the wait ends when the rows are there;
// its bound only keeps a hang from holding the suite.
::testing::AssertionResult WaitForListRows(const QTreeView* view, int rows)
{
    const QAbstractItemModel* list = view->model();
    if (QTest::qWaitFor([&] { return list->rowCount(view->rootIndex()) == rows; }, 60000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the file list has " << list->rowCount(view->rootIndex())
                                         << " rows below \"" << view->rootIndex().data().toString().toStdString()
                                         << "\", not " << rows;
}

class ShellDirDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(tmp.isValid());
        root = tmp.path();
        home = std::make_unique<ScopedEnv>("HOME", root.toUtf8());
        configHome = std::make_unique<ScopedEnv>("XDG_CONFIG_HOME", (root + S("/.config")).toUtf8());
        docs = root + S("/Documents");
        ASSERT_TRUE(QDir().mkpath(docs));
        MsgDialogTestSeam::Clear();
        MsgDialogTestSeam::SetStrict(true);
        SelectDialogTestSeam::Clear();
        InputBoxTestSeam::Clear();
    }

    void TearDown() override
    {
        EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
        EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers());
        EXPECT_FALSE(SelectDialogTestSeam::HasPendingAnswers());
        EXPECT_FALSE(InputBoxTestSeam::HasPendingAnswers());
        MsgDialogTestSeam::Clear();
    }

    // Runs Execute the way the main window does and lets `action` drive the
    // shown dialog; the action must close it.
    bool Run(TShellDirDialog& dialog, QString& dir, const std::function<void()>& action, const QString& homeDir = {})
    {
        WhenModalShown([&](QWidget*) { action(); });
        return dialog.Execute(S("Directory with files to print"), true, true, false, homeDir, dir);
    }

    // Selects folder and deletes it with the given answer to the question;
    // the box that reports the outcome is answered with OK.
    void DeleteAnswering(TShellDirDialog& dialog, const QString& folder, int answer)
    {
        dialog.ShowDirectory(folder);
        ASSERT_EQ(dialog.TreePath(), folder);
        SelectDialogTestSeam::PushAnswer(answer);
        MsgDialogTestSeam::PushAnswer(mrOk);
        dialog.itmDeleteClick();
    }

    QStringList Messages() const
    {
        QStringList result;
        for (const TMsgBoxRecord& box : MsgDialogTestSeam::AnsweredBoxes())
            result << box.Msg;
        return result;
    }

    QTemporaryDir tmp;
    QString root;
    QString docs;
    std::unique_ptr<ScopedEnv> home;
    std::unique_ptr<ScopedEnv> configHome;
};

TEST_F(ShellDirDialogTest, EmptyOrVanishedDirectoryOpensInDocumentsUnderComputer)
{
    TShellDirDialog dialog;
    for (const QString& start : QStringList{QString(), root + S("/gone")}) {
        QString dir = start;
        QString field;
        bool computer = false;
        EXPECT_TRUE(Run(dialog, dir, [&] {
            field = dialog.cbxSelectedDir->currentText();
            computer = dialog.spbComputer->isChecked();
            EXPECT_EQ(dialog.RootKind(), TRootKind::MyComputer);
            EXPECT_EQ(dialog.TreePath(), docs);
            EXPECT_TRUE(dialog.btbOK->isEnabled());
            EXPECT_FALSE(dialog.laVolHint->text().isEmpty());
            QTest::mouseClick(dialog.btbOK, Qt::LeftButton);
        }));
        EXPECT_EQ(field, docs);
        EXPECT_TRUE(computer);
        EXPECT_EQ(dir, docs + u'/');
    }
}

TEST_F(ShellDirDialogTest, OkReturnsExactlyOneTrailingDelimiter)
{
    TShellDirDialog dialog;
    QString dir = S("/");
    EXPECT_TRUE(Run(dialog, dir, [&] { QTest::mouseClick(dialog.btbOK, Qt::LeftButton); }));
    EXPECT_EQ(dir, S("/"));

    ASSERT_TRUE(QDir().mkpath(docs + S("/sub")));
    dir = docs + S("/");
    EXPECT_TRUE(Run(dialog, dir, [&] {
        dialog.cbxSelectedDir->setEditText(docs + S("/sub//"));
        QTest::mouseClick(dialog.btbOK, Qt::LeftButton);
    }));
    EXPECT_EQ(dir, docs + S("/sub/"));

    // Cancel leaves the value alone; a field naming no folder disables OK.
    const QString before = dir;
    EXPECT_FALSE(Run(dialog, dir, [&] {
        dialog.cbxSelectedDir->setEditText(root + S("/nowhere"));
        EXPECT_FALSE(dialog.btbOK->isEnabled());
        QTest::keyClick(dialog.cbxSelectedDir->lineEdit(), Qt::Key_Escape);
    }));
    EXPECT_EQ(dir, before);
}

TEST_F(ShellDirDialogTest, HistoryKeepsOneEntryPerFolderNewestCaseAtMostFifteen)
{
    TShellDirDialog dialog;
    dialog.AddDirToHistory(S("/data/Reports"));
    dialog.AddDirToHistory(S("/data/other"));
    dialog.AddDirToHistory(S("/DATA/reports"));
    EXPECT_EQ(dialog.DirList, (QStringList{S("/DATA/reports"), S("/data/other")}));
    EXPECT_EQ(dialog.cbxSelectedDir->count(), 2);

    for (int i = 0; i < 15; ++i)
        dialog.AddDirToHistory(S("/f%1").arg(i));
    ASSERT_EQ(dialog.DirList.size(), 15);
    EXPECT_EQ(dialog.DirList.front(), S("/f14"));
    EXPECT_EQ(dialog.DirList.back(), S("/f0"));

    // Choosing an entry of the list opens that folder.
    dialog.AddDirToHistory(docs);
    Q_EMIT dialog.cbxSelectedDir->activated(0);
    EXPECT_EQ(dialog.TreePath(), docs);

    dialog.RemoveDirFromHistory(S("/F3"));
    EXPECT_EQ(dialog.DirList.size(), 14);
    EXPECT_FALSE(dialog.DirList.contains(S("/f3")));
    EXPECT_EQ(dialog.cbxSelectedDir->currentText(), docs);

    // Only the OK button adds to the history.
    TShellDirDialog fresh;
    QString dir = docs;
    Run(fresh, dir, [&] { QTest::mouseClick(fresh.btbCancel, Qt::LeftButton); });
    EXPECT_TRUE(fresh.DirList.isEmpty());
    Run(fresh, dir, [&] { QTest::mouseClick(fresh.btbOK, Qt::LeftButton); });
    EXPECT_EQ(fresh.DirList, QStringList{docs});
}

int ArrowWidth(QComboBox* box)
{
    QStyleOptionComboBox option;
    option.initFrom(box);
    option.editable = true;
    option.subControls = QStyle::SC_All;
    return box->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, box).width();
}

TEST_F(ShellDirDialogTest, DropDownButtonOnlyWithHistory)
{
    TShellDirDialog dialog;
    QString dir = docs;
    int without = -1;
    int with = -1;
    Run(dialog, dir, [&] {
        // Without the file list the window is as wide as its left half.
        EXPECT_FALSE(dialog.PanelRight->isVisible());
        EXPECT_EQ(dialog.size(), QSize(408, 406));
        EXPECT_EQ(dialog.PanelLeft->width(), 408);
        without = ArrowWidth(dialog.cbxSelectedDir);
        QTest::mouseClick(dialog.btbOK, Qt::LeftButton);
    });
    Run(dialog, dir, [&] {
        with = ArrowWidth(dialog.cbxSelectedDir);
        EXPECT_EQ(dialog.cbxSelectedDir->count(), 1);
        QTest::mouseClick(dialog.btbCancel, Qt::LeftButton);
    });
    EXPECT_EQ(without, 0);
    EXPECT_GT(with, 0);
}

TEST_F(ShellDirDialogTest, UpMovesThroughRootsAndFolders)
{
    TShellDirDialog dialog;
    ASSERT_TRUE(QDir().mkpath(docs + S("/a/b")));

    // From the top node of Documents to the Computer root.
    QTest::mouseClick(dialog.spbMyFiles, Qt::LeftButton);
    EXPECT_EQ(dialog.RootKind(), TRootKind::Personal);
    EXPECT_EQ(dialog.TreePath(), docs);
    EXPECT_EQ(dialog.SelectedLevel(), 0);
    dialog.spbUpClick();
    EXPECT_EQ(dialog.RootKind(), TRootKind::MyComputer);
    EXPECT_TRUE(dialog.spbComputer->isChecked());

    // Inside Documents: the parent folder, shown under the Computer root.
    QTest::mouseClick(dialog.spbMyFiles, Qt::LeftButton);
    dialog.SetTreePath(docs + S("/a/b"));
    ASSERT_EQ(dialog.TreePath(), docs + S("/a/b"));
    dialog.spbUpClick();
    EXPECT_EQ(dialog.RootKind(), TRootKind::MyComputer);
    EXPECT_EQ(dialog.TreePath(), docs + S("/a"));
    dialog.spbUpClick();
    EXPECT_EQ(dialog.TreePath(), docs);
}

TEST_F(ShellDirDialogTest, NetworkFoldersOpenUnderTheNetworkRoot)
{
    const ScopedEnv runtime("XDG_RUNTIME_DIR", (root + S("/run")).toUtf8());
    const QString share = root + S("/run/gvfs/smb-share:server=nas,share=docs/folder");
    ASSERT_TRUE(QDir().mkpath(share));
    EXPECT_EQ(NetworkFolderPath(), root + S("/run/gvfs"));
    EXPECT_TRUE(IsNetworkPath(share));
    EXPECT_FALSE(IsNetworkPath(docs));

    TShellDirDialog dialog;
    dialog.ShowDirectory(share);
    EXPECT_TRUE(dialog.spbNetwork->isChecked());
    EXPECT_EQ(dialog.RootKind(), TRootKind::Network);
    EXPECT_EQ(dialog.TreePath(), share);
}

TEST_F(ShellDirDialogTest, DeleteForGoodClearsReadOnlyAndCountsTheFolderItself)
{
    const QString victim = docs + S("/victim");
    ASSERT_TRUE(WriteFile(victim + S("/a.txt"), "a"));
    ASSERT_TRUE(WriteFile(victim + S("/sub/ro.txt"), "r"));
    ASSERT_TRUE(WriteFile(victim + S("/.hidden"), "h"));
    QFile::setPermissions(victim + S("/sub/ro.txt"), QFileDevice::ReadOwner);
    QFile::setPermissions(victim + S("/sub"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    // A link inside goes as a link; the folder it points to stays.
    const QString outside = root + S("/outside");
    ASSERT_TRUE(WriteFile(outside + S("/keep.txt"), "k"));
    ASSERT_TRUE(QFile::link(outside, victim + S("/link")));

    TShellDirDialog dialog;
    DeleteAnswering(dialog, victim, 0);

    EXPECT_FALSE(QFileInfo::exists(victim));
    EXPECT_TRUE(QFileInfo::exists(outside + S("/keep.txt")));
    EXPECT_EQ(Messages(), QStringList{S("2 directories with 4 files deleted!")});
    ASSERT_EQ(SelectDialogTestSeam::AnsweredQuestions().size(), 1);
    const auto question = SelectDialogTestSeam::AnsweredQuestions().front();
    EXPECT_EQ(question.Title, S("Delete directory"));
    EXPECT_EQ(question.Caption, S("Delete \"") + victim + u'"');
    EXPECT_EQ(question.Buttons, (QStringList{S("Definitely"), S("To recycle bin")}));
    EXPECT_EQ(question.PreSelection, -1);
    // The selection moved up before the folder went.
    EXPECT_EQ(dialog.TreePath(), docs);
}

TEST_F(ShellDirDialogTest, UndeletableFileKeepsItsFoldersAndEndsInTheErrorBox)
{
    const QString base = docs + S("/keep");
    const QString locked = base + S("/inner/locked.txt");
    ASSERT_TRUE(WriteFile(locked, "l"));
    ASSERT_TRUE(WriteFile(base + S("/inner/other.txt"), "o"));
    ASSERT_TRUE(WriteFile(base + S("/x.txt"), "x"));
    // Permissions do not stop root; the immutable flag stops everybody.
    if (QProcess::execute(S("chattr"), {S("+i"), locked}) != 0)
        GTEST_SKIP() << "chattr +i is not available here, and nothing else makes a file undeletable"
                     << (geteuid() == 0 ? " for root" : "");
    struct TUnlock
    {
        QString file;
        ~TUnlock() { QProcess::execute(S("chattr"), {S("-i"), file}); }
    } unlock{locked};

    TShellDirDialog dialog;
    DeleteAnswering(dialog, base, 0);

    EXPECT_TRUE(QFileInfo::exists(locked));
    EXPECT_FALSE(QFileInfo::exists(base + S("/inner/other.txt")));
    EXPECT_FALSE(QFileInfo::exists(base + S("/x.txt")));
    EXPECT_TRUE(QFileInfo(base).isDir());
    EXPECT_EQ(Messages(), QStringList{S("Error deleting directory:\r\n") + base + u'!'});
    EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes().front().DlgType, mtError);
}

TEST_F(ShellDirDialogTest, CancelOrEscapeOnTheDeleteQuestionChangesNothing)
{
    const QString folder = docs + S("/stay");
    ASSERT_TRUE(WriteFile(folder + S("/f.txt"), "f"));
    TShellDirDialog dialog;
    dialog.ShowDirectory(folder);

    SelectDialogTestSeam::PushAnswer(-1);
    dialog.itmDeleteClick();
    EXPECT_EQ(dialog.TreePath(), folder);

    // The real question, answered with Escape.
    WhenModalShown([](QWidget* question) { QTest::keyClick(question, Qt::Key_Escape); });
    dialog.itmDeleteClick();
    EXPECT_EQ(dialog.TreePath(), folder);
    EXPECT_TRUE(QFileInfo::exists(folder + S("/f.txt")));
}

TEST_F(ShellDirDialogTest, MoveToTrash)
{
    const ScopedEnv dataHome("XDG_DATA_HOME", (root + S("/.local/share")).toUtf8());
    ASSERT_TRUE(QDir().mkpath(root + S("/.local/share")));
    const QString folder = docs + S("/old");
    ASSERT_TRUE(WriteFile(folder + S("/f.txt"), "f"));
    TShellDirDialog dialog;
    DeleteAnswering(dialog, folder, 1);
    EXPECT_FALSE(QFileInfo::exists(folder));
    EXPECT_EQ(Messages(), QStringList{folder + S(" moved to Recycle Bin!")});
    EXPECT_TRUE(QFileInfo::exists(root + S("/.local/share/Trash/files/old/f.txt")));
}

TEST_F(ShellDirDialogTest, NewFolderCreatesEveryLevelOrReportsTheFullPath)
{
    TShellDirDialog dialog;
    dialog.ShowDirectory(docs);
    InputBoxTestSeam::PushAnswer(S("a/b"));
    dialog.spbNewClick();
    EXPECT_TRUE(QFileInfo(docs + S("/a/b")).isDir());
    EXPECT_EQ(dialog.TreePath(), docs + S("/a/b"));

    ASSERT_TRUE(WriteFile(docs + S("/file"), "f"));
    dialog.SetTreePath(docs);
    InputBoxTestSeam::PushAnswer(S("file/x"));
    MsgDialogTestSeam::PushAnswer(mrOk);
    dialog.spbNewClick();
    EXPECT_EQ(Messages(), QStringList{S("Could not create directory:\r\n") + docs + S("/file/x!")});
    EXPECT_EQ(dialog.TreePath(), docs);

    InputBoxTestSeam::PushAnswer(std::nullopt);
    dialog.spbNewClick();
    EXPECT_EQ(dialog.TreePath(), docs);
}

TEST_F(ShellDirDialogTest, HomeThatCannotBeEnteredLeavesTheHistory)
{
    TShellDirDialog dialog;
    const QString gone = root + S("/gone");
    dialog.AddDirToHistory(docs);
    dialog.AddDirToHistory(gone);
    dialog.FDefaultDir = gone;
    MsgDialogTestSeam::PushAnswer(mrOk);
    dialog.spbHomeClick();
    EXPECT_EQ(Messages(), QStringList{S("Directory not found:\r\n") + gone + u'!'});
    EXPECT_EQ(dialog.DirList, QStringList{docs});

    const QString cwd = QDir::currentPath();
    dialog.FDefaultDir = docs;
    dialog.spbHomeClick();
    EXPECT_EQ(dialog.TreePath(), docs);
    QDir::setCurrent(cwd);
}

TEST_F(ShellDirDialogTest, KeysRefreshAndClose)
{
    TShellDirDialog dialog;
    QString dir = docs;
    QSignalSpy resets(dialog.ShellTreeView->model(), &QAbstractItemModel::modelReset);
    const bool ok = Run(dialog, dir, [&] {
        resets.clear();
        QTest::keyClick(dialog.ShellTreeView, Qt::Key_F5, Qt::ControlModifier);
        EXPECT_EQ(resets.count(), 0);
        QTest::keyClick(dialog.ShellTreeView, Qt::Key_F5);
        EXPECT_EQ(resets.count(), 1);
        EXPECT_EQ(dialog.TreePath(), docs);
        // Enter does what the OK button does, so not while that is disabled.
        dialog.cbxSelectedDir->setEditText(root + S("/missing"));
        QTest::keyClick(dialog.cbxSelectedDir->lineEdit(), Qt::Key_Return);
        EXPECT_TRUE(dialog.isVisible());
        dialog.cbxSelectedDir->setEditText(docs);
        QTest::keyClick(dialog.ShellTreeView, Qt::Key_Return, Qt::ControlModifier);
    });
    EXPECT_TRUE(ok);
    EXPECT_EQ(dir, docs + u'/');
    EXPECT_EQ(dialog.DirList, QStringList{docs});
}

TEST_F(ShellDirDialogTest, LinkedFolderStandsForItsTarget)
{
    const QString target = root + S("/target");
    ASSERT_TRUE(QDir().mkpath(target));
    ASSERT_TRUE(QFile::link(target, docs + S("/shortcut")));
    TShellDirDialog dialog;
    QString dir = docs;
    QString field;
    Run(dialog, dir, [&] {
        dialog.SetTreePath(docs + S("/shortcut"));
        field = dialog.cbxSelectedDir->currentText();
        QTest::mouseClick(dialog.btbOK, Qt::LeftButton);
    });
    EXPECT_EQ(field, target);
    EXPECT_EQ(dir, target + u'/');
}

TEST_F(ShellDirDialogTest, FileListColumnsAndZipArchives)
{
    ASSERT_TRUE(WriteFile(docs + S("/a.pdf"), "%PDF"));
    ASSERT_TRUE(WriteFile(docs + S("/pack.zip"), "PK"));
    TShellDirDialog dialog;
    dialog.cbxFiles->setChecked(true);
    QString dir = docs;
    Run(dialog, dir, [&] {
        EXPECT_TRUE(dialog.PanelRight->isVisible());
        const int unit = dialog.fontMetrics().horizontalAdvance(u'X');
        EXPECT_EQ(dialog.ShellListView->columnWidth(1), 12 * unit);
        EXPECT_EQ(dialog.ShellListView->columnWidth(3), 17 * unit);
        const int units = dialog.ShellListView->width() / unit;
        EXPECT_EQ(dialog.ShellListView->columnWidth(0), qMax(10, units - 48) * unit);
        const QAbstractItemModel* list = dialog.ShellListView->model();
        EXPECT_EQ(list->headerData(3, Qt::Horizontal).toString(), S("Modified"));
        // Zip archives are folders here: in the tree, not in the list.
        ASSERT_TRUE(WaitForListRows(dialog.ShellListView, 1));
        EXPECT_EQ(list->index(0, 0, dialog.ShellListView->rootIndex()).data().toString(), S("a.pdf"));
        dialog.SetTreePath(docs + S("/pack.zip"));
        EXPECT_EQ(dialog.TreePath(), docs + S("/pack.zip"));
        EXPECT_FALSE(dialog.btbOK->isEnabled());
        dialog.SetTreePath(docs);
        EXPECT_EQ(dialog.width(), 801);
        dialog.cbxFiles->click();
        EXPECT_FALSE(dialog.PanelRight->isVisible());
        EXPECT_EQ(dialog.width(), 408);
        dialog.cbxFiles->click();
        EXPECT_EQ(dialog.width(), 801);
        QTest::mouseClick(dialog.btbCancel, Qt::LeftButton);
    });

    // Zip archives as files: in the list, not in the tree.
    dialog.cbxFiles->setChecked(true);
    WhenModalShown([&](QWidget*) {
        EXPECT_TRUE(WaitForListRows(dialog.ShellListView, 2));
        dialog.SetTreePath(docs + S("/pack.zip"));
        EXPECT_EQ(dialog.TreePath(), docs);
        dialog.reject();
    });
    EXPECT_FALSE(dialog.Execute(S("Zip"), false, true, true, QString(), dir));
}

TEST_F(ShellDirDialogTest, FileListKeepsShowingTheFolderWhenAFolderAboveChanges)
{
    // Under the network root the tree's root folder is listed at every
    // opening, which brings fresh information about the folders below it.
    const ScopedEnv runtime("XDG_RUNTIME_DIR", (root + S("/run")).toUtf8());
    const QString share = root + S("/run/gvfs/share");
    const QString folder = share + S("/folder");
    ASSERT_TRUE(WriteFile(folder + S("/a.pdf"), "%PDF"));
    TShellDirDialog dialog;
    dialog.cbxFiles->setChecked(true);
    const auto* proxy = qobject_cast<const QAbstractProxyModel*>(dialog.ShellListView->model());
    ASSERT_TRUE(proxy);
    QSignalSpy loaded(proxy->sourceModel(), SIGNAL(directoryLoaded(QString)));
    for (int opening = 1; opening <= 3; ++opening) {
        // Something else changes the share between two openings.
        ASSERT_TRUE(WriteFile(share + S("/other%1.txt").arg(opening), "x"));
        loaded.clear();
        QString dir = folder;
        Run(dialog, dir, [&] {
            const QString networkRoot = root + S("/run/gvfs");
            EXPECT_TRUE(QTest::qWaitFor([&] { return loaded.contains(QVariantList{networkRoot}) || opening == 1; }))
                << opening;
            // The root index is read afresh each time: a model index goes
            // stale while the loaders change the model during the wait.
            EXPECT_TRUE(QTest::qWaitFor([&] { return proxy->rowCount(dialog.ShellListView->rootIndex()) == 1; }))
                << opening;
            const QModelIndex shown = dialog.ShellListView->rootIndex();
            EXPECT_TRUE(shown.isValid()) << opening;
            EXPECT_EQ(proxy->index(0, 0, shown).data().toString(), S("a.pdf")) << opening;
            dialog.reject();
        });
    }
}

TEST_F(ShellDirDialogTest, SelectedFolderIsScrolledIntoViewOnceItsParentIsRead)
{
    // Many siblings that arrive after the dialog has opened, most of them
    // sorted before the selected folder.
    for (int i = 0; i < 300; ++i)
        ASSERT_TRUE(QDir().mkpath(docs + S("/d%1").arg(i, 3, 10, QLatin1Char('0'))));
    const QString selected = docs + S("/d290");
    TShellDirDialog dialog;
    QTreeView* tree = dialog.ShellTreeView;
    const auto inView = [tree] {
        const QModelIndex current = tree->currentIndex();
        return tree->model()->rowCount(current.parent()) == 300 &&
               tree->viewport()->rect().contains(tree->visualRect(current));
    };
    // Polled from the dialog's own event loop, which must stay free to run
    // what the model and the dialog have queued.
    QTimer poll;
    QElapsedTimer clock;
    QObject::connect(&poll, &QTimer::timeout, &dialog, [&] {
        if (dialog.isVisible() && (inView() || clock.hasExpired(5000)))
            dialog.reject();
    });
    clock.start();
    poll.start(10);
    QString dir = selected;
    EXPECT_FALSE(dialog.Execute(S("Directory"), true, true, false, QString(), dir));
    EXPECT_TRUE(inView()) << "rows " << tree->model()->rowCount(tree->currentIndex().parent());
    EXPECT_EQ(dialog.TreePath(), selected);
}

TEST(ShellDirDialogHelpers, QueuedAnswersReplaceTheDialog)
{
    ShellDirDialogTestSeam::Clear();
    ShellDirDialogTestSeam::PushAnswer(S("/data/pdf//"));
    ShellDirDialogTestSeam::PushAnswer(std::nullopt);
    TShellDirDialog dialog;
    QString dir = S("/start");
    EXPECT_TRUE(dialog.Execute(S("Pick"), true, true, false, QString(), dir));
    EXPECT_EQ(dir, S("/data/pdf/"));
    EXPECT_FALSE(dialog.Execute(S("Again"), true, true, false, QString(), dir));
    EXPECT_EQ(dir, S("/data/pdf/"));
    EXPECT_FALSE(ShellDirDialogTestSeam::HasPendingAnswers());
    ASSERT_EQ(ShellDirDialogTestSeam::AnsweredCalls().size(), 2);
    EXPECT_EQ(ShellDirDialogTestSeam::AnsweredCalls().front().Dir, S("/start"));
    EXPECT_EQ(ShellDirDialogTestSeam::AnsweredCalls().back().Title, S("Again"));

    // Strict: an unexpected opening is recorded and cancelled, not shown.
    ShellDirDialogTestSeam::SetStrict(true);
    EXPECT_FALSE(dialog.Execute(S("Unexpected"), true, true, false, QString(), dir));
    EXPECT_EQ(dir, S("/data/pdf/"));
    ASSERT_EQ(ShellDirDialogTestSeam::UnexpectedCalls().size(), 1);
    EXPECT_EQ(ShellDirDialogTestSeam::UnexpectedCalls().front().Title, S("Unexpected"));
    ShellDirDialogTestSeam::Clear();
}

} // namespace
