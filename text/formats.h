#pragma once
// Date texts and total texts written by the regional settings.

#include <string>
#include <string_view>

#include "date_time.h"
#include "regional_settings.h"

namespace kelvora {

// Patterns the system uses. Letters are case-insensitive; "m" after "h" means
// minutes; "hh" is a 12-hour clock when "AMPM" follows; "/" and ":" print the
// regional separators; anything else is copied.
inline constexpr std::string_view kPatternSqlDate = "MM/dd/yyyy";
inline constexpr std::string_view kPatternTotalDate = "mm/dd/yyyy";
inline constexpr std::string_view kPatternTransactionDate = "d-MMM-yyyy";
inline constexpr std::string_view kPatternListingDate = "dd-MMM-yyyy";
inline constexpr std::string_view kPatternLogStamp = "dd/MM/yyyy hh:mm:ss AMPM";
inline constexpr std::string_view kPatternPicker = "dd/MM/yyyy";

std::string formatDateTime(std::string_view pattern, const LocalDateTime& when,
                           const RegionalSettings& regional);
std::string formatDate(std::string_view pattern, const CalendarDate& date,
                       const RegionalSettings& regional);

// Date text placed inside an SQL statement: always "/" as separator, since
// Firebird reads "05.01.2005" day first but "05/01/2005" month first.
std::string sqlDateText(const CalendarDate& date);

// "#0.00": 18 significant digits, then halves away from zero to two decimals,
// no thousands separator, "-" only for a non-zero result, regional decimal
// symbol. NaN and infinities print "NAN", "INF" and "-INF".
std::string formatTotal(double amount, const RegionalSettings& regional);

}  // namespace kelvora
