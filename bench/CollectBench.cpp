// Builds the job list for a file field as the print run does and reports the
// time it took; bench/run.sh compares it with find on the same tree.

#include "printing/JobList.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR FILE-FIELD [ROUNDS]\n", argv[0]);
        return 1;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    const QString field = QString::fromLocal8Bit(argv[2]);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    qint64 best = -1;
    qsizetype found = 0;
    for (int i = 0; i < rounds; ++i) {
        QElapsedTimer timer;
        timer.start();
        found = BuildJobList(dir, field, true, {}).size();
        const qint64 ns = timer.nsecsElapsed();
        best = best < 0 ? ns : qMin(best, ns);
    }
    std::printf("%lld %lld\n", static_cast<long long>(best / 1000), static_cast<long long>(found));
    return 0;
}
