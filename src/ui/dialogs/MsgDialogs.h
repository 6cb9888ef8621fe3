#pragma once

#include <QFlags>
#include <QList>
#include <QPair>
#include <QPoint>
#include <QString>

#include <cstdint>

class QIcon;
class QWidget;

// Modal notices and questions of the whole program: a box with the type's
// icon and title, the text and a row of standard buttons, placed at a screen
// point or centred, kept inside the monitor's work area, kept on top, and
// optionally closed by itself after a number of seconds.

enum TMsgDlgType : std::uint8_t
{
    mtWarning,
    mtError,
    mtInformation,
    mtConfirmation,
    mtCustom
};

// One bit per button; the bit order is the order in which a box shows them.
enum TMsgDlgBtn : std::uint16_t
{
    mbYes = 0x0001,
    mbNo = 0x0002,
    mbOK = 0x0004,
    mbCancel = 0x0008,
    mbAbort = 0x0010,
    mbRetry = 0x0020,
    mbIgnore = 0x0040,
    mbAll = 0x0080,
    mbNoToAll = 0x0100,
    mbYesToAll = 0x0200,
    mbHelp = 0x0400,
    mbClose = 0x0800,
};
Q_DECLARE_FLAGS(TMsgDlgButtons, TMsgDlgBtn)
Q_DECLARE_OPERATORS_FOR_FLAGS(TMsgDlgButtons)

// Results of the boxes. mrNone: no button pressed (Help never closes a box).
inline constexpr int mrNone = 0;
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;
inline constexpr int mrClose = 8;
inline constexpr int mrAll = 12;
inline constexpr int mrNoToAll = 13;
inline constexpr int mrYesToAll = 14;

// The monitor on which a centred box opens.
enum TDefaultMonitor : std::uint8_t
{
    dmDesktop,
    dmPrimary,
    dmMainForm,
    dmActiveForm
};

// The default position: both coordinates negative centre the box.
inline constexpr QPoint DefaultDlgPos{-1, -1};

// Full forms. Title empty: the type's standard title. Delay > 0 closes the
// box after that many seconds with mrOk; meanwhile the box is not modal and
// the program's other windows keep working. A set without any button that
// closes the box (empty, or Help alone) gets an OK button. Escape and the
// window's close button press Cancel, else No, else OK; a box with none of
// them stays open until one of its buttons is pressed.
int MessageDialogAt(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                    TMsgDlgBtn defaultButton, QPoint pos, int delay, TDefaultMonitor monitor);
// Default button: OK if in the set, else Yes, else Retry; when that button is
// not in the set, no button is the default one and the first has the focus.
int MessageDialogAt(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, QPoint pos,
                    int delay, TDefaultMonitor monitor);
int MessageDialog(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons);
// The same with captions of the caller's own (already translated) for some of
// the buttons; their results and order stay those of the standard buttons.
int MessageDialog(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  const QList<QPair<TMsgDlgBtn, QString>>& captions);

int InfoDialogAt(QPoint pos, const QString& title, const QString& msg, TDefaultMonitor monitor);
int InfoDialogAt(QPoint pos, const QString& msg, TDefaultMonitor monitor);
int InfoDialog(const QString& msg, TDefaultMonitor monitor);
int ErrorDialogAt(QPoint pos, const QString& title, const QString& msg, TDefaultMonitor monitor);
int ErrorDialog(const QString& title, const QString& msg, TDefaultMonitor monitor);
int ErrorDialog(const QString& msg, TDefaultMonitor monitor);

// Shows the catalog library's notices (a catalog not declared as UTF-8) in a
// warning box once the application object exists; before that on stderr.
void InstallCatalogNoticeBox();

// Moves (x, y) so that a w x h rectangle there lies inside the work area of
// the monitor nearest to (x, y), keeping 20 pixels (30 at the bottom) away
// from the edges it was pushed off.
void FitToWorkArea(int& x, int& y, int w, int h);
// The same for a window's own frame; writes the position back.
void FitFormToWorkArea(QWidget* form);

// The standard title (translated) and icon of a dialog type; mtCustom has the
// application's name and no icon.
QString MsgDlgTypeTitle(TMsgDlgType dlgType);
QIcon MsgDlgTypeIcon(TMsgDlgType dlgType);

// For tests of other windows: while answers are queued, a box is not shown
// but answered with the next one. Strict mode turns a box that finds the
// queue empty into a recorded, unexpected box answered with mrNone instead of
// a modal window that would block the test.
struct TMsgBoxRecord
{
    QString Title; // as shown: the standard title when none was given
    QString Msg;
    TMsgDlgType DlgType = mtInformation;
    TMsgDlgButtons Buttons;
    int Result = mrNone;
};

namespace MsgDialogTestSeam {
void PushAnswer(int result);
bool HasPendingAnswers();
QList<TMsgBoxRecord> AnsweredBoxes();
QList<TMsgBoxRecord> UnexpectedBoxes();
void SetStrict(bool strict);
// Empties the queue and both lists and leaves strict mode.
void Clear();
} // namespace MsgDialogTestSeam
