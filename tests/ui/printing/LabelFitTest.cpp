// The main window and the dialogs it opens, in one language of the catalogs
// (MORVANE_FIT_LANGUAGE, else German): every caption fits its control. The
// build runs this program once per language it has catalogs for; the
// language is chosen once per process, as in the program.

#include "printing/HauptForm.h"

#include "app/GnuGetText.h"
#include "app/InitProg.h"
#include "app/MainSettings.h"
#include "app/ToolkitTranslations.h"
#include "dialogs/ShellDirDlg.h"
#include "platform/Printers.h"
#include "printlists/FileListDlg.h"
#include "support/PdfWriter.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

using namespace testing_support;

namespace {

QString Language()
{
    const QString code = qEnvironmentVariable("MORVANE_FIT_LANGUAGE");
    return code.isEmpty() ? S("de") : code;
}

// The widest line of a caption as drawn: a mnemonic's "&" is not drawn.
int TextWidth(const QFontMetrics& metrics, QString text)
{
    text.replace(S("&&"), S("\x01"));
    text.remove(u'&');
    text.replace(u'\x01', u'&');
    int width = 0;
    for (const QString& line : text.split(u'\n'))
        width = qMax(width, metrics.horizontalAdvance(line.trimmed()));
    return width;
}

// The room a control gives its caption, from the style that draws it.
int TextRoom(QAbstractButton* button)
{
    QStyle* style = button->style();
    if (auto* push = qobject_cast<QPushButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(push);
        option.text = push->text();
        option.icon = push->icon();
        option.iconSize = push->iconSize();
        option.features = push->isFlat() ? QStyleOptionButton::Flat : QStyleOptionButton::None;
        int room = style->subElementRect(QStyle::SE_PushButtonContents, &option, push).width();
        if (!push->icon().isNull())
            room -= push->iconSize().width() + 4;
        return room;
    }
    if (qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool check = qobject_cast<QCheckBox*>(button) != nullptr;
        return style
            ->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, button)
            .width();
    }
    // A tool button's label keeps off its frame by the 3 pixels a side that
    // the style adds to its size hint.
    return button->width() - 6;
}

// "control "text": text width > room" for every caption of `root` and its
// children that is wider than the room its control gives it.
QStringList CutOffTexts(QWidget* root)
{
    QStringList found;
    const auto check = [&found](const QWidget* w, const QString& text, int width, int room) {
        if (width > room)
            found << QStringLiteral("%1%2 \"%3\": %4 > %5")
                         .arg(QString::fromLatin1(w->metaObject()->className()),
                              w->objectName().isEmpty() ? QString() : u' ' + w->objectName(), text)
                         .arg(width)
                         .arg(room);
    };
    QList<QWidget*> widgets{root};
    widgets += root->findChildren<QWidget*>();
    for (QWidget* w : std::as_const(widgets)) {
        if (!w->isVisibleTo(root))
            continue;
        const QFontMetrics metrics = w->fontMetrics();
        if (auto* label = qobject_cast<QLabel*>(w)) {
            // A wrapped label breaks its lines to its width.
            if (label->wordWrap() || label->text().isEmpty() || Qt::mightBeRichText(label->text()))
                continue;
            const int room = label->contentsRect().width() - 2 * qMax(label->margin(), 0) - qMax(label->indent(), 0);
            check(w, label->text(), TextWidth(metrics, label->text()), room);
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            auto* tool = qobject_cast<QToolButton*>(w);
            if (button->text().isEmpty() || (tool && tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                continue;
            check(w, button->text(), TextWidth(metrics, button->text()), TextRoom(button));
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            if (group->title().isEmpty())
                continue;
            QStyleOptionGroupBox option;
            option.initFrom(group);
            option.text = group->title();
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect label =
                group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
            check(w, group->title(), label.right() + 1, group->width());
        } else if (auto* tabs = qobject_cast<QTabBar*>(w)) {
            for (int i = 0; i < tabs->count(); ++i)
                check(w, tabs->tabText(i), TextWidth(metrics, tabs->tabText(i)), tabs->tabRect(i).width());
        }
    }
    return found;
}

class LabelFit : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        SetExecutableName(QStringLiteral(MORVANE_BINARY_DIR "/src/morvane"));
        InitGnuGetText();
        AddDomainForToolkitTexts(QString::fromLatin1(ToolkitDomain));
        UseLanguage(Language());
        InstallToolkitTranslations(Language());
    }

    void SetUp() override
    {
        ASSERT_TRUE(home.isValid() && docs.isValid());
        // A print program is configured, so that the window does not look for one.
        TMainSettings settings;
        settings.Sumatra = home.filePath(S("print"));
        ASSERT_TRUE(WriteFile(settings.Sumatra, "#!/bin/sh\nexit 0\n"));
        QDir().mkpath(home.filePath(S(".config")));
        ASSERT_TRUE(WriteMainSettings(home.filePath(S(".config/")) + ExeBaseName + S(".ini"), settings));
        ASSERT_TRUE(WriteFile(docs.filePath(S("a.pdf")), MakePdf(2)));
        // Every choice the print settings offer, so each of their captions is shown.
        PrinterTestSeam::InstallCapabilities(S("PDF"),
                                             {{S("one-sided"), S("two-sided-long-edge"), S("two-sided-short-edge")},
                                              {S("iso_a4_210x297mm"), S("na_letter_8.5x11in")},
                                              {S("color"), S("monochrome")},
                                              {S("tray-1"), S("auto")},
                                              {S("auto"), S("fit"), S("none")},
                                              {S("3"), S("4")}});
    }

    // Clicks `button`, checks the modal dialog it opens and closes it.
    QStringList CheckDialogOf(QAbstractButton* button)
    {
        QStringList found;
        bool seen = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            poll.stop();
            seen = true;
            found = CutOffTexts(modal);
            for (QString& f : found)
                f.prepend(modal->windowTitle() + S(": "));
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        });
        poll.start(10);
        button->click();
        if (!seen)
            found << S("no dialog opened by ") + button->toolTip();
        return found;
    }

    QTemporaryDir home;
    QTemporaryDir docs;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedPrinters printers{{S("PDF")}, S("PDF")};
};

TEST_F(LabelFit, EveryCaptionOfTheWindowAndItsDialogsFits)
{
    ASSERT_EQ(GetCurrentLanguage(), Language());
    THauptForm form{QStringList()};
    // The program's dialogs, made after the window as the program makes them.
    TShellDirDialog shellDirDialog(&form);
    ShellDirDialog = &shellDirDialog;
    TFileListDialog fileListDialog(&form);
    FileListDialog = &fileListDialog;
    const auto forget = qScopeGuard([] {
        ShellDirDialog = nullptr;
        FileListDialog = nullptr;
    });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.SourceDirEdit->setEditText(docs.path());
    form.FileEdit->setEditText(S("*.pdf"));
    // Not the English window: the catalogs of the language were found.
    EXPECT_NE(form.btnProcess->text(), S("Print"));

    QStringList cutOff = CutOffTexts(&form);
    for (QAbstractButton* opener : std::initializer_list<QAbstractButton*>{
             form.btnPrintSettings, form.btnPreview, form.btnNew, form.SourceSelectBtn, form.InfoBtn})
        cutOff += CheckDialogOf(opener);
    EXPECT_TRUE(cutOff.isEmpty()) << "language " << qPrintable(Language()) << ":\n" << qPrintable(cutOff.join(u'\n'));
}

} // namespace
