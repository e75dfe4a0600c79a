#pragma once
// Small pieces every user of Firebird's OO API here needs: the master
// interface, a throwing status disposed with its scope, the client's error
// text, and whether a location names a server.

#include <firebird/Interface.h>

#include <algorithm>
#include <string>

namespace kelvora::salesdb::fb {

inline Firebird::IMaster* master() {
    static Firebird::IMaster* const instance = Firebird::fb_get_master_interface();
    return instance;
}

inline std::string statusText(Firebird::IStatus* status) {
    char buffer[4096];
    // The count the client returns, not a scan for the terminator: the engine
    // was seen to put bytes it never set into the text of some syntax errors.
    const unsigned length = master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, status);
    std::string text(buffer, std::min<std::size_t>(length, sizeof buffer - 1));
    return text.empty() ? std::string("Unknown database error") : text;
}

class Status {
public:
    Status() : wrapper_(master()->getStatus()) {}
    ~Status() { wrapper_.dispose(); }
    Status(const Status&) = delete;
    Status& operator=(const Status&) = delete;
    Firebird::ThrowStatusWrapper* get() { return &wrapper_; }

private:
    Firebird::ThrowStatusWrapper wrapper_;
};

// "host:path" or "host/port:path"; an absolute path or a one-letter drive
// ("C:/data/x.fdb") is local.
inline bool isServerLocation(const std::string& location) {
    const auto colon = location.find(':');
    return colon != std::string::npos && colon > 1 && location.front() != '/';
}

}  // namespace kelvora::salesdb::fb
