#pragma once

#include "ExitCode.h"

#include <QByteArray>
#include <QString>
#include <cstdio>

// `calidorctl hash-password`: reads a password, from a terminal without
// echo and twice, or as one line of standard input otherwise (for scripts),
// and prints its bcrypt hash for basic_auth_users of the web configuration.
namespace HashPasswordCommand {

ExitCode run(std::FILE *in, std::FILE *out, std::FILE *err);

// The first line of `text` without its line break; what a script pipes in.
QByteArray firstLine(const QByteArray &text);

} // namespace HashPasswordCommand
