#pragma once

#include <QString>

#include <optional>

class QWidget;

// Text input box (caption, prompt, value); false when cancelled, and value
// is then left as it was.
bool InputQuery(QWidget* parent, const QString& caption, const QString& prompt, QString& value);

namespace InputBoxTestSeam {
// Queues the next input box's answer: the typed text, or nullopt for Cancel.
// While answers are queued no box is shown.
void PushAnswer(std::optional<QString> text);
bool HasPendingAnswers();
void Clear();
} // namespace InputBoxTestSeam
