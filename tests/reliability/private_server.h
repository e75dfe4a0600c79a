#pragma once
// A Firebird server of this test process alone (tools/fbserver-private.sh):
// its own port, root, security database and lock folder, so that it can be
// killed and restarted while other tests use the shared server.

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <string>

namespace kelvora::test {

class PrivateServer {
public:
    PrivateServer();
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    // Lays out the server on a free loopback port and starts it. Returns
    // false with the reason when that cannot be done.
    bool setUp(QString* why);

    // Starts the server (again) and waits until it accepts connections.
    bool start(QString* why = nullptr);
    // SIGKILL by process id, then waits until the process has ended and the
    // port is closed.
    void kill();
    bool running() const;
    qint64 pid() const;

    int port() const { return port_; }
    // What goes before a path on the server: "localhost/PORT:".
    std::string prefix() const;
    // A new, unused database location on this server.
    std::string newLocation(const std::string& name);

private:
    QTemporaryDir dir_;
    QString script_;
    int port_ = 0;
    int serial_ = 0;
    std::unique_ptr<QProcess> process_;
};

// For a test executable that needs its own server: returns when it runs;
// otherwise fails the executable when KELVORA_TEST_SERVER=1 is set and skips
// it (77) when it is not.
void requirePrivateServer(PrivateServer& server);

// True when something accepts connections on 127.0.0.1:port.
bool portOpen(int port);

}  // namespace kelvora::test
