#include "support/CupsServer.h"

#include "support/CupsPdf.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <cups/cups.h>

#include <memory>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {

namespace {

using HttpPtr = std::unique_ptr<http_t, void (*)(http_t*)>;

HttpPtr Connect(const QString& server, int timeoutMs = 10000)
{
    QByteArray host = server.isEmpty() ? QByteArray(cupsServer()) : server.toUtf8();
    int port = ippPort();
    if (const qsizetype colon = host.lastIndexOf(':'); colon > 0 && !host.startsWith('/')) {
        port = host.mid(colon + 1).toInt();
        host.truncate(colon);
    }
    return HttpPtr(
        httpConnect2(host.constData(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_IF_REQUESTED, 1, timeoutMs, nullptr),
        httpClose);
}

// A port nobody listens on now; the server binds it a moment later.
int FreeLoopbackPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0)
        ::close(fd);
    return port;
}

} // namespace

PrintResult RunPrintProgram(const QStringList& args, const QMap<QString, QString>& extra)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        if (it.value().isEmpty())
            env.remove(it.key());
        else
            env.insert(it.key(), it.value());
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(BuiltPrintProgram(), args);
    PrintResult result;
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished();
        return result;
    }
    result.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    static const QRegularExpression id(QStringLiteral("^request id is .*-(\\d+) \\(1 file\\(s\\)\\)$"),
                                       QRegularExpression::MultilineOption);
    for (auto it = id.globalMatch(QString::fromUtf8(p.readAllStandardOutput())); it.hasNext();)
        result.jobIds << it.next().captured(1).toInt();
    result.errors = QString::fromUtf8(p.readAllStandardError());
    return result;
}

QMap<QString, QString> JobAttributes(const QString& server, int jobId)
{
    QMap<QString, QString> attributes;
    HttpPtr http = Connect(server);
    if (!http)
        return attributes;
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const QByteArray uri = "ipp://localhost/jobs/" + QByteArray::number(jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(cupsDoRequest(http.get(), request, "/"), ippDelete);
    if (!response)
        return attributes;
    for (ipp_attribute_t* a = ippFirstAttribute(response.get()); a; a = ippNextAttribute(response.get())) {
        if (!ippGetName(a))
            continue;
        char value[2048];
        ippAttributeString(a, value, sizeof value);
        attributes.insert(QString::fromUtf8(ippGetName(a)), QString::fromUtf8(value));
    }
    return attributes;
}

QString WaitForJobEnd(const QString& server, int jobId, int timeoutMs)
{
    static const QStringList ended = {QStringLiteral("completed"), QStringLiteral("aborted"),
                                      QStringLiteral("canceled")};
    QDeadlineTimer deadline(timeoutMs);
    do {
        const QString state = JobAttributes(server, jobId).value(QStringLiteral("job-state"));
        if (ended.contains(state))
            return state;
        QThread::msleep(200);
    } while (!deadline.hasExpired());
    return {};
}

CupsServer::~CupsServer()
{
    stop();
}

QString CupsServer::address() const
{
    return QStringLiteral("127.0.0.1:%1").arg(m_port);
}

QString CupsServer::start()
{
    if (::geteuid() != 0)
        return QStringLiteral("a test spooler with cups-pdf queues needs root (the cups-pdf backend runs as root)");
    if (m_port == 0)
        m_port = FreeLoopbackPort();
    if (!m_dir.isValid() || m_port == 0)
        return QStringLiteral("no temporary folder or free port");
    const QString d = m_dir.path();
    // Filters run as the lp user: the folders must be reachable, the temporary one writable.
    ::chmod(QFile::encodeName(d).constData(), 0755);
    for (const char* sub : {"root", "spool", "cache", "state", "log", "tmp"})
        QDir(d).mkdir(QString::fromLatin1(sub));
    ::chmod(QFile::encodeName(d + u"/tmp"_qs).constData(), 01777);
    // The server makes its self-signed certificate for ipps:// here.
    QDir(d).mkpath(u"root/ssl"_qs);
    ::chmod(QFile::encodeName(d + u"/root/ssl"_qs).constData(), 0700);
    const QString files = u"ServerRoot %1/root\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n"
                          u"TempDir %1/tmp\nErrorLog %1/log/error_log\nAccessLog %1/log/access_log\n"
                          u"PageLog %1/log/page_log\n"_qs.arg(d);
    // Loopback only, no browsing, and no authentication for the queue set-up of the test.
    const QString conf = u"Listen %1\nLogLevel debug\nBrowsing Off\nWebInterface No\nDefaultPolicy open\n"
                         u"<Policy open>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n"
                         u"<Location />\nOrder allow,deny\nAllow all\n</Location>\n"_qs.arg(address());
    if (!WriteFile(d + u"/cups-files.conf"_qs, files.toUtf8()) || !WriteFile(d + u"/cupsd.conf"_qs, conf.toUtf8()))
        return QStringLiteral("cannot write the configuration in ") + d;
    m_cupsd.setProcessChannelMode(QProcess::MergedChannels);
    m_cupsd.start(QStringLiteral("cupsd"), {QStringLiteral("-f"), QStringLiteral("-c"), d + u"/cupsd.conf"_qs,
                                            QStringLiteral("-s"), d + u"/cups-files.conf"_qs});
    if (!m_cupsd.waitForStarted())
        return QStringLiteral("cannot start cupsd: ") + m_cupsd.errorString();
    QDeadlineTimer deadline(20000);
    while (!Connect(address(), 500)) {
        if (m_cupsd.state() != QProcess::Running || deadline.hasExpired())
            return QStringLiteral("cupsd did not come up: ") + QString::fromLocal8Bit(m_cupsd.readAll());
        QThread::msleep(50);
    }
    return {};
}

void CupsServer::stop()
{
    if (m_cupsd.state() == QProcess::NotRunning)
        return;
    m_cupsd.terminate();
    if (!m_cupsd.waitForFinished(20000)) {
        m_cupsd.kill();
        m_cupsd.waitForFinished();
    }
}

QString CupsServer::admin(const QStringList& args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("lpadmin"), QStringList{QStringLiteral("-h"), address()} + args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return u"lpadmin "_qs + args.join(u' ') + u": "_qs + QString::fromLocal8Bit(p.readAll());
    return {};
}

QString CupsServer::addPdfQueue(const QString& name)
{
    return admin({QStringLiteral("-p"), name, QStringLiteral("-v"), QStringLiteral("cups-pdf:/"), QStringLiteral("-E"),
                  QStringLiteral("-P"), QStringLiteral("/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd")});
}

QString CupsServer::addQueue(const QString& name, const QString& deviceUri, const QStringList& extra)
{
    return admin(QStringList{QStringLiteral("-p"), name, QStringLiteral("-v"), deviceUri, QStringLiteral("-E"),
                             QStringLiteral("-m"), QStringLiteral("raw")} +
                 extra);
}

QString CupsServer::addToClass(const QString& queue, const QString& className)
{
    if (QString error = admin({QStringLiteral("-p"), queue, QStringLiteral("-c"), className}); !error.isEmpty())
        return error;
    // A new class is created stopped and rejecting jobs.
    for (const char* tool : {"cupsenable", "cupsaccept"}) {
        QProcess p;
        p.start(QString::fromLatin1(tool), {QStringLiteral("-h"), address(), className});
        if (!p.waitForFinished(60000) || p.exitCode() != 0)
            return QString::fromLatin1(tool) + u" failed"_qs;
    }
    return {};
}

} // namespace testing_support
