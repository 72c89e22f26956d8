#include "app/TerminationSignals.h"

#ifndef _WIN32
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace Tessaryn {

#ifndef _WIN32
namespace {

int signalPipe[2] = {-1, -1};
volatile sig_atomic_t handling = 0;

void onSignal(int number) {
    if (handling)
        _exit(128 + number);
    handling = 1;
    const char byte = static_cast<char>(number);
    // Only async-signal-safe calls here; the event loop does the rest.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

} // namespace

bool TerminationSignals::install(std::function<void(int signalNumber)> handler) {
    if (signalPipe[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return false;
    ::fcntl(signalPipe[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(signalPipe[1], F_SETFD, FD_CLOEXEC);
    auto* notifier =
        new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [handler = std::move(handler)] {
                         char byte = 0;
                         if (::read(signalPipe[0], &byte, 1) == 1 && handler)
                             handler(static_cast<unsigned char>(byte));
                     });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return ::sigaction(SIGTERM, &action, nullptr) == 0 &&
           ::sigaction(SIGHUP, &action, nullptr) == 0;
}
#else
bool TerminationSignals::install(std::function<void(int)>) {
    return false;
}
#endif

} // namespace Tessaryn
