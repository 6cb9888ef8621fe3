#include "dialogs/SelectDlg.h"

#include "support/ModalHelper.h"
#include "support/TestSupport.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

using testing_support::S;
using testing_support::WhenModalShown;

namespace {

struct TSeenLayout
{
    QList<QRect> buttons;
    QStringList captions;
    QSize client;
    QRect caption;
    QRect option;
    bool optionVisible = false;
    bool optionChecked = false;
    bool iconVisible = false;
    QWidget* focus = nullptr;
    int focusIndex = -2;
};

// Runs Execute, records the layout while the dialog is up and presses the
// button with index `press` (-1: Escape).
int RunAndPress(TSelectDialog& dialog, TSeenLayout& seen, const QStringList& answers, int press,
                const QString& caption = S("Delete it?"), const QString& option = {}, int preSelection = 0,
                TFontStyles format = 0, TMsgDlgType type = mtConfirmation)
{
    WhenModalShown([&](QWidget*) {
        for (QPushButton* button : std::as_const(dialog.Buttons)) {
            seen.buttons << button->geometry();
            seen.captions << button->text();
        }
        seen.client = dialog.size();
        seen.caption = dialog.stCaption->geometry();
        seen.option = dialog.cbOption->geometry();
        seen.optionVisible = dialog.cbOption->isVisible();
        seen.optionChecked = dialog.cbOption->isChecked();
        seen.iconVisible = dialog.imgIcon->isVisible();
        seen.focus = dialog.focusWidget();
        seen.focusIndex = int(dialog.Buttons.indexOf(qobject_cast<QPushButton*>(seen.focus)));
        if (press < 0)
            QTest::keyClick(&dialog, Qt::Key_Escape);
        else
            QTest::mouseClick(dialog.Buttons[press], Qt::LeftButton);
    });
    return dialog.Execute(QPoint(-1, -1), S("Title"), caption, type, format, answers, option, 0, preSelection, {});
}

class SelectDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        // The design lengths below are the 96 dpi ones.
        ASSERT_EQ(qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()), 96);
    }
};

TEST_F(SelectDialogTest, WorkedLayoutAt96Dpi)
{
    TSelectDialog dialog;
    TSeenLayout seen;
    EXPECT_EQ(RunAndPress(dialog, seen, {S("Definitely"), S("To recycle bin")}, 1), 1);
    ASSERT_EQ(seen.buttons.size(), 3);
    EXPECT_EQ(seen.buttons[0], QRect(50, 43, 105, 26));
    EXPECT_EQ(seen.buttons[1], QRect(160, 43, 105, 26));
    EXPECT_EQ(seen.buttons[2], QRect(270, 43, 105, 26));
    EXPECT_EQ(seen.captions, (QStringList{S("Definitely"), S("To recycle bin"), S("Cancel")}));
    EXPECT_EQ(seen.client, QSize(385, 78));
    EXPECT_EQ(seen.caption, QRect(50, 10, 325, 23));
    EXPECT_FALSE(seen.optionVisible);
    EXPECT_TRUE(seen.iconVisible);
    // Button 0 has the focus with PreSelection 0.
    EXPECT_EQ(seen.focusIndex, 0);
    // The run-time buttons are gone once Execute returns.
    EXPECT_TRUE(dialog.findChildren<QPushButton*>().isEmpty());
    EXPECT_TRUE(dialog.Buttons.isEmpty());
}

TEST_F(SelectDialogTest, RowsOfThreeWithTheLastRowAlignedRight)
{
    {
        TSelectDialog dialog;
        TSeenLayout seen;
        EXPECT_EQ(RunAndPress(dialog, seen, {}, -1), -1);
        ASSERT_EQ(seen.buttons.size(), 1);
        EXPECT_EQ(seen.buttons[0], QRect(270, 43, 105, 26));
        EXPECT_EQ(seen.captions.front(), S("Cancel"));
    }
    {
        TSelectDialog dialog;
        TSeenLayout seen;
        EXPECT_EQ(RunAndPress(dialog, seen, {S("a"), S("b"), S("c"), S("d")}, 3), 3);
        ASSERT_EQ(seen.buttons.size(), 5);
        for (int c = 0; c < 3; ++c)
            EXPECT_EQ(seen.buttons[c].topLeft(), QPoint(50 + c * 110, 43));
        EXPECT_EQ(seen.buttons[3].topLeft(), QPoint(160, 73));
        EXPECT_EQ(seen.buttons[4].topLeft(), QPoint(270, 73));
        EXPECT_EQ(seen.client.height(), 73 + 30 + 5);
    }
}

TEST_F(SelectDialogTest, LongAnswersWidenEveryButtonAlikeSoThatNoCaptionIsCut)
{
    TSelectDialog dialog;
    TSeenLayout seen;
    QList<int> needed;
    WhenModalShown([&](QWidget*) {
        for (QPushButton* button : std::as_const(dialog.Buttons)) {
            seen.buttons << button->geometry();
            needed << button->sizeHint().width();
        }
        seen.client = dialog.size();
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(dialog.Execute(QPoint(-1, -1), S("Title"), S("Files are still being printed."), mtConfirmation, 0,
                             {S("Nach der aktuellen Datei anhalten und beenden"), S("Weiterdrucken")}, {}, 0, 0, {}),
              -1);
    ASSERT_EQ(seen.buttons.size(), 3);
    const int bw = seen.buttons[0].width();
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(seen.buttons[i].width(), needed[i]) << i;
        EXPECT_EQ(seen.buttons[i].width(), bw) << i;
    }
    EXPECT_GT(bw, 105);
    // The grid keeps its gaps and margins around the wider buttons.
    EXPECT_EQ(seen.buttons[1].left(), seen.buttons[0].right() + 1 + 5);
    EXPECT_EQ(seen.client.width(), 70 + 3 * bw);
    EXPECT_EQ(seen.buttons[2].right() + 1, seen.client.width() - 10);
}

TEST_F(SelectDialogTest, PreSelectionTicksTheBoxAndFocusesAnAnswer)
{
    TSelectDialog dialog;
    TSeenLayout seen;
    const QStringList answers{S("One"), S("Two")};
    EXPECT_EQ(RunAndPress(dialog, seen, answers, 1, S("Which?"), S("Remember"), 257), 257);
    EXPECT_TRUE(seen.optionVisible);
    EXPECT_TRUE(seen.optionChecked);
    EXPECT_EQ(seen.focusIndex, 1);
    // The check box sits above the buttons and pushes them down by its height.
    EXPECT_EQ(seen.option, QRect(50, 38, 325, 26));
    EXPECT_EQ(seen.buttons[0].y(), 69);

    // Cancel gives -1 even with the box ticked.
    TSeenLayout again;
    EXPECT_EQ(RunAndPress(dialog, again, answers, 2, S("Which?"), S("Remember"), 257), -1);
    EXPECT_TRUE(again.optionChecked);

    // Negative or too large pre-selections focus the cancel button; 0 leaves
    // the box unticked.
    TSeenLayout negative;
    RunAndPress(dialog, negative, answers, 2, S("Which?"), S("Remember"), -1);
    EXPECT_EQ(negative.focusIndex, 2);
    EXPECT_FALSE(negative.optionChecked);
    TSeenLayout tooLarge;
    RunAndPress(dialog, tooLarge, answers, 2, S("Which?"), {}, 7);
    EXPECT_EQ(tooLarge.focusIndex, 2);
}

TEST_F(SelectDialogTest, QuestionLinesAndBoldWidenTheLayout)
{
    TSelectDialog dialog;
    TSeenLayout seen;
    RunAndPress(dialog, seen, {S("Yes")}, 0, S("one\r\ntwo\r\nthree"), S("Box"));
    // 3 × (11 × 12 / 10) + 10 = 49; the box 5 above y = 10 + 49 + 10.
    EXPECT_EQ(seen.caption.height(), 49);
    EXPECT_EQ(seen.option.y(), 64);
    EXPECT_EQ(seen.buttons[0].y(), 69 + 26);

    const QString wide = QString(120, u'W');
    TSeenLayout bold;
    RunAndPress(dialog, bold, {}, 0, wide, {}, 0, fsBold, mtCustom);
    const int tw = qRound(QFontMetrics(dialog.font()).horizontalAdvance(wide) * 5.0 / 4.0);
    EXPECT_EQ(bold.caption.width(), tw);
    EXPECT_EQ(bold.client.width(), 50 + tw + 10);
    // The grid stays aligned to the right edge.
    EXPECT_EQ(bold.buttons[0].right(), bold.client.width() - 10 - 1);
    EXPECT_FALSE(bold.iconVisible);
}

TEST_F(SelectDialogTest, TextMeasuringAndPlacement)
{
    EXPECT_EQ(TextLineCount(QString()), 1);
    EXPECT_EQ(TextLineCount(S("a\r\nb")), 2);
    EXPECT_EQ(TextLineCount(S("a\r\nb\r\n")), 3);
    EXPECT_EQ(TextLineCount(S("a\nb")), 1);
    const QFontMetrics metrics(QApplication::font());
    EXPECT_EQ(MaxTextWidth(QString(), metrics), 0);
    EXPECT_EQ(MaxTextWidth(S("ab\r\nabcdef\r\nabc"), metrics), metrics.horizontalAdvance(S("abcdef")));

    QWidget form;
    form.resize(200, 100);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centre(screen.left() + (screen.width() - 200) / 2, screen.top() + (screen.height() - 100) / 2);
    PlaceDialog(&form, QPoint(-1, 300), false);
    EXPECT_EQ(form.pos(), centre);
    PlaceDialog(&form, QPoint(300, -5), false);
    EXPECT_EQ(form.pos(), centre);
    PlaceDialog(&form, QPoint(100, 300), true);
    EXPECT_EQ(form.pos(), QPoint(100, 200));
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    PlaceDialog(&form, QPoint(work.right() - 10, work.bottom() - 10), false);
    EXPECT_EQ(form.pos(), QPoint(work.right() + 1 - 200 - 20, work.bottom() + 1 - 100 - 30));
}

TEST_F(SelectDialogTest, QueuedAnswersReplaceTheDialog)
{
    SelectDialogTestSeam::Clear();
    SelectDialogTestSeam::PushAnswer(257);
    EXPECT_EQ(ShowSelectDialog(S("T"), S("Q"), mtWarning, fsBold, {S("a"), S("b")}, S("opt"), 0, 1), 257);
    EXPECT_FALSE(SelectDialogTestSeam::HasPendingAnswers());
    ASSERT_EQ(SelectDialogTestSeam::AnsweredQuestions().size(), 1);
    EXPECT_EQ(SelectDialogTestSeam::AnsweredQuestions().front().Buttons, (QStringList{S("a"), S("b")}));

    SelectDialogTestSeam::SetStrict(true);
    EXPECT_EQ(ShowSelectDialog(S("Surprise"), S("Q"), mtWarning, 0, {S("a")}), -1);
    ASSERT_EQ(SelectDialogTestSeam::UnexpectedQuestions().size(), 1);
    EXPECT_EQ(SelectDialogTestSeam::UnexpectedQuestions().front().Title, S("Surprise"));
    SelectDialogTestSeam::Clear();

    // Without a queued answer the real dialog runs and is destroyed afterwards.
    QString title;
    WhenModalShown([&](QWidget* modal) {
        title = modal->windowTitle();
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    EXPECT_EQ(ShowSelectDialog(S("Real"), S("Q"), mtInformation, 0, {S("a")}), -1);
    EXPECT_EQ(title, S("Real"));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_EQ(qobject_cast<TSelectDialog*>(w), nullptr);
}

} // namespace
