#include "JobFollow.h"

#include "Console.h"

#include <cups/cups.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

using HttpPtr = std::unique_ptr<http_t, void (*)(http_t*)>;
using IppPtr = std::unique_ptr<ipp_t, void (*)(ipp_t*)>;

// Where a destination's jobs are asked about: its server, the URI that names
// it in requests and the resource requests go to.
struct TWhere
{
    QString Server; // "host:port" or a socket path; the key of a connection
    QByteArray Host;
    int Port = 0;
    bool Tls = false;
    QByteArray PrinterUri;
    QByteArray Resource;
};

TWhere WhereOf(const QString& destination)
{
    TWhere where;
    if (destination.contains(u"://"_s)) {
        char scheme[32], user[256], host[256], resource[1024];
        int port = 0;
        const QByteArray uri = destination.toUtf8();
        if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.constData(), scheme, sizeof scheme, user, sizeof user, host,
                            sizeof host, &port, resource, sizeof resource) >= HTTP_URI_STATUS_OK) {
            where.Host = host;
            where.Port = port;
            where.Tls = qstricmp(scheme, "ipps") == 0;
            where.PrinterUri = uri;
            where.Resource = resource;
        }
        where.Server = QString::fromUtf8(where.Host) + u':' + QString::number(where.Port);
        return where;
    }
    where.Host = cupsServer();
    where.Port = ippPort();
    where.Server =
        QString::fromUtf8(where.Host) + (where.Host.startsWith('/') ? QString() : u':' + QString::number(where.Port));
    // The queue without its instance: the spooler knows instances not.
    const QByteArray queue = destination.section(u'/', 0, 0).toUtf8();
    where.Resource = "/printers/" + queue;
    char uri[1024];
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                    where.Resource.constData());
    where.PrinterUri = uri;
    return where;
}

int GiveUp(http_t*, void*)
{
    return 0;
}

HttpPtr Connect(const TWhere& where)
{
    HttpPtr http(httpConnect2(where.Host.constData(), where.Port, nullptr, AF_UNSPEC,
                              where.Tls ? HTTP_ENCRYPTION_ALWAYS : cupsEncryption(), 1, 5000, nullptr),
                 httpClose);
    // A spooler that takes the request and never answers must not hold the following up for good.
    if (http)
        httpSetTimeout(http.get(), 15.0, GiveUp, nullptr);
    return http;
}

const char* const JobAttributes[] = {"job-id",
                                     "job-state",
                                     "job-state-reasons",
                                     "job-printer-state-message",
                                     "job-impressions-completed",
                                     "job-media-sheets-completed"};

ipp_t* NewRequest(ipp_op_t op, const QByteArray& printerUri)
{
    ipp_t* request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, printerUri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

// The status of the job whose attributes start at `first` (a Get-Jobs group or a whole response).
int ReadJob(ipp_t* response, ipp_attribute_t*& attr, TJobStatus& status)
{
    int id = 0;
    status.Reasons.clear();
    status.Message.clear();
    for (; attr && ippGetGroupTag(attr) == IPP_TAG_JOB; attr = ippNextAttribute(response)) {
        const char* name = ippGetName(attr);
        if (!name)
            continue;
        const QByteArray n(name);
        if (n == "job-id")
            id = ippGetInteger(attr, 0);
        else if (n == "job-state")
            status.State = ippGetInteger(attr, 0);
        else if (n == "job-state-reasons") {
            for (int i = 0; i < ippGetCount(attr); ++i) {
                const QString reason = QString::fromUtf8(ippGetString(attr, i, nullptr));
                if (reason != u"none"_s)
                    status.Reasons << reason;
            }
        } else if (n == "job-printer-state-message")
            status.Message = QString::fromUtf8(ippGetString(attr, 0, nullptr)).trimmed();
        // Zero is what the spooler says when nothing counted the pages.
        else if (n == "job-impressions-completed" && ippGetInteger(attr, 0) > 0)
            status.Impressions = ippGetInteger(attr, 0);
        else if (n == "job-media-sheets-completed" && ippGetInteger(attr, 0) > 0)
            status.Sheets = ippGetInteger(attr, 0);
    }
    return id;
}

// The printer's state reasons as a person reads them: "media-empty" for
// "media-empty-error"; "none" left out.
QString PrinterStateText(ipp_t* response)
{
    QStringList reasons;
    QString message;
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-reasons", IPP_TAG_KEYWORD)) {
        for (int i = 0; i < ippGetCount(a); ++i) {
            QString reason = QString::fromUtf8(ippGetString(a, i, nullptr));
            for (const QString& suffix : {u"-error"_s, u"-warning"_s, u"-report"_s}) {
                if (reason.endsWith(suffix))
                    reason.chop(suffix.size());
            }
            if (reason != u"none"_s && !reasons.contains(reason))
                reasons << reason;
        }
    }
    if (ipp_attribute_t* a = ippFindAttribute(response, "printer-state-message", IPP_TAG_TEXT))
        message = QString::fromUtf8(ippGetString(a, 0, nullptr)).trimmed();
    // "paused" says only that it stopped; the other reasons say why.
    if (reasons.size() > 1)
        reasons.removeAll(u"paused"_s);
    QString text = reasons.join(u", "_s);
    if (!message.isEmpty() && !reasons.contains(message))
        text += text.isEmpty() ? message : u" ("_s + message + u')';
    return text;
}

} // namespace

QString JobStateName(int state)
{
    switch (state) {
    case IPP_JSTATE_PENDING:
        return u"pending"_s;
    case IPP_JSTATE_HELD:
        return u"pending-held"_s;
    case IPP_JSTATE_PROCESSING:
        return u"processing"_s;
    case IPP_JSTATE_STOPPED:
        return u"processing-stopped"_s;
    case IPP_JSTATE_CANCELED:
        return u"canceled"_s;
    case IPP_JSTATE_ABORTED:
        return u"aborted"_s;
    case IPP_JSTATE_COMPLETED:
        return u"completed"_s;
    default:
        return u"unknown"_s;
    }
}

bool SplitJobId(const QString& jobId, QString* destination, int* number)
{
    const qsizetype dash = jobId.lastIndexOf(u'-');
    bool ok = false;
    const int n = dash > 0 ? jobId.mid(dash + 1).toInt(&ok) : 0;
    if (!ok || n <= 0)
        return false;
    *destination = jobId.left(dash);
    *number = n;
    return true;
}

TJobFollower::TJobFollower(int pollMs) : FPollMs(pollMs), FThread([this] { Loop(); }) {}

TJobFollower::~TJobFollower()
{
    {
        std::lock_guard lock(FMutex);
        FQuit = true;
    }
    FWake.notify_all();
    FThread.join();
}

void TJobFollower::Follow(const QStringList& jobIds)
{
    std::lock_guard lock(FMutex);
    for (const QString& id : jobIds) {
        if (FJobs.contains(id))
            continue;
        FOrder << id;
        QString destination;
        int number = 0;
        TJobStatus status;
        // An id that names no number cannot be asked about: it counts as gone.
        status.Gone = !SplitJobId(id, &destination, &number);
        FJobs.insert(id, status);
    }
}

TJobStatus TJobFollower::Status(const QString& jobId) const
{
    std::lock_guard lock(FMutex);
    return FJobs.value(jobId);
}

int TJobFollower::Count() const
{
    std::lock_guard lock(FMutex);
    return static_cast<int>(FJobs.size());
}

int TJobFollower::EndedCount() const
{
    std::lock_guard lock(FMutex);
    int ended = 0;
    for (const TJobStatus& s : FJobs)
        ended += s.Ended() ? 1 : 0;
    return ended;
}

QStringList TJobFollower::TakeMessages()
{
    std::lock_guard lock(FMutex);
    QStringList messages;
    messages.swap(FMessages);
    return messages;
}

bool TJobFollower::WaitForNews(int ms)
{
    std::unique_lock lock(FMutex);
    FNews.wait_for(lock, std::chrono::milliseconds(ms), [this] { return FHasNews; });
    const bool news = FHasNews;
    FHasNews = false;
    return news;
}

void TJobFollower::Post(const QString& message)
{
    // Called with FMutex held.
    FMessages << message;
    FHasNews = true;
}

void TJobFollower::Loop()
{
    std::unique_lock lock(FMutex);
    while (!FQuit) {
        // The jobs still running, by the server that has them.
        QHash<QString, QStringList> byServer;
        for (const QString& id : std::as_const(FOrder)) {
            if (FJobs.value(id).Ended())
                continue;
            QString destination;
            int number = 0;
            SplitJobId(id, &destination, &number);
            byServer[WhereOf(destination).Server] << id;
        }
        lock.unlock();
        for (auto it = byServer.cbegin(); it != byServer.cend(); ++it)
            PollServer(it.key(), it.value());
        lock.lock();
        FNews.notify_all();
        FWake.wait_for(lock, std::chrono::milliseconds(FPollMs), [this] { return FQuit; });
    }
}

void TJobFollower::PollServer(const QString& server, const QStringList& ids)
{
    QString firstDestination;
    int number = 0;
    SplitJobId(ids.first(), &firstDestination, &number);
    const TWhere where = WhereOf(firstDestination);
    HttpPtr http = Connect(where);

    // One request for all the jobs still running there (this user's), then
    // one for each followed job that is no longer among them: it has ended.
    QHash<int, TJobStatus> running;
    bool answered = false;
    if (http) {
        // A local spooler is asked for all its queues at once.
        const QByteArray uri = firstDestination.contains(u"://"_s) ? where.PrinterUri : QByteArray("ipp://localhost/");
        ipp_t* request = NewRequest(IPP_OP_GET_JOBS, uri);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "not-completed");
        ippAddBoolean(request, IPP_TAG_OPERATION, "my-jobs", 1);
        ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                      static_cast<int>(std::size(JobAttributes)), nullptr, JobAttributes);
        IppPtr response(
            cupsDoRequest(http.get(), request, firstDestination.contains(u"://"_s) ? where.Resource.constData() : "/"),
            ippDelete);
        if (response && ippGetStatusCode(response.get()) <= IPP_STATUS_OK_EVENTS_COMPLETE) {
            answered = true;
            ipp_attribute_t* attr = ippFirstAttribute(response.get());
            while (attr) {
                if (ippGetGroupTag(attr) != IPP_TAG_JOB) {
                    attr = ippNextAttribute(response.get());
                    continue;
                }
                TJobStatus status;
                const int id = ReadJob(response.get(), attr, status);
                if (id > 0)
                    running.insert(id, status);
            }
        }
    }

    QHash<QString, TJobStatus> updates;
    QHash<QString, QString> printerTexts; // destination -> stop text; empty: not stopped
    QSet<QString> printersAsked;
    QSet<QString> printersGone;
    if (answered) {
        for (const QString& jobId : ids) {
            QString destination;
            SplitJobId(jobId, &destination, &number);
            if (const auto it = running.constFind(number); it != running.cend()) {
                updates.insert(jobId, it.value());
            } else {
                const TWhere jobWhere = WhereOf(destination);
                ipp_t* request = NewRequest(IPP_OP_GET_JOB_ATTRIBUTES, jobWhere.PrinterUri);
                ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", number);
                ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                              static_cast<int>(std::size(JobAttributes)), nullptr, JobAttributes);
                IppPtr response(cupsDoRequest(http.get(), request, jobWhere.Resource.constData()), ippDelete);
                const ipp_status_t code = response ? ippGetStatusCode(response.get()) : cupsLastError();
                TJobStatus status;
                if (code == IPP_STATUS_ERROR_NOT_FOUND) {
                    status.Gone = true;
                    updates.insert(jobId, status);
                } else if (response && code <= IPP_STATUS_OK_EVENTS_COMPLETE) {
                    ipp_attribute_t* attr = ippFirstAttribute(response.get());
                    while (attr && ippGetGroupTag(attr) != IPP_TAG_JOB)
                        attr = ippNextAttribute(response.get());
                    ReadJob(response.get(), attr, status);
                    updates.insert(jobId, status);
                }
            }
            if (printersAsked.contains(destination))
                continue;
            printersAsked.insert(destination);
            const TWhere printerWhere = WhereOf(destination);
            ipp_t* request = NewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES, printerWhere.PrinterUri);
            static const char* const printerAttributes[] = {"printer-state", "printer-state-reasons",
                                                            "printer-state-message"};
            ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                          static_cast<int>(std::size(printerAttributes)), nullptr, printerAttributes);
            IppPtr response(cupsDoRequest(http.get(), request, printerWhere.Resource.constData()), ippDelete);
            if (response && ippGetStatusCode(response.get()) <= IPP_STATUS_OK_EVENTS_COMPLETE) {
                ipp_attribute_t* state = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM);
                const bool stopped = state && ippGetInteger(state, 0) == IPP_PSTATE_STOPPED;
                printerTexts.insert(destination, stopped ? PrinterStateText(response.get()) : QString());
                if (stopped && printerTexts.value(destination).isEmpty())
                    printerTexts[destination] = u"stopped"_s;
            } else if (cupsLastError() == IPP_STATUS_ERROR_NOT_FOUND ||
                       (response && ippGetStatusCode(response.get()) == IPP_STATUS_ERROR_NOT_FOUND)) {
                printersGone.insert(destination);
            }
        }
    }

    std::lock_guard lock(FMutex);
    bool& unreachable = FServerUnreachable[server];
    if (!answered && !unreachable) {
        unreachable = true;
        Post(Tr("cannot reach the print spooler at %s; following the jobs goes on when it answers", server));
    } else if (answered && unreachable) {
        unreachable = false;
        Post(Tr("the print spooler at %s answers again", server));
    }
    for (auto it = updates.cbegin(); it != updates.cend(); ++it) {
        TJobStatus& known = FJobs[it.key()];
        QString destination;
        SplitJobId(it.key(), &destination, &number);
        const bool ended = known.Ended();
        // The counts stay as last reported when a later answer leaves them out.
        const int impressions = it.value().Impressions < 0 ? known.Impressions : it.value().Impressions;
        const int sheets = it.value().Sheets < 0 ? known.Sheets : it.value().Sheets;
        known = it.value();
        known.Impressions = impressions;
        known.Sheets = sheets;
        known.QueueGone = printersGone.contains(destination);
        if (known.Ended() != ended)
            FHasNews = true;
    }
    for (auto it = printerTexts.cbegin(); it != printerTexts.cend(); ++it) {
        TPrinter& printer = FPrinters[it.key()];
        const bool stopped = !it.value().isEmpty();
        if (stopped && !printer.Stopped)
            Post(Tr("%s stopped: %s", it.key(), it.value()));
        else if (!stopped && printer.Stopped)
            Post(Tr("%s goes on", it.key()));
        printer.Stopped = stopped;
        printer.Known = true;
    }
}

void SettleRecord(const TJobFollower& follower, TReportRecord& record)
{
    TJobStatus worst;
    QString worstId;
    record.Pages = record.Sheets = -1;
    record.JobStateReasons.clear();
    bool allCompleted = true;
    for (const QString& id : std::as_const(record.JobIds)) {
        const TJobStatus status = follower.Status(id);
        for (const QString& reason : status.Reasons) {
            if (!record.JobStateReasons.contains(reason))
                record.JobStateReasons << reason;
        }
        if (status.Impressions >= 0)
            record.Pages = std::max(record.Pages, 0) + status.Impressions;
        if (status.Sheets >= 0)
            record.Sheets = std::max(record.Sheets, 0) + status.Sheets;
        if (status.Completed())
            continue;
        allCompleted = false;
        // An ended job that did not complete outweighs one still running.
        if (worstId.isEmpty() || (status.Ended() && !worst.Ended()))
            worst = status, worstId = id;
    }
    if (allCompleted) {
        record.Result = TRecordResult::Printed;
        record.JobState = JobStateName(IPP_JSTATE_COMPLETED);
        return;
    }
    record.JobState = worst.Gone ? u"unknown"_s : JobStateName(worst.State);
    const QString detail = worst.Message.isEmpty() ? worst.Reasons.join(u", "_s) : worst.Message;
    if (worst.Gone) {
        record.Result = TRecordResult::Failed;
        record.Reason = worst.QueueGone ? Tr("job %s is gone: the printer %s was deleted", worstId, record.Destination)
                                        : Tr("job %s is no longer known to the print spooler", worstId);
    } else if (worst.Ended()) {
        record.Result = TRecordResult::Failed;
        record.Reason =
            worst.State == IPP_JSTATE_CANCELED ? Tr("job %s was canceled", worstId) : Tr("job %s was aborted", worstId);
        if (worst.QueueGone)
            record.Reason += u": "_s + Tr("the printer %s was deleted", record.Destination);
        else if (!detail.isEmpty())
            record.Reason += u": "_s + detail;
    } else {
        record.Result = TRecordResult::Pending;
        record.Reason = Tr("job %s had not finished: %s", worstId,
                           record.JobState + (detail.isEmpty() ? QString() : u", "_s + detail));
    }
}
