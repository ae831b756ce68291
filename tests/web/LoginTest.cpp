#include "LoginGate.h"
#include "LoginLimiter.h"
#include "PasswordCheck.h"

#include <gtest/gtest.h>

namespace {

// "secret" at cost 4, made by another implementation of bcrypt.
const QByteArray kSecret = "$2y$04$abcdefghijklmnopqrstuu2r9OfJnfCsdneAXAGHnS4UpFFP8WIrW";

TEST(PasswordCheck, MatchesOnlyItsPassword)
{
    EXPECT_TRUE(PasswordCheck::matches("secret", kSecret));
    // The other prefixes of the same algorithm are accepted as the exporters accept them.
    EXPECT_TRUE(PasswordCheck::matches("secret", QByteArray(kSecret).replace(0, 4, "$2b$")));
    for (const QByteArray &wrong :
         {QByteArray("Secret"), QByteArray("secret "), QByteArray(""), QByteArray("secret\0x", 8)})
        EXPECT_FALSE(PasswordCheck::matches(wrong, kSecret)) << wrong.toStdString();
    // Not bcrypt: never compared, whatever crypt_r would make of it.
    for (const QByteArray &notHash :
         {QByteArray("secret"), QByteArray("$1$abc$def"), QByteArray("*"), kSecret.left(kSecret.size() - 1),
          QByteArray(kSecret).replace(4, 2, "03"), QByteArray(kSecret).replace(4, 2, "32"),
          QByteArray(kSecret).replace(2, 1, "x"), QByteArray(kSecret).replace(20, 1, "!")})
        EXPECT_FALSE(PasswordCheck::matches("secret", notHash)) << notHash.toStdString();

    const QByteArray made = PasswordCheck::hash("correct horse", 4);
    EXPECT_TRUE(made.startsWith("$2y$04$"));
    EXPECT_TRUE(PasswordCheck::isHash(made));
    EXPECT_TRUE(PasswordCheck::matches("correct horse", made));
    EXPECT_FALSE(PasswordCheck::matches("correct horse!", made));
    EXPECT_NE(PasswordCheck::hash("correct horse", 4), made); // fresh salt each time
}

TEST(LoginLimiter, BurstThenOneTryPerRefill)
{
    LoginLimiter limiter;
    const QByteArray a = "192.0.2.1", b = "192.0.2.2";
    for (int i = 0; i < LoginLimiter::kBurst; ++i) {
        ASSERT_TRUE(limiter.allowed(a, 0)) << i;
        limiter.failed(a, 0);
    }
    EXPECT_FALSE(limiter.allowed(a, 0));
    EXPECT_EQ(limiter.retryAfterSeconds(a, 0), LoginLimiter::kRefillMs / 1000);
    EXPECT_TRUE(limiter.allowed(b, 0)); // another address is not punished
    EXPECT_FALSE(limiter.allowed(a, LoginLimiter::kRefillMs - 1));
    EXPECT_TRUE(limiter.allowed(a, LoginLimiter::kRefillMs));
    limiter.failed(a, LoginLimiter::kRefillMs);
    EXPECT_FALSE(limiter.allowed(a, LoginLimiter::kRefillMs));
    EXPECT_TRUE(limiter.allowed(a, LoginLimiter::kRefillMs * (LoginLimiter::kBurst + 1)));
}

TEST(LoginLimiter, MemoryStaysBoundedUnderManyAddresses)
{
    LoginLimiter limiter;
    const QByteArray guesser = "198.51.100.7";
    for (int i = 0; i < LoginLimiter::kBurst; ++i)
        limiter.failed(guesser, 1000);
    for (int i = 0; i < 3 * LoginLimiter::kMostAddresses; ++i)
        limiter.failed("2001:db8::" + QByteArray::number(i, 16), 2000 + i);
    EXPECT_LE(limiter.followed(), LoginLimiter::kMostAddresses);
    // The oldest failure is forgotten first; a recent guesser is still held.
    const std::int64_t later = 2000 + 3 * LoginLimiter::kMostAddresses;
    EXPECT_TRUE(limiter.allowed(guesser, later));
    const QByteArray recent = "203.0.113.9";
    for (int i = 0; i < LoginLimiter::kBurst; ++i)
        limiter.failed(recent, later);
    for (int i = 0; i < LoginLimiter::kMostAddresses / 2; ++i)
        limiter.failed("2001:db8:1::" + QByteArray::number(i, 16), later + 1);
    EXPECT_LE(limiter.followed(), LoginLimiter::kMostAddresses);
    EXPECT_FALSE(limiter.allowed(recent, later + 1));
}

TEST(LoginGate, VerdictsInOrder)
{
    std::int64_t now = 0;
    LoginGate gate([&] { return now; });
    EXPECT_EQ(gate.check("a", false, {}, {}).verdict, LoginGate::Verdict::Open);
    gate.setUsers({{QStringLiteral("alice"), kSecret}});
    ASSERT_TRUE(gate.loginRequired());

    struct Row
    {
        const char *address;
        bool given;
        const char *user;
        const char *password;
        LoginGate::Verdict verdict;
    };
    using V = LoginGate::Verdict;
    const Row rows[] = {
        {"a", false, "", "", V::Unauthorized}, // a browser's first request
        {"a", true, "alice", "secret", V::Allowed},
        {"a", true, "alice", "secret", V::Allowed}, // remembered
        {"a", true, "alice", "wrong", V::Unauthorized},
        {"a", true, "bob", "secret", V::Unauthorized},
    };
    for (const Row &r : rows) {
        const LoginGate::Decision d =
            gate.check(r.address, r.given, QString::fromLatin1(r.user), QByteArray(r.password));
        EXPECT_EQ(d.verdict, r.verdict) << r.user << " " << r.password;
    }
    // Two failures above; the rest of the burst, then even the right password waits.
    for (int i = 2; i < LoginLimiter::kBurst; ++i)
        EXPECT_EQ(gate.check("a", true, QStringLiteral("alice"), "guess").verdict, V::Unauthorized);
    const LoginGate::Decision limited = gate.check("a", true, QStringLiteral("alice"), "secret");
    EXPECT_EQ(limited.verdict, V::TooMany);
    EXPECT_GT(limited.retryAfter, 0);
    EXPECT_EQ(gate.check("b", true, QStringLiteral("alice"), "secret").verdict, V::Allowed);
    now += LoginLimiter::kRefillMs;
    EXPECT_EQ(gate.check("a", true, QStringLiteral("alice"), "secret").verdict, V::Allowed);

    // New users: the remembered check goes with the old ones.
    gate.setUsers({{QStringLiteral("carol"), kSecret}});
    EXPECT_EQ(gate.check("b", true, QStringLiteral("alice"), "secret").verdict, V::Unauthorized);
    EXPECT_EQ(gate.check("b", true, QStringLiteral("carol"), "secret").verdict, V::Allowed);
}

} // namespace
