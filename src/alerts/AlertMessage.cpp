#include "AlertMessage.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

namespace {

QString oneLine(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text.left(500);
}

} // namespace

AlertMessage AlertMessage::fromNotice(const Incidents::Notice &notice)
{
    AlertMessage m;
    m.id = notice.id;
    m.kind = Incidents::kindName(notice.kind);
    m.phase = Incidents::phaseName(notice.phase);
    m.at = notice.at.toUTC();
    m.began = notice.began.toUTC();
    QString what;
    switch (notice.kind) {
    case Incidents::Kind::OutOfBand:
        what = QStringLiteral("temperature out of band");
        m.tags = {QStringLiteral("thermometer")};
        break;
    case Incidents::Kind::Silent:
        what = QStringLiteral("not answering");
        m.tags = {QStringLiteral("electric_plug")};
        break;
    case Incidents::Kind::ProbeFault:
        what = QStringLiteral("probe fault");
        m.tags = {QStringLiteral("warning")};
        break;
    case Incidents::Kind::ForeignChange:
        what = QStringLiteral("thresholds changed on the thermostat");
        m.tags = {QStringLiteral("pencil2")};
        break;
    }
    switch (notice.phase) {
    case Incidents::Phase::Begin:
        m.title = QStringLiteral("%1: %2").arg(oneLine(notice.id), what);
        m.priority = notice.kind == Incidents::Kind::ForeignChange ? 3 : 4;
        break;
    case Incidents::Phase::Reminder:
        m.title = QStringLiteral("%1: still %2").arg(oneLine(notice.id), what);
        m.priority = 4;
        break;
    case Incidents::Phase::End:
        m.title = QStringLiteral("%1: over, %2").arg(oneLine(notice.id), what);
        m.priority = 3;
        m.tags.append(QStringLiteral("white_check_mark"));
        break;
    }
    m.text = QStringLiteral("%1 (since %2 UTC)")
                 .arg(oneLine(notice.detail), m.began.toString(QStringLiteral("yyyy-MM-dd HH:mm")));
    return m;
}

AlertMessage AlertMessage::test(const QDateTime &at, const QString &host)
{
    AlertMessage m;
    m.kind = QStringLiteral("test");
    m.phase = QStringLiteral("begin");
    m.at = at.toUTC();
    m.began = m.at;
    m.title = QStringLiteral("Calidor test alert");
    m.text = QStringLiteral("A test alert from %1: this channel works.").arg(oneLine(host));
    m.tags = {QStringLiteral("test_tube")};
    return m;
}

QByteArray AlertMessage::webhookJson() const
{
    QJsonObject object{{QStringLiteral("thermostat"), id},
                       {QStringLiteral("kind"), kind},
                       {QStringLiteral("phase"), phase},
                       {QStringLiteral("at"), at.toString(Qt::ISODate)},
                       {QStringLiteral("began"), began.toString(Qt::ISODate)},
                       {QStringLiteral("title"), title},
                       {QStringLiteral("message"), text},
                       {QStringLiteral("priority"), priority}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QByteArray AlertMessage::headerValue(const QString &text)
{
    const QString line = oneLine(text);
    bool ascii = true;
    for (QChar c : line)
        ascii = ascii && c.unicode() >= 0x20 && c.unicode() < 0x7f;
    if (ascii)
        return line.toLatin1();
    return "=?UTF-8?B?" + line.toUtf8().toBase64() + "?=";
}

QByteArray AlertMessage::mail(const QStringList &to, const QString &from) const
{
    QByteArray out;
    out += "From: " + headerValue(from) + "\r\n";
    out += "To: " + headerValue(to.join(QStringLiteral(", "))) + "\r\n";
    out += "Subject: " + headerValue(title) + "\r\n";
    out +=
        "Date: " + QLocale::c().toString(at, QStringLiteral("ddd, dd MMM yyyy HH:mm:ss +0000")).toLatin1() +
        "\r\n";
    out +=
        "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n";
    out += "X-Calidor-Incident: " + headerValue(kind + QLatin1Char(' ') + phase) + "\r\n\r\n";
    out += text.toUtf8() + "\r\n";
    return out;
}
