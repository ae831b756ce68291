#pragma once

#include "AlertMessage.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>

// One place alerts go, and the one blocking call that delivers a message
// there. Run off the Qt loop (AlertSender's threads).
struct AlertChannel
{
    enum class Type { Ntfy, Webhook, Mail };

    Type type = Type::Ntfy;
    QString name; // for the log: "ntfy ntfy.example.org"
    // HTTP channels.
    QString url;
    QByteArray token; // read from a file, never from the command line; empty: none
    // Mail.
    QStringList to;
    QString from;
    QString sendmail = QStringLiteral("/usr/sbin/sendmail");

    // What went wrong, one line; empty when the channel took the message.
    // `stop`, once set, cuts a transfer short. `timeoutMs` bounds it whole.
    QString deliver(const AlertMessage &message, const std::atomic<bool> &stop, int timeoutMs = 20000) const;

private:
    QString post(const QByteArray &body, const QList<QByteArray> &headers, const std::atomic<bool> &stop,
                 int timeoutMs) const;
    QString mail(const AlertMessage &message, const std::atomic<bool> &stop, int timeoutMs) const;
};
