#include "Language.h"

#include <QList>

namespace Language {

QString choose(const QByteArray &acceptLanguage)
{
    // "fr-CH, fr;q=0.9, en;q=0.8, *;q=0.5": the first of the highest q wins.
    double best = 0.0;
    QString chosen = QStringLiteral("en");
    for (const QByteArray &item : acceptLanguage.split(',')) {
        const QList<QByteArray> parts = item.split(';');
        const QByteArray tag = parts.first().trimmed().toLower();
        const QByteArray primary = tag.split('-').first();
        if (primary != "en" && primary != "fr")
            continue;
        double q = 1.0;
        for (qsizetype i = 1; i < parts.size(); ++i) {
            const QByteArray p = parts.at(i).trimmed();
            if (p.startsWith("q=")) {
                bool ok = false;
                q = p.mid(2).toDouble(&ok);
                if (!ok || q < 0.0 || q > 1.0)
                    q = 0.0;
            }
        }
        if (q > best) {
            best = q;
            chosen = QString::fromLatin1(primary);
        }
    }
    return chosen;
}

} // namespace Language
