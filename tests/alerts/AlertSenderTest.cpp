#include "AlertSender.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

// Python's http.server on 127.0.0.1, recording what it is sent.
class Receiver
{
public:
    explicit Receiver(QString record) : m_record(std::move(record)) {}
    ~Receiver() { stop(); }

    bool start(int port = 0)
    {
        m_process.setProgram(QStringLiteral(CALIDOR_PYTHON));
        m_process.setArguments({QStringLiteral(CALIDOR_RECEIVER), QString::number(port), m_record});
        m_process.start();
        if (!m_process.waitForStarted(5000) || !m_process.waitForReadyRead(10000))
            return false;
        m_port = m_process.readLine().trimmed().toInt();
        return m_port > 0;
    }
    void stop()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }
    int port() const { return m_port; }
    std::vector<QJsonObject> requests() const
    {
        std::vector<QJsonObject> out;
        QFile file(m_record);
        if (file.open(QIODevice::ReadOnly))
            while (!file.atEnd())
                out.push_back(QJsonDocument::fromJson(file.readLine()).object());
        return out;
    }

private:
    QString m_record;
    QProcess m_process;
    int m_port = 0;
};

// A sendmail that appends its arguments and its message to files, and
// fails (EX_TEMPFAIL) while a file named "down" exists beside it.
QString standInSendmail(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("sendmail"));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(QStringLiteral("#!/bin/sh\n"
                              "d='%1'\n"
                              "[ -e \"$d/down\" ] && exit 75\n"
                              "echo \"$*\" >> \"$d/args\"\n"
                              "cat >> \"$d/mail\"\n"
                              "echo '--END--' >> \"$d/mail\"\n")
                   .arg(dir.path())
                   .toUtf8());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return path;
}

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

template <typename Predicate> bool waitFor(Predicate done, int ms = 10000)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

struct Fixture
{
    QTemporaryDir dir;
    Receiver receiver{dir.filePath(QStringLiteral("requests"))};
    std::mutex mutex;
    QStringList reports;

    std::vector<AlertChannel> channels(int port)
    {
        AlertChannel ntfy;
        ntfy.type = AlertChannel::Type::Ntfy;
        ntfy.name = QStringLiteral("ntfy");
        ntfy.url = QStringLiteral("http://127.0.0.1:%1/cellar").arg(port);
        ntfy.token = "s3cret";
        AlertChannel hook;
        hook.type = AlertChannel::Type::Webhook;
        hook.name = QStringLiteral("webhook");
        hook.url = QStringLiteral("http://127.0.0.1:%1/hook").arg(port);
        AlertChannel mail;
        mail.type = AlertChannel::Type::Mail;
        mail.name = QStringLiteral("email");
        mail.to = {QStringLiteral("owner@example.org")};
        mail.from = QStringLiteral("calidor@cellar.lan");
        mail.sendmail = standInSendmail(dir);
        return {ntfy, hook, mail};
    }
    AlertSender::Report report()
    {
        return [this](const QString &line) {
            const std::lock_guard lock(mutex);
            reports.append(line);
        };
    }
    int reportsWith(const QString &text)
    {
        const std::lock_guard lock(mutex);
        return static_cast<int>(reports.filter(text).size());
    }
};

Incidents::Notice outOfBand(const QString &id)
{
    const QDateTime at = QDateTime::fromString(QStringLiteral("2026-12-01T10:00:00Z"), Qt::ISODate);
    return {id,
            Incidents::Kind::OutOfBand,
            Incidents::Phase::Begin,
            at,
            at,
            QStringLiteral("25 °C, band 16 .. 22 °C")};
}

bool allDelivered(const AlertSender &sender, std::uint64_t count)
{
    for (const auto &status : sender.status())
        if (status.delivered != count)
            return false;
    return true;
}

TEST(AlertSender, deliversEachAlertOnceToEveryChannel)
{
    if (!QFileInfo::exists(QStringLiteral(CALIDOR_PYTHON)))
        GTEST_SKIP() << CALIDOR_PYTHON << " is missing";
    Fixture f;
    ASSERT_TRUE(f.receiver.start());
    {
        AlertSender sender(f.channels(f.receiver.port()), f.report());
        // The id comes from a USB device: it must not smuggle a header in.
        sender.send(AlertMessage::fromNotice(outOfBand(QStringLiteral("T1\r\nX-Evil: 1"))));
        sender.send(AlertMessage::test(QDateTime::currentDateTimeUtc(), QStringLiteral("cellar")));
        ASSERT_TRUE(waitFor([&] { return allDelivered(sender, 2); }));
    }
    const auto requests = f.receiver.requests();
    ASSERT_EQ(requests.size(), 4u);
    int ntfy = 0, hook = 0;
    for (const QJsonObject &request : requests) {
        const QJsonObject headers = request.value(QLatin1String("headers")).toObject();
        EXPECT_FALSE(request.value(QLatin1String("header_names"))
                         .toVariant()
                         .toStringList()
                         .contains(QStringLiteral("X-Evil")));
        if (request.value(QLatin1String("path")).toString() == QLatin1String("/cellar")) {
            EXPECT_EQ(headers.value(QLatin1String("Authorization")).toString(),
                      QStringLiteral("Bearer s3cret"));
            if (ntfy++ == 0) {
                EXPECT_EQ(headers.value(QLatin1String("Title")).toString(),
                          QStringLiteral("T1  X-Evil: 1: temperature out of band"));
                EXPECT_EQ(headers.value(QLatin1String("Priority")).toString(), QStringLiteral("4"));
                EXPECT_EQ(headers.value(QLatin1String("Tags")).toString(), QStringLiteral("thermometer"));
                EXPECT_TRUE(request.value(QLatin1String("body"))
                                .toString()
                                .startsWith(QStringLiteral("25 °C, band")));
            }
        } else {
            EXPECT_EQ(request.value(QLatin1String("path")).toString(), QStringLiteral("/hook"));
            EXPECT_FALSE(headers.contains(QLatin1String("Authorization")));
            const QJsonObject body =
                QJsonDocument::fromJson(request.value(QLatin1String("body")).toString().toUtf8()).object();
            EXPECT_EQ(body.value(QLatin1String("kind")).toString(),
                      hook++ == 0 ? QStringLiteral("out-of-band") : QStringLiteral("test"));
            EXPECT_EQ(body.value(QLatin1String("phase")).toString(), QStringLiteral("begin"));
        }
    }
    EXPECT_EQ(ntfy, 2);
    EXPECT_EQ(hook, 2);
    EXPECT_EQ(readAll(f.dir.filePath(QStringLiteral("args"))), QStringLiteral("-t -oi\n-t -oi\n"));
    const QString mail = readAll(f.dir.filePath(QStringLiteral("mail")));
    EXPECT_EQ(mail.count(QStringLiteral("--END--")), 2);
    EXPECT_EQ(mail.count(QStringLiteral("\r\nTo: owner@example.org\r\n")), 2);
    EXPECT_TRUE(mail.contains(QStringLiteral("\r\nSubject: T1  X-Evil: 1: temperature out of band\r\n")));
    EXPECT_FALSE(mail.contains(QStringLiteral("\nX-Evil")));
    EXPECT_EQ(f.reportsWith(QStringLiteral("down")), 0);
}

TEST(AlertSender, retriesAChannelThatIsDownAndSaysSoOnce)
{
    if (!QFileInfo::exists(QStringLiteral(CALIDOR_PYTHON)))
        GTEST_SKIP() << CALIDOR_PYTHON << " is missing";
    Fixture f;
    ASSERT_TRUE(f.receiver.start());
    const int port = f.receiver.port();
    f.receiver.stop(); // the port is known, nobody listens
    QFile down(f.dir.filePath(QStringLiteral("down")));
    ASSERT_TRUE(down.open(QIODevice::WriteOnly));
    down.close();
    AlertSender sender(f.channels(port), f.report(), {50, 200, 2000});
    sender.send(AlertMessage::fromNotice(outOfBand(QStringLiteral("T1"))));
    ASSERT_TRUE(waitFor([&] { return f.reportsWith(QStringLiteral("is down")) == 3; }));
    std::this_thread::sleep_for(std::chrono::milliseconds(800)); // several attempts each
    EXPECT_EQ(f.reportsWith(QStringLiteral("is down")), 3);
    for (const auto &status : sender.status()) {
        EXPECT_TRUE(status.down) << status.name.toStdString();
        EXPECT_EQ(status.waiting, 1u);
        EXPECT_FALSE(status.lastError.isEmpty());
    }
    ASSERT_TRUE(f.receiver.start(port));
    ASSERT_TRUE(down.remove());
    ASSERT_TRUE(waitFor([&] { return allDelivered(sender, 1); }));
    EXPECT_TRUE(waitFor([&] { return f.reportsWith(QStringLiteral("takes alerts again")) == 3; }));
    EXPECT_EQ(f.receiver.requests().size(), 2u); // ntfy and webhook, once each
    EXPECT_EQ(readAll(f.dir.filePath(QStringLiteral("mail"))).count(QStringLiteral("--END--")), 1);
    EXPECT_EQ(f.reportsWith(QStringLiteral("is down")), 3);
}

} // namespace
