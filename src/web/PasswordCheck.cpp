#include "PasswordCheck.h"

#include <crypt.h>
#include <cstring>
#include <memory>

namespace PasswordCheck {

bool isHash(const QByteArray &text)
{
    // $2a$, $2b$ or $2y$, a cost of 04 to 31, then 53 characters of bcrypt's
    // base 64 (22 of salt, 31 of hash).
    if (text.size() != 60 || !text.startsWith("$2") || text[3] != '$' || text[6] != '$')
        return false;
    if (text[2] != 'a' && text[2] != 'b' && text[2] != 'y')
        return false;
    if (text[4] < '0' || text[4] > '3' || text[5] < '0' || text[5] > '9')
        return false;
    const int cost = (text[4] - '0') * 10 + (text[5] - '0');
    if (cost < 4 || cost > 31)
        return false;
    for (qsizetype i = 7; i < text.size(); ++i) {
        const char ch = text[i];
        const bool inAlphabet = ch == '.' || ch == '/' || (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') ||
                                (ch >= '0' && ch <= '9');
        if (!inAlphabet)
            return false;
    }
    return true;
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
