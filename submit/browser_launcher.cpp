#include "browser_launcher.h"

#include <spawn.h>
#include <sys/types.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <thread>

extern char** environ;

namespace kelvora::submit {

namespace {

// Signals the program may block or ignore that the browser must get back.
constexpr int kDefaultedSignals[] = {SIGINT, SIGTERM, SIGPIPE, SIGHUP, SIGQUIT, SIGCHLD};

class SpawnSetup {
public:
    SpawnSetup() {
        okAttr_ = posix_spawnattr_init(&attr_) == 0;
        okActions_ = posix_spawn_file_actions_init(&actions_) == 0;
        if (!okAttr_ || !okActions_) return;

        sigset_t none;
        sigemptyset(&none);
        sigset_t defaulted;
        sigemptyset(&defaulted);
        for (int s : kDefaultedSignals) sigaddset(&defaulted, s);
        ready_ = posix_spawnattr_setsigmask(&attr_, &none) == 0 &&
                 posix_spawnattr_setsigdefault(&attr_, &defaulted) == 0 &&
                 posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) == 0 &&
                 // The database client's and the window's descriptors stay with us.
                 posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0;
    }
    ~SpawnSetup() {
        if (okAttr_) posix_spawnattr_destroy(&attr_);
        if (okActions_) posix_spawn_file_actions_destroy(&actions_);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    bool ready() const { return ready_; }
    const posix_spawnattr_t* attr() const { return &attr_; }
    const posix_spawn_file_actions_t* actions() const { return &actions_; }

private:
    posix_spawnattr_t attr_{};
    posix_spawn_file_actions_t actions_{};
    bool okAttr_ = false;
    bool okActions_ = false;
    bool ready_ = false;
};

// Reaps the child off the caller's thread, so the window never waits for the
// browser and no zombie stays behind. The waiter blocks every signal: the
// program takes SIGINT and SIGTERM with sigwait in its main thread, and a
// signal must not land here instead.
void reapInBackground(pid_t pid) {
    sigset_t all;
    sigfillset(&all);
    sigset_t previous;
    if (pthread_sigmask(SIG_BLOCK, &all, &previous) != 0) return;
    try {
        std::thread([pid] {
            int status = 0;
            while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
        }).detach();
    } catch (...) {
        // No thread to be had: the child is left for the program's exit.
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

}  // namespace

void XdgOpenLauncher::open(const std::string& url) {
    const SpawnSetup setup;
    if (!setup.ready()) return;

    // The URL is one argument of its own: no shell ever reads it.
    char program[] = "xdg-open";
    std::string argument = url;
    char* argv[] = {program, argument.data(), nullptr};

    pid_t pid = -1;
    if (posix_spawnp(&pid, program, setup.actions(), setup.attr(), argv, environ) != 0) return;
    reapInBackground(pid);
}

}  // namespace kelvora::submit
