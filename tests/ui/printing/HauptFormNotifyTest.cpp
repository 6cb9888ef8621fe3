// The window's end-of-run notification on a session bus of the test's own: a
// long run that ends while the window is not active is told, and a click on
// it brings up the failure list; a saved report opens the same list.

#include "printing/HauptForm.h"

#include "dialogs/FileDialogs.h"
#include "dialogs/MsgDialogs.h"
#include "platform/Printers.h"
#include "support/NotificationService.h"
#include "support/QStringPrinter.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

// The print-to program: files named "bad" fail with a reason.
constexpr char kFakePrinter[] = "#!/bin/sh\n"
                                "case \"$3\" in *bad*) echo \"$3 is damaged\" >&2; exit 1 ;; esac\n"
                                "exit 0\n";

// Waits for the next modal failure list, returns its rows and closes it; the
// list must be the active window, in front of the others.
QStringList TakeFailureList()
{
    QStringList rows;
    bool done = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() != S("FailureList"))
            return;
        EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
        const auto* list = dialog->findChild<QTreeWidget*>(S("lvFailures"));
        for (int i = 0; list && i < list->topLevelItemCount(); ++i) {
            QStringList columns;
            for (int c = 0; c < list->columnCount(); ++c)
                columns << list->topLevelItem(i)->text(c);
            rows << columns.join(u'|');
        }
        dialog->accept();
        done = true;
        poll.stop();
    });
    poll.start(20);
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 60000)) << "no failure list opened";
    return rows;
}

} // namespace

TEST(WindowNotification, ALongRunEndedUnseenIsToldAndItsClickOpensTheFailureList)
{
    TNotificationService service;
    ASSERT_TRUE(service.Problem().isEmpty()) << service.Problem().toStdString();
    QTemporaryDir home;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedEnv busEnv{"DBUS_SESSION_BUS_ADDRESS", service.Address().toUtf8()};
    ScopedPrinters printers{{S("PDF")}, S("PDF")};
    ASSERT_TRUE(WriteScript(home.filePath(S(".local/share/morvane-printpdf")), kFakePrinter));
    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::SetStrict(true);
    FileDialogTestSeam::Clear();
    QTemporaryDir docs;
    // A comma and quotes in a name: the CSV report must keep them.
    const QString bad = S("bad, \"odd\".pdf");
    for (const QString& name : {S("a.pdf"), bad})
        ASSERT_TRUE(WriteFile(docs.filePath(name), "%PDF-1.4\n"));

    auto form = std::make_unique<THauptForm>(QStringList{});
    THauptForm* f = form.get();
    f->SetPausePerFile(0);
    f->SetNotifyAfter(0);
    f->show();
    // Another window has the focus while the run ends.
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    ASSERT_FALSE(f->isActiveWindow());

    f->SourceDirEdit->setEditText(docs.path());
    f->FileEdit->setEditText(S("a.pdf;bad*.pdf;gone.pdf"));
    service.Listener().SetAnswer(S("default"));
    MsgDialogTestSeam::PushAnswer(mrIgnore);
    f->btnProcess->click();
    const QStringList rows = TakeFailureList();
    const QString dir = docs.path() + u'/';
    const QStringList expected = {dir + S("gone.pdf||not found|\"gone.pdf\" matched no file"),
                                  dir + bad + S("|1|failed|") + dir + bad + S(" is damaged")};
    EXPECT_EQ(rows, expected);
    ASSERT_EQ(service.Listener().Received().size(), 1);
    EXPECT_EQ(service.Listener().Received()[0],
              S("Morvane|") + f->StatusText().trimmed() + u'|' + dir + S("gone.pdf: \"gone.pdf\" matched no file\n") +
                  dir + bad + S(": ") + dir + bad + S(" is damaged|2|default,Show failures,failures,Show failures"));
    EXPECT_TRUE(f->StatusText().contains(S("1 failed"))) << f->StatusText().toStdString();

    // Saved as CSV, the report opens the same list in a new window.
    const QString report = home.filePath(S("run.csv"));
    FileDialogTestSeam::PushAnswer({report});
    ASSERT_TRUE(f->SaveReport());
    // Watched, a run ends without a notification.
    f->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(f));
    f->FileEdit->setEditText(S("a.pdf"));
    f->btnProcess->click();
    EXPECT_EQ(f->StatusText(), S(" 1 file printed"));
    EXPECT_EQ(service.Listener().Received().size(), 1);
    form.reset();

    form = std::make_unique<THauptForm>(QStringList{S("--failures"), report});
    form->show();
    EXPECT_EQ(TakeFailureList(), expected);
    EXPECT_EQ(form->StatusText(), S(" 1 file printed · 2 not printed"));
    EXPECT_TRUE(form->btnFailures->isVisible());
    form.reset();

    // A file that is no report is said so, and the window stays as it is.
    ASSERT_TRUE(WriteFile(home.filePath(S("notes.jsonl")), "{\"copy\": 1}\n"));
    MsgDialogTestSeam::PushAnswer(mrOk);
    form = std::make_unique<THauptForm>(QStringList{S("--failures=") + home.filePath(S("notes.jsonl"))});
    form->show();
    ASSERT_TRUE(QTest::qWaitFor([] { return MsgDialogTestSeam::AnsweredBoxes().size() == 2; }, 30000));
    EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes().last().Msg,
              home.filePath(S("notes.jsonl")) + S(" is no report of a run (line 1)"));
    EXPECT_FALSE(form->btnFailures->isVisible());
    form.reset();
    EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
    EXPECT_FALSE(FileDialogTestSeam::HasPendingAnswers());
}
