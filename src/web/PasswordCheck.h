#pragma once

#include <QByteArray>

// bcrypt password hashes through the system's crypt_r (libxcrypt), the
// hashes of the exporters' web configuration and of htpasswd -B.
namespace PasswordCheck {

// The cost of a new hash: about 50 ms on a small machine, which is what a
// login costs once (checks that passed are remembered by LoginGate).
constexpr int kCost = 10;

// "$2y$", "$2b$" or "$2a$", a two-digit cost and 53 characters.
bool isHash(const QByteArray &text);

// A new "$2y$" hash with fresh random salt; empty if the system refuses.
QByteArray hash(const QByteArray &password, int cost = kCost);

// Whether `password` matches `hash`, compared in constant time.
bool matches(const QByteArray &password, const QByteArray &hash);

} // namespace PasswordCheck
