#pragma once
// The user's regional settings as far as date and total texts need them.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace kelvora {

struct RegionalSettings {
    char dateSeparator = '/';
    char timeSeparator = ':';
    std::string amDesignator = "am";
    std::string pmDesignator = "pm";
    char decimalSymbol = '.';
    std::array<std::string, 12> shortMonthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

    bool operator==(const RegionalSettings&) const = default;

    // What the program uses where the system supplies nothing.
    static RegionalSettings fallback() { return {}; }
    // English (United States): the settings the examples of the documentation use.
    static RegionalSettings englishUnitedStates();
};

// The raw texts the C library reports for the current LC_TIME / LC_NUMERIC
// locale. Kept apart from the reading so the derivation is testable.
struct LocaleTexts {
    std::string dateFormat;   // D_FMT, e.g. "%m/%d/%y"
    std::string timeFormat;   // T_FMT, e.g. "%H:%M:%S"
    std::string am;           // AM_STR
    std::string pm;           // PM_STR
    std::string radix;        // RADIXCHAR
    std::array<std::string, 12> abbreviatedMonths;  // ABMON_1..ABMON_12
};

// The separators are the first character of D_FMT / T_FMT outside a %
// conversion (the composites %D %F %T %R %r count by what they stand for, so
// "%F" gives "-"); the decimal symbol is the first character of RADIXCHAR.
// Fallbacks "/" ":" "." when none; an empty month name falls back to English;
// an empty designator stays empty.
RegionalSettings regionalSettingsFrom(const LocaleTexts& texts);

// Reads the current C locale (the caller has run setlocale(LC_ALL, "")).
// The texts come back in Latin-1, the code page of the window's texts: a month
// name with a character outside Latin-1 comes back empty (so English stands
// in), such a designator as the fallback, and such characters are dropped
// from the formats and the radix.
LocaleTexts currentLocaleTexts();
RegionalSettings readRegionalSettings();

// `text` of character set `codeset` (as nl_langinfo(CODESET) names it) in
// Latin-1; nothing when a character has no Latin-1 form.
std::optional<std::string> toLatin1(std::string_view text, const std::string& codeset);

}  // namespace kelvora
