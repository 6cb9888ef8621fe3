#pragma once

#include <QObject>

#include <csignal>
#include <functional>

// The one self-pipe for SIGTERM, SIGINT and SIGHUP, for the window and the
// command line alike: the handler only stores the signal's number and writes
// it to a pipe, so that nothing but async-signal-safe code runs inside it.
namespace StopSignals {
// Installs the handler (once; later calls keep the first pipe).
void Install();
// Readable once a signal came (a byte per signal: its number); -1 when the
// pipe could not be made, and then only Received() tells.
int ReadFd();
// The last signal that came; 0 while none did.
const volatile sig_atomic_t* Received();
// Default handling again; the pipe stays for a later Install().
void Restore();
} // namespace StopSignals

// Routes the stop signals into the event loop: `onSignal` runs later in the
// Qt thread, so a desktop session that ends the program still gets a normal
// close.
class UnixSignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit UnixSignalWatcher(std::function<void(int)> onSignal, QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

private:
    void readSignal();

    std::function<void(int)> m_onSignal;
};
