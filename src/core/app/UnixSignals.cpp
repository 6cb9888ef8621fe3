#include "app/UnixSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_signalFds[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void SignalHandler(int signal)
{
    // The interrupted code may be about to read errno; a failed write must not change it.
    const int savedErrno = errno;
    g_received = signal;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // Unchecked on purpose: a full pipe already wakes its reader.
    [[maybe_unused]] const ssize_t n = ::write(g_signalFds[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

namespace StopSignals {

void Install()
{
    if (g_signalFds[0] < 0 && ::pipe2(g_signalFds, O_CLOEXEC | O_NONBLOCK) != 0)
        g_signalFds[0] = g_signalFds[1] = -1;
    struct sigaction action = {};
    action.sa_handler = SignalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

int ReadFd()
{
    return g_signalFds[0];
}

const volatile sig_atomic_t* Received()
{
    return &g_received;
}

void Restore()
{
    for (const int signal : kSignals)
        ::signal(signal, SIG_DFL);
}

} // namespace StopSignals

UnixSignalWatcher::UnixSignalWatcher(std::function<void(int)> onSignal, QObject* parent)
    : QObject(parent), m_onSignal(std::move(onSignal))
{
    StopSignals::Install();
    if (StopSignals::ReadFd() < 0)
        return;
    auto* notifier = new QSocketNotifier(StopSignals::ReadFd(), QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, &UnixSignalWatcher::readSignal);
}

UnixSignalWatcher::~UnixSignalWatcher()
{
    StopSignals::Restore();
}

void UnixSignalWatcher::readSignal()
{
    unsigned char byte = 0;
    if (::read(StopSignals::ReadFd(), &byte, 1) == 1 && m_onSignal)
        m_onSignal(byte);
}
