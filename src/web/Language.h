#pragma once

#include <QByteArray>
#include <QString>

// The page's language from the browser's Accept-Language: French when the
// browser prefers it to English, English otherwise (and when it names
// neither). The page's script picks its texts from its own table by the
// language the server puts on <html lang>.
namespace Language {

QString choose(const QByteArray &acceptLanguage);

} // namespace Language
