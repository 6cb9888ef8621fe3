// Runs a program that ends at once through the process runner, many times,
// and reports the microseconds per run.

#include "printing/ExecProcess.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 1000;
    const QString cmd = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("/bin/true");
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < runs; ++i) {
        if (ExecuteProcessSimple(cmd, QString(), nullptr, 850) != 0) {
            std::fprintf(stderr, "run %d failed\n", i);
            return 1;
        }
    }
    std::printf("%.1f\n", static_cast<double>(timer.nsecsElapsed()) / 1000.0 / runs);
    return 0;
}
