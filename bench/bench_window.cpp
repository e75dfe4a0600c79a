// kelvora-bench-window: the least a Qt Widgets program does to show one
// window attached to a database: the yardstick for the program's start-up.
// The window holds one line of text, since any window with text pays for
// loading the fonts; an empty one would leave that cost to the program alone.
//
//   kelvora-bench-window <database path>
//
// Closes on SIGTERM or SIGINT, detaching first (the embedded engine must not
// be left in its shutdown by a signal).

#include <firebird/Interface.h>

#include <QApplication>
#include <QLabel>
#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <cstdio>
#include <pthread.h>
#include <sys/signalfd.h>
#include <unistd.h>

int main(int argc, char** argv) {
    sigset_t shutdownSignals;
    sigemptyset(&shutdownSignals);
    sigaddset(&shutdownSignals, SIGTERM);
    sigaddset(&shutdownSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &shutdownSignals, nullptr);

    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: kelvora-bench-window <database path>\n");
        return 2;
    }

    using namespace Firebird;
    IMaster* master = fb_get_master_interface();
    ThrowStatusWrapper st(master->getStatus());
    IProvider* provider = master->getDispatcher();
    IAttachment* attachment = nullptr;
    try {
        IXpbBuilder* dpb = master->getUtilInterface()->getXpbBuilder(&st, IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(&st, isc_dpb_user_name, "sysdba");
        dpb->insertString(&st, isc_dpb_password, "orchardly");
        dpb->insertString(&st, isc_dpb_config, "Providers = Engine12");
        attachment = provider->attachDatabase(&st, argv[1], dpb->getBufferLength(&st), dpb->getBuffer(&st));
        dpb->dispose();
    } catch (const FbException& e) {
        char text[1024];
        master->getUtilInterface()->formatStatus(text, sizeof text, e.getStatus());
        std::fprintf(stderr, "kelvora-bench-window: %s\n", text);
        provider->release();
        st.dispose();
        return 1;
    }

    QWidget window;
    window.setWindowTitle(QStringLiteral("Kelvora bench window"));
    window.resize(510, 536);
    QLabel text(QStringLiteral("Attached to the database."), &window);
    text.move(12, 12);

    const int fd = signalfd(-1, &shutdownSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    QSocketNotifier notifier(fd, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [fd] {
        signalfd_siginfo info;
        while (read(fd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        QApplication::quit();
    });

    window.show();
    const int code = app.exec();
    close(fd);
    try {
        attachment->detach(&st);
    } catch (const FbException&) {
        attachment->release();
    }
    provider->release();
    st.dispose();
    return code;
}
