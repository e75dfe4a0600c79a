#pragma once
// Calendar dates and local date-times as the domain code passes them around.
// The window converts to and from QDate at its boundary.

#include <compare>

namespace kelvora {

struct CalendarDate {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    auto operator<=>(const CalendarDate&) const = default;
};

struct LocalDateTime {
    CalendarDate date;
    int hour = 0;    // 0..23
    int minute = 0;  // 0..59
    int second = 0;  // 0..59
    auto operator<=>(const LocalDateTime&) const = default;
};

// The day before; handles month, year and leap-year boundaries.
CalendarDate previousDay(CalendarDate date);
bool isValidDate(CalendarDate date);

}  // namespace kelvora
