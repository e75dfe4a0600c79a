#include "startup_probe.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#ifdef KELVORA_BENCH_HAVE_XCB
#include <xcb/xcb.h>
#endif

extern char** environ;

namespace kelvora::bench {

namespace {

using Clock = std::chrono::steady_clock;

// Waits for `pid` up to `timeoutMs`; true with its status and usage when it ended.
bool waitForEnd(pid_t pid, int timeoutMs, int& status, rusage& usage) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const pid_t got = wait4(pid, &status, WNOHANG, &usage);
        if (got == pid) return true;
        if (got < 0) return false;
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

#ifdef KELVORA_BENCH_HAVE_XCB
// The peak resident memory of `pid`'s present image (VmHWM), 0 when gone.
// The peak that wait4 reports is no use here: the kernel counts into it the
// memory of the process that spawned the program.
long peakResidentKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}
#endif

// Ends `pid` for good: SIGTERM, then SIGKILL when it does not go (an embedded
// engine stuck in its shutdown would otherwise hold the lock folder).
void endProcess(pid_t pid) {
    int status = 0;
    rusage usage{};
    ::kill(pid, SIGTERM);
    if (waitForEnd(pid, 5000, status, usage)) return;
    ::kill(pid, SIGKILL);
    waitForEnd(pid, 5000, status, usage);
}

#ifdef KELVORA_BENCH_HAVE_XCB
std::vector<std::string> childEnvironment(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("QT_QPA_PLATFORM=", 0) == 0) continue;
        env.push_back(entry);
    }
    env.push_back("DISPLAY=" + display);
    env.push_back("QT_QPA_PLATFORM=xcb");
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
    std::vector<char*> p;
    for (auto& t : texts) p.push_back(t.data());
    p.push_back(nullptr);
    return p;
}
#endif

}  // namespace

#ifdef KELVORA_BENCH_HAVE_XCB

struct PrivateDisplay::Connection {
    xcb_connection_t* xcb = nullptr;
    xcb_window_t root = 0;
};

std::unique_ptr<PrivateDisplay> PrivateDisplay::start(std::string& why) {
    int fds[2];
    if (pipe(fds) != 0) {
        why = "no pipe for Xvfb";
        return nullptr;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    std::vector<std::string> args{"Xvfb", "-displayfd", std::to_string(fds[1]), "-nolisten", "tcp", "-ac",
                                  "-screen", "0", "1280x1024x24"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    auto argv = pointers(args);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        why = "Xvfb is not installed (package xvfb)";
        return nullptr;
    }
    std::unique_ptr<PrivateDisplay> display(new PrivateDisplay);
    display->server_ = pid;

    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd p{fds[0], POLLIN, 0};
    const auto deadline = Clock::now() + std::chrono::seconds(15);
    while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
        if (poll(&p, 1, 100) <= 0) continue;
        char buffer[32];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0) break;
        number.append(buffer, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    if (number.find('\n') == std::string::npos) {
        why = "Xvfb did not start";
        return nullptr;
    }
    number.erase(number.find('\n'));
    display->display_ = ':';
    display->display_ += number;

    auto* c = new Connection;
    display->connection_ = c;
    c->xcb = xcb_connect(display->display_.c_str(), nullptr);
    if (xcb_connection_has_error(c->xcb)) {
        why = "cannot connect to Xvfb at " + display->display_;
        return nullptr;
    }
    c->root = xcb_setup_roots_iterator(xcb_get_setup(c->xcb)).data->root;
    // Without a window manager a program's top-level windows are children of
    // the root: their mapping is reported here.
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c->xcb, c->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(c->xcb);
    return display;
}

PrivateDisplay::~PrivateDisplay() {
    if (connection_) {
        if (connection_->xcb) xcb_disconnect(connection_->xcb);
        delete connection_;
    }
    if (server_ > 0) endProcess(server_);
}

StartupSample PrivateDisplay::run(const std::vector<std::string>& command, const std::string& logPath,
                                  int settleMs) {
    StartupSample sample;
    xcb_connection_t* xcb = connection_->xcb;
    while (xcb_generic_event_t* old = xcb_poll_for_event(xcb)) std::free(old);

    std::vector<std::string> args = command;
    std::vector<std::string> env = childEnvironment(display_);
    auto argv = pointers(args);
    auto envp = pointers(env);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const auto start = Clock::now();
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        sample.error = "cannot start " + command[0] + ": " + std::strerror(rc);
        return sample;
    }

    bool mapped = false;
    bool ended = false;
    int status = 0;
    rusage usage{};
    pollfd p{xcb_get_file_descriptor(xcb), POLLIN, 0};
    const auto deadline = start + std::chrono::seconds(30);
    while (!mapped && !ended && Clock::now() < deadline) {
        while (xcb_generic_event_t* e = xcb_poll_for_event(xcb)) {
            if ((e->response_type & 0x7f) == XCB_MAP_NOTIFY && !mapped) {
                const auto* map = reinterpret_cast<const xcb_map_notify_event_t*>(e);
                if (map->event == connection_->root && !map->override_redirect) {
                    sample.secondsToWindow = std::chrono::duration<double>(Clock::now() - start).count();
                    mapped = true;
                }
            }
            std::free(e);
        }
        if (mapped) break;
        if (xcb_connection_has_error(xcb)) {
            sample.error = "lost the connection to Xvfb";
            break;
        }
        if (wait4(pid, &status, WNOHANG, &usage) == pid) {
            ended = true;
            break;
        }
        poll(&p, 1, 20);
    }
    if (!mapped) {
        if (!ended) endProcess(pid);
        if (sample.error.empty())
            sample.error = ended ? command[0] + " ended without showing a window" : command[0] + " showed no window in 30 s";
        return sample;
    }

    std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
    long peak = peakResidentKiB(pid);
    ::kill(pid, SIGTERM);
    // Closing down may still grow it: read it until the process is gone.
    const auto closeDeadline = Clock::now() + std::chrono::seconds(15);
    bool closed = false;
    while (!closed && Clock::now() < closeDeadline) {
        peak = std::max(peak, peakResidentKiB(pid));
        closed = wait4(pid, &status, WNOHANG, &usage) == pid;
        if (!closed) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (!closed) {
        endProcess(pid);
        sample.error = command[0] + " did not close on SIGTERM";
        return sample;
    }
    sample.peakResidentKiB = peak;
    sample.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    sample.ok = sample.exitCode == 0;
    if (!sample.ok) sample.error = command[0] + " ended with code " + std::to_string(sample.exitCode);
    return sample;
}

#else

struct PrivateDisplay::Connection {};

std::unique_ptr<PrivateDisplay> PrivateDisplay::start(std::string& why) {
    why = "built without the X client library (package libxcb1-dev)";
    return nullptr;
}

PrivateDisplay::~PrivateDisplay() {
    delete connection_;
    if (server_ > 0) endProcess(server_);
}

StartupSample PrivateDisplay::run(const std::vector<std::string>&, const std::string&, int) {
    StartupSample sample;
    sample.error = "no display";
    return sample;
}

#endif

}  // namespace kelvora::bench
