#include "printing/HauptForm.h"

#include "app/GnuGetText.h"
#include "app/HistoryCombo.h"
#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "app/TranslateWidgets.h"
#include "dialogs/FileDialogs.h"
#include "dialogs/MsgDialogs.h"
#include "dialogs/SelectDlg.h"
#include "dialogs/ShellDirDlg.h"
#include "platform/DesktopNotify.h"
#include "platform/Printers.h"
#include "printing/JobList.h"
#include "printing/JobPreview.h"
#include "printing/PreviewDlg.h"
#include "printing/PrintEngine.h"
#include "printing/PrintProgramExit.h"
#include "printing/PrintSettings.h"
#include "printing/PrintSettingsDlg.h"
#include "printing/RunReport.h"
#include "printlists/FileListDlg.h"
#include "printlists/PrintList.h"
#include "util/NumberEd.h"
#include "util/SafeFormat.h"
#include "util/StrUtils.h"
#include "util/WindowPlacement.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

static void InitResources()
{
    Q_INIT_RESOURCE(morvane);
}

namespace {

constexpr int kDesignLeft = 354;
constexpr int kDesignTop = 247;
constexpr char kCopyright[] = "Copyright (C) 2026 The Morvane developers";
constexpr char kContact[] = "morvane@example.org";
constexpr char kPrintProgramPage[] = "https://www.example.org/morvane/print-program";
// A runaway line of the print program must not flood the failure prompt.
constexpr qsizetype kMaxReasonLength = 300;

// The copies box keeps what was typed within its range instead of going
// back to its previous value: a number outside the range becomes the
// nearest bound, text that is not a number counts as the minimum.
class TCopiesSpinBox : public QSpinBox
{
public:
    explicit TCopiesSpinBox(std::function<void()> limited, QWidget* parent)
        : QSpinBox(parent), FLimited(std::move(limited))
    {
    }

    void fixup(QString& input) const override
    {
        bool ok = false;
        const int typed = locale().toInt(input.trimmed(), &ok);
        input = locale().toString(ok ? qBound(minimum(), typed, maximum()) : minimum());
    }

    // A digit that takes the number above the range makes it the maximum at
    // once, with the error sound, instead of being dropped without a sign.
    QValidator::State validate(QString& input, int& pos) const override
    {
        bool ok = false;
        const qlonglong typed = locale().toLongLong(input.trimmed(), &ok);
        if (ok && typed > maximum()) {
            input = locale().toString(maximum());
            pos = static_cast<int>(input.size());
            QApplication::beep();
            if (FLimited)
                FLimited();
            return QValidator::Acceptable;
        }
        return QSpinBox::validate(input, pos);
    }

private:
    std::function<void()> FLimited;
};

// The printer list asks the spooler again each time it is opened.
class TPrinterComboBox : public QComboBox
{
public:
    explicit TPrinterComboBox(std::function<void()> opening, QWidget* parent)
        : QComboBox(parent), FOpening(std::move(opening))
    {
    }
    void showPopup() override
    {
        if (FOpening)
            FOpening();
        QComboBox::showPopup();
    }

private:
    std::function<void()> FOpening;
};

// A leading "~" or "~/" is the home folder, as in the shell.
QString ExpandHomeDir(const QString& dir)
{
    if (dir == QStringLiteral("~"))
        return DirectoryWithDelimiter(QDir::homePath());
    if (dir.startsWith(QStringLiteral("~/")))
        return QDir::homePath() + dir.mid(1);
    return dir;
}

// About how long the rest of the run takes, in whole minutes above a minute.
QString TimeLeftText(qint64 seconds)
{
    if (seconds < 60)
        return FillPlaceholders(TrDefault("about %s s left"), {QString::number(qMax<qint64>(seconds, 1))});
    return FillPlaceholders(TrDefault("about %s min left"), {QString::number((seconds + 59) / 60)});
}

// A saved position from a larger or a lost monitor, or a design position on
// a small screen, may put the window out of reach.
QPoint ReachablePosition(const QWidget* window, const QPoint& wanted)
{
    QList<QRect> screens;
    for (const QScreen* screen : QGuiApplication::screens())
        screens << screen->availableGeometry();
    const QScreen* primary = QGuiApplication::primaryScreen();
    // The frame is not known before the window is shown; the style's title
    // bar stands in for it.
    const int title = window->style()->pixelMetric(QStyle::PM_TitleBarHeight);
    return FittedWindowPosition(QRect(wanted, window->size() + QSize(0, title)), title, screens,
                                primary ? primary->availableGeometry() : QRect());
}

} // namespace

THauptForm::THauptForm(const QStringList& arguments, QWidget* parent) : QMainWindow(parent)
{
    InitResources();
    setObjectName(QStringLiteral("HauptForm"));
    // The menu entry's icon; the dialogs inherit it.
    QIcon icon(QStringLiteral(":/icons/morvane-48.png"));
    icon.addFile(QStringLiteral(":/icons/morvane-256.png"));
    setWindowIcon(icon);
    CreateControls();
    FormCreate(arguments);
}

THauptForm::~THauptForm()
{
    FormDestroy();
}

void THauptForm::CreateControls()
{
    // Laid out at 96 dpi and scaled to the screen, like the dialogs.
    QFont font = this->font();
    font.setPointSize(8);
    setFont(font);
    const double s = logicalDpiY() / 96.0;
    const auto px = [s](int v) { return qRound(v * s); };
    const auto place = [&](QWidget* w, int x, int y, int width, int height) {
        w->setGeometry(px(x), px(y), px(width), px(height));
    };

    auto* client = new QWidget(this);
    setCentralWidget(client);

    // One row: a label, an editable box with history and a flat button.
    const auto fieldRow = [&](const char* caption, QLabel*& label, QComboBox*& box, QToolButton*& button,
                              QStyle::StandardPixmap icon, const char* buttonHint, int y) {
        label = new QLabel(QString::fromUtf8(caption), client);
        place(label, 8, y + 4, 68, 16);
        box = new QComboBox(client);
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        box->setMaxVisibleItems(8); // the history's length in the settings file
        place(box, 80, y, 263, 23);
        button = new QToolButton(client);
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setIcon(style()->standardIcon(icon));
        button->setToolTip(QString::fromUtf8(buttonHint));
        place(button, 349, y - 1, 24, 24);
    };
    fieldRow(MarkDefault("Directory:"), Label1, SourceDirEdit, SourceSelectBtn, QStyle::SP_DirOpenIcon,
             MarkDefault("Select directory with PDF files"), 8);
    fieldRow(MarkDefault("File names:"), Label2, FileEdit, FileBtn, QStyle::SP_FileIcon, MarkDefault("Select files"),
             38);
    FileEdit->setToolTip(QStringLiteral(MarkDefault("Insert filename(s) or wildcards")));

    chbSubDir = new QCheckBox(QStringLiteral(MarkDefault("Include subdirectories")), client);
    place(chbSubDir, 8, 72, 200, 19);

    const auto smallButton = [&](QStyle::StandardPixmap icon, const char* hint, int x) {
        auto* button = new QPushButton(client);
        button->setIcon(style()->standardIcon(icon));
        button->setIconSize(QSize(px(20), px(20)));
        button->setToolTip(QString::fromUtf8(hint));
        place(button, x, 66, 31, 31);
        return button;
    };
    btnNew = smallButton(QStyle::SP_FileDialogNewFolder, MarkDefault("Create new print list"), 237);
    btnEdit = smallButton(QStyle::SP_FileDialogDetailedView, MarkDefault("Edit print list"), 272);
    InfoBtn = smallButton(QStyle::SP_MessageBoxInformation, MarkDefault("About the program"), 307);
    EndeBtn = smallButton(QStyle::SP_DialogCloseButton, MarkDefault("Quit program"), 342);

    gbxKop = new QGroupBox(QStringLiteral(MarkDefault("Copies")), client);
    place(gbxKop, 8, 102, 205, 59);
    Label4 = new QLabel(QStringLiteral(MarkDefault("Printing")), gbxKop);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(Label4, 4, 24, 50, 16);
    edtKop = new TNumberEdit(gbxKop);
    edtKop->setReadOnly(true);
    edtKop->setFocusPolicy(Qt::NoFocus);
    edtKop->SetValue(0);
    place(edtKop, 58, 21, 41, 23);
    Label3 = new QLabel(QStringLiteral(MarkDefault("of")), gbxKop);
    Label3->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    place(Label3, 102, 24, 28, 16);
    KopAnz = new TCopiesSpinBox([this] { Q_EMIT CopiesLimited(); }, gbxKop);
    KopAnz->setRange(1, 100);
    KopAnz->setValue(1);
    place(KopAnz, 134, 21, 59, 23);

    ilPrint = {QIcon(QStringLiteral(":/icons/stop.xpm")), QIcon(QStringLiteral(":/icons/print.xpm"))};
    btnProcess = new QPushButton(QStringLiteral(MarkDefault("Print")), client);
    btnProcess->setIconSize(QSize(px(24), px(24)));
    QFont big = btnProcess->font();
    big.setPointSize(10);
    big.setBold(true);
    btnProcess->setFont(big);
    place(btnProcess, 222, 106, 151, 51);

    Label5 = new QLabel(QStringLiteral(MarkDefault("Printer:")), client);
    place(Label5, 8, 176, 68, 16);
    cxPrinter = new TPrinterComboBox(
        [this] {
            if (const QString gone = RefreshPrinters(); !gone.isEmpty())
                SetStatus(gone, Qt::black);
        },
        client);
    cxPrinter->setObjectName(QStringLiteral("cxPrinter"));
    place(cxPrinter, 80, 172, 293, 23);

    // Below the printer, so that the controls above keep their places.
    btnPrintSettings = new QPushButton(QStringLiteral(MarkDefault("Print settings…")), client);
    btnPrintSettings->setObjectName(QStringLiteral("btnPrintSettings"));
    btnPrintSettings->setToolTip(QStringLiteral(MarkDefault("Pages, sides, paper and colour for the chosen printer")));
    place(btnPrintSettings, 80, 203, 110, 25);
    lblPrintSettings = new QLabel(client);
    lblPrintSettings->setObjectName(QStringLiteral("lblPrintSettings"));
    place(lblPrintSettings, 196, 207, 177, 16);
    btnPreview = new QPushButton(QStringLiteral(MarkDefault("Preview")), client);
    btnPreview->setObjectName(QStringLiteral("btnPreview"));
    btnPreview->setToolTip(QStringLiteral(MarkDefault("Show the files, pages and sheets a run would print")));
    place(btnPreview, 80, 233, 110, 25);

    StatusBar = new QStatusBar(this);
    StatusBar->setSizeGripEnabled(false);
    FStatusLabel = new QLabel(StatusBar);
    // A long file name must not push the progress out of the window.
    FStatusLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusBar->addWidget(FStatusLabel, 1);
    RunProgress = new QProgressBar(StatusBar);
    RunProgress->setObjectName(QStringLiteral("RunProgress"));
    RunProgress->setTextVisible(true);
    RunProgress->setFixedWidth(px(150));
    RunProgress->hide();
    StatusBar->addPermanentWidget(RunProgress);
    btnFailures = new QPushButton(QStringLiteral(MarkDefault("Failures…")), StatusBar);
    btnFailures->setObjectName(QStringLiteral("btnFailures"));
    btnFailures->setFlat(true);
    btnFailures->setToolTip(QStringLiteral(MarkDefault("Show the files of the last run that were not printed")));
    btnFailures->hide();
    StatusBar->addPermanentWidget(btnFailures);
    setStatusBar(StatusBar);

    // Tab order: directory, file names, copies, subdirectories, Print,
    // Quit, About, Edit, New, printer.
    QWidget::setTabOrder(SourceDirEdit, FileEdit);
    QWidget::setTabOrder(FileEdit, KopAnz);
    QWidget::setTabOrder(KopAnz, chbSubDir);
    QWidget::setTabOrder(chbSubDir, btnProcess);
    QWidget::setTabOrder(btnProcess, EndeBtn);
    QWidget::setTabOrder(EndeBtn, InfoBtn);
    QWidget::setTabOrder(InfoBtn, btnEdit);
    QWidget::setTabOrder(btnEdit, btnNew);
    QWidget::setTabOrder(btnNew, cxPrinter);
    QWidget::setTabOrder(cxPrinter, btnPrintSettings);
    QWidget::setTabOrder(btnPrintSettings, btnPreview);

    // Taller than the design's 231 by the two rows of the print settings and the preview.
    const int statusHeight = StatusBar->sizeHint().height();
    client->setFixedSize(px(381), px(292) - statusHeight);
    setFixedSize(px(381), px(292));
    setAcceptDrops(true);
    SourceDirEdit->lineEdit()->installEventFilter(this);
    FileEdit->lineEdit()->installEventFilter(this);

    connect(FileEdit, &QComboBox::editTextChanged, this, &THauptForm::FileEditChange);
    connect(cxPrinter, &QComboBox::activated, this, &THauptForm::cxPrinterCloseUp);
    connect(EndeBtn, &QPushButton::clicked, this, &THauptForm::EndeBtnClick);
    connect(InfoBtn, &QPushButton::clicked, this, &THauptForm::InfoBtnClick);
    connect(btnProcess, &QPushButton::clicked, this, &THauptForm::btnProcessClick);
    connect(SourceSelectBtn, &QToolButton::clicked, this, &THauptForm::SourceSelectBtnClick);
    connect(FileBtn, &QToolButton::clicked, this, &THauptForm::FileBtnClick);
    connect(btnEdit, &QPushButton::clicked, this, &THauptForm::btnEditClick);
    connect(btnNew, &QPushButton::clicked, this, &THauptForm::btnNewClick);
    connect(btnFailures, &QPushButton::clicked, this, &THauptForm::btnFailuresClick);
    connect(btnPrintSettings, &QPushButton::clicked, this, &THauptForm::btnPrintSettingsClick);
    connect(btnPreview, &QPushButton::clicked, this, &THauptForm::btnPreviewClick);
}

void THauptForm::LayoutSettingsRow()
{
    // Translated captions may be wider: the two buttons grow alike, the summary gives way.
    const int width =
        std::max({btnPrintSettings->width(), btnPrintSettings->sizeHint().width(), btnPreview->sizeHint().width()});
    btnPrintSettings->resize(width, btnPrintSettings->height());
    btnPreview->resize(width, btnPreview->height());
    const int left = btnPrintSettings->geometry().right() + qRound(6 * logicalDpiX() / 96.0);
    const int right = cxPrinter->geometry().right();
    lblPrintSettings->setGeometry(left, lblPrintSettings->y(), right - left + 1, lblPrintSettings->height());
}

void THauptForm::FitLabelColumn()
{
    // Translated captions may be longer than the English ones: the fields
    // move right (and narrow) so that no caption is cut off.
    const int gap = qRound(4 * logicalDpiX() / 96.0);
    int right = 0;
    for (QLabel* label : {Label1, Label2, Label5}) {
        label->resize(label->fontMetrics().horizontalAdvance(label->text()) + gap, label->height());
        right = qMax(right, label->geometry().right() + gap);
    }
    for (QWidget* field :
         {static_cast<QWidget*>(SourceDirEdit), static_cast<QWidget*>(FileEdit), static_cast<QWidget*>(cxPrinter)}) {
        const QRect g = field->geometry();
        if (right > g.left())
            field->setGeometry(right, g.top(), g.right() - right + 1, g.height());
    }
}

void THauptForm::FormCreate(const QStringList& arguments)
{
    TranslateComponent(this, "default");
    FitLabelColumn();
    LayoutSettingsRow();
    InitPaths(AppPath, UserPath, ProgPath, true);
    ProgramVersion(QStringLiteral("Ausdruck von PDF-Dateien"), QStringLiteral(" (Vers. 3.3)"),
                   QString::fromUtf8(kCopyright), 2, ProgVersName, ProgVersDate);
    setWindowTitle(QStringLiteral("Morvane - ") + VersionInfo.Comments);
    IniName = ::IniName(AppPath);

    TMainSettings settings;
    settings.Left = kDesignLeft;
    settings.Top = kDesignTop;
    QString error;
    settings = ReadMainSettings(IniName, settings, &error);
    move(ReachablePosition(this, QPoint(settings.Left, settings.Top)));
    SumatraPath = settings.Sumatra;
    PrtName = settings.Printer;
    chbSubDir->setChecked(settings.Subdirectories);
    SetPrintSettings(settings.PrintSettings);

    LoadHistory(IniName, QStringLiteral("Source"), SourceDirEdit, 0, false, error.isEmpty() ? &error : nullptr);
    LoadHistory(IniName, QStringLiteral("Files"), FileEdit, 0, false, error.isEmpty() ? &error : nullptr);
    // An unreadable settings file is reported once; the window goes on with
    // its defaults, and the write at exit refuses to replace what it could not read.
    if (!error.isEmpty())
        ErrorDialog(windowTitle(), error, dmActiveForm);
    TakeArgument(arguments);

    Printing = false;
    Stopped = false;
    SetStatus(QString(), Qt::black);
    FPrinters = PrinterNames();
    cxPrinter->addItems(FPrinters);
}

void THauptForm::TakeArgument(const QStringList& arguments)
{
    // Start-up options begin with "-"; the other arguments name files (the
    // file manager passes every file of a selection).
    QStringList files;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        // A saved report whose failure list is to be shown (a click on the
        // notification of a run from the file manager).
        if (argument == QStringLiteral("--failures") && i + 1 < arguments.size()) {
            FFailuresReport = arguments[++i];
            continue;
        }
        if (argument.startsWith(QStringLiteral("--failures="))) {
            FFailuresReport = argument.mid(11);
            continue;
        }
        if (argument.startsWith(u'-') || argument.isEmpty())
            continue;
        files << (QFileInfo(argument).isAbsolute() ? argument : QDir::current().absoluteFilePath(argument));
    }
    if (files.isEmpty())
        return;
    // A selection from the file manager names existing files; otherwise the
    // first argument alone is taken, as a name to fill in.
    const bool selection =
        std::all_of(files.begin(), files.end(), [](const QString& file) { return QFileInfo(file).isFile(); });
    TakeFiles(selection ? files : files.mid(0, 1));
}

namespace {

// A print list for files from several folders, in the user's data folder
// (never among the user's own files), named after the moment so that an
// earlier one in the histories keeps its files. Its entries are full names.
QString WriteSelectionList(const QStringList& files, QString* error)
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        *error = FillPlaceholders(TrDefault("The folder %s cannot be created"), {folder});
        return {};
    }
    const QString stem =
        QStringLiteral("selection-") + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString name = DirectoryWithDelimiter(folder) + stem + u'.' + QString::fromLatin1(PrintListExtension);
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = DirectoryWithDelimiter(folder) + stem + u'-' + QString::number(n) + u'.' +
               QString::fromLatin1(PrintListExtension);
    return WritePrintList(name, files, error) ? name : QString();
}

bool IsPdfOrList(const QString& file)
{
    const QString suffix = QFileInfo(file).suffix();
    return suffix.compare(QStringLiteral("pdf"), Qt::CaseInsensitive) == 0 ||
           suffix.compare(QString::fromLatin1(PrintListExtension), Qt::CaseInsensitive) == 0;
}

QStringList LocalPaths(const QMimeData* data)
{
    QStringList paths;
    if (data && data->hasUrls())
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                paths << QDir::cleanPath(url.toLocalFile());
    return paths;
}

} // namespace

void THauptForm::TakeFiles(const QStringList& files)
{
    const auto setFields = [this](const QString& dir, const QString& names) {
        AddToHistory(SourceDirEdit, dir);
        SourceDirEdit->setCurrentText(dir);
        AddToHistory(FileEdit, names);
        FileEdit->setCurrentText(names);
    };
    const QString dir = FolderPart(files.first());
    QStringList names;
    for (const QString& file : files) {
        if (FolderPart(file) != dir)
            break;
        names << FileNamePart(file);
    }
    if (names.size() == files.size()) {
        // As the file dialog does: named files, not a search below them.
        if (files.size() > 1)
            chbSubDir->setChecked(false);
        setFields(dir, names.join(u';'));
        return;
    }
    // A print list among them gives its files: a list names PDF files only.
    // A file given twice is listed once, as the job list keeps a file that
    // two names reach once.
    QStringList entries;
    QString error;
    const auto add = [&entries](const QString& file) {
        if (!entries.contains(file))
            entries << file;
    };
    for (const QString& file : files) {
        QStringList lines;
        if (!IsPrintListName(file)) {
            add(file);
        } else if (ReadPrintList(file, lines, &error)) {
            for (const QString& line : std::as_const(lines))
                if (!line.isEmpty())
                    add(CleanJobPath(BuildFileName(FolderPart(file), line, QString())));
        } else {
            ErrorDialog(windowTitle(), error, dmActiveForm);
        }
    }
    const QString list = WriteSelectionList(entries, &error);
    if (list.isEmpty()) {
        ErrorDialog(windowTitle(), error, dmActiveForm);
        return;
    }
    chbSubDir->setChecked(false);
    setFields(FolderPart(list), FileNamePart(list));
}

void THauptForm::TakePaths(const QStringList& paths)
{
    QStringList files;
    QString folder;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        if (info.isDir() && folder.isEmpty())
            folder = path;
        else if (info.isFile() && IsPdfOrList(path))
            files << info.absoluteFilePath();
    }
    if (!files.isEmpty()) {
        TakeFiles(files);
    } else if (!folder.isEmpty()) {
        const QString dir = DirectoryWithDelimiter(QFileInfo(folder).absoluteFilePath());
        AddToHistory(SourceDirEdit, dir);
        SourceDirEdit->setCurrentText(dir);
    }
}

void THauptForm::dragEnterEvent(QDragEnterEvent* event)
{
    const QStringList paths = LocalPaths(event->mimeData());
    if (!Printing && std::any_of(paths.begin(), paths.end(),
                                 [](const QString& path) { return QFileInfo(path).isDir() || IsPdfOrList(path); }))
        event->acceptProposedAction();
}

void THauptForm::dropEvent(QDropEvent* event)
{
    TakePaths(LocalPaths(event->mimeData()));
    event->acceptProposedAction();
}

bool THauptForm::eventFilter(QObject* watched, QEvent* event)
{
    const bool dirField = watched == SourceDirEdit->lineEdit();
    if (!dirField && watched != FileEdit->lineEdit())
        return QMainWindow::eventFilter(watched, event);
    // Dropped files and folders: the directory field takes a folder, the file
    // names field follows the window's rule.
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove || event->type() == QEvent::Drop) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList paths = LocalPaths(drop->mimeData());
        if (paths.isEmpty())
            return false; // text is dropped as text
        if (Printing) {
            drop->ignore();
            return true;
        }
        drop->acceptProposedAction();
        if (event->type() != QEvent::Drop)
            return true;
        if (!dirField) {
            TakePaths(paths);
        } else {
            // The field names a folder: a dropped file gives its own.
            const QFileInfo info(paths.first());
            TakePaths({info.isDir() ? info.absoluteFilePath() : info.absolutePath()});
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void THauptForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (!FShown) {
        FShown = true;
        FormShow();
    }
}

void THauptForm::FormShow()
{
    if (FPrinters.isEmpty()) {
        ErrorDialog(windowTitle(), TrDefault("No printer available!"), dmActiveForm);
        CloseLater();
        return;
    }
    const QString saved = PrtName;
    SetPrinterIndex(ChoosePrinter(FPrinters, PrtName, DefaultPrinterName()));
    if (!saved.isEmpty() && saved.compare(PrtName, Qt::CaseInsensitive) != 0)
        SetStatus(FillPlaceholders(TrDefault("Printer %s is not available; using %s"), {saved, PrtName}), Qt::black);
    SumatraPath = LocatePrintProgram(SumatraPath, ExePath);
    if (SumatraPath.isEmpty()) {
        TFileDialogOptions options;
        options.Title = TrDefault("Seek for Sumatra PDF");
        options.InitialDir = SpecialFolderPath(CSIDL_PROGRAM_FILES);
        // Programs here carry no extension: the filter's mask is widened.
        options.Filter = TrDefault("Programs|*.exe").replace(QStringLiteral("*.exe"), QStringLiteral("*"));
        const QStringList picked = OpenFileDialog(this, options);
        if (picked.isEmpty()) {
            ErrorDialog(windowTitle(),
                        TrDefault("Sumatra PDF not found on this computer!\r\n"
                                  "Printing of PDF files using this program is not available!"),
                        dmActiveForm);
            CloseLater();
            return;
        }
        SumatraPath = picked.first();
    }
    SetProcessButton(1, TrDefault("Print"), TrDefault("Start printing"));
    FileEditChange();
    if (!FFailuresReport.isEmpty()) {
        // Once the window is on screen, so that the list opens above it.
        QTimer::singleShot(0, this, [this, report = FFailuresReport] { ShowSavedFailures(report); });
        FFailuresReport.clear();
    }
}

bool THauptForm::ShowSavedFailures(const QString& reportFile)
{
    QList<TReportRecord> records;
    QString error;
    if (!ReadRunReport(reportFile, &records, &error)) {
        ErrorDialog(windowTitle(), error, dmActiveForm);
        return false;
    }
    FEntries = records;
    FFailures.clear();
    quint32 printed = 0;
    for (const TReportRecord& record : std::as_const(records)) {
        if (record.Result == TRecordResult::Failed || record.Result == TRecordResult::Missing)
            FFailures << record;
        else if (record.Result == TRecordResult::Printed)
            ++printed;
    }
    FRunDir = FolderPart(reportFile);
    QString text = PrintResultText(printed);
    if (!FFailures.isEmpty())
        text +=
            QStringLiteral(" · ") + FillPlaceholders(TrDefault("%u not printed"), {QString::number(FFailures.size())});
    SetStatus(text, Qt::blue);
    btnFailures->setVisible(!FFailures.isEmpty());
    if (!FFailures.isEmpty())
        btnFailuresClick();
    return true;
}

void THauptForm::NotifyRunEnd()
{
    if (!FNotification) {
        FNotification = new TDesktopNotification(this);
        connect(FNotification, &TDesktopNotification::FailuresRequested, this, [this] {
            showNormal();
            raise();
            activateWindow();
            // Not while a run or another list is up: the list is the last run's.
            if (!Printing && !FFailures.isEmpty() && !QApplication::activeModalWidget())
                btnFailuresClick();
        });
    }
    QStringList lines;
    for (const TReportRecord& record : std::as_const(FFailures))
        lines << (record.Reason.isEmpty() ? record.File : record.File + QStringLiteral(": ") + record.Reason);
    QString body = lines.mid(0, 10).join(u'\n');
    if (lines.size() > 10)
        body += QStringLiteral("\n…");
    // The status text starts with a blank that the line needs, not the notification.
    FNotification->Send(StatusText().trimmed(), body, !FFailures.isEmpty(), !FFailures.isEmpty());
}

void THauptForm::FormDestroy()
{
    TMainSettings settings;
    settings.Left = x();
    settings.Top = y();
    settings.Sumatra = SumatraPath;
    settings.Printer = PrtName;
    settings.Subdirectories = chbSubDir->isChecked();
    settings.PrintSettings = PrintSettingsList;
    QString error;
    // A failed step ends the saving, as the failed write reports it.
    if (!WriteMainSettings(IniName, settings, &error) ||
        !SaveHistory(IniName, QStringLiteral("Source"), true, SourceDirEdit, 0, false, &error) ||
        !SaveHistory(IniName, QStringLiteral("Files"), true, FileEdit, 0, false, &error))
        ErrorDialog(windowTitle(), error, dmActiveForm);
}

void THauptForm::SetPrinterIndex(int index)
{
    FPrinterIndex = index;
    PrtName = FPrinters.value(index);
    cxPrinter->setCurrentIndex(index);
}

QString THauptForm::RefreshPrinters()
{
    const QString chosen = PrtName;
    const QStringList names = PrinterNames();
    if (names != FPrinters) {
        FPrinters = names;
        const QSignalBlocker blocker(cxPrinter);
        cxPrinter->clear();
        cxPrinter->addItems(FPrinters);
    }
    SetPrinterIndex(ChoosePrinter(FPrinters, chosen, DefaultPrinterName()));
    if (chosen.isEmpty() || PrtName.compare(chosen, Qt::CaseInsensitive) == 0)
        return {};
    if (PrtName.isEmpty())
        return TrDefault("No printer available!");
    return FillPlaceholders(TrDefault("Printer %s is not available; using %s"), {chosen, PrtName});
}

void THauptForm::cxPrinterCloseUp()
{
    PrtName = cxPrinter->currentText();
    SetPrinterIndex(FPrinters.indexOf(PrtName));
}

void THauptForm::FileEditChange()
{
    const QString text = FileEdit->currentText();
    chbSubDir->setEnabled(text.contains(u'*') || text.contains(u'?'));
}

void THauptForm::EndeBtnClick()
{
    close();
}

void THauptForm::InfoBtnClick()
{
    const QString text = ProgVersName + QStringLiteral(" - ") + ProgVersDate + QStringLiteral("\r\n") +
                         QString::fromUtf8(kCopyright) + QStringLiteral("\r\nE-Mail: ") + QString::fromUtf8(kContact) +
                         QStringLiteral("\r\n") + TrDefault("Installation of Sumatra PDF required:") +
                         QStringLiteral("\r\n") + QString::fromUtf8(kPrintProgramPage);
    InfoDialogAt(QCursor::pos(), text, dmActiveForm);
}

namespace {

bool IsUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

// While it lives, user input reaches only the given button; everything else
// is held back and delivered, in its order, when it ends, so that nothing
// typed or clicked meanwhile is lost or acted on early.
class TButtonInputOnly : public QObject
{
public:
    explicit TButtonInputOnly(QAbstractButton* button) : FButton(button) { qApp->installEventFilter(this); }
    ~TButtonInputOnly() override
    {
        qApp->removeEventFilter(this);
        for (auto& [receiver, event] : FHeld) {
            if (receiver)
                QCoreApplication::postEvent(receiver, event.release());
        }
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (!IsUserInput(event->type()) || ForButton(watched, event))
            return false;
        FHeld.emplace_back(watched, std::unique_ptr<QEvent>(event->clone()));
        return true;
    }

private:
    bool ForButton(QObject* watched, QEvent* event) const
    {
        if (watched == FButton)
            return true;
        // Input from the window system reaches the top-level window first,
        // which then hands it to the focus widget or the widget under the mouse.
        QWidget* top = FButton->window();
        if (watched != top->windowHandle())
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            return QApplication::focusWidget() == FButton;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove: {
            // A press on the button owns the mouse until its release.
            if (FButton->isDown())
                return true;
            const QPoint at = top->mapFromGlobal(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
            QWidget* child = top->childAt(at);
            return child && (child == FButton || FButton->isAncestorOf(child));
        }
        default:
            return false;
        }
    }

    QAbstractButton* FButton;
    std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> FHeld;
};

// Exit codes of the print program that say the printer or the spooler is
// gone, not the file: every further file would fail the same way.
bool PrinterGone(const TInvocation& invocation)
{
    const int code = invocation.ExitCode();
    return code == PrintProgramExit::NoSuchPrinter || code == PrintProgramExit::SpoolerRefused;
}

// The window's side of a print run: the status line, the copy counter, the
// progress, the failure prompt with Cancel, Ignore and "Ignore all", the Stop
// button's flag and the records for the list of failures.
class TWindowRunClient : public TPrintRunClient
{
public:
    explicit TWindowRunClient(THauptForm& form, std::function<void(const QString&)> status,
                              QList<TReportRecord>& entries, QList<TReportRecord>& failures)
        : FForm(form), FStatus(std::move(status)), FEntries(entries), FFailures(failures)
    {
    }
    void JobListError(const QString& message) override
    {
        ErrorDialog(FForm.windowTitle(), message, dmActiveForm);
        Add({0, QString(), TRecordResult::Failed, -1, message});
    }
    void NameMatchedNothing(const TUnmatchedName& name) override
    {
        Add({0, name.Path, TRecordResult::Missing, -1, UnmatchedText(name)});
    }
    void JobListReady(const QStringList& jobs, int copies) override
    {
        Jobs = jobs.size();
        FTotal = jobs.size() * qMax(copies, 0);
        FClock.start();
        if (FTotal > 0) {
            FForm.RunProgress->setRange(0, static_cast<int>(qMin<qsizetype>(FTotal, INT_MAX)));
            FForm.RunProgress->setValue(0);
            FForm.RunProgress->setFormat(
                FillPlaceholders(TrDefault("%s of %s"), {QString::number(0), QString::number(FTotal)}));
            FForm.RunProgress->show();
        }
    }
    void NameDuplicated(const TJobName& name) override
    {
        Add({0, name.Path, TRecordResult::Duplicate, -1, DuplicateText(name)});
    }
    void CopyStarts(int copy) override { FForm.edtKop->SetValue(copy); }
    void FileStarts(const TInvocation& invocation) override
    {
        FStatus(PrintStatusText(invocation.File));
        const qsizetype done = invocation.Number();
        QString text = FillPlaceholders(TrDefault("%s of %s"), {QString::number(done + 1), QString::number(FTotal)});
        if (done > 0)
            text += QStringLiteral(" · ") + TimeLeftText(FClock.elapsed() * (FTotal - done) / done / 1000);
        // The bar's format reads "%" as the start of a placeholder.
        FForm.RunProgress->setFormat(text.replace(u'%', QStringLiteral("%%")));
        FForm.RunProgress->setValue(static_cast<int>(done));
    }
    void FilePrinted(const TInvocation& invocation) override
    {
        FForm.RunProgress->setValue(static_cast<int>(invocation.Number() + 1));
        Add(HandedOverRecord(invocation, Destination));
    }
    void FileNotTried(const TInvocation& invocation) override
    {
        Add({invocation.Copy, invocation.File, TRecordResult::NotTried, -1, QString()});
    }
    // The print settings leave no page of the file: no failure, but counted and recorded.
    void FileSkipped(const TInvocation& invocation) override
    {
        FForm.RunProgress->setValue(static_cast<int>(invocation.Number() + 1));
        Add({invocation.Copy, invocation.File, TRecordResult::Skipped, invocation.ExitCode(), invocation.Reason()});
    }
    // A spooler away for the moment is waited out in the status line; the
    // Stop button ends the waiting.
    void SpoolerUnavailable(const TInvocation&, const QString& reason) override
    {
        FStatus(FillPlaceholders(TrDefault("Waiting for the print spooler: %s"), {reason}));
    }
    void SpoolerBack(const TInvocation& invocation) override { FStatus(PrintStatusText(invocation.File)); }
    TRunStep FileFailed(const TInvocation& invocation) override
    {
        FForm.RunProgress->setValue(static_cast<int>(invocation.Number() + 1));
        Add({invocation.Copy, invocation.File, TRecordResult::Failed, invocation.ExitCode(), invocation.Reason()});
        // Stopped while the spooler was waited for: the stop was the answer.
        if (FForm.Stopped)
            return TRunStep::Stop;
        // After "Ignore all", and after the one question about a printer
        // that has gone, the failures are only listed.
        const bool gone = PrinterGone(invocation);
        if (FIgnoreAll || (gone && FGoneAsked))
            return TRunStep::GoOn;
        FGoneAsked = FGoneAsked || gone;
        // The print program's own reason goes under the translated text.
        QString text = PrintFailedText(invocation.File);
        QString reason = invocation.FirstOutputLine();
        if (reason.size() > kMaxReasonLength)
            reason = reason.left(kMaxReasonLength) + QChar(0x2026);
        if (!reason.isEmpty())
            text += QStringLiteral("\r\n") + reason;
        const int answer = MessageDialog(FForm.windowTitle(), text, mtError, mbCancel | mbIgnore | mbAll,
                                         {{mbAll, TrDefault("Ignore all")}});
        if (answer == mrCancel) {
            FForm.Stopped = true;
            return TRunStep::Stop;
        }
        FIgnoreAll = answer == mrAll;
        return TRunStep::GoOn;
    }
    TRunStep Pause(unsigned long ms) override { return FForm.PauseForStop(ms) ? TRunStep::Stop : TRunStep::GoOn; }
    bool StopRequested() override { return FForm.Stopped; }

    qsizetype Jobs = 0;
    QString Destination; // the printer the files go to

private:
    void Add(const TReportRecord& entry)
    {
        FEntries << entry;
        if (entry.Result == TRecordResult::Failed || entry.Result == TRecordResult::Missing)
            FFailures << entry;
    }

    THauptForm& FForm;
    std::function<void(const QString&)> FStatus;
    QList<TReportRecord>& FEntries;
    QList<TReportRecord>& FFailures;
    qsizetype FTotal = 0;
    QElapsedTimer FClock;
    bool FIgnoreAll = false;
    bool FGoneAsked = false;
};

// The run's side on the worker thread: every call goes to the window's
// client on the window's thread. Notices are queued and the run goes on;
// what needs an answer (the failure prompt, the pause, the stop flag) waits
// for it. So the window's event loop, or a dialog's, keeps the run going.
class TQueuedRunClient : public TPrintRunClient
{
public:
    TQueuedRunClient(QObject* window, TPrintRunClient& target) : FWindow(window), FTarget(target) {}

    void JobListError(const QString& message) override
    {
        Ask([&] { FTarget.JobListError(message); });
    }
    void NameMatchedNothing(const TUnmatchedName& name) override
    {
        Tell([this, name] { FTarget.NameMatchedNothing(name); });
    }
    void JobListReady(const QStringList& jobs, int copies) override
    {
        Tell([this, jobs, copies] { FTarget.JobListReady(jobs, copies); });
    }
    void CopyStarts(int copy) override
    {
        Tell([this, copy] { FTarget.CopyStarts(copy); });
    }
    void FileStarts(const TInvocation& invocation) override
    {
        Tell([this, invocation] { FTarget.FileStarts(invocation); });
    }
    void FilePrinted(const TInvocation& invocation) override
    {
        Tell([this, invocation] { FTarget.FilePrinted(invocation); });
    }
    void NameDuplicated(const TJobName& name) override
    {
        Tell([this, name] { FTarget.NameDuplicated(name); });
    }
    void FileNotTried(const TInvocation& invocation) override
    {
        Tell([this, invocation] { FTarget.FileNotTried(invocation); });
    }
    void FileSkipped(const TInvocation& invocation) override
    {
        Tell([this, invocation] { FTarget.FileSkipped(invocation); });
    }
    void SpoolerUnavailable(const TInvocation& invocation, const QString& reason) override
    {
        Tell([this, invocation, reason] { FTarget.SpoolerUnavailable(invocation, reason); });
    }
    void SpoolerBack(const TInvocation& invocation) override
    {
        Tell([this, invocation] { FTarget.SpoolerBack(invocation); });
    }
    TRunStep FileFailed(const TInvocation& invocation) override
    {
        TRunStep step = TRunStep::GoOn;
        Ask([&] { step = FTarget.FileFailed(invocation); });
        return step;
    }
    TRunStep Pause(unsigned long ms) override
    {
        TRunStep step = TRunStep::GoOn;
        Ask([&] { step = FTarget.Pause(ms); });
        return step;
    }
    bool StopRequested() override
    {
        bool stop = false;
        Ask([&] { stop = FTarget.StopRequested(); });
        return stop;
    }

private:
    template <typename F>
    void Tell(F&& call)
    {
        QMetaObject::invokeMethod(FWindow, std::forward<F>(call), Qt::QueuedConnection);
    }
    template <typename F>
    void Ask(F&& call)
    {
        QMetaObject::invokeMethod(FWindow, std::forward<F>(call), Qt::BlockingQueuedConnection);
    }

    QObject* FWindow;
    TPrintRunClient& FTarget;
};

// Runs the job on a worker thread and handles the window's events, the
// client's calls among them, until it has ended.
TRunResult RunOnWorker(const TPrintJob& job, QObject* window, TPrintRunClient& client)
{
    TQueuedRunClient queued(window, client);
    TRunResult result;
    QEventLoop loop;
    std::unique_ptr<QThread> worker(QThread::create([&] { result = RunPrintJob(job, queued); }));
    QObject::connect(worker.get(), &QThread::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    worker->start();
    loop.exec();
    worker->wait();
    // Notices queued last arrive before the result is used.
    QCoreApplication::sendPostedEvents(window, QEvent::MetaCall);
    return result;
}

} // namespace

void THauptForm::btnProcessClick()
{
    // What the fields hold when a run starts heads their histories, typed or picked.
    if (!Printing) {
        AddToHistory(SourceDirEdit, SourceDirEdit->currentText());
        AddToHistory(FileEdit, FileEdit->currentText());
    }
    if (Printing) {
        // The second click of a double-click on Print is no Stop.
        if (FRunClock.isValid() && FRunClock.elapsed() < QApplication::doubleClickInterval())
            return;
        RequestStop();
        return;
    }
    // A queue may have gone or come since the list was read; a run does not
    // start on another printer than the one shown when it was pressed.
    if (const QString gone = RefreshPrinters(); !gone.isEmpty()) {
        SetStatus(gone, Qt::blue);
        return;
    }
    if (!PrintSettingsUsable())
        return;
    cxPrinter->setEnabled(false);
    btnPrintSettings->setEnabled(false);
    btnPreview->setEnabled(false);
    btnFailures->hide();
    FEntries.clear();
    FFailures.clear();
    TRunResult run;
    const QString field = FileEdit->currentText();
    const QString sourceDir = ResolveSourceDir(ExpandHomeDir(SourceDirEdit->currentText()));
    FRunDir = sourceDir;
    qsizetype jobs = 0;
    if (!field.isEmpty()) {
        Printing = true;
        FRunClock.start();
        SetStatus(QString(), Qt::black);
        SetProcessButton(0, TrDefault("Stop"), TrDefault("Stop printing"));

        TPrintJob job;
        job.SourceDir = sourceDir;
        job.FileField = field;
        job.IncludeSubDirs = chbSubDir->isChecked();
        KopAnz->interpretText();
        job.Copies = KopAnz->value();
        job.Program = SumatraPath;
        job.Printer = PrtName;
        job.PrintSettings = PrintSettingsList;
        job.PauseMs = FPausePerFile;
        job.CaptureOutput = true;   // for the reason in the failure prompt
        job.ReportUnmatched = true; // for the end text and the list of failures
        // A spooler restart is waited out (the status line says so) rather than failing every file.
        job.RetryForMs = 5 * 60 * 1000;
        TWindowRunClient client(
            *this, [this](const QString& text) { SetStatus(text, Qt::black); }, FEntries, FFailures);
        client.Destination = job.Printer;
        run = RunOnWorker(job, this, client);
        jobs = client.Jobs;
    }
    // With nothing to print, why it was nothing says more than the counts.
    const QString reason =
        run.Printed == 0 && run.Failed == 0 && jobs == 0 ? NothingPrintedReason(sourceDir, field, run) : QString();
    SetStatus(reason.isEmpty() ? EndText(run) : PrintResultText(0) + QStringLiteral(" · ") + reason, Qt::blue);
    RunProgress->hide();
    btnFailures->setVisible(!FFailures.isEmpty());
    // A long run may have been left to itself: say that it ended where the user is now.
    const bool notify = FRunClock.isValid() && FRunClock.elapsed() >= FNotifyAfterMs && !isActiveWindow();
    edtKop->SetValue(0);
    SetProcessButton(1, TrDefault("Print"), TrDefault("Start printing"));
    Printing = false;
    Stopped = false;
    FRunClock.invalidate();
    cxPrinter->setEnabled(true);
    btnPrintSettings->setEnabled(true);
    btnPreview->setEnabled(true);
    if (notify && !FCloseRequested)
        NotifyRunEnd();
    if (FCloseRequested)
        CloseLater();
}

bool THauptForm::PrintSettingsUsable()
{
    // The list may come from a hand-edited settings file; the print program
    // would refuse it for every file, so the run does not start.
    PrintSettings::Settings parsed;
    std::string error;
    if (PrintSettingsList.isEmpty() || PrintSettings::Parse(PrintSettingsList.toStdString(), &parsed, &error))
        return true;
    ErrorDialog(windowTitle(),
                FillPlaceholders(TrDefault("The print settings cannot be used: %s"), {QString::fromStdString(error)}),
                dmActiveForm);
    return false;
}

void THauptForm::SetPrintSettings(const QString& list)
{
    PrintSettingsList = list.trimmed();
    const QString summary = PrintSettingsSummary(PrintSettingsList);
    lblPrintSettings->setText(
        lblPrintSettings->fontMetrics().elidedText(summary, Qt::ElideRight, lblPrintSettings->width()));
    lblPrintSettings->setToolTip(PrintSettingsList.isEmpty() ? summary
                                                             : summary + QStringLiteral("\n") + PrintSettingsList);
}

void THauptForm::btnPrintSettingsClick()
{
    // The printer's choices are asked for now: it may have changed since the start.
    RefreshPrinters();
    TPrintSettingsDialog dialog(this);
    QString list = PrintSettingsList;
    if (dialog.Execute(PrtName, list))
        SetPrintSettings(list);
}

void THauptForm::btnPreviewClick()
{
    if (Printing || !PrintSettingsUsable())
        return;
    const QString field = FileEdit->currentText();
    const QString sourceDir = ResolveSourceDir(ExpandHomeDir(SourceDirEdit->currentText()));
    if (field.isEmpty() || !QFileInfo(sourceDir).isDir()) {
        SetStatus(NothingPrintedReason(sourceDir, field, TRunResult()), Qt::blue);
        return;
    }
    TPrintJob job;
    job.SourceDir = sourceDir;
    job.FileField = field;
    job.IncludeSubDirs = chbSubDir->isChecked();
    KopAnz->interpretText();
    job.Copies = KopAnz->value();
    job.PrintSettings = PrintSettingsList;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TJobPreview preview = PreviewPrintJob(job);
    QApplication::restoreOverrideCursor();
    ShowJobPreview(this, preview);
}

QString THauptForm::EndText(const TRunResult& run) const
{
    QStringList more;
    if (run.Failed > 0)
        more << FillPlaceholders(TrDefault("%u failed"), {QString::number(run.Failed)});
    if (run.Skipped > 0)
        more << FillPlaceholders(TrDefault("%u skipped"), {QString::number(run.Skipped)});
    if (const quint32 notFound = run.Unmatched + run.ListErrors; notFound > 0)
        more << FillPlaceholders(TrDefault("%u not found"), {QString::number(notFound)});
    if (run.Stopped)
        more << TrDefault("stopped before the end");
    QString text = PrintResultText(run.Printed);
    if (run.DuplicateFiles > 0)
        text += QStringLiteral("; ") + DuplicatesText(run.DuplicateFiles);
    if (!more.isEmpty())
        text += QStringLiteral(" · ") + more.join(QStringLiteral(", "));
    return text;
}

QString THauptForm::NothingPrintedReason(const QString& sourceDir, const QString& field, const TRunResult& run) const
{
    if (field.isEmpty())
        return TrDefault("The file names field is empty");
    if (!QFileInfo(sourceDir).isDir())
        return FillPlaceholders(TrDefault("The folder %s does not exist"), {sourceDir});
    // Names that found nothing and missing lists are counted already.
    if (run.Unmatched + run.ListErrors > 0)
        return {};
    return FillPlaceholders(TrDefault("Nothing matched %s"), {field});
}

bool THauptForm::PauseForStop(unsigned long ms)
{
    // A stop already requested needs no pause: no further file follows.
    if (Stopped || ms == 0)
        return Stopped;
    // The pause gives the spooler time between jobs. A plain sleep would not
    // see the Stop button, and a click in it would only be handled while the
    // next file is already being handed over; so a local loop runs that lets
    // only the button's input through. Paint, timers and close requests go on
    // as during the print program's wait, where every handler may run anyway.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    timer.start(std::chrono::milliseconds(ms));
    {
        TButtonInputOnly onlyStop(btnProcess);
        FPauseLoop = &loop;
        loop.exec();
        FPauseLoop = nullptr;
    }
    return Stopped;
}

void THauptForm::RequestStop()
{
    Stopped = true;
    if (FPauseLoop)
        FPauseLoop->quit();
}

void THauptForm::SourceSelectBtnClick()
{
    if (!ShellDirDialog)
        return;
    QString dir = SourceDirEdit->currentText();
    if (dir.isEmpty())
        dir = UserPath;
    if (ShellDirDialog->Execute(TrDefault("Directory with files to print"), true, true, false, QString(), dir)) {
        SourceDirEdit->setEditText(dir);
        AddToHistory(SourceDirEdit, dir);
    }
}

void THauptForm::FileBtnClick()
{
    TFileDialogOptions options;
    options.InitialDir = SourceDirEdit->currentText();
    // PDF first, as the mask's default; the other types the print program prints after it.
    options.Filter =
        FillPlaceholders(TrDefault("PDF files|*.pdf|Print list|*.%s"), {QString::fromLatin1(PrintListExtension)}) +
        u'|' +
        TrDefault("Printable files|*.pdf;*.ps;*.jpg;*.jpeg;*.png;*.tif;*.tiff;*.gif;*.bmp;*.txt;*.odt;*.ods;*.odp;"
                  "*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.rtf");
    options.Title = TrDefault("Select files to print or print list");
    options.MultiSelect = true;
    const QStringList files = OpenFileDialog(this, options);
    if (files.isEmpty())
        return;
    chbSubDir->setChecked(false);
    const QString dir = FolderPart(files.first());
    if (dir != SourceDirEdit->currentText()) {
        SourceDirEdit->setEditText(dir);
        AddToHistory(SourceDirEdit, dir);
    }
    QStringList names;
    for (const QString& file : files)
        names << FileNamePart(file);
    const QString joined = names.join(u';');
    FileEdit->setEditText(joined);
    AddToHistory(FileEdit, joined);
}

void THauptForm::btnEditClick()
{
    if (!FileListDialog)
        return;
    const QString ext = QString::fromLatin1(PrintListExtension);
    TFileDialogOptions options;
    options.InitialDir = SourceDirEdit->currentText();
    // The field's text up to its first list name; an upper-case name is
    // found when no lower-case one is there.
    const QString field = FileEdit->currentText();
    qsizetype p = field.indexOf(ext);
    if (p < 0)
        p = field.indexOf(ext, 0, Qt::CaseInsensitive);
    if (p >= 0)
        options.FileName = field.left(p + ext.size());
    options.Filter = SafeFormat(TrDefault("Print list|*.%s"), {ext});
    options.Title = TrDefault("Select print list");
    const QStringList picked = OpenFileDialog(this, options);
    if (picked.isEmpty())
        return;
    TakePrintList(FileListDialog->Execute(TrDefault("Edit print list"), TrDefault("PDF files|*.pdf"),
                                          SourceDirEdit->currentText(), picked.first(), options.Filter, ext, true));
}

void THauptForm::btnNewClick()
{
    if (!FileListDialog)
        return;
    const QString ext = QString::fromLatin1(PrintListExtension);
    TakePrintList(FileListDialog->Execute(TrDefault("Create print list"), TrDefault("PDF files|*.pdf"),
                                          SourceDirEdit->currentText(), QString(),
                                          SafeFormat(TrDefault("Batch files|*.%s"), {ext}), ext, true));
}

void THauptForm::TakePrintList(const QString& listFile)
{
    if (listFile.isEmpty())
        return;
    FileEdit->setEditText(FileNamePart(listFile));
    // The entries are relative to the list's own folder, which must become
    // the source directory for the print run to find them.
    const QString dir = FolderPart(listFile);
    if (dir != SourceDirEdit->currentText()) {
        SourceDirEdit->setEditText(dir);
        AddToHistory(SourceDirEdit, dir);
    }
}

void THauptForm::btnFailuresClick()
{
    QDialog dialog(this);
    dialog.setObjectName(QStringLiteral("FailureList"));
    dialog.setWindowTitle(TrDefault("Files not printed"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QTreeWidget(&dialog);
    list->setObjectName(QStringLiteral("lvFailures"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({TrDefault("File"), TrDefault("Copy"), TrDefault("Result"), TrDefault("Reason")});
    for (const TReportRecord& entry : std::as_const(FFailures)) {
        const QString result = entry.Result == TRecordResult::Missing ? TrDefault("not found") : TrDefault("failed");
        auto* item = new QTreeWidgetItem(
            list, {entry.File, entry.Copy > 0 ? QString::number(entry.Copy) : QString(), result, entry.Reason});
        item->setToolTip(0, entry.File);
        item->setToolTip(3, entry.Reason);
    }
    list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    layout->addWidget(list);
    auto* row = new QHBoxLayout;
    auto* save = new QPushButton(TrDefault("Save report…"), &dialog);
    save->setObjectName(QStringLiteral("btnSaveReport"));
    connect(save, &QPushButton::clicked, this, &THauptForm::SaveReport);
    row->addWidget(save);
    row->addStretch();
    auto* close = new QPushButton(TrDefault("Close"), &dialog);
    close->setObjectName(QStringLiteral("btnClose"));
    connect(close, &QPushButton::clicked, &dialog, &QDialog::accept);
    row->addWidget(close);
    layout->addLayout(row);
    dialog.resize(qRound(560 * logicalDpiX() / 96.0), qRound(260 * logicalDpiY() / 96.0));
    dialog.exec();
}

bool THauptForm::SaveReport()
{
    TFileDialogOptions options;
    options.Title = TrDefault("Save report");
    options.InitialDir = FRunDir;
    options.FileName = QStringLiteral("report.csv");
    options.Filter = TrDefault("CSV files|*.csv|JSON Lines|*.jsonl");
    options.DefaultExt = QStringLiteral("csv");
    const QString name = SaveFileDialog(this, options);
    if (name.isEmpty())
        return false;
    TRunReport report;
    QString error;
    bool written = report.Open(name, TRunReport::TMode::Replace, &error);
    for (const TReportRecord& record : std::as_const(FEntries)) {
        if (written)
            written = report.Add(record, &error);
    }
    if (written)
        written = report.Finish(&error);
    if (!written)
        ErrorDialog(windowTitle(), FillPlaceholders(TrDefault("The report %s cannot be written: %s"), {name, error}),
                    dmActiveForm);
    return written;
}

void THauptForm::closeEvent(QCloseEvent* event)
{
    // Closing during a run asks once whether to stop after the current file
    // or to print to the end; the window closes when the run is over, so the
    // settings are written as on any other close.
    if (Printing) {
        event->ignore();
        if (FCloseRequested || FCloseAsked)
            return;
        FCloseAsked = true;
        const int answer = ShowSelectDialog(
            windowTitle(), TrDefault("Files are still being printed."), mtConfirmation, 0,
            {TrDefault("Stop after the current file and quit"), TrDefault("Keep printing and quit at the end")});
        // Escape keeps the run going, as closing did before the question.
        if (answer == 0)
            RequestStop();
        FCloseRequested = true;
        return;
    }
    QMainWindow::closeEvent(event);
}

void THauptForm::Terminate()
{
    RequestStop();
    FCloseRequested = true;
    // Boxes may follow each other (a cancelled dialog leads to an error box):
    // keep closing whatever is modal until the window itself has closed.
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        } else if (!Printing) {
            close();
        }
    });
    timer->start(50);
}

void THauptForm::CloseLater()
{
    QTimer::singleShot(0, this, &QWidget::close);
}

void THauptForm::SetStatus(const QString& text, const QColor& color)
{
    QPalette palette = FStatusLabel->palette();
    palette.setColor(QPalette::WindowText, color);
    FStatusLabel->setPalette(palette);
    FStatusLabel->setText(text);
}

QString THauptForm::StatusText() const
{
    return FStatusLabel->text();
}

QColor THauptForm::StatusColor() const
{
    return FStatusLabel->palette().color(QPalette::WindowText);
}

void THauptForm::SetProcessButton(int image, const QString& caption, const QString& hint)
{
    btnProcess->setIcon(QIcon());
    btnProcess->setIcon(ilPrint.value(image));
    btnProcess->setText(caption);
    btnProcess->setToolTip(hint);
}
