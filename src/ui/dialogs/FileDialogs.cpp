#include "dialogs/FileDialogs.h"

#include "dialogs/AnswerQueue.h"

#include <QFileDialog>
#include <QFileInfo>

namespace {

TAnswerQueue<QStringList, TFileDialogOptions> g_seam;

bool TakeAnswer(const TFileDialogOptions& options, QStringList& answer)
{
    // Strict mode answers an unexpected dialog with Cancel.
    const std::optional<QStringList> queued = g_seam.Take(options, QStringList());
    if (queued)
        answer = *queued;
    return queued.has_value();
}

void Prepare(QFileDialog& dialog, const TFileDialogOptions& options)
{
    dialog.setWindowTitle(options.Title);
    dialog.setNameFilter(ConvertFilter(options.Filter));
    if (!options.InitialDir.isEmpty())
        dialog.setDirectory(options.InitialDir);
    if (!options.FileName.isEmpty())
        dialog.selectFile(options.FileName);
    if (!options.DefaultExt.isEmpty())
        dialog.setDefaultSuffix(options.DefaultExt);
}

} // namespace

QString ConvertFilter(const QString& windowsFilter)
{
    const QStringList parts = windowsFilter.split(u'|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString masks = parts[i + 1];
        masks.replace(u';', u' ');
        filters << parts[i] + QStringLiteral(" (") + masks + u')';
    }
    if (parts.size() % 2 == 1 && !parts.last().isEmpty())
        filters << parts.last();
    return filters.join(QStringLiteral(";;"));
}

QStringList OpenFileDialog(QWidget* parent, const TFileDialogOptions& options)
{
    QStringList answer;
    if (TakeAnswer(options, answer))
        return answer;
    QFileDialog dialog(parent);
    Prepare(dialog, options);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    // Names must exist: the dialog does not accept a typed name that is missing.
    dialog.setFileMode(options.MultiSelect ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

QString SaveFileDialog(QWidget* parent, const TFileDialogOptions& options)
{
    QStringList answer;
    if (TakeAnswer(options, answer))
        return answer.value(0);
    QFileDialog dialog(parent);
    Prepare(dialog, options);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

namespace FileDialogTestSeam {
void PushAnswer(const QStringList& files)
{
    g_seam.Push(files);
}
bool HasPendingAnswers()
{
    return g_seam.HasPending();
}
void Clear()
{
    g_seam.Clear();
}
QList<TFileDialogOptions> AnsweredDialogs()
{
    return g_seam.Answered();
}
} // namespace FileDialogTestSeam
