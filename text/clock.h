#pragma once
// The local clock, behind a seam so tests can fix the time.

#include <ctime>

#include "date_time.h"

namespace kelvora {

class IClock {
public:
    virtual ~IClock() = default;
    virtual LocalDateTime now() const = 0;
    CalendarDate today() const { return now().date; }
};

class SystemClock final : public IClock {
public:
    LocalDateTime now() const override {
        const std::time_t t = std::time(nullptr);
        std::tm tm{};
        localtime_r(&t, &tm);
        return {{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday}, tm.tm_hour, tm.tm_min, tm.tm_sec};
    }
};

}  // namespace kelvora
