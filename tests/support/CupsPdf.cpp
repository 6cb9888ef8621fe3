#include "support/CupsPdf.h"

#include <QAtomicInt>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <pwd.h>
#include <unistd.h>

namespace testing_support {

QString BuiltPrintProgram()
{
    return QStringLiteral(MORVANE_BINARY_DIR "/src/morvane-printpdf");
}

namespace {

QString RunTool(const QString& program, const QStringList& args, int* exitCode = nullptr)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
    }
    if (exitCode)
        *exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return QString::fromLocal8Bit(p.readAllStandardOutput());
}

} // namespace

QString TestPrinterName()
{
    const QString name = qEnvironmentVariable("MORVANE_PRINTER");
    return name.isEmpty() ? QStringLiteral("PDF") : name;
}

QString CupsProblem()
{
    const QString hint = QStringLiteral(" Start it with: source scripts/common.sh; ensure_printer "
                                        "(scripts/test.sh does this before the tests).");
    if (!RunTool(QStringLiteral("lpstat"), {QStringLiteral("-r")}).contains(QStringLiteral("scheduler is running")))
        return QStringLiteral("The CUPS spooler is not reachable.") + hint;
    int code = 0;
    RunTool(QStringLiteral("lpstat"), {QStringLiteral("-v"), TestPrinterName()}, &code);
    if (code != 0)
        return QStringLiteral("CUPS has no queue \"") + TestPrinterName() + QStringLiteral("\".") + hint;
    return {};
}

QString CupsPdfOutputDir()
{
    QString out = QStringLiteral("/var/spool/cups-pdf/${USER}");
    QFile conf(QStringLiteral("/etc/cups/cups-pdf.conf"));
    if (conf.open(QIODevice::ReadOnly)) {
        static const QRegularExpression outLine(QStringLiteral("^\\s*Out\\s+(\\S.*?)\\s*$"));
        while (!conf.atEnd()) {
            const QRegularExpressionMatch m = outLine.match(QString::fromLocal8Bit(conf.readLine()));
            if (m.hasMatch())
                out = m.captured(1);
        }
    }
    // cups-pdf expands these from the password database, not from the environment.
    const passwd* pw = ::getpwuid(::getuid());
    const QString home = pw ? QFile::decodeName(pw->pw_dir) : QDir::homePath();
    const QString user = pw ? QFile::decodeName(pw->pw_name) : qEnvironmentVariable("USER");
    out.replace(QStringLiteral("${HOME}"), home);
    out.replace(QStringLiteral("${USER}"), user);
    return out;
}

QString UniqueJobStem(const QString& tag)
{
    static QAtomicInt counter;
    return QStringLiteral("morvane-%1-%2-%3-%4")
        .arg(tag)
        .arg(QCoreApplication::applicationPid())
        .arg(QDateTime::currentMSecsSinceEpoch())
        .arg(counter.fetchAndAddRelaxed(1));
}

int PdfPageCount(const QString& fileName)
{
    int code = 0;
    const QString info = RunTool(QStringLiteral("pdfinfo"), {fileName}, &code);
    static const QRegularExpression pages(QStringLiteral("^Pages:\\s+(\\d+)"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = pages.match(info);
    return code == 0 && m.hasMatch() ? m.captured(1).toInt() : -1;
}

QStringList WaitForCupsPdfOutput(const QString& stem, int count, int timeoutMs)
{
    const QDir dir(CupsPdfOutputDir());
    QDeadlineTimer deadline(timeoutMs);
    QStringList complete;
    for (;;) {
        complete.clear();
        const QStringList names = dir.entryList({stem + u'*'}, QDir::Files, QDir::Name);
        for (const QString& name : names) {
            // The stem must not be the start of a longer one ("-1" and "-10").
            const QChar next = name.size() > stem.size() ? name[stem.size()] : QChar();
            if (next.isDigit())
                continue;
            // cups-pdf writes the file in steps; it is complete once pdfinfo can read it.
            if (PdfPageCount(dir.filePath(name)) > 0)
                complete << dir.filePath(name);
        }
        if (complete.size() >= count || deadline.hasExpired())
            return complete;
        QThread::msleep(100);
    }
}

} // namespace testing_support
