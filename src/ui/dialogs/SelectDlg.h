#pragma once

#include "dialogs/MsgDialogs.h"

#include <QDialog>
#include <QList>
#include <QPixmap>
#include <QPoint>
#include <QString>
#include <QStringList>

class QCheckBox;
class QFontMetrics;
class QLabel;
class QPushButton;

// Font style of the question: a one-byte set.
using TFontStyles = quint8;
constexpr TFontStyles fsBold = 1;
constexpr TFontStyles fsItalic = 2;
constexpr TFontStyles fsUnderline = 4;
constexpr TFontStyles fsStrikeOut = 8;

// PreSelection bit that ticks the check box at the start; also added to the
// result when the box is ticked.
constexpr int SelectOptionBit = 256;

// Places a dialog with its top-left corner at pos (moved up by its height when
// `above`), fitted into the work area; a negative coordinate centres it.
void PlaceDialog(QWidget* form, QPoint pos, bool above);
// Pixel width of the widest CR LF separated line of text.
int MaxTextWidth(const QString& text, const QFontMetrics& metrics);
// 1 + the number of CR LF pairs.
int TextLineCount(const QString& text);

// Asks the user to choose one of several answers, shown as push buttons in
// rows of three, with an optional check box. The button set is built anew by
// every Execute and destroyed before it returns.
class TSelectDialog : public QDialog
{
    Q_OBJECT
public:
    explicit TSelectDialog(QWidget* parent = nullptr);

    // Result: index of the chosen answer (+256 when the check box is shown and
    // ticked), or -1 when cancelled.
    int Execute(QPoint pos, const QString& title, const QString& caption, TMsgDlgType dlgType,
                TFontStyles captionFormat, const QStringList& buttons, const QString& option, int buttonWidth,
                int preSelection, const QString& defaultButton);

    QLabel* imgIcon;
    QCheckBox* cbOption;
    QLabel* stCaption;
    QList<QPixmap> ilIcons; // TMsgDlgType order: warning, error, information, confirmation

    QList<QPushButton*> Buttons;
    int Selection = -1;
    // Qt turns its accessibility layer on only when an assistive technology
    // (a screen reader on the AT-SPI bus) asks for it; that is the flag read
    // at creation. Off, the usual case, the first focus goes to a button.
    bool ActiveScreenReader = false;

private:
    void ButtonClick();
    int Scaled(int v) const;
};

// Creates a selection dialog, runs Execute at the default position (centred)
// and destroys it again.
int ShowSelectDialog(const QString& title, const QString& caption, TMsgDlgType dlgType, TFontStyles captionFormat,
                     const QStringList& buttons, const QString& option = {}, int buttonWidth = 0, int preSelection = 0,
                     const QString& defaultButton = {});

namespace SelectDialogTestSeam {
struct TQuestion
{
    QString Title;
    QString Caption;
    TMsgDlgType DlgType;
    QStringList Buttons;
    QString Option;
    int PreSelection;
};
// Queues the result of the next ShowSelectDialog (an answer index, +256 for a
// ticked box, or -1). While answers are queued no dialog is shown.
void PushAnswer(int result);
bool HasPendingAnswers();
void Clear();
// The questions answered from the queue, oldest first.
QList<TQuestion> AnsweredQuestions();
// Strict mode: a question that finds the queue empty is recorded as
// unexpected and cancelled (-1) instead of showing a window that would block
// the test. Clear() leaves strict mode.
void SetStrict(bool strict);
QList<TQuestion> UnexpectedQuestions();
} // namespace SelectDialogTestSeam
