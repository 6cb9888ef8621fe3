#include "printing/PrintProgram.h"

#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

TEST(PrintProgram, CandidatesInSearchOrder)
{
    QProcessEnvironment env;
    env.insert(S("HOME"), S("/home/u"));
    env.insert(S("ProgramFiles(x86)"), S("/opt/x86/"));
    EXPECT_EQ(PrintProgramCandidates(S("/opt/morvane/"), env),
              (QStringList{S("/opt/morvane/morvane-printpdf"), S("/opt/x86/morvane-printpdf"),
                           S("/usr/bin/morvane-printpdf"), S("/home/u/.local/share/morvane-printpdf")}));
}

TEST(PrintProgram, FirstExistingCandidateWins)
{
    QTemporaryDir root;
    const QString exeDir = root.filePath(S("exe"));
    const QString x86 = root.filePath(S("x86"));
    const QString w64 = root.filePath(S("w64"));
    QDir().mkpath(exeDir);
    QProcessEnvironment env;
    env.insert(S("HOME"), root.path());
    env.insert(S("ProgramFiles(x86)"), x86);
    env.insert(S("ProgramW6432"), w64);

    EXPECT_EQ(FindPrintProgram(exeDir + u'/', env), QString());

    // A folder of that name is not a program; the next candidate is built afresh.
    QDir().mkpath(x86 + S("/morvane-printpdf"));
    ASSERT_TRUE(WriteFile(w64 + S("/morvane-printpdf"), "#!/bin/sh\n"));
    EXPECT_EQ(FindPrintProgram(exeDir + u'/', env), w64 + S("/morvane-printpdf"));

    ASSERT_TRUE(WriteFile(root.filePath(S(".local/share/morvane-printpdf")), "x"));
    ASSERT_TRUE(WriteFile(exeDir + S("/morvane-printpdf"), "x"));
    EXPECT_EQ(FindPrintProgram(exeDir + u'/', env), exeDir + S("/morvane-printpdf"));
}

} // namespace
