#pragma once

#include <QString>
#include <QStringList>

class QWidget;

// The system's file open and save dialogs, with filters written the Windows
// way ("PDF files|*.pdf|Print list|*.pbt") so that the catalog keys stay as
// they are, and a queue of next answers so that tests of other windows can
// answer a dialog without showing it.

struct TFileDialogOptions
{
    QString Title;
    QString InitialDir;
    QString FileName;   // preset file name
    QString Filter;     // "Name|mask[;mask]|Name|mask..."
    QString DefaultExt; // without dot; added to a typed name without extension
    bool MultiSelect = false;
};

// Converts "PDF files|*.pdf|Print list|*.pbt" into Qt's
// "PDF files (*.pdf);;Print list (*.pbt)".
QString ConvertFilter(const QString& windowsFilter);

// Returns the chosen files (absolute names), empty when cancelled.
QStringList OpenFileDialog(QWidget* parent, const TFileDialogOptions& options);
// Returns the chosen file name, empty when cancelled.
QString SaveFileDialog(QWidget* parent, const TFileDialogOptions& options);

namespace FileDialogTestSeam {
// Queues the answer of the next file dialog: the chosen names, or an empty
// list for Cancel. While answers are queued no dialog is shown.
void PushAnswer(const QStringList& files);
bool HasPendingAnswers();
void Clear();
// Options of the dialogs answered from the queue, oldest first.
QList<TFileDialogOptions> AnsweredDialogs();
} // namespace FileDialogTestSeam
