#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>
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

    // `scope`: the notices taken (see ChangeNotice); empty for real thermostats.
    ChangeNoticeListener(Fleet &fleet, QString scope, Notice notice, QObject *parent = nullptr);
    ~ChangeNoticeListener() override;

private:
    void take();

    Fleet &m_fleet;
    const QString m_scope;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
