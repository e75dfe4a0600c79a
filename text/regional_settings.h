#pragma once
// The user's regional settings as far as date and total texts need them.

#include <array>
#include <string>

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

// Applies the fallbacks: first character of a separator or decimal symbol,
// "/" ":" "." when none; an empty month name falls back to English; an empty
// designator stays empty.
RegionalSettings regionalSettingsFrom(const LocaleTexts& texts);

// Reads the current C locale (the caller has run setlocale(LC_ALL, "")).
LocaleTexts currentLocaleTexts();
RegionalSettings readRegionalSettings();

}  // namespace kelvora
