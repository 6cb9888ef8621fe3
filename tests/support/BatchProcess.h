#pragma once

// Runs the built morvane-batch as a separate process for the command-line tests.

#include "support/TestSupport.h"

#include <QProcess>
#include <QTemporaryDir>

#include <functional>

namespace batch_test {

inline QString BuiltBatchProgram()
{
    return QStringLiteral(MORVANE_BINARY_DIR "/src/morvane-batch");
}

struct TBatchResult
{
    int Exit = -1;
    QString Out;
    QString Err;
};

// Starts morvane-batch in workDir with HOME in `home` (so no saved settings
// of the user are read) and the extra variables; `whileRunning` may act on
// the started process (e.g. send a signal) before it is waited for.
inline TBatchResult RunBatch(const QStringList& args, const QString& workDir, const QString& home,
                             const QStringList& extraEnv = {},
                             const std::function<void(QProcess&, QString& errSoFar)>& whileRunning = nullptr)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("HOME"), home);
    env.remove(QStringLiteral("XDG_CONFIG_HOME"));
    env.remove(QStringLiteral("XDG_DATA_HOME"));
    for (const QString& assignment : extraEnv)
        env.insert(assignment.section(u'=', 0, 0), assignment.section(u'=', 1));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(workDir);
    p.start(BuiltBatchProgram(), args);
    TBatchResult r;
    if (!p.waitForStarted(30000))
        return r;
    if (whileRunning)
        whileRunning(p, r.Err);
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
    }
    r.Exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.Out = QString::fromUtf8(p.readAllStandardOutput());
    r.Err += QString::fromUtf8(p.readAllStandardError());
    return r;
}

// Reads the process's stderr into errSoFar until it holds `text` (false when
// the process ended or 60 s passed first).
inline bool WaitForError(QProcess& p, QString& errSoFar, const QString& text)
{
    for (int i = 0; i < 600 && !errSoFar.contains(text); ++i) {
        if (p.state() == QProcess::NotRunning)
            return false;
        p.waitForReadyRead(100);
        errSoFar += QString::fromUtf8(p.readAllStandardError());
    }
    return errSoFar.contains(text);
}

} // namespace batch_test
