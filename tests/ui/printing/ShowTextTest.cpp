#include "printing/ShowText.h"

#include "dialogs/MsgDialogs.h"
#include "printing/ExecProcess.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/resource.h>

namespace {

struct Seen
{
    bool shown = false;
    QString title, text, button;
    bool modal = false, barVisible = false, fixedPitch = false, okFocused = false;
    QSize size;
};

// Waits for the text window (it may come only after the runner's wait), looks at it, presses OK.
void InspectAndClose(Seen& seen)
{
    auto* timer = new QTimer(qApp);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, timer, [&seen, timer]() {
        TfrmShow* w = CurrentTextWindow();
        if (!w || !w->isVisible())
            return;
        timer->stop();
        timer->deleteLater();
        seen.shown = true;
        seen.title = w->windowTitle();
        seen.text = w->memShow->toPlainText();
        seen.button = w->btnOK->text();
        seen.modal = w->isModal();
        seen.barVisible = w->panButtons->isVisible();
        seen.fixedPitch = QFontInfo(w->memShow->font()).fixedPitch();
        seen.okFocused = w->focusWidget() == w->btnOK;
        seen.size = w->size();
        QTest::mouseClick(w->btnOK, Qt::LeftButton);
    });
    timer->start();
}

bool TextWindowLeft()
{
    const auto widgets = QApplication::topLevelWidgets();
    return std::none_of(widgets.begin(), widgets.end(),
                        [](QWidget* w) { return qobject_cast<TfrmShow*>(w) != nullptr; });
}

} // namespace

TEST(ShowText, ShowsTheTextModallyUntilOk)
{
    Seen seen;
    InspectAndClose(seen);
    ShowTextWindow(QStringLiteral("Output"), QStringLiteral("line 1\nline 2"), 0);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, QStringLiteral("Output"));
    EXPECT_EQ(seen.text, QStringLiteral("line 1\nline 2"));
    EXPECT_EQ(seen.button, QStringLiteral("OK"));
    EXPECT_TRUE(seen.modal);
    EXPECT_TRUE(seen.barVisible);
    EXPECT_TRUE(seen.fixedPitch);
    EXPECT_TRUE(seen.okFocused);
    EXPECT_EQ(seen.size, QSize(496, 283));
    EXPECT_EQ(CurrentTextWindow(), nullptr);
    EXPECT_TRUE(TextWindowLeft());
}

TEST(ShowText, EscapeClosesWithOkAndEmptyTextShowsNothing)
{
    {
        TfrmShow window;
        QTimer::singleShot(0, &window, [&window]() { QTest::keyClick(&window, Qt::Key_Escape); });
        window.Execute(QStringLiteral("T"), QStringLiteral("x"), 0);
        EXPECT_EQ(window.result(), QDialog::Accepted);
    }

    ShowTextWindow(QStringLiteral("T"), QString(), 0);
    ShowTextWindow(QStringLiteral("T"), QStringLiteral("gone at once"), -1);
    EXPECT_EQ(CurrentTextWindow(), nullptr);
    EXPECT_TRUE(TextWindowLeft());
}

TEST(ShowText, RunnerShowsCapturedOutputAndPipeFailures)
{
    InstallProcessWindows();
    Seen seen;
    InspectAndClose(seen);
    EXPECT_EQ(ExecuteProcess(QStringLiteral("/bin/sh"), QStringLiteral("sh -c \"echo hello\""), QString(),
                             poCaptureOutput | poShowOutput, 0, false, nullptr, 850),
              0);
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, QStringLiteral("/bin/sh"));
    EXPECT_EQ(seen.text, QStringLiteral("hello\n"));

    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::PushAnswer(mrOk);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit tight = old;
    tight.rlim_cur = 1;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
    const int result = ExecuteProcess(QString(), QStringLiteral("/bin/true"), QString(), poCaptureOutput | poShowErrors,
                                      0, false, nullptr, 850);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(result, ProcessPipeFailed);
    const auto boxes = MsgDialogTestSeam::AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].Title, QStringLiteral("Error executing process"));
    EXPECT_EQ(boxes[0].Msg, QStringLiteral("Stdout pipe creation failed"));
    EXPECT_EQ(boxes[0].DlgType, mtError);
    MsgDialogTestSeam::Clear();
    SetProcessReporting({});
}
