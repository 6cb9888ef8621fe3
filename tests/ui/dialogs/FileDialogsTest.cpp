#include "dialogs/FileDialogs.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

using testing_support::S;

namespace {

TEST(FileDialogs, FiltersConvertFromPipeForm)
{
    EXPECT_EQ(ConvertFilter(S("PDF files|*.pdf")), S("PDF files (*.pdf)"));
    EXPECT_EQ(ConvertFilter(S("PDF files|*.pdf|Print list|*.pbt")), S("PDF files (*.pdf);;Print list (*.pbt)"));
    EXPECT_EQ(ConvertFilter(S("Lists|*.pbt;*.txt")), S("Lists (*.pbt *.txt)"));
    EXPECT_EQ(ConvertFilter(QString()), QString());
}

TEST(FileDialogs, QueuedAnswersReplaceTheDialog)
{
    FileDialogTestSeam::Clear();
    FileDialogTestSeam::PushAnswer({S("/a/x.pdf"), S("/a/y.pdf")});
    FileDialogTestSeam::PushAnswer({});
    TFileDialogOptions options;
    options.Title = S("Select files");
    EXPECT_EQ(OpenFileDialog(nullptr, options), (QStringList{S("/a/x.pdf"), S("/a/y.pdf")}));
    EXPECT_EQ(SaveFileDialog(nullptr, options), QString());
    EXPECT_FALSE(FileDialogTestSeam::HasPendingAnswers());
    ASSERT_EQ(FileDialogTestSeam::AnsweredDialogs().size(), 2);
    EXPECT_EQ(FileDialogTestSeam::AnsweredDialogs().front().Title, S("Select files"));
}

} // namespace
