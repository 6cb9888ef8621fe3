#pragma once

#include <QDialog>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

class QAbstractButton;
class QButtonGroup;
class QCheckBox;
class QComboBox;
class QFileSystemModel;
class QLabel;
class QMenu;
class QAction;
class QModelIndex;
class QSplitter;
class QToolButton;
class QTreeView;
class TFolderProxy;

// The tree's root: one of the four special roots or a folder of its own.
enum class TRootKind
{
    Desktop,
    Personal,
    MyComputer,
    Network,
    Folder
};

// The program's folder picker: a folder tree with four root buttons, an
// optional file list, a directory field with the history of this run and the
// free space of the chosen volume. One instance lives as long as the program;
// size, splitter, "Show files", root, path and history carry over.
class TShellDirDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TShellDirDialog(QWidget* parent = nullptr);
    ~TShellDirDialog() override;

    // On OK: true, and dir is the chosen folder with one trailing delimiter.
    // Cancel leaves dir unchanged.
    bool Execute(const QString& title, bool hidden, bool fileView, bool zipAsFiles, const QString& homeDir,
                 QString& dir);

    void ShowDirectory(QString dir);
    void ShowFileList(bool on);
    QString VolumeText(const QString& dir) const;
    void AddDirToHistory(const QString& dir);
    void RemoveDirFromHistory(const QString& dir);

    // The tree's current folder ("" when none is selected).
    QString TreePath() const;
    void SetTreePath(const QString& path);
    TRootKind RootKind() const { return FRootKind; }
    QString RootPath() const { return FRootPath; }
    void SetRoot(TRootKind kind, const QString& folder = {});
    // Level of the selected node (0 = the root's top node), -1 without one.
    int SelectedLevel() const;

    void spbUpClick();
    void spbHomeClick();
    void spbNewClick();
    void itmDeleteClick();
    void itmUpdateClick();

    QString FDefaultDir;
    QStringList DirList;

    QWidget* PanelLeft;
    QWidget* panRoot;
    QToolButton* spbDesktop;
    QToolButton* spbMyFiles;
    QToolButton* spbComputer;
    QToolButton* spbNetwork;
    QButtonGroup* RootGroup;
    QTreeView* ShellTreeView;
    QWidget* Panel1;
    QLabel* Label1;
    QCheckBox* cbxFiles;
    QToolButton* spbHome;
    QToolButton* spbUp;
    QToolButton* spbNew;
    QComboBox* cbxSelectedDir;
    QLabel* laVolHint;
    QAbstractButton* btbOK;
    QAbstractButton* btbCancel;
    QSplitter* Splitter;
    QWidget* PanelRight;
    QTreeView* ShellListView;
    QMenu* PopupMenu;
    QAction* itmCreate;
    QAction* itmDelete;
    QAction* itmUpdate;
    QAction* cancel1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormShow();
    void FormActivate();
    void ShellTreeViewChange();
    void ShellTreeViewContextMenu(const QPoint& pos);
    void cbxSelectedDirChange(const QString& text);
    void btbOKClick();
    void AdjustColumns();
    void RememberPanelWidths();
    void UpdateDropDown();
    void PressRootButton(TRootKind kind);
    void RootButtonClick(QAbstractButton* button);
    void RefreshTree();
    void LinkFileList(bool linked);
    void SetObjectTypes(bool hidden, bool zipAsFiles);
    bool IsActiveDialog() const;
    QModelIndex SelectedSource() const;
    int Scaled(int v) const;
    QFileSystemModel* CreateTreeModel();
    void ApplyRoot();
    void KeepSelectedInView();
    void WaitForFolder(const QString& folder, int maxMs);
    QStringList ExpandedPaths(const QModelIndex& parent) const;

    TRootKind FRootKind = TRootKind::MyComputer;
    QString FRootPath;
    bool FHidden = false;
    bool FZipAsFiles = false;
    bool FListLinked = false;
    int FLeftWidth = 0;
    int FFullWidth = 0;    // with the file list
    QSet<QString> FLoaded; // folders the tree model has read
    bool FKeepInView = false;
    bool FScrollQueued = false;
    QFileSystemModel* FTreeModel = nullptr;
    TFolderProxy* FTreeProxy = nullptr;
    QFileSystemModel* FListModel = nullptr;
    TFolderProxy* FListProxy = nullptr;
};

// The program's single folder dialog, created at start-up after the main
// window and destroyed at the end.
extern TShellDirDialog* ShellDirDialog;

namespace ShellDirDialogTestSeam {
struct TCall
{
    QString Title;
    bool Hidden;
    bool FileView;
    bool ZipAsFiles;
    QString HomeDir;
    QString Dir;
};
// Queues the answer of the next Execute: a folder for OK (returned with a
// trailing delimiter) or nullopt for Cancel. While answers are queued the
// dialog is not shown.
void PushAnswer(std::optional<QString> dir);
bool HasPendingAnswers();
// Also leaves strict mode.
void Clear();
QList<TCall> AnsweredCalls();
// Strict mode: an Execute that finds the queue empty is recorded as
// unexpected and cancelled instead of showing the dialog.
void SetStrict(bool strict);
QList<TCall> UnexpectedCalls();
} // namespace ShellDirDialogTestSeam
