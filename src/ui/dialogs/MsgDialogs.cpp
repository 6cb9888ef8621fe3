#include "dialogs/MsgDialogs.h"

#include "dialogs/AnswerQueue.h"

#include "app/GnuGetText.h"

#include <QApplication>
#include <QDialog>
#include <QEventLoop>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <memory>

namespace {

struct TButtonInfo
{
    TMsgDlgBtn Button;
    const char* Caption;
    int Result;
};

// The fixed order of the row, left to right.
constexpr TButtonInfo ButtonTable[] = {
    {mbYes, MarkToolkit("&Yes"), mrYes},
    {mbNo, MarkToolkit("&No"), mrNo},
    {mbOK, MarkToolkit("OK"), mrOk},
    {mbCancel, MarkToolkit("Cancel"), mrCancel},
    {mbAbort, MarkToolkit("&Abort"), mrAbort},
    {mbRetry, MarkToolkit("&Retry"), mrRetry},
    {mbIgnore, MarkToolkit("&Ignore"), mrIgnore},
    {mbAll, MarkToolkit("&All"), mrAll},
    {mbNoToAll, MarkToolkit("N&o to All"), mrNoToAll},
    {mbYesToAll, MarkToolkit("Yes to &All"), mrYesToAll},
    {mbHelp, MarkToolkit("&Help"), mrNone},
    {mbClose, MarkToolkit("&Close"), mrClose},
};

// Minimum button width at 96 pixels per inch.
constexpr int MinButtonWidth = 75;

TAnswerQueue<int, TMsgBoxRecord>& Seam()
{
    static TAnswerQueue<int, TMsgBoxRecord> queue;
    return queue;
}

QString DisplayText(const QString& msg)
{
    QString text = msg;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    return text;
}

TMsgDlgBtn EscapeButtonOf(TMsgDlgButtons buttons)
{
    if (buttons.testFlag(mbCancel))
        return mbCancel;
    if (buttons.testFlag(mbNo))
        return mbNo;
    return mbOK;
}

QScreen* NearestScreen(QPoint p)
{
    if (QScreen* screen = QGuiApplication::screenAt(p))
        return screen;
    QScreen* best = QGuiApplication::primaryScreen();
    qint64 bestDistance = LLONG_MAX;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect g = screen->geometry();
        const qint64 dx = p.x() < g.left() ? g.left() - p.x() : std::max(0, p.x() - g.right());
        const qint64 dy = p.y() < g.top() ? g.top() - p.y() : std::max(0, p.y() - g.bottom());
        const qint64 distance = dx * dx + dy * dy;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = screen;
        }
    }
    return best;
}

QWidget* MainForm()
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMainWindow*>(w) && w->isVisible())
            return w;
    }
    return QApplication::activeWindow();
}

// The area in which a centred box opens.
QRect CentreArea(TDefaultMonitor monitor)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    switch (monitor) {
    case dmDesktop:
        return screen->availableVirtualGeometry();
    case dmPrimary:
        break;
    case dmMainForm:
    case dmActiveForm: {
        QWidget* form = monitor == dmMainForm ? MainForm() : QApplication::activeWindow();
        if (form && form->screen())
            screen = form->screen();
        break;
    }
    }
    return screen->availableGeometry();
}

class TMsgBox : public QDialog
{
public:
    TMsgBox(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
            TMsgDlgBtn defaultButton, const QList<QPair<TMsgDlgBtn, QString>>& captions = {})
        : QDialog(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                               Qt::WindowStaysOnTopHint)
    {
        setObjectName(QStringLiteral("MessageBox"));
        setWindowTitle(title.isEmpty() ? MsgDlgTypeTitle(dlgType) : title);

        QWidget* textWidget = MessageWidget(DisplayText(msg));
        textWidget->setObjectName(QStringLiteral("Message"));

        auto* top = new QHBoxLayout;
        top->setSpacing(16);
        const QIcon icon = MsgDlgTypeIcon(dlgType);
        if (!icon.isNull()) {
            auto* iconLabel = new QLabel(this);
            iconLabel->setObjectName(QStringLiteral("Icon"));
            const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
            iconLabel->setPixmap(icon.pixmap(size, size));
            top->addWidget(iconLabel, 0, Qt::AlignTop);
        }
        top->addWidget(textWidget, 1, Qt::AlignVCenter);

        auto* row = new QHBoxLayout;
        row->addStretch();
        int buttonWidth = MinButtonWidth * logicalDpiX() / 96;
        for (const TButtonInfo& info : ButtonTable) {
            if (!buttons.testFlag(info.Button))
                continue;
            QString caption = TrToolkit(info.Caption);
            for (const auto& [which, own] : captions) {
                if (which == info.Button)
                    caption = own;
            }
            auto* button = new QPushButton(caption, this);
            button->setObjectName(QString::number(info.Result));
            buttonWidth = std::max(buttonWidth, button->sizeHint().width());
            const int result = info.Result;
            connect(button, &QPushButton::clicked, this, [this, result] {
                if (result != mrNone)
                    done(result);
            });
            if (FButtons.isEmpty())
                FFirst = button;
            if (info.Button == defaultButton) {
                button->setDefault(true);
                FDefault = button;
            }
            if (info.Button == EscapeButtonOf(buttons))
                FEscape = button;
            FButtons.append(button);
            row->addWidget(button);
        }
        for (QPushButton* button : std::as_const(FButtons))
            button->setMinimumWidth(buttonWidth);
        row->addStretch();

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(16, 16, 16, 12);
        layout->setSpacing(16);
        layout->addLayout(top);
        layout->addLayout(row);
        adjustSize();

        if (QPushButton* focus = FDefault ? FDefault : FFirst)
            focus->setFocus();
    }

protected:
    // Escape and the window's close button press the Escape button; a box
    // without one stays open rather than give an answer it does not offer.
    void reject() override
    {
        if (FEscape)
            FEscape->click();
    }

private:
    // A label for ordinary texts, wrapped at blanks when wider than half the
    // screen. A text that would still be too wide or taller than half the
    // screen goes into a scrolling read-only view instead, so that the buttons
    // stay on the screen however long the text is.
    QWidget* MessageWidget(const QString& text)
    {
        const QScreen* s = screen();
        const QSize available = s ? s->availableGeometry().size() : QSize(1024, 768);
        const int wrapWidth = std::max(400, available.width() / 2);
        const int maxHeight = std::max(200, available.height() / 2);
        const QFontMetrics fm(font());
        const QRect wrapped = fm.boundingRect(QRect(0, 0, wrapWidth, INT_MAX / 2), Qt::TextWordWrap, text);
        if (wrapped.width() <= wrapWidth && wrapped.height() <= maxHeight) {
            auto* label = new QLabel(text, this);
            // Names and paths in messages must never be read as markup.
            label->setTextFormat(Qt::PlainText);
            label->setTextInteractionFlags(Qt::TextSelectableByMouse);
            if (fm.boundingRect(QRect(0, 0, INT_MAX / 2, INT_MAX / 2), 0, text).width() > wrapWidth) {
                label->setWordWrap(true);
                label->setFixedWidth(wrapWidth);
            }
            return label;
        }
        auto* view = new QPlainTextEdit(this);
        view->setPlainText(text);
        view->setReadOnly(true);
        view->setFrameShape(QFrame::NoFrame);
        view->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        view->setFocusPolicy(Qt::NoFocus);
        const QRect anywhere = fm.boundingRect(QRect(0, 0, wrapWidth, INT_MAX / 2), Qt::TextWrapAnywhere, text);
        view->setFixedSize(wrapWidth, std::min(maxHeight, anywhere.height() + 2 * fm.height()));
        return view;
    }

    QList<QPushButton*> FButtons;
    QPushButton* FFirst = nullptr;
    QPushButton* FDefault = nullptr;
    QPushButton* FEscape = nullptr;
};

int ShowBox(TMsgBox& box, int delay)
{
    if (delay <= 0)
        return box.exec();

    // The notice stays non-modal while it waits, so the rest of the program
    // keeps running; the timer ends the wait instead of polling with sleeps.
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&box, &QDialog::finished, &loop, &QEventLoop::quit);
    box.setModal(false);
    box.show();
    timer.start(std::min(delay, INT_MAX / 1000) * 1000);
    loop.exec();
    return box.result() == mrNone ? mrOk : box.result();
}

} // namespace

QString MsgDlgTypeTitle(TMsgDlgType dlgType)
{
    switch (dlgType) {
    case mtWarning:
        return TrToolkit("Warning");
    case mtError:
        return TrToolkit("Error");
    case mtInformation:
        return TrToolkit("Information");
    case mtConfirmation:
        return TrToolkit("Confirm");
    case mtCustom:
        break;
    }
    return QCoreApplication::applicationName();
}

QIcon MsgDlgTypeIcon(TMsgDlgType dlgType)
{
    QStyle* style = QApplication::style();
    switch (dlgType) {
    case mtWarning:
        return style->standardIcon(QStyle::SP_MessageBoxWarning);
    case mtError:
        return style->standardIcon(QStyle::SP_MessageBoxCritical);
    case mtInformation:
        return style->standardIcon(QStyle::SP_MessageBoxInformation);
    case mtConfirmation:
        return style->standardIcon(QStyle::SP_MessageBoxQuestion);
    case mtCustom:
        break;
    }
    return {};
}

void FitToWorkArea(int& x, int& y, int w, int h)
{
    const QScreen* screen = NearestScreen(QPoint(x, y));
    if (!screen)
        return;
    const QRect r = screen->availableGeometry();
    // Right and bottom are exclusive edges; 64-bit sums keep far-off points safe.
    const qint64 right = qint64(r.x()) + r.width();
    const qint64 bottom = qint64(r.y()) + r.height();
    qint64 nx = x;
    qint64 ny = y;
    if (nx + w > right)
        nx = right - w - 20;
    if (nx < r.left())
        nx = r.left() + 20;
    if (ny + h > bottom)
        ny = bottom - h - 30;
    if (ny < r.top())
        ny = r.top() + 20;
    x = static_cast<int>(nx);
    y = static_cast<int>(ny);
}

void FitFormToWorkArea(QWidget* form)
{
    if (!form)
        return;
    const QRect frame = form->frameGeometry();
    int x = frame.x();
    int y = frame.y();
    FitToWorkArea(x, y, frame.width(), frame.height());
    form->move(x, y);
}

namespace {

int ShowMessageDialog(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                      TMsgDlgBtn defaultButton, QPoint pos, int delay, TDefaultMonitor monitor,
                      const QList<QPair<TMsgDlgBtn, QString>>& captions)
{
    const TMsgBoxRecord record{title.isEmpty() ? MsgDlgTypeTitle(dlgType) : title, msg, dlgType, buttons, mrNone};
    if (const std::optional<int> answer =
            Seam().Take(record, mrNone, [](TMsgBoxRecord& r, const int& result) { r.Result = result; }))
        return *answer;

    // A box without a button that closes it could never be answered.
    if ((buttons & ~TMsgDlgButtons(mbHelp)).toInt() == 0) {
        buttons |= mbOK;
        defaultButton = mbOK;
    }
    // Owned here, so the box is destroyed however its display ends.
    auto box = std::make_unique<TMsgBox>(title, msg, dlgType, buttons, defaultButton, captions);
    // Creating the native window makes the frame known where the platform
    // can tell it before the window is shown; positions are frame positions.
    box->winId();
    const QSize frame = box->frameGeometry().size();
    if (pos.x() < 0 && pos.y() < 0) {
        const QRect area = CentreArea(monitor);
        box->move(area.center() - QPoint(frame.width() / 2, frame.height() / 2));
    } else {
        int x = pos.x();
        int y = pos.y();
        FitToWorkArea(x, y, frame.width(), frame.height());
        box->move(x, y);
    }
    // Widened after placement, so a long title is never cut; the box is not
    // fitted again.
    if (!title.isEmpty()) {
        const int w = QFontMetrics(box->font()).horizontalAdvance(title) + 50;
        if (box->width() < w)
            box->resize(w, box->height());
    }
    return ShowBox(*box, delay);
}

TMsgDlgBtn DefaultButtonOf(TMsgDlgButtons buttons)
{
    if (buttons.testFlag(mbOK))
        return mbOK;
    if (buttons.testFlag(mbYes))
        return mbYes;
    return mbRetry;
}

} // namespace

int MessageDialogAt(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                    TMsgDlgBtn defaultButton, QPoint pos, int delay, TDefaultMonitor monitor)
{
    return ShowMessageDialog(title, msg, dlgType, buttons, defaultButton, pos, delay, monitor, {});
}

int MessageDialogAt(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons, QPoint pos,
                    int delay, TDefaultMonitor monitor)
{
    TMsgDlgBtn defaultButton = mbRetry;
    if (buttons.testFlag(mbOK))
        defaultButton = mbOK;
    else if (buttons.testFlag(mbYes))
        defaultButton = mbYes;
    return MessageDialogAt(title, msg, dlgType, buttons, defaultButton, pos, delay, monitor);
}

int MessageDialog(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons)
{
    return MessageDialogAt(title, msg, dlgType, buttons, DefaultDlgPos, 0, dmActiveForm);
}

int MessageDialog(const QString& title, const QString& msg, TMsgDlgType dlgType, TMsgDlgButtons buttons,
                  const QList<QPair<TMsgDlgBtn, QString>>& captions)
{
    return ShowMessageDialog(title, msg, dlgType, buttons, DefaultButtonOf(buttons), DefaultDlgPos, 0, dmActiveForm,
                             captions);
}

int InfoDialogAt(QPoint pos, const QString& title, const QString& msg, TDefaultMonitor monitor)
{
    return MessageDialogAt(title, msg, mtInformation, mbOK, pos, 0, monitor);
}

int InfoDialogAt(QPoint pos, const QString& msg, TDefaultMonitor monitor)
{
    return InfoDialogAt(pos, QString(), msg, monitor);
}

int InfoDialog(const QString& msg, TDefaultMonitor monitor)
{
    return InfoDialogAt(DefaultDlgPos, QString(), msg, monitor);
}

int ErrorDialogAt(QPoint pos, const QString& title, const QString& msg, TDefaultMonitor monitor)
{
    return MessageDialogAt(title, msg, mtError, mbOK, pos, 0, monitor);
}

int ErrorDialog(const QString& title, const QString& msg, TDefaultMonitor monitor)
{
    return ErrorDialogAt(DefaultDlgPos, title, msg, monitor);
}

int ErrorDialog(const QString& msg, TDefaultMonitor monitor)
{
    return ErrorDialogAt(DefaultDlgPos, QString(), msg, monitor);
}

void InstallCatalogNoticeBox()
{
    SetCatalogNoticeHandler([](const QString& text) {
        if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
            MessageDialog({}, text, mtWarning, mbOK);
        } else {
            DefaultCatalogNotice(text);
        }
    });
}

namespace MsgDialogTestSeam {

void PushAnswer(int result)
{
    Seam().Push(result);
}

bool HasPendingAnswers()
{
    return Seam().HasPending();
}

QList<TMsgBoxRecord> AnsweredBoxes()
{
    return Seam().Answered();
}

QList<TMsgBoxRecord> UnexpectedBoxes()
{
    return Seam().Unexpected();
}

void SetStrict(bool strict)
{
    Seam().SetStrict(strict);
}

void Clear()
{
    Seam().Clear();
}

} // namespace MsgDialogTestSeam
