#pragma once
// Starting the web browser with the submission URL.

#include <string>

namespace kelvora::submit {

class IBrowserLauncher {
public:
    virtual ~IBrowserLauncher() = default;
    // Returns at once; the result is not examined.
    virtual void open(const std::string& url) = 0;
};

// Starts `xdg-open` detached with the URL as its one argument, never through
// a shell.
class XdgOpenLauncher final : public IBrowserLauncher {
public:
    void open(const std::string& url) override;
};

}  // namespace kelvora::submit
