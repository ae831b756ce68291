#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM (and SIGHUP, for a program that reads its
// configuration again) into Qt signals on the event loop. The handler
// only writes a byte to a pipe (async-signal-safe); the loop reads it and
// the program ends between two rows, never inside one.
class SignalWatcher : public QObject
{
    Q_OBJECT
public:
    explicit SignalWatcher(QObject *parent = nullptr);
    ~SignalWatcher() override;

signals:
    void stopRequested(int signalNumber);
    void reloadRequested(); // SIGHUP, once watchHangup() was called

public:
    // SIGHUP then asks for a reload rather than ending the program.
    void watchHangup();

private:
    void readPipe();

    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_hangup = false;
};
