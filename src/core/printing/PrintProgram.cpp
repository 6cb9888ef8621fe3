#include "printing/PrintProgram.h"

#include "util/StrUtils.h"

#include <QFileInfo>

QStringList PrintProgramCandidates(const QString& exePath, const QProcessEnvironment& env)
{
    const QString name = QString::fromLatin1(PrintProgramName);
    QStringList candidates;
    // Each candidate is built afresh from its own folder.
    for (const QString& folder : {exePath, ProgramFilesPath(2, env), ProgramFilesPath(4, env),
                                  SpecialFolderPath(CSIDL_LOCAL_APPDATA, env)}) {
        if (!folder.isEmpty())
            candidates << DirectoryWithDelimiter(folder) + name;
    }
    return candidates;
}

QString FindPrintProgram(const QString& exePath, const QProcessEnvironment& env)
{
    for (const QString& candidate : PrintProgramCandidates(exePath, env)) {
        const QFileInfo info(candidate);
        if (info.exists() && !info.isDir())
            return candidate;
    }
    return {};
}
