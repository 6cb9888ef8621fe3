#pragma once

#include "printing/RunReport.h"

#include <QElapsedTimer>
#include <QIcon>
#include <QList>
#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QEventLoop;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QToolButton;
class TDesktopNotification;
class TNumberEdit;
struct TRunResult;

// The main window. It owns the program's state: the folders, the settings
// file name, the chosen printer and print-to program, and the print run's
// two flags. Settings are read when it is created and written when it is
// destroyed.
class THauptForm : public QMainWindow
{
    Q_OBJECT
public:
    // `arguments` are the program's arguments without the program name.
    explicit THauptForm(const QStringList& arguments, QWidget* parent = nullptr);
    ~THauptForm() override;

    QString ProgVersName;
    QString ProgVersDate;
    QString AppPath;
    QString UserPath;
    QString ProgPath;
    QString IniName;
    QString PrtName;
    QString SumatraPath;
    bool Printing = false;
    bool Stopped = false;

    QLabel* Label1 = nullptr;
    QComboBox* SourceDirEdit = nullptr;
    QToolButton* SourceSelectBtn = nullptr;
    QLabel* Label2 = nullptr;
    QComboBox* FileEdit = nullptr;
    QToolButton* FileBtn = nullptr;
    QCheckBox* chbSubDir = nullptr;
    QGroupBox* gbxKop = nullptr;
    QLabel* Label4 = nullptr;
    TNumberEdit* edtKop = nullptr;
    QLabel* Label3 = nullptr;
    QSpinBox* KopAnz = nullptr;
    QPushButton* btnNew = nullptr;
    QPushButton* btnEdit = nullptr;
    QPushButton* InfoBtn = nullptr;
    QPushButton* EndeBtn = nullptr;
    QPushButton* btnProcess = nullptr;
    QLabel* Label5 = nullptr;
    QComboBox* cxPrinter = nullptr;
    QStatusBar* StatusBar = nullptr;
    QList<QIcon> ilPrint; // 0: Stop state, 1: Print state
    // Beside the status text during a run: the position in the run and the
    // time left, hidden when idle.
    QProgressBar* RunProgress = nullptr;
    // Shown after a run with failures or names that found nothing.
    QPushButton* btnFailures = nullptr;
    // The row below the printer: its print settings, what they are in a few
    // words, and the preview of a run.
    QPushButton* btnPrintSettings = nullptr;
    QLabel* lblPrintSettings = nullptr;
    QPushButton* btnPreview = nullptr;
    // The print program's settings list for every file; empty: the printer's
    // defaults. Kept in the settings file.
    QString PrintSettingsList;

    // The status line's text and colour.
    QString StatusText() const;
    QColor StatusColor() const;
    int PrinterIndex() const { return FPrinterIndex; }
    // The pause after each printed file, in milliseconds (tests shorten it).
    void SetPausePerFile(unsigned long ms) { FPausePerFile = ms; }
    // A run at least this long (milliseconds) that ends while the window is
    // not active is told in a desktop notification (tests shorten it).
    void SetNotifyAfter(qint64 ms) { FNotifyAfterMs = ms; }
    // The last run's files that failed and names that found nothing.
    const QList<TReportRecord>& RunFailures() const { return FFailures; }
    // The last run's records, printed ones included, in their order.
    const QList<TReportRecord>& RunEntries() const { return FEntries; }

    void FormShow();
    void cxPrinterCloseUp();
    void FileEditChange();
    void EndeBtnClick();
    void InfoBtnClick();
    void btnProcessClick();
    // The pause after a printed file: waits ms while only the Stop button's
    // input is handled; other input waits until the pause is over. True when
    // a stop was requested (before or during the pause).
    bool PauseForStop(unsigned long ms);
    void SourceSelectBtnClick();
    void FileBtnClick();
    // Edit and create print lists in the list editor (FileListDialog).
    void btnEditClick();
    void btnNewClick();
    // The list of the last run's failures with its "Save report…" button.
    void btnFailuresClick();
    // Writes the last run's records as the command-line client's report
    // does; asks for the file name. False when cancelled or not written.
    bool SaveReport();
    // A saved report's records taken as the last run's (--failures REPORT):
    // the status line tells their counts and the failure list opens. False
    // after telling why when the report cannot be read.
    bool ShowSavedFailures(const QString& reportFile);
    // The print settings dialog for the chosen printer.
    void btnPrintSettingsClick();
    void SetPrintSettings(const QString& list);
    // The job list of the fields, counted and shown, printing nothing.
    void btnPreviewClick();
    // Files, a folder or a print list from the file manager or a drop: one
    // file as the first argument is taken, files of one folder as that
    // folder and their names, files of several folders as a print list
    // written to the user's data folder, a folder into the directory field.
    void TakePaths(const QStringList& paths);

    // Ends the program on a signal of the session: a run stops after its
    // current file, open boxes are closed, and the window closes normally so
    // that the settings are written.
    void Terminate();

Q_SIGNALS:
    // A typed number of copies above the range was cut to the maximum.
    void CopiesLimited();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Drops onto the two fields' edits.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateControls();
    void FormCreate(const QStringList& arguments);
    void FitLabelColumn();
    void FormDestroy();
    void TakeArgument(const QStringList& arguments);
    // Files (at least one) into the fields by the rule of TakePaths.
    void TakeFiles(const QStringList& files);
    void LayoutSettingsRow();
    // False after telling why, when the print settings list is refused.
    bool PrintSettingsUsable();
    // A written list goes into the file field, its folder into the directory field.
    void TakePrintList(const QString& listFile);
    void SetPrinterIndex(int index);
    // Reads the spooler's queues again, keeping the chosen printer when it is
    // still there. Returns the message for a chosen printer that has gone
    // (another one is chosen then), else an empty text.
    QString RefreshPrinters();
    // Why a run printed nothing, in words; empty when it is not known.
    QString NothingPrintedReason(const QString& sourceDir, const QString& field, const TRunResult& run) const;
    // The count text with what else happened in the run.
    QString EndText(const TRunResult& run) const;
    void SetStatus(const QString& text, const QColor& color);
    void SetProcessButton(int image, const QString& caption, const QString& hint);
    // Closes the window once control is back in the event loop.
    void CloseLater();
    // Sets Stopped and ends a pause in progress.
    void RequestStop();
    // The end of a run as a desktop notification; a click on it brings the
    // window up with its failure list.
    void NotifyRunEnd();

    QLabel* FStatusLabel = nullptr;
    QStringList FPrinters;
    int FPrinterIndex = -1;
    bool FShown = false;
    bool FCloseRequested = false;
    bool FCloseAsked = false;
    // Since the start of the current run: a Stop within the double-click
    // interval is the second click of a double-click on Print.
    QElapsedTimer FRunClock;
    QList<TReportRecord> FEntries;
    QList<TReportRecord> FFailures;
    QString FRunDir; // the last run's resolved source directory
    QEventLoop* FPauseLoop = nullptr;
    unsigned long FPausePerFile = 1000;
    qint64 FNotifyAfterMs = 5000;
    TDesktopNotification* FNotification = nullptr;
    QString FFailuresReport; // --failures: the report to show once the window is up
};
