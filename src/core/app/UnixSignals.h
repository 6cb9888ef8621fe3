#pragma once

#include <QObject>

#include <functional>

// Routes SIGTERM, SIGINT and SIGHUP into the event loop: the handler only
// writes to a socket pair, and `onSignal` runs later in the Qt thread, so a
// desktop session that ends the program still gets a normal close.
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
