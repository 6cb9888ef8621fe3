#pragma once

#include "dialogs/FileDialogs.h"

#include <QDialog>
#include <QString>

class QLabel;
class QListWidget;
class QPushButton;
class QToolButton;

// The print list editor: the entries of one list, relative to a common path,
// with commands to add, remove and reorder them and to save the list under a
// new name. One instance lives as long as the program; Execute resets it.
class TFileListDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TFileListDialog(QWidget* parent = nullptr);

    // Edits the list file fileName (empty: a new list) when fromFile, else
    // the list given as comma text in fileName. Returns the name of the
    // written list file (or the edited comma text), empty when nothing was
    // written: Cancel, an empty list, or a file that cannot be read.
    QString Execute(const QString& title, const QString& fileFilter, const QString& path, const QString& fileName,
                    const QString& listFilter, const QString& defExt, bool fromFile);

    void InsertBtnClick();
    void DeleteBtnClick();
    void UpBtnClick();
    void DownBtnClick();
    void btSaveAsClick();
    void OKBtnClick();

    // The entries as the list box shows them.
    QStringList Entries() const;

    QWidget* paTop;
    QLabel* laName;
    QLabel* lblListfile;
    QWidget* paCenter;
    QLabel* Label3;
    QLabel* lblPath;
    QLabel* Label2;
    QListWidget* lbxFiles;
    QToolButton* UpBtn;
    QToolButton* DownBtn;
    QToolButton* InsertBtn;
    QToolButton* DeleteBtn;
    QToolButton* btSaveAs;
    QWidget* paBottom;
    QPushButton* OKBtn;
    QPushButton* CancelBtn;

public Q_SLOTS:
    // Escape and the close box answer like Cancel.
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void LayoutControls();
    int Scaled(int v) const;
    int SelectedIndex() const;
    void SelectIndex(int index);
    void ExchangeEntries(int a, int b);
    // Writes every entry to fileName; reports a failure in a box.
    bool WriteList(const QString& fileName);

    QString FFilename;
    QString FPath;
    bool FFromFile = true;
    TFileDialogOptions FOpenOptions;
    TFileDialogOptions FSaveOptions;
};

// The program's single list editor, created at start-up after the folder
// dialog and destroyed at the end.
extern TFileListDialog* FileListDialog;
