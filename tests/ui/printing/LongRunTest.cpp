// A long print run from the main window with a stand-in print program that
// records every call: nothing is lost, repeated or reordered.

#include "printing/HauptForm.h"

#include "dialogs/MsgDialogs.h"
#include "printlists/PrintList.h"
#include "support/TestSupport.h"
#include "util/NumberEd.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace testing_support;

namespace {

// Records program, printer and file of each call, one line per call.
constexpr char kRecorder[] = "#!/bin/sh\n"
                             "printf '%s|%s|%s\\n' \"$1\" \"$2\" \"$3\" >> \"$0.log\"\n";

TEST(LongRun, TwoThousandFilesInAHundredFoldersEachHandedOverOncePerCopy)
{
    QTemporaryDir home, docs;
    ScopedEnv homeEnv{"HOME", home.path().toUtf8()};
    ScopedEnv configEnv{"XDG_CONFIG_HOME", QByteArray()};
    ScopedEnv dataEnv{"XDG_DATA_HOME", QByteArray()};
    ScopedPrinters printers{{QStringLiteral("PDF")}, QStringLiteral("PDF")};
    const QString recorder = home.filePath(QStringLiteral(".local/share/morvane-printpdf"));
    ASSERT_TRUE(WriteScript(recorder, kRecorder));

    // 10 folders with 9 subfolders each; per folder 16 PDF files, 2 text files
    // (matched by a second mask) and 2 data files (named by the list).
    const QString root = docs.path() + u'/';
    QStringList folders, pdfs, texts, listed;
    for (int d = 0; d < 10; ++d) {
        const QString top = QStringLiteral("d%1/").arg(d);
        folders << top;
        for (int s = 0; s < 9; ++s)
            folders << top + QStringLiteral("s%1/").arg(s);
    }
    for (const QString& folder : std::as_const(folders)) {
        for (int f = 0; f < 20; ++f) {
            const QString name = folder + QStringLiteral("f%1").arg(f, 2, 10, QLatin1Char('0'));
            QStringList& kind = f < 16 ? pdfs : f < 18 ? texts : listed;
            const QString file = name + (f < 16 ? QStringLiteral(".pdf") : f < 18 ? QStringLiteral(".txt")
                                                                               : QStringLiteral(".dat"));
            ASSERT_TRUE(WriteFile(root + file, "x"));
            kind << root + file;
        }
    }
    ASSERT_EQ(folders.size(), 100);
    ASSERT_EQ(pdfs.size() + texts.size() + listed.size(), 2000);
    // The list names its 200 files backwards, so its order is not the folders'.
    QStringList lines;
    for (auto it = listed.crbegin(); it != listed.crend(); ++it)
        lines << it->mid(root.size());
    ASSERT_TRUE(WritePrintList(root + QStringLiteral("run.pbt"), lines));

    MsgDialogTestSeam::Clear();
    MsgDialogTestSeam::SetStrict(true);
    auto form = std::make_unique<THauptForm>(QStringList());
    form->SetPausePerFile(0);
    form->show();
    ASSERT_EQ(form->SumatraPath, recorder);
    form->SourceDirEdit->setEditText(docs.path());
    form->FileEdit->setEditText(QStringLiteral("*.pdf;run.pbt;*.TXT"));
    form->chbSubDir->setChecked(true);
    form->KopAnz->setValue(2);
    form->btnProcess->click();

    EXPECT_EQ(form->StatusText(), QStringLiteral(" 4000 files printed"));
    // Idle again, the counter shows no copy.
    EXPECT_EQ(form->edtKop->GetValue(), 0);
    EXPECT_TRUE(MsgDialogTestSeam::UnexpectedBoxes().isEmpty());
    const QStringList calls = QString::fromUtf8(ReadFile(recorder + QStringLiteral(".log"))).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(calls.size(), 4000);
    QStringList handed;
    for (const QString& call : calls) {
        const QStringList args = call.split(u'|');
        ASSERT_EQ(args.size(), 3) << call.toStdString();
        EXPECT_EQ(args[0], QStringLiteral("-print-to"));
        EXPECT_EQ(args[1], form->PrtName);
        handed << args[2];
    }
    // The second copy repeats the first one exactly.
    const QStringList copy = handed.mid(0, 2000);
    EXPECT_EQ(handed.mid(2000), copy);
    // Tokens in the field's order: the PDF mask, the list in its own order, the text mask.
    const QStringList byMask = copy.mid(0, 1600), byList = copy.mid(1600, 200), byText = copy.mid(1800);
    EXPECT_EQ(QSet<QString>(byMask.cbegin(), byMask.cend()), QSet<QString>(pdfs.cbegin(), pdfs.cend()));
    EXPECT_EQ(QSet<QString>(byMask.cbegin(), byMask.cend()).size(), 1600);
    EXPECT_EQ(QSet<QString>(byText.cbegin(), byText.cend()), QSet<QString>(texts.cbegin(), texts.cend()));
    EXPECT_EQ(QSet<QString>(byText.cbegin(), byText.cend()).size(), 200);
    QStringList expectedList;
    for (const QString& line : std::as_const(lines))
        expectedList << root + line;
    EXPECT_EQ(byList, expectedList);
    // Depth first: each folder's files come together, after those of its subfolders.
    for (const QStringList* run : {&byMask, &byText}) {
        QStringList seen;
        for (const QString& file : *run) {
            const QString folder = file.left(file.lastIndexOf(u'/') + 1);
            if (seen.isEmpty() || seen.last() != folder) {
                ASSERT_FALSE(seen.contains(folder)) << "files of " << folder.toStdString() << " split up";
                for (const QString& earlier : std::as_const(seen))
                    ASSERT_FALSE(folder.startsWith(earlier))
                        << folder.toStdString() << " after its parent " << earlier.toStdString();
                seen << folder;
            }
        }
        EXPECT_EQ(seen.size(), 100);
    }
    form.reset();
    MsgDialogTestSeam::Clear();
}

} // namespace
