#include "app/HistoryCombo.h"

#include "app/Histories.h"
#include "app/IniFileUtils.h"
#include "app/MainSettings.h"
#include "support/TestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmapCache>
#include <QStringEncoder>
#include <QStyleOptionComboBox>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// A history box as the main window has it: editable, eight visible items.
class HistoryComboTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        iniName = dir.filePath(S("morvane.ini"));
        box.setEditable(true);
        box.setMaxVisibleItems(8);
        box.resize(300, 24);
        box.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    }

    // Width of the room the style leaves for the drop-down button.
    int ArrowWidth()
    {
        QStyleOptionComboBox option;
        option.initFrom(&box);
        option.editable = true;
        option.subControls = QStyle::SC_All;
        return box.style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, &box).width();
    }

    QTemporaryDir dir;
    QString iniName;
    QComboBox box;
};

TEST_F(HistoryComboTest, LoadsUpToTheDropDownCountAndSelectsTheFirst)
{
    ASSERT_TRUE(WriteFile(iniName, "[Source]\nHistory5=/five\nHistory0=/zero\nHistory8=/eight\n"));
    box.addItem(S("replaced"));
    QString error = S("unchanged");
    EXPECT_TRUE(LoadHistory(iniName, S("Source"), &box, 0, false, &error));
    EXPECT_EQ(Items(box), (QStringList{S("/zero"), S("/five")}));
    EXPECT_EQ(box.currentIndex(), 0);
    EXPECT_EQ(box.currentText(), S("/zero"));
    EXPECT_TRUE(HistoryBoxHasDropDown(&box));
    EXPECT_GT(ArrowWidth(), 0);

    // An explicit count reaches further; a missing section keeps the items.
    EXPECT_TRUE(LoadHistory(iniName, S("Source"), &box, 9));
    EXPECT_EQ(box.count(), 3);
    EXPECT_TRUE(LoadHistory(iniName, S("Files"), &box));
    EXPECT_EQ(box.count(), 3);
}

TEST_F(HistoryComboTest, OneItemBoxHasNoDropDownButtonEvenWhenItGrows)
{
    ASSERT_TRUE(WriteFile(iniName, "[Files]\nHistory0=*.pdf\n"));
    ASSERT_TRUE(LoadHistory(iniName, S("Files"), &box));
    EXPECT_EQ(Items(box), QStringList{S("*.pdf")});
    EXPECT_FALSE(HistoryBoxHasDropDown(&box));
    EXPECT_EQ(ArrowWidth(), 0);
    // The edit field takes the room of the button.
    const int simpleEditWidth = box.lineEdit()->width();

    AddToHistory(&box, S("list.pbt"));
    AddToHistory(&box, S("a.pdf"));
    EXPECT_EQ(box.count(), 3);
    EXPECT_FALSE(HistoryBoxHasDropDown(&box));
    EXPECT_EQ(ArrowWidth(), 0);

    // F4 does not open the list of such a box.
    box.lineEdit()->setFocus();
    QTest::keyClick(box.lineEdit(), Qt::Key_F4);
    EXPECT_FALSE(box.view()->isVisible());

    SetHistoryBoxDropDown(&box, true);
    EXPECT_GT(ArrowWidth(), 0);
    QApplication::processEvents();
    EXPECT_LT(box.lineEdit()->width(), simpleEditWidth);

    // An empty box gets the plain look as well.
    QComboBox empty;
    ASSERT_TRUE(LoadHistory(iniName, S("Missing"), &empty));
    EXPECT_TRUE(empty.isEditable());
    EXPECT_FALSE(HistoryBoxHasDropDown(&empty));
}

// The style keeps pictures of combo boxes for reuse, keyed by state and size
// but not by the parts drawn: a plain box must not show the button of a full
// box of its size, nor lend it its own picture.
TEST(HistoryComboLook, PlainAndFullBoxesOfOneSizeEachKeepTheirLook)
{
    QWidget window;
    window.resize(420, 80);
    QList<QComboBox*> boxes;
    for (int y : {5, 35}) {
        auto* b = new QComboBox(&window);
        b->setEditable(true);
        b->addItem(S("/a"));
        b->setGeometry(5, y, 393, 22);
        b->setFocusPolicy(Qt::NoFocus);
        boxes << b;
    }
    SetHistoryBoxDropDown(boxes[1], false);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    QList<QImage> shown;
    for (QComboBox* b : boxes)
        shown << b->grab().toImage();
    EXPECT_NE(shown[0], shown[1]);
    for (int i = 0; i < boxes.size(); ++i) {
        QPixmapCache::clear();
        EXPECT_EQ(shown[i], boxes[i]->grab().toImage()) << "box " << i;
    }
}

TEST_F(HistoryComboTest, AddToHistoryUsesTheBoxSearchAndKeepsTheEditText)
{
    box.addItems({S("/a"), S("/b"), S("/c"), S("c:\\data"), S("/e")});
    box.setCurrentIndex(3);
    box.setEditText(S("C:\\Data"));
    AddToHistory(&box, S("C:\\Data"));
    EXPECT_EQ(Items(box), (QStringList{S("C:\\Data"), S("/a"), S("/b"), S("/c"), S("/e")}));
    EXPECT_EQ(box.currentText(), S("C:\\Data"));

    box.setEditText(S("typed"));
    AddToHistory(&box, QString());
    AddToHistory(&box, S("/B"));
    EXPECT_EQ(Items(box), (QStringList{S("/B"), S("C:\\Data"), S("/a"), S("/c"), S("/e")}));
    EXPECT_EQ(box.currentText(), S("typed"));

    box.clear();
    for (int i = 0; i < MaxHistory; ++i)
        box.addItem(QString::number(i));
    AddToHistory(&box, S("new"));
    EXPECT_EQ(box.count(), MaxHistory);
    EXPECT_EQ(box.itemText(0), S("new"));
    EXPECT_EQ(box.itemText(MaxHistory - 1), QString::number(MaxHistory - 2));
}

TEST_F(HistoryComboTest, SaveWritesTheDropDownCountAfterTheSettings)
{
    TMainSettings settings;
    ASSERT_TRUE(WriteMainSettings(iniName, settings));
    for (int i = 0; i < 10; ++i)
        box.addItem(S("/d") + QString::number(i));
    QString error = S("unchanged");
    ASSERT_TRUE(SaveHistory(iniName, S("Source"), true, &box, 0, false, &error));
    QComboBox files;
    files.addItem(S("say \"x\".pdf"));
    ASSERT_TRUE(SaveHistory(iniName, S("Files"), true, &files, 0, true));

    TMemIniFile ini(iniName);
    ASSERT_TRUE(ini.Load());
    EXPECT_EQ(ini.Encoding(), TIniEncoding::Utf16LE);
    EXPECT_EQ(ini.ReadSections(), (QStringList{S("Unicode"), S("Config"), S("Source"), S("Files")}));
    EXPECT_EQ(ini.ReadSection(S("Source")).size(), 8);
    EXPECT_EQ(ini.ReadString(S("Files"), S("History0"), QString()), S("say #x#.pdf"));

    QComboBox loaded;
    ASSERT_TRUE(LoadHistory(iniName, S("Files"), &loaded, 0, true));
    EXPECT_EQ(loaded.currentText(), S("say \"x\".pdf"));

    // A failed write is reported and leaves the file as it was.
    const QByteArray before = ReadFile(iniName);
    EXPECT_FALSE(SaveHistory(iniName + S("/sub.ini"), S("Source"), true, &box, 0, false, &error));
    EXPECT_TRUE(error.startsWith(S("Cannot create file \""))) << error.toStdString();
    EXPECT_EQ(ReadFile(iniName), before);
}

} // namespace
