#pragma once
// Start-up of a real program to its window on the screen, timed from
// outside: a private X server (Xvfb) of our own, watched for the first
// top-level window that gets mapped. No change to the program is needed.

#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace kelvora::bench {

struct StartupSample {
    bool ok = false;
    std::string error;
    double secondsToWindow = 0;  // from spawning to the window mapped
    long peakResidentKiB = 0;    // the whole life of the process
    int exitCode = -1;
};

class PrivateDisplay {
public:
    // Nothing when this build has no X client library or Xvfb cannot start;
    // `why` then says which.
    static std::unique_ptr<PrivateDisplay> start(std::string& why);
    ~PrivateDisplay();
    PrivateDisplay(const PrivateDisplay&) = delete;
    PrivateDisplay& operator=(const PrivateDisplay&) = delete;

    const std::string& name() const { return display_; }

    // Starts `argv` on this display, waits for its window, lets it settle
    // for `settleMs`, asks it to close with SIGTERM and waits for its end.
    // The program's output goes to `logPath`.
    StartupSample run(const std::vector<std::string>& argv, const std::string& logPath, int settleMs);

private:
    PrivateDisplay() = default;
    struct Connection;

    pid_t server_ = -1;
    std::string display_;
    Connection* connection_ = nullptr;
};

}  // namespace kelvora::bench
