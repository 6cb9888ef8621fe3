#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Jobs as the spooler recorded them, and a CUPS spooler of a test's own.
namespace testing_support {

struct PrintResult
{
    int exitCode = -1;
    QList<int> jobIds; // from the "request id is NAME-ID" lines
    QString errors;    // stderr
};

// Runs the built print-to program with args; extra holds environment changes
// (an empty value removes the variable).
PrintResult RunPrintProgram(const QStringList& args, const QMap<QString, QString>& extra = {});

// The attributes of a job, name -> value text, as the spooler at `server`
// ("host:port"; empty: the one of the environment) recorded them.
QMap<QString, QString> JobAttributes(const QString& server, int jobId);

// Polls until the job has ended; returns its final job-state text ("completed",
// "aborted", ...) or an empty string when the time ran out.
QString WaitForJobEnd(const QString& server, int jobId, int timeoutMs = 90000);

// A second cupsd on a free loopback port, with its own configuration, spool,
// state and log folders in a temporary folder. Its cups-pdf queues use the
// machine's cups-pdf configuration, so their output lands in CupsPdfOutputDir().
// The destructor stops it; the folder goes with the object.
class CupsServer
{
public:
    CupsServer() = default;
    ~CupsServer();
    CupsServer(const CupsServer&) = delete;
    CupsServer& operator=(const CupsServer&) = delete;

    // Empty on success, else what went wrong. A start after a stop comes
    // back on the same port with the queues and jobs it had.
    QString start();
    void stop();
    QString addPdfQueue(const QString& name);
    // A queue on a backend of the test's own; extra: further lpadmin arguments.
    QString addQueue(const QString& name, const QString& deviceUri, const QStringList& extra = {});
    QString addToClass(const QString& queue, const QString& className);

    QString address() const; // "127.0.0.1:PORT"
    QString folder() const { return m_dir.path(); }

private:
    QString admin(const QStringList& args);

    QTemporaryDir m_dir;
    QProcess m_cupsd;
    int m_port = 0;
};

} // namespace testing_support
