#include "HashPasswordCommand.h"

#include "PasswordCheck.h"

#include <termios.h>
#include <unistd.h>

namespace HashPasswordCommand {

namespace {

QByteArray readLine(std::FILE *in)
{
    QByteArray line;
    for (int c; (c = std::fgetc(in)) != EOF && c != '\n';)
        if (line.size() < 4096)
            line.append(char(c));
    return firstLine(line);
}

// A line typed at the terminal without showing it.
QByteArray ask(std::FILE *in, std::FILE *err, const char *prompt)
{
    std::fputs(prompt, err);
    std::fflush(err);
    termios saved{};
    const int fd = fileno(in);
    const bool quiet = tcgetattr(fd, &saved) == 0;
    if (quiet) {
        termios silent = saved;
        silent.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fd, TCSAFLUSH, &silent);
    }
    const QByteArray line = readLine(in);
    if (quiet)
        tcsetattr(fd, TCSAFLUSH, &saved);
    std::fputc('\n', err);
    return line;
}

} // namespace

QByteArray firstLine(const QByteArray &text)
{
    QByteArray line = text.left(text.indexOf('\n') < 0 ? text.size() : text.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return line;
}

ExitCode run(std::FILE *in, std::FILE *out, std::FILE *err)
{
    QByteArray password;
    if (isatty(fileno(in))) {
        password = ask(in, err, "Password: ");
        if (ask(in, err, "Again: ") != password) {
            std::fputs("calidorctl: the two passwords differ; nothing printed\n", err);
            return ExitCode::Usage;
        }
    } else {
        password = readLine(in);
    }
    if (password.isEmpty()) {
        std::fputs("calidorctl: an empty password is not one\n", err);
        return ExitCode::Usage;
    }
    const QByteArray hash = PasswordCheck::hash(password);
    password.fill('\0');
    if (hash.isEmpty()) {
        std::fputs("calidorctl: the system made no bcrypt hash (libxcrypt)\n", err);
        return ExitCode::Device;
    }
    std::fprintf(out, "%s\n", hash.constData());
    return ExitCode::Ok;
}

} // namespace HashPasswordCommand
