#pragma once

#include "printing/RunReport.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <mutex>
#include <thread>

// Follows the spooler's jobs that a run handed over ("DEST-N" as the print
// program names them) to their end: completed, aborted or canceled. A local
// queue is asked at the spooler of the environment (CUPS_SERVER), a printer
// URI at its own server. The asking runs on a thread of its own, so that it
// never holds up the next handover.

// What the spooler last said about a job.
struct TJobStatus
{
    int State = 0;          // IPP job-state: 3 pending ... 9 completed; 0: not known yet
    QStringList Reasons;    // job-state-reasons, without "none"
    QString Message;        // job-printer-state-message
    int Impressions = -1;   // job-impressions-completed; -1: not reported
    int Sheets = -1;        // job-media-sheets-completed; -1: not reported
    bool Gone = false;      // the spooler no longer knows the job (purged, its queue deleted)
    bool QueueGone = false; // the spooler no longer knows the job's printer

    bool Ended() const { return Gone || State >= 7; }
    bool Completed() const { return !Gone && State == 9; }
};

// The IPP keyword of a job state ("completed", "processing-stopped", ...).
QString JobStateName(int state);

// The destination and the number of a job id "DEST-N"; false when it has no number.
bool SplitJobId(const QString& jobId, QString* destination, int* number);

class TJobFollower
{
public:
    explicit TJobFollower(int pollMs = 500);
    ~TJobFollower();
    TJobFollower(const TJobFollower&) = delete;
    TJobFollower& operator=(const TJobFollower&) = delete;

    void Follow(const QStringList& jobIds);
    TJobStatus Status(const QString& jobId) const;
    int Count() const;
    int EndedCount() const;
    bool AllEnded() const { return EndedCount() == Count(); }
    // What to tell the user, each once: a printer that stopped (with the
    // spooler's message) and that goes on, a spooler that cannot be reached.
    QStringList TakeMessages();
    // Waits up to ms for news from the spooler; false when none came.
    bool WaitForNews(int ms);

private:
    struct TPrinter
    {
        bool Stopped = false;
        bool Known = false;
    };

    void Loop();
    void PollServer(const QString& server, const QStringList& ids);
    void Post(const QString& message);

    const int FPollMs;
    mutable std::mutex FMutex;
    std::condition_variable FWake;
    std::condition_variable FNews;
    bool FQuit = false;
    bool FHasNews = false;
    QStringList FOrder; // job ids in the order they were handed over
    QHash<QString, TJobStatus> FJobs;
    QHash<QString, TPrinter> FPrinters;      // by destination
    QHash<QString, bool> FServerUnreachable; // by server, told once per outage
    QStringList FMessages;
    std::thread FThread;
};

// The record of a file handed over with record.JobIds, as its jobs stand at
// the follower: printed when every job completed, failed (with the reason)
// when one was aborted or canceled or is gone, else pending; with the state,
// the state reasons and the pages and sheets the printer counted.
void SettleRecord(const TJobFollower& follower, TReportRecord& record);
