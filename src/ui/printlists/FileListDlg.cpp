#include "printlists/FileListDlg.h"

#include "app/GnuGetText.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/ScreenScale.h"
#include "printlists/ListPaths.h"
#include "printlists/PrintList.h"
#include "util/StrUtils.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QToolButton>

TFileListDialog* FileListDialog = nullptr;

namespace {

// Design sizes at 96 pixels per inch.
constexpr int kClientWidth = 371;
constexpr int kClientHeight = 425;
constexpr int kTopHeight = 26;
constexpr int kBottomHeight = 40;
constexpr int kCenterHeight = kClientHeight - kTopHeight - kBottomHeight;
constexpr int kButtonLeft = 333; // the speed buttons' column
constexpr int kListRight = 10 + 314;
constexpr int kListBottom = 55 + 301;

// Rows of the design's fixed item height.
class TItemHeightDelegate : public QStyledItemDelegate
{
public:
    TItemHeightDelegate(int height, QObject* parent) : QStyledItemDelegate(parent), FHeight(height) {}
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        return {QStyledItemDelegate::sizeHint(option, index).width(), FHeight};
    }

private:
    int FHeight;
};

} // namespace

TFileListDialog::TFileListDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    FormCreate();
}

void TFileListDialog::FormCreate()
{
    // The design font is 11 pixels high at 96 dpi; the family stays the desktop's.
    QFont designFont = font();
    designFont.setPixelSize(Scaled(11));
    setFont(designFont);
    QFont boldFont = designFont;
    boldFont.setBold(true);
    const auto newLabel = [](const QString& text, QWidget* parent, const QFont* font) -> QLabel* {
        auto* label = new QLabel(text, parent);
        label->setTextFormat(Qt::PlainText);
        if (font)
            label->setFont(*font);
        return label;
    };

    paTop = new QWidget(this);
    laName = newLabel(TrDialogs("Name:"), paTop, nullptr);
    lblListfile = newLabel(QString(), paTop, &boldFont);

    paCenter = new QWidget(this);
    Label3 = newLabel(TrDialogs("Common path:"), paCenter, nullptr);
    lblPath = newLabel(QString(), paCenter, &boldFont);
    Label2 = newLabel(TrDialogs("List of files:"), paCenter, nullptr);
    lbxFiles = new QListWidget(paCenter);
    lbxFiles->setSelectionMode(QAbstractItemView::SingleSelection);
    lbxFiles->setUniformItemSizes(true);
    lbxFiles->setItemDelegate(new TItemHeightDelegate(Scaled(13), lbxFiles));

    const auto speedButton = [this](QStyle::StandardPixmap icon, const char* hint) -> QToolButton* {
        auto* button = new QToolButton(paCenter);
        button->setAutoRaise(true);
        button->setIcon(style()->standardIcon(icon));
        button->setIconSize(QSize(20, 20));
        button->setToolTip(TrDialogs(hint));
        button->setFocusPolicy(Qt::NoFocus);
        return button;
    };
    UpBtn = speedButton(QStyle::SP_ArrowUp, MarkDialogs("Move file up"));
    DownBtn = speedButton(QStyle::SP_ArrowDown, MarkDialogs("Move file down"));
    InsertBtn = speedButton(QStyle::SP_DialogOpenButton, MarkDialogs("Add files"));
    DeleteBtn = speedButton(QStyle::SP_TrashIcon, MarkDialogs("Remove file"));
    btSaveAs = speedButton(QStyle::SP_DialogSaveButton, MarkDialogs("Save list as new file"));

    paBottom = new QWidget(this);
    OKBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), TrDialogs("OK"), paBottom);
    CancelBtn = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), TrDialogs("Cancel"), paBottom);
    // Neither button is the default one: Enter in the list must not write the file.
    OKBtn->setAutoDefault(false);
    CancelBtn->setAutoDefault(false);

    connect(InsertBtn, &QToolButton::clicked, this, &TFileListDialog::InsertBtnClick);
    connect(DeleteBtn, &QToolButton::clicked, this, &TFileListDialog::DeleteBtnClick);
    connect(UpBtn, &QToolButton::clicked, this, &TFileListDialog::UpBtnClick);
    connect(DownBtn, &QToolButton::clicked, this, &TFileListDialog::DownBtnClick);
    connect(btSaveAs, &QToolButton::clicked, this, &TFileListDialog::btSaveAsClick);
    connect(OKBtn, &QPushButton::clicked, this, &TFileListDialog::OKBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &TFileListDialog::reject);

    resize(Scaled(kClientWidth), Scaled(kClientHeight));
    LayoutControls();

    // Nothing in the program sets the application's tag; it would switch the
    // glyph scaling off.
    if (qApp->property("Tag").toInt() == 0)
        ScaleGlyphs(this, 96, ScreenPpi(this));
}

int TFileListDialog::Scaled(int v) const
{
    return ScaleLength(v, ScreenPpi(this));
}

void TFileListDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    LayoutControls();
}

// Qt has no anchors: controls tied to the right or bottom edge keep their
// design distance from it.
void TFileListDialog::LayoutControls()
{
    const int w = width();
    const int top = paTop->isHidden() ? 0 : Scaled(kTopHeight);
    const int bottom = Scaled(kBottomHeight);
    paTop->setGeometry(0, 0, w, top);
    paBottom->setGeometry(0, height() - bottom, w, bottom);
    paCenter->setGeometry(0, top, w, qMax(0, height() - top - bottom));
    const int h = paCenter->height();

    const auto placeLabel = [this, w](QLabel* label, int x, int y) {
        label->setGeometry(Scaled(x), Scaled(y), qMax(0, w - Scaled(x + 10)), label->sizeHint().height());
    };
    placeLabel(laName, 10, 8);
    placeLabel(lblListfile, 50, 8);
    placeLabel(Label3, 10, 5);
    placeLabel(lblPath, 20, 22);
    placeLabel(Label2, 10, 38);
    lbxFiles->setGeometry(Scaled(10), Scaled(55), qMax(0, w - Scaled(10 + kClientWidth - kListRight)),
                          qMax(0, h - Scaled(55 + kCenterHeight - kListBottom)));
    const int buttonX = w - Scaled(kClientWidth - kButtonLeft);
    const int size = Scaled(31);
    UpBtn->setGeometry(buttonX, Scaled(55), size, size);
    DownBtn->setGeometry(buttonX, Scaled(90), size, size);
    InsertBtn->setGeometry(buttonX, Scaled(130), size, size);
    DeleteBtn->setGeometry(buttonX, Scaled(165), size, size);
    btSaveAs->setGeometry(buttonX, h - Scaled(kCenterHeight - 325), size, size);
    OKBtn->setGeometry(w - Scaled(kClientWidth - 185), Scaled(8), Scaled(81), Scaled(27));
    CancelBtn->setGeometry(w - Scaled(kClientWidth - 270), Scaled(8), Scaled(96), Scaled(27));
}

QString TFileListDialog::Execute(const QString& title, const QString& fileFilter, const QString& path,
                                 const QString& fileName, const QString& listFilter, const QString& defExt,
                                 bool fromFile)
{
    setWindowTitle(title);
    FPath = path.isEmpty() ? QString(PathDelimiter()) : DirectoryWithDelimiter(path);
    FFromFile = fromFile;
    paTop->setVisible(fromFile);
    btSaveAs->setVisible(fromFile);
    LayoutControls();

    // Measured in the label's own bold font, so that the text really fits.
    const QFontMetrics metrics(lblPath->font());
    lblPath->setText(ShortenPathToWidth(path, width() - lblPath->x() - Scaled(10),
                                        [&metrics](const QString& text) { return metrics.horizontalAdvance(text); }));

    FFilename = fileName;
    lblListfile->setText(fromFile ? FileNamePart(fileName) : QString());
    lbxFiles->clear();
    FOpenOptions = TFileDialogOptions{};
    FOpenOptions.InitialDir = path;
    FOpenOptions.Filter = fileFilter;
    FOpenOptions.MultiSelect = true;
    FSaveOptions = TFileDialogOptions{};
    FSaveOptions.InitialDir = path;
    FSaveOptions.Filter = listFilter;
    FSaveOptions.DefaultExt = defExt;

    if (!fileName.isEmpty()) {
        QStringList entries;
        QString error;
        if (!fromFile) {
            entries = CommaTextToList(fileName);
        } else if (ReadPrintList(fileName, entries, &error)) {
            // The print run reads the entries from the list's own folder.
            for (QString& entry : entries)
                entry = RebaseListEntry(entry, FolderPart(fileName), FPath);
        } else {
            ErrorDialog(title, error, dmActiveForm);
            return {};
        }
        lbxFiles->addItems(entries);
        SelectIndex(0);
    }

    CentreOnScreen(this);
    if (exec() != mrOk || lbxFiles->count() == 0)
        return {};
    return fromFile ? FFilename : ListToCommaText(Entries());
}

void TFileListDialog::reject()
{
    done(mrCancel);
}

void TFileListDialog::OKBtnClick()
{
    if (FFromFile && lbxFiles->count() > 0) {
        // Without a name, or when the list cannot be written, the editor stays
        // open: closing it would lose the entries.
        const QString name = FFilename.isEmpty() ? SaveFileDialog(this, FSaveOptions) : FFilename;
        if (name.isEmpty() || !WriteList(name))
            return;
        FFilename = name;
    }
    done(mrOk);
}

bool TFileListDialog::WriteList(const QString& fileName)
{
    QString error;
    QStringList entries = Entries();
    for (QString& entry : entries)
        entry = RebaseListEntry(entry, FPath, FolderPart(fileName));
    if (WritePrintList(fileName, entries, &error))
        return true;
    ErrorDialog(windowTitle(), error, dmActiveForm);
    return false;
}

QStringList TFileListDialog::Entries() const
{
    QStringList entries;
    for (int i = 0; i < lbxFiles->count(); ++i)
        entries << lbxFiles->item(i)->text();
    return entries;
}

int TFileListDialog::SelectedIndex() const
{
    const QList<QListWidgetItem*> selected = lbxFiles->selectedItems();
    return selected.isEmpty() ? -1 : lbxFiles->row(selected.first());
}

void TFileListDialog::SelectIndex(int index)
{
    lbxFiles->setCurrentRow(index);
}

void TFileListDialog::ExchangeEntries(int a, int b)
{
    const QString text = lbxFiles->item(a)->text();
    lbxFiles->item(a)->setText(lbxFiles->item(b)->text());
    lbxFiles->item(b)->setText(text);
}

void TFileListDialog::InsertBtnClick()
{
    QStringList refused;
    for (const QString& file : OpenFileDialog(this, FOpenOptions)) {
        // A line break would split the entry into two lines of the file.
        if (file.contains(u'\n') || file.contains(u'\r'))
            refused << file;
        else
            lbxFiles->addItem(RelativeListEntry(FPath, file));
    }
    if (!refused.isEmpty())
        ErrorDialog(windowTitle(),
                    TrDialogs("A print list cannot hold file names with line breaks:") + QStringLiteral("\r\n") +
                        refused.join(QStringLiteral("\r\n")),
                    dmActiveForm);
}

void TFileListDialog::DeleteBtnClick()
{
    const int i = SelectedIndex();
    if (i < 0)
        return;
    delete lbxFiles->takeItem(i);
    SelectIndex(qMin(i, lbxFiles->count() - 1));
}

void TFileListDialog::UpBtnClick()
{
    const int i = SelectedIndex();
    if (i <= 0)
        return;
    ExchangeEntries(i - 1, i);
    lbxFiles->setFocus();
    SelectIndex(i - 1);
}

void TFileListDialog::DownBtnClick()
{
    const int i = SelectedIndex();
    if (i < 0 || i >= lbxFiles->count() - 1)
        return;
    ExchangeEntries(i, i + 1);
    lbxFiles->setFocus();
    SelectIndex(i + 1);
}

void TFileListDialog::btSaveAsClick()
{
    if (!FFilename.isEmpty())
        FSaveOptions.InitialDir = FolderPart(FFilename);
    const QString name = SaveFileDialog(this, FSaveOptions);
    // The name is taken only once the list is in it; after a failure OK
    // still writes where it would have before.
    if (!name.isEmpty() && WriteList(name))
        FFilename = name;
}
