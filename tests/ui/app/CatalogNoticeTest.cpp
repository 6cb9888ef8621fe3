#include "support/CatalogBuilder.h"
#include "support/QStringPrinter.h"
#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "dialogs/MsgDialogs.h"
#include "support/TestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

// A catalog that does not declare UTF-8 is announced once in a warning box
// and its domain shows English; the other domains are not affected.
TEST(CatalogNotice, ShownInAWarningBoxOnce)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(testing_support::WriteFile(dir.filePath(QStringLiteral("locale/de/LC_MESSAGES/default.mo")),
                                           catalog_builder::BuildMo({{"Print", "Drucken"}}, "ISO-8859-1")));
    ASSERT_TRUE(testing_support::WriteFile(dir.filePath(QStringLiteral("locale/de/LC_MESSAGES/dialogs.mo")),
                                           catalog_builder::BuildMo({{"Cancel", "Abbrechen"}})));
    SetExecutableName(dir.filePath(QStringLiteral("morvane")));
    InitGnuGetText();
    InstallCatalogNoticeBox();
    UseLanguage(QStringLiteral("de"));

    MsgDialogTestSeam::PushAnswer(mrOk);
    EXPECT_EQ(TrDefault("Print"), QStringLiteral("Print"));
    EXPECT_EQ(TrDefault("Print"), QStringLiteral("Print"));
    EXPECT_EQ(TrDialogs("Cancel"), QStringLiteral("Abbrechen"));
    const QList<TMsgBoxRecord> boxes = MsgDialogTestSeam::AnsweredBoxes();
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0].DlgType, mtWarning);
    EXPECT_TRUE(boxes[0].Msg.contains(QStringLiteral("default.mo")));
    MsgDialogTestSeam::Clear();
}
