#include "app/UnixSignals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <csignal>

#include <gtest/gtest.h>

namespace {

TEST(UnixSignals, TerminationSignalsArriveInTheEventLoop)
{
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        int received = 0;
        UnixSignalWatcher watcher([&received](int s) { received = s; });
        ASSERT_EQ(::raise(sig), 0);
        // The handler itself does nothing but queue the signal.
        EXPECT_EQ(received, 0);
        const QDeadlineTimer deadline(10000);
        while (received == 0 && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        EXPECT_EQ(received, sig);
    }
}

} // namespace
