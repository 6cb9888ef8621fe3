// The memory of a long print run: builds the job list for a file field as the
// print run does, then hands every file (or the first LIMIT) to PROGRAM the
// way the print run does, and reports the peak resident memory after each step.

#include "printing/ExecProcess.h"
#include "printing/JobList.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

namespace {

long PeakKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s DIR FILE-FIELD PROGRAM [LIMIT]\n", argv[0]);
        return 1;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString field = QString::fromLocal8Bit(argv[2]);
    const QString program = QString::fromLocal8Bit(argv[3]);
    const long startKiB = PeakKiB();
    const QStringList jobs = BuildJobList(dir, field, true, {});
    const long listKiB = PeakKiB();
    const qsizetype limit = argc > 4 ? std::atol(argv[4]) : jobs.size();
    qsizetype calls = 0;
    for (const QString& file : jobs) {
        if (calls == limit)
            break;
        if (ExecuteProcessSimple(PrintCommandLine(program, QStringLiteral("PDF"), file), dir, nullptr, 850) != 0) {
            std::fprintf(stderr, "call %lld failed\n", static_cast<long long>(calls));
            return 1;
        }
        ++calls;
    }
    std::printf("files %lld calls %lld peak_kib_start %ld peak_kib_list %ld peak_kib_end %ld\n",
                static_cast<long long>(jobs.size()), static_cast<long long>(calls), startKiB, listKiB, PeakKiB());
    return 0;
}
