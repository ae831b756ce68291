#include "ThermostatWorker.h"

#include <QMetaObject>
#include <QThread>

void WorkerMailbox::post(std::function<void()> task)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_listener)
        QMetaObject::invokeMethod(m_listener, std::move(task), Qt::QueuedConnection);
}

void WorkerMailbox::close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_listener = nullptr;
}

ThermostatWorker::ThermostatWorker(QString id, std::shared_ptr<HidTransport> transport,
                                   std::int64_t intervalMs, std::shared_ptr<WorkerMailbox> mailbox,
                                   Listener listener)
    : m_id(std::move(id)), m_transport(std::move(transport)), m_intervalMs(intervalMs),
      m_mailbox(std::move(mailbox)), m_listener(std::move(listener))
{
}

ThermostatWorker::~ThermostatWorker() = default;

std::unique_ptr<QThread> ThermostatWorker::startThread(ThermostatWorker *worker, const QString &id)
{
    auto thread = std::make_unique<QThread>();
    thread->setObjectName(QStringLiteral("thermostat %1").arg(id).left(15));
    worker->moveToThread(thread.get());
    thread->start();
    return thread;
}

void ThermostatWorker::ensureLink()
{
    if (m_link)
        return;
    m_link = std::make_unique<ThermostatLink>(m_transport);
    connect(m_link.get(), &ThermostatLink::lost, this,
            [this](const QString &path) { m_mailbox->post([l = m_listener.lost, path] { l(path); }); });
    connect(m_link.get(), &ThermostatLink::back, this, [this](const QString &path) {
        m_mailbox->post([l = m_listener.back, path] { l(path); });
        read();
    });
    m_timer = std::make_unique<QTimer>();
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(static_cast<int>(m_intervalMs));
    connect(m_timer.get(), &QTimer::timeout, this, &ThermostatWorker::read);
}

void ThermostatWorker::askOpen()
{
    QMetaObject::invokeMethod(this, &ThermostatWorker::open, Qt::QueuedConnection);
}

void ThermostatWorker::askRead()
{
    QMetaObject::invokeMethod(this, &ThermostatWorker::read, Qt::QueuedConnection);
}

void ThermostatWorker::askConfigure(const SetCommand::Values &values,
                                    std::function<void(const ConfigureResult &)> done)
{
    QMetaObject::invokeMethod(
        this,
        [this, values, done = std::move(done)] {
            ConfigureResult result;
            if (!m_link || !m_link->isOpen()) {
                result.reason = QStringLiteral("%1 is not connected").arg(m_id);
            } else {
                const ThermostatLink::Failure failure =
                    SetCommand::apply(*m_link, values, true, &result.plan, &result.written);
                result.ok = !failure;
                result.reason = failure.message;
            }
            m_mailbox->post([done, result] { done(result); });
        },
        Qt::QueuedConnection);
}

void ThermostatWorker::askShutdown()
{
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_timer.reset();
            m_link.reset(); // closes the node on the thread that opened it
            QThread::currentThread()->quit();
        },
        Qt::QueuedConnection);
}

void ThermostatWorker::open()
{
    ensureLink();
    OpenResult result;
    if (m_link->isOpen()) { // it followed the thermostat back by itself
        result.path = m_link->device();
        m_mailbox->post([l = m_listener.opened, result] { l(result); });
        return;
    }
    result.failure = m_link->open(m_id);
    result.path = m_link->device();
    const bool opened = !result.failure;
    m_mailbox->post([l = m_listener.opened, result] { l(result); });
    if (opened) {
        read();
        m_timer->start();
    }
}

void ThermostatWorker::read()
{
    ReadResult result;
    if (m_link && m_link->isOpen()) {
        result.attempted = true;
        ThermostatLink::Failure failure;
        result.reading = m_link->read(&failure);
        result.failure = failure.message;
    }
    result.path = m_link ? m_link->device() : QString();
    m_mailbox->post([l = m_listener.read, result = std::move(result)] { l(result); });
}
