#include "date_time.h"

#include <chrono>

namespace kelvora {

namespace {
std::chrono::year_month_day toChrono(CalendarDate date) {
    return std::chrono::year{date.year} / std::chrono::month{static_cast<unsigned>(date.month)} /
           std::chrono::day{static_cast<unsigned>(date.day)};
}
}  // namespace

bool isValidDate(CalendarDate date) {
    // Range checks first: chrono's year, month and day wrap values outside their range.
    return date.year >= -32767 && date.year <= 32767 && date.month >= 1 && date.month <= 12 &&
           date.day >= 1 && date.day <= 31 && toChrono(date).ok();
}

CalendarDate previousDay(CalendarDate date) {
    // Only a real date has a day before it; anything else comes back unchanged.
    if (!isValidDate(date) || (date.year == -32767 && date.month == 1 && date.day == 1)) {
        return date;
    }
    const std::chrono::year_month_day before{std::chrono::sys_days{toChrono(date)} -
                                             std::chrono::days{1}};
    return {static_cast<int>(before.year()), static_cast<int>(static_cast<unsigned>(before.month())),
            static_cast<int>(static_cast<unsigned>(before.day()))};
}

}  // namespace kelvora
