#pragma once

#include "Incidents.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

// One alert as every channel tells it: a title, a line of text, and the
// incident's facts for the webhook. Built from an incident's notice, or a
// test alert asked for by hand.
struct AlertMessage
{
    QString id;    // the thermostat; empty for a test alert
    QString kind;  // "out-of-band", ... or "test"
    QString phase; // "begin", "reminder", "end"
    QDateTime at;
    QDateTime began;
    QString title;
    QString text;
    int priority = 3; // ntfy's 1 (min) to 5 (max)
    QStringList tags;

    static AlertMessage fromNotice(const Incidents::Notice &notice);
    static AlertMessage test(const QDateTime &at, const QString &host);

    QByteArray webhookJson() const;
    // A whole message for `sendmail -t`: headers and body, UTF-8.
    QByteArray mail(const QStringList &to, const QString &from) const;

    // A header's value with no line breaks (the thermostat's id and the
    // detail come from outside), RFC 2047-encoded when not plain ASCII.
    static QByteArray headerValue(const QString &text);
};
