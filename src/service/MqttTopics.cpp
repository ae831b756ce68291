#include "MqttTopics.h"

#include <QStringList>

QString MqttTopics::checkPrefix(const QString &prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("the prefix is empty");
    if (prefix.contains(QLatin1Char('+')) || prefix.contains(QLatin1Char('#')))
        return QStringLiteral("\"%1\": a prefix holds no + or #").arg(prefix);
    if (prefix.split(QLatin1Char('/')).contains(QString()))
        return QStringLiteral("\"%1\": a prefix has no empty level (no leading, trailing or double /)")
            .arg(prefix);
    if (prefix.contains(QChar(0)))
        return QStringLiteral("a prefix holds no NUL character");
    return {};
}

std::optional<MqttTopics::Command> MqttTopics::commandOf(const QString &topic) const
{
    const QString head = m_prefix + QLatin1Char('/');
    if (!topic.startsWith(head))
        return std::nullopt;
    const QStringList levels = topic.mid(head.size()).split(QLatin1Char('/'));
    if (levels.size() != 3 || levels.at(0).isEmpty() || levels.at(2) != QLatin1String("set"))
        return std::nullopt;
    const QString &name = levels.at(1);
    if (name != QLatin1String("tl") && name != QLatin1String("th") && name != QLatin1String("mode") &&
        name != QLatin1String("schedule"))
        return std::nullopt;
    return Command{levels.at(0), name};
}
