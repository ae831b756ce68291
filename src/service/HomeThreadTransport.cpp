#include "HomeThreadTransport.h"

#include <QMetaObject>
#include <QThread>

HomeThreadTransport::HomeThreadTransport(std::shared_ptr<HidTransport> inner) : m_inner(std::move(inner))
{
    connect(m_inner.get(), &HidTransport::deviceArrived, this, &HidTransport::deviceArrived);
    connect(m_inner.get(), &HidTransport::deviceRemoved, this, &HidTransport::deviceRemoved);
}

std::vector<HidDeviceInfo> HomeThreadTransport::enumerate()
{
    if (QThread::currentThread() == m_inner->thread())
        return m_inner->enumerate();
    std::vector<HidDeviceInfo> found;
    QMetaObject::invokeMethod(
        m_inner.get(), [&] { found = m_inner->enumerate(); }, Qt::BlockingQueuedConnection);
    return found;
}

std::unique_ptr<HidConnection> HomeThreadTransport::open(const QString &path, QString *error)
{
    if (QThread::currentThread() == m_inner->thread())
        return m_inner->open(path, error);
    std::unique_ptr<HidConnection> connection;
    QString why;
    QMetaObject::invokeMethod(
        m_inner.get(), [&] { connection = m_inner->open(path, &why); }, Qt::BlockingQueuedConnection);
    if (error)
        *error = why;
    return connection;
}
