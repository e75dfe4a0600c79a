#include "shutdown_signals.h"

#include <QSocketNotifier>
#include <csignal>
#include <functional>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace kelvora {

namespace {
sigset_t shutdownSet() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    return set;
}
}  // namespace

void blockShutdownSignals() {
    const sigset_t set = shutdownSet();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
}

void watchShutdownSignals(QObject* context, std::function<void()> onSignal) {
    const sigset_t set = shutdownSet();
    const int fd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    if (fd < 0) return;
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, context);
    QObject::connect(notifier, &QSocketNotifier::activated, context, [fd, onSignal = std::move(onSignal)] {
        signalfd_siginfo info;
        while (::read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        onSignal();
    });
    QObject::connect(notifier, &QObject::destroyed, [fd] { ::close(fd); });
}

}  // namespace kelvora
