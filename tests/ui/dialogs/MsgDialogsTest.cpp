#include "dialogs/MsgDialogs.h"

#include "support/TestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using testing_support::S;

namespace {

// The message box among the top-level windows, visible or not.
QDialog* FindBox(bool visibleOnly = true)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == S("MessageBox") && (w->isVisible() || !visibleOnly))
            return qobject_cast<QDialog*>(w);
    }
    return nullptr;
}

// The buttons of a box from left to right.
QList<QPushButton*> Buttons(QDialog* box)
{
    QList<QPushButton*> buttons = box->findChildren<QPushButton*>();
    std::sort(buttons.begin(), buttons.end(), [](QPushButton* a, QPushButton* b) { return a->x() < b->x(); });
    return buttons;
}

QPushButton* ButtonWithResult(QDialog* box, int result)
{
    return box->findChild<QPushButton*>(QString::number(result));
}

// Opens a box with `open` and runs `action` on it as soon as it shows; the
// action must end the box. Returns the box's result.
int WithBox(const std::function<int()>& open, const std::function<void(QDialog*)>& action)
{
    bool acted = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        QDialog* box = FindBox();
        if (acted || !box)
            return;
        acted = true;
        poll.stop();
        action(box);
        // A box that the action left open would block the test for good.
        if (box->isVisible()) {
            ADD_FAILURE() << "the box is still open";
            box->done(-1);
        }
    });
    poll.start();
    const int result = open();
    EXPECT_TRUE(acted);
    EXPECT_EQ(FindBox(false), nullptr);
    return result;
}

int Ask(TMsgDlgButtons buttons, const std::function<void(QDialog*)>& action, const QString& title = {})
{
    return WithBox([&] { return MessageDialog(title, S("Question?"), mtConfirmation, buttons); }, action);
}

std::function<void(QDialog*)> Press(int result)
{
    return [result](QDialog* box) {
        QPushButton* button = ButtonWithResult(box, result);
        ASSERT_NE(button, nullptr);
        button->click();
    };
}

void PressKey(QDialog* box, Qt::Key key)
{
    QTest::keyClick(box->focusWidget() ? box->focusWidget() : box, key);
}

// Saves a picture of a box when MORVANE_GRAB_DIR names a folder, for a look at it.
void Grab(QDialog* box, const QString& name)
{
    const QString dir = qEnvironmentVariable("MORVANE_GRAB_DIR");
    if (!dir.isEmpty())
        box->grab().save(dir + u'/' + name + S(".png"));
}

QRect WorkArea()
{
    return QGuiApplication::primaryScreen()->availableGeometry();
}

TEST(MsgDialogs, ButtonsInFixedOrderWithCaptionsAndResults)
{
    const TMsgDlgButtons all = TMsgDlgButtons::fromInt(0x0FFF);
    const int result = Ask(all, [](QDialog* box) {
        QStringList captions;
        for (QPushButton* button : Buttons(box))
            captions << button->text();
        EXPECT_EQ(captions,
                  (QStringList{S("&Yes"), S("&No"), S("OK"), S("Cancel"), S("&Abort"), S("&Retry"), S("&Ignore"),
                               S("&All"), S("N&o to All"), S("Yes to &All"), S("&Help"), S("&Close")}));
        // Help answers nothing and leaves the box open.
        ButtonWithResult(box, mrNone)->click();
        EXPECT_TRUE(box->isVisible());
        ButtonWithResult(box, mrYesToAll)->click();
    });
    EXPECT_EQ(result, mrYesToAll);

    const struct
    {
        TMsgDlgBtn Button;
        int Result;
    } table[] = {{mbYes, 6},    {mbNo, 7},   {mbOK, 1},       {mbCancel, 2},    {mbAbort, 3}, {mbRetry, 4},
                 {mbIgnore, 5}, {mbAll, 12}, {mbNoToAll, 13}, {mbYesToAll, 14}, {mbClose, 8}};
    for (const auto& entry : table) {
        const int answer = Ask(entry.Button | mbHelp, [&](QDialog* box) {
            ASSERT_EQ(Buttons(box).size(), 2);
            ButtonWithResult(box, entry.Result)->click();
        });
        EXPECT_EQ(answer, entry.Result) << entry.Button;
    }
}

TEST(MsgDialogs, DefaultAndEscapeButtons)
{
    constexpr int StaysOpen = -1;
    const struct
    {
        TMsgDlgButtons Buttons;
        int Focus; // the default button, or the first one when the rule finds none
        int Escape;
    } cases[] = {
        {mbYes | mbOK | mbCancel, mrOk, mrCancel}, // OK beats Yes
        {mbYes | mbNo, mrYes, mrNo},
        {mbYes | mbNo | mbCancel, mrYes, mrCancel},
        {mbOK | mbIgnore, mrOk, mrOk},
        {mbAbort | mbRetry | mbIgnore, mrRetry, StaysOpen},
        {TMsgDlgButtons::fromInt(72), mrCancel, mrCancel}, // Cancel + Ignore: no default button
        {TMsgDlgButtons(), mrOk, mrOk},                    // no closing button: OK is added
        {TMsgDlgButtons(mbHelp), mrOk, mrOk},
    };
    for (const auto& c : cases) {
        const int entered = Ask(c.Buttons, [&](QDialog* box) {
            EXPECT_EQ(box->focusWidget(), ButtonWithResult(box, c.Focus)) << c.Buttons.toInt();
            PressKey(box, Qt::Key_Return);
        });
        EXPECT_EQ(entered, c.Focus) << c.Buttons.toInt();
        // Escape and closing the window press the same button.
        for (const bool close : {false, true}) {
            const int escaped = Ask(c.Buttons, [&](QDialog* box) {
                if (close)
                    box->close();
                else
                    PressKey(box, Qt::Key_Escape);
                if (c.Escape == StaysOpen) {
                    EXPECT_TRUE(box->isVisible());
                    ButtonWithResult(box, mrAbort)->click();
                }
            });
            EXPECT_EQ(escaped, c.Escape == StaysOpen ? mrAbort : c.Escape) << c.Buttons.toInt();
        }
    }
    EXPECT_EQ(Ask(TMsgDlgButtons::fromInt(72),
                  [](QDialog* box) {
                      EXPECT_FALSE(ButtonWithResult(box, mrIgnore)->isDefault());
                      ButtonWithResult(box, mrIgnore)->click();
                  }),
              mrIgnore);

    // The full form takes the default button it is given.
    const int result = WithBox(
        [] {
            return MessageDialogAt(QString(), S("x"), mtWarning, mbOK | mbCancel, mbCancel, DefaultDlgPos, 0,
                                   dmActiveForm);
        },
        [](QDialog* box) {
            EXPECT_FALSE(ButtonWithResult(box, mrOk)->isDefault());
            PressKey(box, Qt::Key_Return);
        });
    EXPECT_EQ(result, mrCancel);
}

TEST(MsgDialogs, StandardTitlesIconsAndText)
{
    const struct
    {
        TMsgDlgType Type;
        const char* Title;
    } types[] = {{mtWarning, "Warning"},
                 {mtError, "Error"},
                 {mtInformation, "Information"},
                 {mtConfirmation, "Confirm"},
                 {mtCustom, "Morvane"}};
    for (const auto& entry : types) {
        WithBox(
            [&] {
                return MessageDialogAt(QString(), S("First line\r\nSecond line <b>not bold</b>"), entry.Type, mbOK,
                                       DefaultDlgPos, 0, dmActiveForm);
            },
            [&](QDialog* box) {
                EXPECT_EQ(box->windowTitle(), S(entry.Title));
                EXPECT_TRUE(box->windowFlags() & Qt::WindowStaysOnTopHint);
                auto* icon = box->findChild<QLabel*>(S("Icon"));
                EXPECT_EQ(icon != nullptr, entry.Type != mtCustom);
                if (icon) {
                    EXPECT_FALSE(icon->pixmap().isNull());
                }
                auto* text = box->findChild<QLabel*>(S("Message"));
                ASSERT_NE(text, nullptr);
                EXPECT_EQ(text->text(), S("First line\nSecond line <b>not bold</b>"));
                EXPECT_EQ(text->textFormat(), Qt::PlainText);
                Grab(box, S(entry.Title));
                box->accept();
            });
    }
}

TEST(MsgDialogs, HugeTextsKeepTheBoxOnTheScreen)
{
    const QRect area = WorkArea();
    QStringList lines;
    for (int i = 0; i < 3000; ++i)
        lines << S("Line ") + QString::number(i);
    const QString tall = lines.join(S("\r\n"));
    const QString wide = S("/very/long/path/") + QString(20000, u'x');
    for (const QString& text : {tall, wide}) {
        WithBox([&] { return ErrorDialog(text, dmActiveForm); },
                [&](QDialog* box) {
                    Grab(box, text == tall ? S("tall") : S("wide"));
                    EXPECT_TRUE(area.contains(box->frameGeometry())) << box->frameGeometry().height();
                    auto* view = box->findChild<QPlainTextEdit*>(S("Message"));
                    ASSERT_NE(view, nullptr);
                    // Shown in full, line breaks as the text has them.
                    EXPECT_EQ(view->toPlainText(), QString(text).replace(S("\r\n"), S("\n")));
                    box->accept();
                });
    }
}

TEST(MsgDialogs, PlacementCentresOrFitsIntoTheWorkArea)
{
    const QRect area = WorkArea();
    QSize size;
    WithBox([] { return MessageDialog(QString(), S("Centred"), mtInformation, mbOK); },
            [&](QDialog* box) {
                size = box->frameGeometry().size();
                EXPECT_LE(std::abs(box->frameGeometry().center().x() - area.center().x()), 1);
                EXPECT_LE(std::abs(box->frameGeometry().center().y() - area.center().y()), 1);
                box->accept();
            });

    const auto placed = [](QPoint pos) {
        QRect geometry;
        WithBox([&] { return InfoDialogAt(pos, S("Centred"), dmActiveForm); },
                [&](QDialog* box) {
                    geometry = box->frameGeometry();
                    box->accept();
                });
        return geometry;
    };
    // Near the bottom-right corner the box moves inside, 20 and 30 pixels off.
    const QRect corner = placed(QPoint(area.x() + area.width() - 5, area.y() + area.height() - 5));
    EXPECT_EQ(corner.x(), area.x() + area.width() - size.width() - 20);
    EXPECT_EQ(corner.y(), area.y() + area.height() - size.height() - 30);
    // One negative coordinate does not centre: it is pushed inside.
    const QRect left = placed(QPoint(-1, 300));
    EXPECT_EQ(left.x(), area.x() + 20);
    EXPECT_EQ(left.y(), 300);
    const QRect inside = placed(QPoint(area.x() + 40, area.y() + 50));
    EXPECT_EQ(inside.topLeft(), QPoint(area.x() + 40, area.y() + 50));
}

TEST(MsgDialogs, LongTitleWidensTheBoxAfterPlacement)
{
    const QRect area = WorkArea();
    const QPoint corner(area.x() + area.width() - 5, area.y() + 40);
    const auto open = [&](const QString& title) {
        QRect geometry;
        WithBox([&] { return ErrorDialogAt(corner, title, S("Short"), dmActiveForm); },
                [&](QDialog* box) {
                    geometry = box->frameGeometry();
                    const int titleWidth = QFontMetrics(box->font()).horizontalAdvance(title) + 50;
                    if (!title.isEmpty()) {
                        EXPECT_GE(box->width(), titleWidth);
                    }
                    box->accept();
                });
        return geometry;
    };
    const QRect plain = open(QString());
    const QRect shortTitle = open(S("Hi"));
    EXPECT_EQ(shortTitle.size(), plain.size());
    const QString longTitle = S("A window title that is far wider than the text of this small box");
    const QRect widened = open(longTitle);
    EXPECT_GT(widened.width(), plain.width());
    // The widened box keeps the position fitted for the narrow one.
    EXPECT_EQ(widened.x(), plain.x());
}

TEST(MsgDialogs, DelayClosesTheBoxWithOk)
{
    // No click: the box closes by itself and answers OK.
    bool seen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        if (QDialog* box = FindBox()) {
            seen = true;
            EXPECT_FALSE(box->isModal());
        }
    });
    poll.start(5);
    EXPECT_EQ(
        MessageDialogAt(S("Notice"), S("Closes itself"), mtWarning, mbYes | mbNo, QPoint(100, 100), 1, dmActiveForm),
        mrOk);
    poll.stop();
    EXPECT_TRUE(seen);
    EXPECT_EQ(FindBox(false), nullptr);

    // A click before the time is up ends the wait with its own result.
    EXPECT_EQ(WithBox(
                  [] {
                      return MessageDialogAt(S("Notice"), S("Answer me"), mtWarning, mbYes | mbNo, DefaultDlgPos, 600,
                                             dmActiveForm);
                  },
                  Press(mrNo)),
              mrNo);
}

TEST(MsgDialogs, FitToWorkArea)
{
    const QRect area = WorkArea();
    const int right = area.x() + area.width();
    const int bottom = area.y() + area.height();
    int x = right - 10;
    int y = bottom - 10;
    FitToWorkArea(x, y, 100, 50);
    EXPECT_EQ(x, right - 120);
    EXPECT_EQ(y, bottom - 80);
    // Larger than the work area: 20 pixels inside its left and top edges.
    x = area.x() + 5;
    y = area.y() + 5;
    FitToWorkArea(x, y, area.width() + 100, area.height() + 100);
    EXPECT_EQ(x, area.x() + 20);
    EXPECT_EQ(y, area.y() + 20);
    // Far outside any screen: the nearest one takes the window.
    x = 1 << 30;
    y = -(1 << 30);
    FitToWorkArea(x, y, 100, 50);
    EXPECT_EQ(x, right - 120);
    EXPECT_EQ(y, area.y() + 20);

    QWidget form;
    form.setGeometry(right - 10, area.y() + 30, 200, 100);
    FitFormToWorkArea(&form);
    EXPECT_EQ(form.x(), right - form.frameGeometry().width() - 20);
    EXPECT_EQ(form.y(), area.y() + 30);
}

TEST(MsgDialogs, TestSeamAnswersWithoutShowing)
{
    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    MsgDialogTestSeam::PushAnswer(mrOk);
    EXPECT_EQ(MessageDialog(S("Morvane 3"), S("File failed"), mtError, mbCancel | mbIgnore), mrIgnore);
    EXPECT_EQ(ErrorDialog(S("No printer"), dmActiveForm), mrOk);
    EXPECT_FALSE(MsgDialogTestSeam::HasPendingAnswers());
    const QList<TMsgBoxRecord> answered = MsgDialogTestSeam::AnsweredBoxes();
    ASSERT_EQ(answered.size(), 2);
    EXPECT_EQ(answered[0].Title, S("Morvane 3"));
    EXPECT_EQ(answered[0].Msg, S("File failed"));
    EXPECT_EQ(answered[0].Buttons.toInt(), 72);
    EXPECT_EQ(answered[1].Title, S("Error"));
    EXPECT_EQ(answered[1].DlgType, mtError);

    // Strict mode: an unexpected box is recorded, not shown.
    MsgDialogTestSeam::SetStrict(true);
    EXPECT_EQ(InfoDialog(S("Surprise"), dmActiveForm), mrNone);
    ASSERT_EQ(MsgDialogTestSeam::UnexpectedBoxes().size(), 1);
    EXPECT_EQ(MsgDialogTestSeam::UnexpectedBoxes().front().Msg, S("Surprise"));
    MsgDialogTestSeam::Clear();
    EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
    EXPECT_EQ(FindBox(false), nullptr);
}

} // namespace
