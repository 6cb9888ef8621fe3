#pragma once

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

// The text window that shows what a program started by the process runner wrote.
class TfrmShow : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmShow(QWidget* parent = nullptr);

    // Shows text titled `title`. delay 0: modal with an OK button until closed.
    // Otherwise without modality and without the button bar for delay seconds
    // (in steps of 100 ms that handle events), then closed; a negative delay
    // closes at once. An empty text shows nothing.
    void Execute(const QString& title, const QString& text, int delay);

    void reject() override;

    QPlainTextEdit* memShow;
    QWidget* panButtons;
    QPushButton* btnOK;
};

// Creates the text window, runs its Execute and destroys it again.
void ShowTextWindow(const QString& title, const QString& text, int delay);

// The window of the ShowTextWindow call in progress, or null.
TfrmShow* CurrentTextWindow();

// Lets the process runner show captured output in the text window and its own
// failures in error boxes. Called once at start-up.
void InstallProcessWindows();
