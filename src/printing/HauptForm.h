#pragma once

#include <QMainWindow>

// The main window. It owns the program's state: its folders, the settings
// file name and the version texts shown in its caption and About box.
class THauptForm : public QMainWindow
{
    Q_OBJECT
public:
    explicit THauptForm(QWidget* parent = nullptr);
    ~THauptForm() override;

    QString AppPath;
    QString UserPath;
    QString ProgPath;
    QString IniName;
    QString ProgVersName;
    QString ProgVersDate;

private:
    void FormCreate();
};
