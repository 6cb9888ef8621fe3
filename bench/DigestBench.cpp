// Takes the content digest the hot folder keeps of each printed file, for
// every file named, and reports the time it took (warm file cache: the
// files are read once before the timed pass).

#include "watch/WatchState.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE...\n", argv[0]);
        return 1;
    }
    for (int pass = 0; pass < 2; ++pass) {
        QElapsedTimer timer;
        timer.start();
        qint64 failed = 0;
        for (int i = 1; i < argc; ++i)
            failed += ContentDigest(QString::fromLocal8Bit(argv[i])).isEmpty() ? 1 : 0;
        if (pass == 1)
            std::printf("%lld %lld\n", static_cast<long long>(timer.nsecsElapsed() / 1000000),
                        static_cast<long long>(failed));
    }
    return 0;
}
