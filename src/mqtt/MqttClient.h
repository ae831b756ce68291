#pragma once

#include <QByteArray>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <memory>

class QSocketNotifier;
struct mosquitto;
struct mosquitto_message;
struct MqttSession;

// A connection to an MQTT broker over libmosquitto, driven by the Qt event
// loop: socket notifiers for reading and writing, a timer for the library's
// housekeeping. Only the start of each connection attempt runs on a short
// thread of its own, since the library looks the broker's name up with a
// blocking call there; the name itself is what the library connects to, so
// TLS still checks the certificate against it. It keeps trying: a lost broker is
// retried after 1 s, doubling to 30 s; a refused login or a failed
// certificate check is retried at the slow pace. Each problem is said once
// through `problem` until a connection succeeds again.
//
// MQTT 5, for the retain flag of live messages ("retain as published");
// 3.1.1 with a broker that speaks nothing newer.
class MqttClient : public QObject
{
    Q_OBJECT
public:
    struct Settings
    {
        QString host;
        int port = 1883;
        bool tls = false;
        QString caFile; // empty: the system's certificate authorities
        QString user;   // empty: no login
        QString password;
        QString clientId;
        QString willTopic; // empty: no will
        QByteArray willPayload;
        int keepAliveSeconds = 30;
    };

    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 30000;

    explicit MqttClient(const Settings &settings, QObject *parent = nullptr);
    ~MqttClient() override;

    // Starts connecting; false with a reason when the settings cannot work
    // at all (a CA file that cannot be read, say).
    bool start(QString *error);

    bool isConnected() const { return m_connected; }

    // Retained messages are the will's counterpart; QoS 1 throughout. False
    // while not connected: what is published on a connection is re-sent by
    // the owner on the next one.
    bool publish(const QString &topic, const QByteArray &payload, bool retain);

    // A filter is subscribed to with "retain as published", so that a
    // message stored by the broker can be told from a live one.
    void subscribe(const QString &filter);

    // Says the bridge is going (a retained message, when given), then leaves
    // the broker in order, so that the will is not published.
    void stop(const QString &lastTopic = {}, const QByteArray &lastPayload = {});

    // The delay before the next attempt after a lost connection.
    int nextRetryMs() const { return m_retryMs; }

signals:
    void connected();
    void disconnected();
    void messageReceived(const QString &topic, const QByteArray &payload, bool retained);
    void problem(const QString &line);

private:
    friend struct MqttCallbacks; // libmosquitto's C callbacks

    void brokerAnswered(int reasonCode);
    void brokerMessage(const mosquitto_message *message);
    void attempt();
    void attempted(bool first, int rc, int err);
    void watchSocket();
    void dropSocket();
    void afterIo(int rc);
    void failed(int rc, const QString &how, int err = 0);
    void lost(bool slow);
    void readable();
    void writable();
    void housekeeping();
    void updateWriteInterest();
    void tell(const QString &line);

    Settings m_settings;
    std::shared_ptr<MqttSession> m_session; // shared with an attempt under way
    mosquitto *m_mosq = nullptr;            // the session's, for short
    std::unique_ptr<QSocketNotifier> m_read;
    std::unique_ptr<QSocketNotifier> m_write;
    QTimer m_misc;
    QTimer m_retry;
    int m_retryMs = kFirstRetryMs;
    bool m_connected = false;
    bool m_started = false;
    bool m_slowNext = false;   // the broker refused us: wait the longest
    bool m_v5 = true;          // until a broker says it speaks 3.1.1 only
    bool m_attempting = false; // an attempt's thread is under way
    bool m_stopped = false;
    QSet<QString> m_said; // problems said since the last connection
};
