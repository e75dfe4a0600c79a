#include "private_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QThread>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "test_support.h"

namespace kelvora::test {

namespace {

sockaddr_in loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return addr;
}

// A port that nothing listens on right now; the kernel picks it.
int freePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr = loopback(0);
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    ::close(fd);
    return port;
}

}  // namespace

bool portOpen(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    const sockaddr_in addr = loopback(port);
    const bool open = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return open;
}

PrivateServer::PrivateServer() {
    script_ = qEnvironmentVariable("KELVORA_SOURCE_DIR") + QStringLiteral("/tools/fbserver-private.sh");
}

PrivateServer::~PrivateServer() { kill(); }

bool PrivateServer::setUp(QString* why) {
    auto fail = [&](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    if (!dir_.isValid()) return fail(QStringLiteral("no temporary folder"));
    if (!QFile::exists(script_)) return fail(script_ + QStringLiteral(" not found (KELVORA_SOURCE_DIR)"));
    if (!QDir(dir_.path()).mkdir(QStringLiteral("db"))) return fail(QStringLiteral("cannot make the database folder"));
    for (int attempt = 0; attempt < 3; ++attempt) {
        port_ = freePort();
        if (port_ == 0) return fail(QStringLiteral("no free loopback port"));
        QProcess prepare;
        prepare.setProcessChannelMode(QProcess::MergedChannels);
        prepare.start(QStringLiteral("bash"), {script_, QStringLiteral("prepare"), dir_.path(), QString::number(port_)});
        if (!prepare.waitForFinished(90000) || prepare.exitStatus() != QProcess::NormalExit || prepare.exitCode() != 0)
            return fail(QStringLiteral("prepare failed: ") + QString::fromLocal8Bit(prepare.readAll()).trimmed());
        QString reason;
        if (start(&reason)) return true;
        // Someone may have taken the port in the meantime; try another.
        if (why) *why = reason;
    }
    return false;
}

bool PrivateServer::start(QString* why) {
    if (running()) return true;
    process_ = std::make_unique<QProcess>();
    process_->setStandardOutputFile(dir_.path() + QStringLiteral("/firebird.out"), QIODevice::Append);
    process_->setStandardErrorFile(dir_.path() + QStringLiteral("/firebird.out"), QIODevice::Append);
    // Never outlive the test, however it ends.
    process_->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    process_->start(QStringLiteral("bash"), {script_, QStringLiteral("run"), dir_.path()});
    if (!process_->waitForStarted(10000)) {
        if (why) *why = QStringLiteral("the server did not start");
        process_.reset();
        return false;
    }
    QDeadlineTimer deadline(30000);
    while (!deadline.hasExpired()) {
        if (process_->state() != QProcess::Running) {
            if (why) *why = QStringLiteral("the server ended at start-up; see ") + dir_.path() + "/firebird.out";
            process_.reset();
            return false;
        }
        if (portOpen(port_)) return true;
        process_->waitForFinished(100);
    }
    if (why) *why = QStringLiteral("the server did not open its port within 30 s");
    kill();
    return false;
}

void PrivateServer::kill() {
    if (!process_) return;
    if (process_->state() != QProcess::NotRunning) {
        ::kill(static_cast<pid_t>(process_->processId()), SIGKILL);
        process_->waitForFinished(10000);
    }
    process_.reset();
    // The kernel closes the listening socket with the process; wait for it.
    QDeadlineTimer deadline(5000);
    while (port_ && portOpen(port_) && !deadline.hasExpired()) QThread::msleep(20);
}

bool PrivateServer::running() const { return process_ && process_->state() == QProcess::Running; }

qint64 PrivateServer::pid() const { return running() ? process_->processId() : 0; }

std::string PrivateServer::prefix() const { return "localhost/" + std::to_string(port_) + ":"; }

std::string PrivateServer::newLocation(const std::string& name) {
    return prefix() + dir_.path().toStdString() + "/db/" + std::to_string(++serial_) + "-" + name + ".fdb";
}

void requirePrivateServer(PrivateServer& server) {
    QString why;
    if (server.setUp(&why)) return;
    const char* required = std::getenv("KELVORA_TEST_SERVER");
    if (required && std::strcmp(required, "1") == 0) {
        std::fprintf(stderr, "FAIL: KELVORA_TEST_SERVER=1 but no private Firebird server could be started: %s\n",
                     qPrintable(why));
        std::fflush(stderr);
        std::_Exit(1);
    }
    const QByteArray reason = ("no private Firebird server: " + why).toLocal8Bit();
    skipAll(reason.constData());
}

}  // namespace kelvora::test
