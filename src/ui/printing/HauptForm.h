#pragma once

#include <QIcon>
#include <QList>
#include <QMainWindow>

class QCheckBox;
class QComboBox;
class QEventLoop;
class QGroupBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QStatusBar;
class QToolButton;
class TNumberEdit;

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

    // The status line's text and colour.
    QString StatusText() const;
    QColor StatusColor() const;
    int PrinterIndex() const { return FPrinterIndex; }
    // The pause after each printed file, in milliseconds (tests shorten it).
    void SetPausePerFile(unsigned long ms) { FPausePerFile = ms; }

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

    // Ends the program on a signal of the session: a run stops after its
    // current file, open boxes are closed, and the window closes normally so
    // that the settings are written.
    void Terminate();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void FormCreate(const QStringList& arguments);
    void FitLabelColumn();
    void FormDestroy();
    void TakeArgument(const QStringList& arguments);
    // A written list goes into the file field, its folder into the directory field.
    void TakePrintList(const QString& listFile);
    void SetPrinterIndex(int index);
    void SetStatus(const QString& text, const QColor& color);
    void SetProcessButton(int image, const QString& caption, const QString& hint);
    // Closes the window once control is back in the event loop.
    void CloseLater();
    // Sets Stopped and ends a pause in progress.
    void RequestStop();

    QLabel* FStatusLabel = nullptr;
    QStringList FPrinters;
    int FPrinterIndex = -1;
    bool FShown = false;
    bool FCloseRequested = false;
    QEventLoop* FPauseLoop = nullptr;
    unsigned long FPausePerFile = 1000;
};
