#include "SignalWatcher.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// A signal handler can reach nothing but globals; the pipe is the one
// piece of state it needs.
int g_pipe[2] = {-1, -1};

extern "C" void onStopSignal(int signalNumber)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[1], &byte, 1);
    errno = saved;
}

void install(int signalNumber, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Writes of a row go on where the signal found them.
    action.sa_flags = SA_RESTART;
    ::sigaction(signalNumber, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(QObject *parent) : QObject(parent)
{
    if (g_pipe[0] < 0 && ::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // no pipe: the signals keep their default action and end the program
    m_notifier = std::make_unique<QSocketNotifier>(g_pipe[0], QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
    install(SIGINT, onStopSignal);
    install(SIGTERM, onStopSignal);
}

SignalWatcher::~SignalWatcher()
{
    install(SIGINT, SIG_DFL);
    install(SIGTERM, SIG_DFL);
    if (m_hangup)
        install(SIGHUP, SIG_DFL);
}

void SignalWatcher::watchHangup()
{
    if (!m_notifier)
        return;
    m_hangup = true;
    install(SIGHUP, onStopSignal);
}

void SignalWatcher::readPipe()
{
    unsigned char byte = 0;
    while (::read(g_pipe[0], &byte, 1) == 1) {
        if (byte == SIGHUP)
            emit reloadRequested();
        else
            emit stopRequested(byte);
    }
}
