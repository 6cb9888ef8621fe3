#include "dialogs/InputQuery.h"

#include "dialogs/AnswerQueue.h"

#include <QInputDialog>

namespace {

TAnswerQueue<std::optional<QString>, QString> g_inputSeam; // recorded by caption

} // namespace

bool InputQuery(QWidget* parent, const QString& caption, const QString& prompt, QString& value)
{
    if (const auto queued = g_inputSeam.Take(caption, std::nullopt)) {
        if (*queued)
            value = **queued;
        return queued->has_value();
    }
    QInputDialog box(parent);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(value);
    if (box.exec() != QDialog::Accepted)
        return false;
    value = box.textValue();
    return true;
}

namespace InputBoxTestSeam {
void PushAnswer(std::optional<QString> text)
{
    g_inputSeam.Push(std::move(text));
}
bool HasPendingAnswers()
{
    return g_inputSeam.HasPending();
}
void Clear()
{
    g_inputSeam.Clear();
}
} // namespace InputBoxTestSeam
