#include "dialogs/ShellDirDlg.h"

#include "dialogs/AnswerQueue.h"

#include "app/GnuGetText.h"
#include "app/HistoryCombo.h"
#include "dialogs/InputQuery.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/ScreenScale.h"
#include "dialogs/SelectDlg.h"
#include "platform/NetworkFolder.h"
#include "platform/SysInfo.h"
#include "util/FileIO.h"
#include "util/NumberUtils.h"
#include "util/RecentList.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"

#include <QApplication>
#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSplitter>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>

namespace {

TAnswerQueue<std::optional<QString>, ShellDirDialogTestSeam::TCall> g_dirSeam;

const QChar Delim = PathDelimiter();

bool IsDirectory(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isDir();
}

// A special folder that must exist to be shown; the home folder stands in.
QString ExistingFolder(const QString& path)
{
    return IsDirectory(path) ? WithoutTrailingDelimiter(path) : QDir::homePath();
}

// The folder history of this run.
constexpr int MaxDirHistory = 15;

} // namespace

TShellDirDialog* ShellDirDialog = nullptr;

// Filters a file-system model for the folder tree or the file list. The tree
// shows its root folder as the single top node: the root's ancestors are
// kept (the view's root index is the root's parent) but their other children
// are not. The list hides the folders of the listed folder and, on request,
// zip archives. Sorting is left to the file-system model, which sorts sizes
// and dates by value.
class TFolderProxy : public QSortFilterProxyModel
{
public:
    enum TMode
    {
        Tree,
        List
    };
    TFolderProxy(TMode mode, QObject* parent) : QSortFilterProxyModel(parent), FMode(mode) {}

    void SetFolder(const QString& folder)
    {
        FFolder = folder;
        invalidateFilter();
    }
    void SetHideZip(bool hide)
    {
        FHideZip = hide;
        invalidateFilter();
    }
    QFileSystemModel* Source() const { return static_cast<QFileSystemModel*>(sourceModel()); }

    void sort(int column, Qt::SortOrder order) override
    {
        if (sourceModel())
            sourceModel()->sort(column, order);
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (FMode == List && orientation == Qt::Horizontal && role == Qt::DisplayRole) {
            static const char* const names[] = {MarkDialogs("Name"), MarkDialogs("Size"), MarkDialogs("Type"),
                                                MarkDialogs("Modified")};
            if (section >= 0 && section < 4)
                return TrDialogs(names[section]);
        }
        return QSortFilterProxyModel::headerData(section, orientation, role);
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override
    {
        const QModelIndex index = sourceModel()->index(row, 0, parent);
        const QString path = Source()->filePath(index);
        if (FMode == List) {
            const bool isDir = Source()->isDir(index);
            if (isDir && Source()->filePath(parent) == FFolder)
                return false;
            return !(FHideZip && !isDir && path.endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive));
        }
        if (FFolder.isEmpty() || FFolder == Delim)
            return true;
        const QString ancestor = path == Delim ? path : path + Delim;
        return path == FFolder || path.startsWith(FFolder + Delim) || FFolder.startsWith(ancestor);
    }

private:
    TMode FMode;
    QString FFolder;
    bool FHideZip = false;
};

namespace {

QToolButton* NewSpeedButton(QWidget* parent, const QIcon& icon, int tag)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(icon);
    button->setProperty("Tag", tag);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

QIcon ThemeIcon(const char* name, QStyle::StandardPixmap fallback, const QWidget* w)
{
    return QIcon::fromTheme(QString::fromLatin1(name), w->style()->standardIcon(fallback));
}

} // namespace

TShellDirDialog::TShellDirDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    QFont designFont = font();
    designFont.setPixelSize(Scaled(11));
    setFont(designFont);
    setWindowTitle(TrDialogs("Select directory"));

    auto* mainLayout = new QHBoxLayout(this);
    mainLayout->setContentsMargins(0, 0, 0, 0);
    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setHandleWidth(Scaled(3));
    Splitter->setChildrenCollapsible(false);
    mainLayout->addWidget(Splitter);

    PanelLeft = new QWidget(Splitter);
    PanelLeft->setMinimumWidth(1);
    auto* leftLayout = new QVBoxLayout(PanelLeft);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* upper = new QWidget(PanelLeft);
    auto* upperLayout = new QHBoxLayout(upper);
    upperLayout->setContentsMargins(0, 0, 0, 0);
    upperLayout->setSpacing(0);
    leftLayout->addWidget(upper, 1);

    auto* rootFrame = new QFrame(upper);
    rootFrame->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    rootFrame->setFixedWidth(Scaled(96));
    rootFrame->setAutoFillBackground(true);
    panRoot = rootFrame;
    auto* rootLayout = new QVBoxLayout(panRoot);
    rootLayout->setContentsMargins(1, 1, 1, 1);
    rootLayout->setSpacing(0);
    RootGroup = new QButtonGroup(this);
    RootGroup->setExclusive(true);
    const auto rootButton = [&](const char* text, const QIcon& icon, int tag) -> QToolButton* {
        QToolButton* button = NewSpeedButton(panRoot, icon, tag);
        button->setText(TrDialogs(text));
        button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
        button->setCheckable(true);
        button->setFixedSize(Scaled(94), Scaled(71));
        // Enlarged for the screen by ScaleGlyphs with all other glyphs.
        button->setIconSize(QSize(32, 32));
        RootGroup->addButton(button, tag);
        rootLayout->addWidget(button);
        return button;
    };
    spbDesktop = rootButton(MarkDialogs("Desktop"), style()->standardIcon(QStyle::SP_DesktopIcon), 100);
    spbMyFiles = rootButton(MarkDialogs("Documents"), ThemeIcon("folder-documents", QStyle::SP_DirHomeIcon, this), 101);
    spbComputer = rootButton(MarkDialogs("Computer"), style()->standardIcon(QStyle::SP_ComputerIcon), 102);
    spbNetwork = rootButton(MarkDialogs("Network"), style()->standardIcon(QStyle::SP_DriveNetIcon), 103);
    rootLayout->addStretch(1);
    spbComputer->setChecked(true);
    upperLayout->addWidget(panRoot);

    ShellTreeView = new QTreeView(upper);
    ShellTreeView->setHeaderHidden(true);
    ShellTreeView->setRootIsDecorated(false);
    ShellTreeView->setIndentation(Scaled(19));
    ShellTreeView->setUniformRowHeights(true);
    ShellTreeView->setContextMenuPolicy(Qt::CustomContextMenu);
    ShellTreeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    upperLayout->addWidget(ShellTreeView, 1);

    Panel1 = new QWidget(PanelLeft);
    Panel1->setFixedHeight(Scaled(91));
    leftLayout->addWidget(Panel1);
    Label1 = new QLabel(TrDialogs("Directory:"), Panel1);
    Label1->move(Scaled(5), Scaled(13));
    cbxFiles = new QCheckBox(TrDialogs("Show files"), Panel1);
    cbxFiles->setGeometry(Scaled(95), Scaled(4), Scaled(225), cbxFiles->sizeHint().height());
    spbHome = NewSpeedButton(Panel1, style()->standardIcon(QStyle::SP_DirHomeIcon), 200);
    spbHome->setToolTip(TrDialogs("Go to default folder"));
    spbUp = NewSpeedButton(Panel1, style()->standardIcon(QStyle::SP_FileDialogToParent), 201);
    spbUp->setToolTip(TrDialogs("One folder up"));
    spbNew = NewSpeedButton(Panel1, style()->standardIcon(QStyle::SP_FileDialogNewFolder), 202);
    spbNew->setToolTip(TrDialogs("Create new folder"));
    int x = 327;
    for (QToolButton* button : {spbHome, spbUp, spbNew}) {
        button->setGeometry(Scaled(x), Scaled(3), Scaled(21), Scaled(21));
        x += 25;
    }
    cbxSelectedDir = new QComboBox(Panel1);
    cbxSelectedDir->setEditable(true);
    cbxSelectedDir->setInsertPolicy(QComboBox::NoInsert);
    cbxSelectedDir->setToolTip(TrDialogs("Directory"));
    SetHistoryBoxDropDown(cbxSelectedDir, false);
    cbxSelectedDir->setGeometry(Scaled(5), Scaled(30), Scaled(393), cbxSelectedDir->sizeHint().height());
    laVolHint = new QLabel(Panel1);
    laVolHint->move(Scaled(10), Scaled(60));
    laVolHint->resize(Scaled(205), laVolHint->sizeHint().height());
    auto* ok = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), TrDialogs("OK"), Panel1);
    ok->setGeometry(Scaled(222), Scaled(55), Scaled(71), Scaled(31));
    ok->setDefault(true);
    btbOK = ok;
    auto* cancel = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), TrDialogs("Cancel"), Panel1);
    cancel->setGeometry(Scaled(297), Scaled(55), Scaled(101), Scaled(31));
    cancel->setAutoDefault(false);
    btbCancel = cancel;
    setTabOrder(cbxFiles, cbxSelectedDir);
    setTabOrder(cbxSelectedDir, btbOK);
    setTabOrder(btbOK, btbCancel);

    PanelRight = new QWidget(Splitter);
    PanelRight->setMinimumWidth(1);
    auto* rightLayout = new QVBoxLayout(PanelRight);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    ShellListView = new QTreeView(PanelRight);
    ShellListView->setRootIsDecorated(false);
    ShellListView->setItemsExpandable(false);
    ShellListView->setUniformRowHeights(true);
    ShellListView->header()->setStretchLastSection(false);
    ShellListView->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    rightLayout->addWidget(ShellListView);
    Splitter->addWidget(PanelLeft);
    Splitter->addWidget(PanelRight);
    Splitter->setStretchFactor(0, 0);
    Splitter->setStretchFactor(1, 1);

    PopupMenu = new QMenu(this);
    itmCreate = PopupMenu->addAction(TrDialogs("Create folder"));
    itmDelete = PopupMenu->addAction(TrDialogs("Delete folder"));
    PopupMenu->addSeparator();
    itmUpdate = PopupMenu->addAction(TrDialogs("Update"));
    cancel1 = PopupMenu->addAction(TrDialogs("Cancel"));

    FTreeModel = CreateTreeModel();
    FTreeProxy = new TFolderProxy(TFolderProxy::Tree, this);
    FTreeProxy->setSourceModel(FTreeModel);
    ShellTreeView->setModel(FTreeProxy);
    for (int column = 1; column < FTreeModel->columnCount(); ++column)
        ShellTreeView->setColumnHidden(column, true);

    FListModel = new QFileSystemModel(this);
    FListModel->setReadOnly(false);
    FListProxy = new TFolderProxy(TFolderProxy::List, this);
    FListProxy->setSourceModel(FListModel);
    ShellListView->setModel(FListProxy);
    ShellListView->setSortingEnabled(true);
    ShellListView->sortByColumn(0, Qt::AscendingOrder);
    SetObjectTypes(false, false);

    // The model reads folders after the dialog has opened; entries sorted in
    // above the selected folder would push it out of view.
    connect(FTreeProxy, &QAbstractItemModel::rowsInserted, this, &TShellDirDialog::KeepSelectedInView);
    connect(FTreeProxy, &QAbstractItemModel::layoutChanged, this, &TShellDirDialog::KeepSelectedInView);
    connect(ShellTreeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
            &TShellDirDialog::ShellTreeViewChange);
    connect(ShellTreeView, &QWidget::customContextMenuRequested, this, &TShellDirDialog::ShellTreeViewContextMenu);
    connect(RootGroup, &QButtonGroup::buttonClicked, this, &TShellDirDialog::RootButtonClick);
    connect(spbUp, &QToolButton::clicked, this, &TShellDirDialog::spbUpClick);
    connect(spbHome, &QToolButton::clicked, this, &TShellDirDialog::spbHomeClick);
    connect(spbNew, &QToolButton::clicked, this, &TShellDirDialog::spbNewClick);
    connect(itmCreate, &QAction::triggered, this, &TShellDirDialog::spbNewClick);
    connect(itmDelete, &QAction::triggered, this, &TShellDirDialog::itmDeleteClick);
    connect(itmUpdate, &QAction::triggered, this, &TShellDirDialog::itmUpdateClick);
    connect(cbxFiles, &QCheckBox::clicked, this, [this](bool checked) {
        if (isVisible())
            ShowFileList(checked);
    });
    connect(cbxSelectedDir, &QComboBox::editTextChanged, this, &TShellDirDialog::cbxSelectedDirChange);
    connect(cbxSelectedDir, &QComboBox::activated, this,
            [this](int index) { ShowDirectory(cbxSelectedDir->itemText(index)); });
    connect(btbOK, &QAbstractButton::clicked, this, &TShellDirDialog::btbOKClick);
    connect(btbCancel, &QAbstractButton::clicked, this, &QDialog::reject);
    connect(Splitter, &QSplitter::splitterMoved, this, [this] {
        RememberPanelWidths();
        AdjustColumns();
    });

    // Key preview: the dialog sees F5 and Enter before the focused control.
    installEventFilter(this);
    for (QWidget* child : findChildren<QWidget*>())
        child->installEventFilter(this);

    resize(Scaled(801), Scaled(406));
    Splitter->setSizes({Scaled(408), Scaled(390)});
    FLeftWidth = Scaled(408);
    FFullWidth = Scaled(801);
    CentreOnScreen(this);
    SetRoot(TRootKind::MyComputer);

    // Nothing in the program sets the application's tag; it would switch the
    // glyph scaling off.
    if (qApp->property("Tag").toInt() == 0)
        ScaleGlyphs(this, 96, ScreenPpi(this));
}

TShellDirDialog::~TShellDirDialog() = default;

int TShellDirDialog::Scaled(int v) const
{
    return ScaleLength(v, ScreenPpi(this));
}

QFileSystemModel* TShellDirDialog::CreateTreeModel()
{
    auto* model = new QFileSystemModel(this);
    model->setReadOnly(true);
    // The tree shows what it found when a folder was opened; Update reads anew.
    model->setOption(QFileSystemModel::DontWatchForChanges, true);
    model->setNameFilterDisables(false);
    connect(model, &QFileSystemModel::directoryLoaded, this,
            [this](const QString& path) { FLoaded.insert(WithoutTrailingDelimiter(path)); });
    return model;
}

void TShellDirDialog::SetObjectTypes(bool hidden, bool zipAsFiles)
{
    FHidden = hidden;
    FZipAsFiles = zipAsFiles;
    const QDir::Filters hiddenTypes = hidden ? QDir::Hidden | QDir::System : QDir::Filters();
    // Zip archives appear in the tree (as folders) or in the list (as files).
    FTreeModel->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | hiddenTypes |
                          (zipAsFiles ? QDir::Filters() : QDir::Files));
    FTreeModel->setNameFilters({QStringLiteral("*.zip")});
    // The list model keeps folders too, and its proxy hides those inside the
    // shown folder: a model without folders drops the shown folder's own
    // ancestors when its loader reports on them, which left the list's root
    // index invalid and the list showing the top of the file system.
    FListModel->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot | hiddenTypes);
    FListProxy->SetHideZip(!zipAsFiles);
}

QModelIndex TShellDirDialog::SelectedSource() const
{
    return FTreeProxy->mapToSource(ShellTreeView->currentIndex());
}

QString TShellDirDialog::TreePath() const
{
    const QModelIndex index = SelectedSource();
    return index.isValid() ? FTreeModel->filePath(index) : QString();
}

void TShellDirDialog::SetTreePath(const QString& path)
{
    if (path.isEmpty())
        return;
    // Only what the tree shows can be selected: folders, and zip archives
    // while they count as folders. Asking the model for anything else would
    // add it to the tree when the model's loader has not yet filtered it out.
    const QFileInfo info(path);
    if (info.exists() && !info.isDir() &&
        (FZipAsFiles || !info.fileName().endsWith(QStringLiteral(".zip"), Qt::CaseInsensitive)))
        return;
    const QModelIndex source = FTreeModel->index(WithoutTrailingDelimiter(path));
    const QModelIndex index = FTreeProxy->mapFromSource(source);
    // Outside the current root or missing: the tree keeps its selection.
    if (!index.isValid())
        return;
    for (QModelIndex p = index.parent(); p.isValid() && p != ShellTreeView->rootIndex(); p = p.parent())
        ShellTreeView->expand(p);
    ShellTreeView->setCurrentIndex(index);
    ShellTreeView->scrollTo(index);
}

int TShellDirDialog::SelectedLevel() const
{
    QModelIndex index = ShellTreeView->currentIndex();
    if (!index.isValid())
        return -1;
    int level = 0;
    for (index = index.parent(); index.isValid() && index != ShellTreeView->rootIndex(); index = index.parent())
        ++level;
    return level;
}

void TShellDirDialog::SetRoot(TRootKind kind, const QString& folder)
{
    FRootKind = kind;
    switch (kind) {
    case TRootKind::Desktop:
        FRootPath = ExistingFolder(SpecialFolderPath(CSIDL_DESKTOP));
        break;
    case TRootKind::Personal:
        FRootPath = ExistingFolder(SpecialFolderPath(CSIDL_PERSONAL));
        break;
    case TRootKind::MyComputer:
        FRootPath = Delim;
        break;
    case TRootKind::Network:
        FRootPath = ExistingFolder(NetworkFolderPath());
        break;
    case TRootKind::Folder:
        FRootPath = ExistingFolder(folder);
        break;
    }
    ApplyRoot();
}

void TShellDirDialog::ApplyRoot()
{
    FTreeModel->setRootPath(FRootPath);
    FTreeProxy->SetFolder(FRootPath);
    const QModelIndex top = FTreeProxy->mapFromSource(FTreeModel->index(FRootPath));
    ShellTreeView->setRootIndex(top.parent());
    ShellTreeView->expand(top);
    ShellTreeView->setCurrentIndex(top);
}

void TShellDirDialog::PressRootButton(TRootKind kind)
{
    QAbstractButton* buttons[] = {spbDesktop, spbMyFiles, spbComputer, spbNetwork};
    buttons[int(kind)]->setChecked(true);
}

void TShellDirDialog::RootButtonClick(QAbstractButton* button)
{
    const int kind = RootGroup->id(button) - 100;
    if (kind >= 0 && kind <= int(TRootKind::Network))
        SetRoot(TRootKind(kind));
}

void TShellDirDialog::WaitForFolder(const QString& folder, int maxMs)
{
    if (FLoaded.contains(folder))
        return;
    // The model reads folders in a thread; give it a moment so that the tree
    // is filled when the path is set, without holding the caller longer.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto connection = connect(FTreeModel, &QFileSystemModel::directoryLoaded, &loop, [&](const QString& path) {
        if (WithoutTrailingDelimiter(path) == folder)
            loop.quit();
    });
    timeout.start(maxMs);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    disconnect(connection);
}

void TShellDirDialog::ShowDirectory(QString dir)
{
    if (dir.isEmpty())
        dir = FDefaultDir;
    PressRootButton(TRootKind::MyComputer);
    TRootKind root = TRootKind::MyComputer;
    QString rootFolder;
    if (!IsDirectory(dir)) {
        dir = SpecialFolderPath(CSIDL_PERSONAL);
        if (!IsDirectory(dir))
            dir = QDir::currentPath();
    } else if (dir = QFileInfo(dir).absoluteFilePath(); IsNetworkPath(dir)) {
        root = TRootKind::Network;
        PressRootButton(TRootKind::Network);
        // A network mount outside the network folder is shown from its own top.
        if (!IsInNetworkFolder(dir)) {
            root = TRootKind::Folder;
            rootFolder = QStorageInfo(dir).rootPath();
        }
    }
    SetRoot(root, rootFolder);
    WaitForFolder(FRootPath, 500);
    SetTreePath(dir);
    if (ShellTreeView->currentIndex().isValid())
        ShellTreeView->expand(ShellTreeView->currentIndex());
}

void TShellDirDialog::LinkFileList(bool linked)
{
    FListLinked = linked;
    if (!linked)
        return;
    const QString folder = TreePath();
    FListProxy->SetFolder(folder);
    FListModel->setRootPath(folder);
    ShellListView->setRootIndex(FListProxy->mapFromSource(FListModel->index(folder)));
}

void TShellDirDialog::RememberPanelWidths()
{
    // Panels have their real widths only while the window is shown.
    if (!isVisible())
        return;
    FLeftWidth = PanelLeft->width();
    if (PanelRight->isVisible())
        FFullWidth = width();
}

void TShellDirDialog::ShowFileList(bool on)
{
    RememberPanelWidths();
    int w;
    if (on) {
        if (!PanelRight->isVisibleTo(this)) {
            w = qMax(FFullWidth, FLeftWidth + Scaled(4));
            PanelRight->show();
            Splitter->setSizes({FLeftWidth, w - FLeftWidth});
        } else {
            w = width();
        }
        LinkFileList(true);
        const QString text = cbxSelectedDir->currentText();
        if (IsDirectory(text))
            SetTreePath(text);
    } else {
        w = FLeftWidth;
        PanelRight->hide();
        LinkFileList(false);
    }
    resize(w, height());
    cbxSelectedDir->setEditText(TreePath());
    laVolHint->setText(VolumeText(cbxSelectedDir->currentText()));
    btbOK->setEnabled(IsDirectory(cbxSelectedDir->currentText()));
}

void TShellDirDialog::AdjustColumns()
{
    if (!isVisible() || !cbxFiles->isChecked())
        return;
    const int unit = qMax(1, fontMetrics().horizontalAdvance(u'X'));
    const int units = ShellListView->width() / unit;
    // The widths were made for a narrow font: in a wider one the rule would
    // leave no room for the names, so they keep at least ten characters.
    const int widths[] = {qMax(10, units - 48), 12, 15, 17};
    for (int column = 0; column < 4; ++column)
        ShellListView->setColumnWidth(column, widths[column] * unit);
}

QString TShellDirDialog::VolumeText(const QString& dir) const
{
    if (dir.isEmpty())
        return {};
    const QStorageInfo storage(DirectoryWithDelimiter(dir));
    if (!storage.isValid() || !storage.isReady())
        return {};
    return SizeToText(false, false, QChar(), storage.bytesAvailable()) + TrDialogs(" free of ") +
           SizeToText(false, false, QChar(), storage.bytesTotal());
}

bool TShellDirDialog::IsActiveDialog() const
{
    return isVisible() && QApplication::activeModalWidget() == this;
}

void TShellDirDialog::ShellTreeViewChange()
{
    const QString path = TreePath();
    if (FListLinked)
        LinkFileList(true);
    if (!IsActiveDialog())
        return;
    if (path.isEmpty()) {
        laVolHint->clear();
        return;
    }
    const QFileInfo info(path);
    btbOK->setEnabled(info.isDir());
    cbxSelectedDir->setEditText(path);
    // A link to a folder stands for that folder.
    if (info.isSymLink() && info.isDir())
        cbxSelectedDir->setEditText(info.symLinkTarget());
    laVolHint->setText(VolumeText(cbxSelectedDir->currentText()));
}

void TShellDirDialog::cbxSelectedDirChange(const QString& text)
{
    btbOK->setEnabled(IsDirectory(text));
}

void TShellDirDialog::btbOKClick()
{
    AddDirToHistory(cbxSelectedDir->currentText());
    accept();
}

void TShellDirDialog::UpdateDropDown()
{
    SetHistoryItems(cbxSelectedDir, DirList);
    // Without items the box is a plain edit field.
    SetHistoryBoxDropDown(cbxSelectedDir, !DirList.isEmpty());
}

void TShellDirDialog::AddDirToHistory(const QString& dir)
{
    AddToRecentList(DirList, dir, MaxDirHistory);
    UpdateDropDown();
}

void TShellDirDialog::RemoveDirFromHistory(const QString& dir)
{
    const qsizetype i = IndexOfIgnoringCase(DirList, dir);
    if (i >= 0)
        DirList.removeAt(i);
    UpdateDropDown();
    cbxSelectedDir->setCurrentIndex(DirList.isEmpty() ? -1 : 0);
}

void TShellDirDialog::FormShow()
{
    FitFormToWorkArea(this);
    spbHome->setVisible(!FDefaultDir.isEmpty());
    spbHome->setToolTip(TrDialogs("Default: ") + FDefaultDir);
    UpdateDropDown();
    const QString text = cbxSelectedDir->currentText();
    if (IsDirectory(text))
        SetTreePath(text);
}

void TShellDirDialog::FormActivate()
{
    if (ShellTreeView->currentIndex().isValid())
        ShellTreeView->scrollTo(ShellTreeView->currentIndex());
    ShellTreeView->setFocus();
}

void TShellDirDialog::KeepSelectedInView()
{
    // Once per turn of the event loop, after the model has sorted what it added.
    if (!FKeepInView || FScrollQueued)
        return;
    FScrollQueued = true;
    QTimer::singleShot(0, this, [this] {
        FScrollQueued = false;
        if (FKeepInView && ShellTreeView->currentIndex().isValid())
            ShellTreeView->scrollTo(ShellTreeView->currentIndex());
    });
}

void TShellDirDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        // Until the user takes over, the selected folder stays in view.
        FKeepInView = true;
        FormShow();
        AdjustColumns();
        // Scrolling needs the tree's final geometry, which the first layout
        // pass after showing gives it.
        QTimer::singleShot(0, this, &TShellDirDialog::FormActivate);
    }
}

void TShellDirDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    RememberPanelWidths();
    AdjustColumns();
}

bool TShellDirDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::Wheel ||
        event->type() == QEvent::KeyPress)
        FKeepInView = false;
    if (watched == Panel1 && event->type() == QEvent::Resize) {
        // The directory field stretches with its panel.
        cbxSelectedDir->resize(Panel1->width() - Scaled(15), cbxSelectedDir->height());
    } else if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
        if (key->key() == Qt::Key_F5 && modifiers == Qt::NoModifier) {
            if (!TreePath().isEmpty())
                RefreshTree();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (btbOK->isEnabled())
                btbOKClick();
            else
                QApplication::beep();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TShellDirDialog::ShellTreeViewContextMenu(const QPoint& pos)
{
    const QModelIndex index = ShellTreeView->indexAt(pos);
    if (index.isValid())
        ShellTreeView->setCurrentIndex(index);
    if (!TreePath().isEmpty())
        RefreshTree();
    const QString path = TreePath();
    itmCreate->setEnabled(IsDirectory(path));
    // The file-system root is never offered for deletion.
    itmDelete->setEnabled(IsDirectory(path) && path != Delim);
    PopupMenu->exec(ShellTreeView->viewport()->mapToGlobal(pos));
}

QStringList TShellDirDialog::ExpandedPaths(const QModelIndex& parent) const
{
    QStringList result;
    for (int row = 0; row < FTreeProxy->rowCount(parent); ++row) {
        const QModelIndex index = FTreeProxy->index(row, 0, parent);
        if (ShellTreeView->isExpanded(index)) {
            result << FTreeModel->filePath(FTreeProxy->mapToSource(index));
            result << ExpandedPaths(index);
        }
    }
    return result;
}

void TShellDirDialog::RefreshTree()
{
    QString path = TreePath();
    const QStringList expanded = ExpandedPaths(ShellTreeView->rootIndex());
    // A fresh model reads every folder anew, including the ones that went away.
    QFileSystemModel* old = FTreeModel;
    FTreeModel = CreateTreeModel();
    FLoaded.clear();
    SetObjectTypes(FHidden, FZipAsFiles);
    FTreeProxy->setSourceModel(FTreeModel);
    delete old;
    for (int column = 1; column < FTreeModel->columnCount(); ++column)
        ShellTreeView->setColumnHidden(column, true);
    ApplyRoot();
    for (const QString& folder : expanded) {
        const QModelIndex index = FTreeProxy->mapFromSource(FTreeModel->index(folder));
        if (index.isValid())
            ShellTreeView->expand(index);
    }
    while (!path.isEmpty() && !IsDirectory(path) && ParentDirectory(path) != path)
        path = ParentDirectory(path);
    SetTreePath(path);
}

void TShellDirDialog::itmUpdateClick()
{
    if (!TreePath().isEmpty())
        RefreshTree();
}

void TShellDirDialog::spbUpClick()
{
    const int level = SelectedLevel();
    if (level <= 0) {
        SetRoot(TRootKind::MyComputer);
        PressRootButton(TRootKind::MyComputer);
    } else if (FRootKind == TRootKind::Personal) {
        QString p = ParentDirectory(TreePath());
        if (!p.contains(Delim))
            p = Delim;
        SetRoot(TRootKind::MyComputer);
        PressRootButton(TRootKind::MyComputer);
        SetTreePath(p);
    } else {
        // Every node of this tree is a real folder, so the top node is a
        // valid place to go to as well.
        SetTreePath(FTreeModel->filePath(SelectedSource().parent()));
    }
    if (ShellTreeView->currentIndex().isValid())
        ShellTreeView->scrollTo(ShellTreeView->currentIndex());
    ShellTreeView->setFocus();
}

void TShellDirDialog::spbHomeClick()
{
    if (FDefaultDir.isEmpty())
        return;
    if (!QDir::setCurrent(FDefaultDir)) {
        ErrorDialog(SafeFormat(TrDialogs("Directory not found:\r\n%s!"), {FDefaultDir}), dmActiveForm);
        RemoveDirFromHistory(FDefaultDir);
    } else if (FRootKind == TRootKind::Network) {
        SetRoot(TRootKind::Folder, FDefaultDir);
    } else {
        SetRoot(TRootKind::MyComputer);
        PressRootButton(TRootKind::MyComputer);
        SetTreePath(FDefaultDir);
        ShellTreeView->scrollTo(ShellTreeView->currentIndex());
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::spbNewClick()
{
    const QString path = TreePath();
    QString name;
    if (path.isEmpty() || !InputQuery(this, path, TrDialogs("New subdirectory:"), name))
        return;
    const QString folder = DirectoryWithDelimiter(path) + name;
    if (QDir().mkpath(folder)) {
        SetRoot(TRootKind::MyComputer);
        PressRootButton(TRootKind::MyComputer);
        SetTreePath(folder);
        ShellTreeView->scrollTo(ShellTreeView->currentIndex());
    } else {
        ErrorDialog(SafeFormat(TrDialogs("Could not create directory:\r\n%s!"), {folder}), dmActiveForm);
    }
    ShellTreeView->setFocus();
}

void TShellDirDialog::itmDeleteClick()
{
    const QString p = TreePath();
    if (p.isEmpty() || p == Delim)
        return;
    const int answer =
        ShowSelectDialog(TrDialogs("Delete directory"), SafeFormat(TrDialogs("Delete \"%s\""), {p}), mtConfirmation,
                         fsBold, {TrDialogs("Definitely"), TrDialogs("To recycle bin")}, QString(), 0, -1, QString());
    if (answer < 0)
        return;
    spbUpClick();
    bool failed;
    if (answer == 0) {
        TDeleteTreeCounts counts;
        DeleteTree(p, QString(), true, counts);
        failed = counts.Errors > 0;
        if (!failed)
            InfoDialog(SafeFormat(TrDialogs("%u directories with %u files deleted!"), {counts.Dirs, counts.Files}),
                       dmActiveForm);
    } else {
        failed = !QFile::moveToTrash(WithoutTrailingDelimiter(p));
        if (!failed)
            InfoDialog(SafeFormat(TrDialogs("%s moved to Recycle Bin!"), {p}), dmActiveForm);
    }
    if (failed)
        ErrorDialog(SafeFormat(TrDialogs("Error deleting directory:\r\n%s!"), {p}), dmActiveForm);
    RefreshTree();
}

bool TShellDirDialog::Execute(const QString& title, bool hidden, bool fileView, bool zipAsFiles, const QString& homeDir,
                              QString& dir)
{
    const ShellDirDialogTestSeam::TCall call{title, hidden, fileView, zipAsFiles, homeDir, dir};
    // Strict mode cancels an unexpected dialog.
    if (const auto queued = g_dirSeam.Take(call, std::nullopt)) {
        if (*queued)
            dir = DirectoryWithDelimiter(WithoutTrailingDelimiter(**queued));
        return queued->has_value();
    }
    setWindowTitle(title);
    FDefaultDir = homeDir;
    SetObjectTypes(hidden, zipAsFiles);
    ShowDirectory(dir);
    cbxSelectedDir->setEditText(TreePath());
    laVolHint->setText(VolumeText(cbxSelectedDir->currentText()));
    cbxFiles->setVisible(fileView);
    ShowFileList(fileView && cbxFiles->isChecked());
    if (exec() != QDialog::Accepted)
        return false;
    dir = DirectoryWithDelimiter(WithoutTrailingDelimiter(cbxSelectedDir->currentText()));
    return true;
}

namespace ShellDirDialogTestSeam {
void PushAnswer(std::optional<QString> dir)
{
    g_dirSeam.Push(std::move(dir));
}
bool HasPendingAnswers()
{
    return g_dirSeam.HasPending();
}
void Clear()
{
    g_dirSeam.Clear();
}
void SetStrict(bool strict)
{
    g_dirSeam.SetStrict(strict);
}
QList<TCall> UnexpectedCalls()
{
    return g_dirSeam.Unexpected();
}
QList<TCall> AnsweredCalls()
{
    return g_dirSeam.Answered();
}
} // namespace ShellDirDialogTestSeam
