#include "app/UnixSignals.h"

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <cerrno>
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

TEST(UnixSignals, TheHandlerLeavesErrnoAsItFoundIt)
{
    int received = 0;
    UnixSignalWatcher watcher([&received](int) { ++received; });
    // Enough signals to fill the queue, so that the handler's own write fails as well.
    for (int i = 0; i < 20000; ++i) {
        errno = EDOM;
        ASSERT_EQ(::raise(SIGHUP), 0);
        ASSERT_EQ(errno, EDOM) << "after signal " << i;
    }
    const QDeadlineTimer deadline(10000);
    while (received == 0 && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    EXPECT_GT(received, 0);
}

} // namespace
