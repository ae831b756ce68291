#include "MqttClient.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <mutex>
#include <thread>

namespace {

constexpr int kQos = 1;
constexpr int kHousekeepingMs = 1000;
// While TLS shakes hands the library wants to write before it can: the
// write notifier is then paused this long instead of firing in a loop.
constexpr int kHandshakePauseMs = 10;
const char *const kSystemCaPath = "/etc/ssl/certs";

struct LibraryUse
{
    LibraryUse() { mosquitto_lib_init(); }
    ~LibraryUse() { mosquitto_lib_cleanup(); }
};

void useLibrary()
{
    static LibraryUse use;
}

} // namespace

// The library's client and what its callbacks reach. An attempt's thread
// holds it too, so a client that goes while its name is still being looked
// up leaves the library's object to that thread, which destroys it last.
struct MqttSession
{
    mosquitto *mosq = nullptr;
    MqttClient *owner = nullptr; // main thread only: the loop functions run there

    // The way back from an attempt's thread: cleared, under the lock, by a
    // client that goes, so nothing is posted to it afterwards.
    std::mutex postMutex;
    QObject *receiver = nullptr;

    // The log callback may run on an attempt's thread: it writes only here.
    std::mutex logMutex;
    QString tlsError; // what the TLS layer logged during this attempt

    ~MqttSession()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }
};

// Called by libmosquitto: connect and message from inside the loop
// functions, on the main thread; log from anywhere.
struct MqttCallbacks
{
    static void connect(mosquitto *, void *session, int rc, int, const mosquitto_property *)
    {
        if (MqttClient *self = static_cast<MqttSession *>(session)->owner)
            self->brokerAnswered(rc);
    }
    static void message(mosquitto *, void *session, const mosquitto_message *m, const mosquitto_property *)
    {
        if (MqttClient *self = static_cast<MqttSession *>(session)->owner)
            self->brokerMessage(m);
    }
    static void log(mosquitto *, void *session, int level, const char *text)
    {
        // Certificate trouble only shows in the library's log.
        if (level != MOSQ_LOG_ERR || !std::strstr(text, "OpenSSL Error"))
            return;
        const char *reason = std::strrchr(text, ':');
        auto *s = static_cast<MqttSession *>(session);
        std::lock_guard<std::mutex> lock(s->logMutex);
        s->tlsError = QString::fromUtf8(reason ? reason + 1 : text).trimmed();
    }
};

MqttClient::MqttClient(const Settings &settings, QObject *parent) : QObject(parent), m_settings(settings)
{
    m_misc.setInterval(kHousekeepingMs);
    connect(&m_misc, &QTimer::timeout, this, &MqttClient::housekeeping);
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &MqttClient::attempt);
}

MqttClient::~MqttClient()
{
    dropSocket();
    if (m_session) {
        m_session->owner = nullptr;
        std::lock_guard<std::mutex> lock(m_session->postMutex);
        m_session->receiver = nullptr;
    }
}

bool MqttClient::start(QString *error)
{
    useLibrary();
    if (!m_settings.caFile.isEmpty() && !QFileInfo(m_settings.caFile).isReadable()) {
        *error = QStringLiteral("cannot read the certificate authority file %1").arg(m_settings.caFile);
        return false;
    }
    const QByteArray id = m_settings.clientId.toUtf8();
    m_session = std::make_shared<MqttSession>();
    m_session->owner = this;
    m_session->receiver = this;
    m_mosq = m_session->mosq = mosquitto_new(id.constData(), true, m_session.get());
    if (!m_mosq) {
        *error =
            QStringLiteral("cannot create an MQTT client: %1").arg(QString::fromLocal8Bit(strerror(errno)));
        return false;
    }
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
    mosquitto_connect_v5_callback_set(m_mosq, &MqttCallbacks::connect);
    mosquitto_message_v5_callback_set(m_mosq, &MqttCallbacks::message);
    mosquitto_log_callback_set(m_mosq, &MqttCallbacks::log);

    const auto failed = [error](const char *what, int rc) {
        *error = QStringLiteral("%1: %2").arg(QLatin1String(what), QString::fromUtf8(mosquitto_strerror(rc)));
        return false;
    };
    if (!m_settings.willTopic.isEmpty()) {
        const QByteArray topic = m_settings.willTopic.toUtf8();
        const int rc = mosquitto_will_set(m_mosq, topic.constData(), int(m_settings.willPayload.size()),
                                          m_settings.willPayload.constData(), kQos, true);
        if (rc != MOSQ_ERR_SUCCESS)
            return failed("cannot set the MQTT will", rc);
    }
    if (!m_settings.user.isEmpty()) {
        const QByteArray user = m_settings.user.toUtf8();
        const QByteArray password = m_settings.password.toUtf8();
        const int rc = mosquitto_username_pw_set(
            m_mosq, user.constData(), m_settings.password.isEmpty() ? nullptr : password.constData());
        if (rc != MOSQ_ERR_SUCCESS)
            return failed("cannot set the MQTT login", rc);
    }
    if (m_settings.tls) {
        const QByteArray ca = QFile::encodeName(m_settings.caFile);
        // The server's certificate and its host name are both checked
        // (libmosquitto checks the name unless told it is insecure).
        int rc = mosquitto_tls_set(m_mosq, ca.isEmpty() ? nullptr : ca.constData(),
                                   ca.isEmpty() ? kSystemCaPath : nullptr, nullptr, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_opts_set(m_mosq, 1, nullptr, nullptr);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_insecure_set(m_mosq, false);
        if (rc != MOSQ_ERR_SUCCESS)
            return failed("cannot set up TLS", rc);
    }
    m_started = false;
    attempt();
    return true;
}

void MqttClient::attempt()
{
    if (m_attempting || m_stopped)
        return;
    {
        std::lock_guard<std::mutex> lock(m_session->logMutex);
        m_session->tlsError.clear();
    }
    m_slowNext = false;
    m_attempting = true;
    // Nothing on this thread touches the library's object until the attempt
    // is back: no socket is watched, nothing is published while not connected.
    const bool first = !m_started;
    const QByteArray host = m_settings.host.toUtf8();
    const int port = m_settings.port;
    const int keepAlive = m_settings.keepAliveSeconds;
    std::thread([session = m_session, first, host, port, keepAlive] {
        const int rc = first ? mosquitto_connect_async(session->mosq, host.constData(), port, keepAlive)
                             : mosquitto_reconnect_async(session->mosq);
        const int err = errno;
        std::lock_guard<std::mutex> lock(session->postMutex);
        if (QObject *receiver = session->receiver)
            QMetaObject::invokeMethod(
                receiver,
                [receiver, first, rc, err] {
                    static_cast<MqttClient *>(receiver)->attempted(first, rc, err);
                },
                Qt::QueuedConnection);
    }).detach();
}

void MqttClient::attempted(bool first, int rc, int err)
{
    m_attempting = false;
    if (first)
        m_started = rc == MOSQ_ERR_SUCCESS;
    if (m_stopped)
        return;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(m_mosq) < 0) {
        failed(rc, QStringLiteral("cannot reach"), err);
        return;
    }
    watchSocket();
    m_misc.start();
}

void MqttClient::watchSocket()
{
    dropSocket();
    const int fd = mosquitto_socket(m_mosq);
    m_read = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(m_read.get(), &QSocketNotifier::activated, this, &MqttClient::readable);
    m_write = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(m_write.get(), &QSocketNotifier::activated, this, &MqttClient::writable);
    updateWriteInterest();
}

void MqttClient::dropSocket()
{
    m_read.reset();
    m_write.reset();
}

void MqttClient::updateWriteInterest()
{
    if (m_write)
        m_write->setEnabled(m_mosq && mosquitto_want_write(m_mosq));
}

void MqttClient::readable()
{
    afterIo(mosquitto_loop_read(m_mosq, 1));
}

void MqttClient::writable()
{
    if (!m_connected && m_settings.tls) {
        // The handshake moves on in the read path; pause a little rather
        // than spin while the library waits for the server's answer.
        afterIo(mosquitto_loop_read(m_mosq, 1));
        if (!m_write)
            return;
        afterIo(mosquitto_loop_write(m_mosq, 1));
        if (m_write && m_write->isEnabled()) {
            m_write->setEnabled(false);
            QTimer::singleShot(kHandshakePauseMs, this, [this] { updateWriteInterest(); });
        }
        return;
    }
    afterIo(mosquitto_loop_write(m_mosq, 1));
}

void MqttClient::housekeeping()
{
    afterIo(mosquitto_loop_misc(m_mosq));
}

void MqttClient::afterIo(int rc)
{
    if (!m_read)
        return; // already given up on this connection
    if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(m_mosq) >= 0) {
        updateWriteInterest();
        return;
    }
    failed(rc, QStringLiteral("lost"));
}

void MqttClient::failed(int rc, const QString &how, int err)
{
    const int errorNumber = err ? err : errno;
    bool slow = m_slowNext;
    const QString where = QStringLiteral("%1:%2").arg(m_settings.host).arg(m_settings.port);
    QString tlsError;
    {
        std::lock_guard<std::mutex> lock(m_session->logMutex);
        tlsError = m_session->tlsError;
    }
    if (rc == MOSQ_ERR_TLS || !tlsError.isEmpty()) {
        tell(QStringLiteral(
                 "TLS with the MQTT broker at %1 failed (%2); check --mqtt-ca and that the broker's "
                 "certificate names %3")
                 .arg(where, tlsError.isEmpty() ? QStringLiteral("handshake refused") : tlsError,
                      m_settings.host));
        slow = true;
    } else if (!m_slowNext) {
        const QString why = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(strerror(errorNumber))
                                                 : QString::fromUtf8(mosquitto_strerror(rc));
        tell(QStringLiteral("%1 the MQTT broker at %2 (%3); trying again").arg(how, where, why));
    }
    lost(slow);
}

void MqttClient::lost(bool slow)
{
    dropSocket();
    m_misc.stop();
    const bool was = m_connected;
    m_connected = false;
    if (was)
        emit disconnected();
    if (m_retry.isActive())
        return;
    const int delay = slow ? kLastRetryMs : m_retryMs;
    m_retryMs = slow ? kLastRetryMs : std::min(m_retryMs * 2, kLastRetryMs);
    m_retry.start(delay);
}

void MqttClient::brokerAnswered(int reasonCode)
{
    if (m_v5 && (reasonCode == MQTT_RC_UNSUPPORTED_PROTOCOL_VERSION ||
                 reasonCode == CONNACK_REFUSED_PROTOCOL_VERSION)) {
        // An MQTT 3.1.1 broker: it clears the retain flag of live messages,
        // so only stored ones can be told apart; that is what matters.
        tell(QStringLiteral("the MQTT broker at %1:%2 speaks MQTT 3.1.1 only; using that")
                 .arg(m_settings.host)
                 .arg(m_settings.port));
        m_v5 = false;
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        m_retryMs = kFirstRetryMs;
        return;
    }
    if (reasonCode != 0) {
        // Said once; the broker closes the connection and we come back at
        // the slow pace, as a person has to fix the login first.
        tell(QStringLiteral("the MQTT broker at %1:%2 refused the connection: %3 (check the user in --mqtt "
                            "and the password)")
                 .arg(m_settings.host)
                 .arg(m_settings.port)
                 .arg(QString::fromUtf8(mosquitto_reason_string(reasonCode))));
        m_slowNext = true;
        return;
    }
    m_connected = true;
    m_retryMs = kFirstRetryMs;
    m_said.clear();
    // Outside the library's callback, so that what the owner publishes is
    // written at once rather than queued.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (m_connected)
                emit connected();
        },
        Qt::QueuedConnection);
}

void MqttClient::brokerMessage(const mosquitto_message *m)
{
    const QString topic = QString::fromUtf8(m->topic);
    const QByteArray payload(static_cast<const char *>(m->payload), m->payloadlen);
    const bool retained = m->retain;
    QMetaObject::invokeMethod(
        this, [this, topic, payload, retained] { emit messageReceived(topic, payload, retained); },
        Qt::QueuedConnection);
}

bool MqttClient::publish(const QString &topic, const QByteArray &payload, bool retain)
{
    if (!m_connected)
        return false;
    const QByteArray t = topic.toUtf8();
    const int rc = mosquitto_publish(m_mosq, nullptr, t.constData(), int(payload.size()), payload.constData(),
                                     kQos, retain);
    updateWriteInterest();
    return rc == MOSQ_ERR_SUCCESS;
}

void MqttClient::subscribe(const QString &filter)
{
    if (!m_connected)
        return;
    const QByteArray f = filter.toUtf8();
    if (m_v5)
        mosquitto_subscribe_v5(m_mosq, nullptr, f.constData(), kQos, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED,
                               nullptr);
    else
        mosquitto_subscribe(m_mosq, nullptr, f.constData(), kQos);
    updateWriteInterest();
}

void MqttClient::stop(const QString &lastTopic, const QByteArray &lastPayload)
{
    m_stopped = true;
    m_retry.stop();
    m_misc.stop();
    if (m_connected) {
        if (!lastTopic.isEmpty())
            publish(lastTopic, lastPayload, true);
        mosquitto_disconnect(m_mosq);
        // Whatever the socket did not take yet goes now; bounded by the
        // library's own checks, as the socket is non-blocking.
        for (int i = 0; i < 10 && mosquitto_want_write(m_mosq); ++i)
            if (mosquitto_loop_write(m_mosq, 1) != MOSQ_ERR_SUCCESS)
                break;
    }
    m_connected = false;
    dropSocket();
}

void MqttClient::tell(const QString &line)
{
    if (m_said.contains(line))
        return;
    m_said.insert(line);
    emit problem(line);
}
