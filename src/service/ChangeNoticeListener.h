#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class Fleet;

// Takes the notices of `calidorctl set` (see ChangeNotice) on the abstract
// socket of this process and tells the fleet, on the Qt loop. A service
// that cannot listen goes on without: its history then names such changes
// `thermostat`.
class ChangeNoticeListener : public QObject
{
    Q_OBJECT
public:
    using Notice = std::function<void(const QString &line)>;

    ChangeNoticeListener(Fleet &fleet, Notice notice, QObject *parent = nullptr);
    ~ChangeNoticeListener() override;

private:
    void take();

    Fleet &m_fleet;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
