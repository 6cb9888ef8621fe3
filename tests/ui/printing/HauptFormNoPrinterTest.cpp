#include "printing/HauptForm.h"

#include "app/IniFileUtils.h"
#include "support/QStringPrinter.h"
#include "dialogs/MsgDialogs.h"
#include "platform/Printers.h"
#include "support/TestSupport.h"

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Runs with the spooler pointed at a socket that does not exist.
TEST(HauptFormNoPrinter, ErrorBoxEndsTheProgramWithSettingsSaved)
{
    ASSERT_TRUE(PrinterNames().isEmpty());
    QTemporaryDir home;
    ScopedEnv homeEnv("HOME", home.path().toUtf8());
    ScopedEnv configEnv("XDG_CONFIG_HOME", QByteArray());
    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::SetStrict(true);
    MsgDialogTestSeam::PushAnswer(mrOk);

    QString iniName;
    {
        THauptForm form({QStringLiteral("/data/in/a.pdf")});
        iniName = form.IniName;
        form.show();
        ASSERT_EQ(MsgDialogTestSeam::AnsweredBoxes().size(), 1);
        EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes()[0].Msg, QStringLiteral("No printer available!"));
        EXPECT_EQ(MsgDialogTestSeam::AnsweredBoxes()[0].DlgType, mtError);
        EXPECT_EQ(form.cxPrinter->count(), 0);
        ASSERT_TRUE(QTest::qWaitFor([&form] { return !form.isVisible(); }, 5000));
    }
    EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
    ASSERT_TRUE(QFile::exists(iniName));
    QStringList files;
    std::unique_ptr<TUnicodeIniFile> ini = TUnicodeIniFile::CreateForRead(iniName);
    ASSERT_TRUE(ini);
    EXPECT_EQ(ini->ReadString(QStringLiteral("Files"), QStringLiteral("History0"), QString()), QStringLiteral("a.pdf"));
}

} // namespace
