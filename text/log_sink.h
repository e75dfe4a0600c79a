#pragma once
// Where operations write their activity-log entries (the window's AddToLog).

#include <string>

namespace kelvora {

class ILogSink {
public:
    virtual ~ILogSink() = default;
    // Appends one entry (CR LF inside it starts further lines) and lets the
    // window handle its pending events.
    virtual void addToLog(const std::string& text) = 0;
};

}  // namespace kelvora
