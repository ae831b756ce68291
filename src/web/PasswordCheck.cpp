#include "PasswordCheck.h"

#include <QRegularExpression>
#include <crypt.h>
#include <cstring>
#include <memory>

namespace PasswordCheck {

bool isHash(const QByteArray &text)
{
    static const QRegularExpression form(
        QStringLiteral("^\\$2[aby]\\$(0[4-9]|[12][0-9]|3[01])\\$[./A-Za-z0-9]{53}$"));
    return form.match(QString::fromLatin1(text)).hasMatch();
}

QByteArray hash(const QByteArray &password, int cost)
{
    char setting[CRYPT_GENSALT_OUTPUT_SIZE];
    // No random bytes given: libxcrypt takes them from the system.
    if (!crypt_gensalt_rn("$2y$", static_cast<unsigned long>(cost), nullptr, 0, setting, sizeof setting))
        return {};
    auto data = std::make_unique<crypt_data>();
    const char *out = crypt_r(password.constData(), setting, data.get());
    if (!out || out[0] == '*')
        return {};
    return QByteArray(out);
}

bool matches(const QByteArray &password, const QByteArray &hash)
{
    // crypt_r stops at the first NUL: a password holding one is not the one
    // that was hashed.
    if (password.contains('\0') || !isHash(hash))
        return false;
    auto data = std::make_unique<crypt_data>(); // 32 KB: not on the stack of the HTTP thread
    const char *out = crypt_r(password.constData(), hash.constData(), data.get());
    if (!out || std::strlen(out) != static_cast<std::size_t>(hash.size()))
        return false;
    unsigned char differ = 0;
    for (qsizetype i = 0; i < hash.size(); ++i)
        differ |= static_cast<unsigned char>(out[i] ^ hash[i]);
    return differ == 0;
}

} // namespace PasswordCheck
