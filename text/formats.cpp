#include "formats.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace kelvora {

namespace {

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool isAmPmAt(std::string_view pattern, std::size_t i) {
    static constexpr std::string_view kAmPm = "ampm";
    if (pattern.size() - i < kAmPm.size()) {
        return false;
    }
    for (std::size_t k = 0; k < kAmPm.size(); ++k) {
        if (lower(pattern[i + k]) != kAmPm[k]) {
            return false;
        }
    }
    return true;
}

std::string number(int value, int digits) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", digits, value);
    return buffer;
}

// One field of a pattern: a run of one letter, "AMPM" (letter 'a'), or a
// single character copied or mapped to a separator (letter 0).
struct Token {
    char letter = 0;
    std::size_t length = 0;
    char literal = 0;
    bool minutes = false;      // an "m" run after an "h" run
    bool twelveHour = false;   // an "h" run with "AMPM" later in the pattern
};

std::vector<Token> tokenize(std::string_view pattern) {
    std::vector<Token> tokens;
    char lastLetter = 0;
    for (std::size_t i = 0; i < pattern.size();) {
        Token token;
        const char c = lower(pattern[i]);
        if (isAmPmAt(pattern, i)) {
            token.letter = 'a';
            token.length = 4;
        } else if (std::string_view("dmyhs").find(c) != std::string_view::npos) {
            token.letter = c;
            while (i + token.length < pattern.size() && lower(pattern[i + token.length]) == c) {
                ++token.length;
            }
            token.minutes = c == 'm' && lastLetter == 'h';
        } else {
            token.literal = pattern[i];
            token.length = 1;
        }
        if (token.letter != 0) {
            lastLetter = token.letter;
        }
        i += token.length;
        tokens.push_back(token);
    }
    // Hours count on a 12-hour clock when "AMPM" follows them.
    bool amPmFollows = false;
    for (auto it = tokens.rbegin(); it != tokens.rend(); ++it) {
        amPmFollows = amPmFollows || it->letter == 'a';
        it->twelveHour = it->letter == 'h' && amPmFollows;
    }
    return tokens;
}

}  // namespace

// Beyond the documented fields: a single "d", "m" (month or minutes), "h" or
// "s" prints without a leading zero, longer runs of them print two digits;
// a month run of three or more prints the abbreviated name; "y" and "yy"
// print the year's last two digits, three or more "y" the full year with at
// least four digits. A month outside 1..12 prints its number instead of a name.
std::string formatDateTime(std::string_view pattern, const LocalDateTime& when,
                           const RegionalSettings& regional) {
    std::string text;
    for (const Token& token : tokenize(pattern)) {
        const int width = token.length >= 2 ? 2 : 1;
        switch (token.letter) {
            case 'd':
                text += number(when.date.day, width);
                break;
            case 'm':
                if (token.minutes) {
                    text += number(when.minute, width);
                } else if (token.length >= 3 && when.date.month >= 1 && when.date.month <= 12) {
                    text += regional.shortMonthNames[static_cast<std::size_t>(when.date.month - 1)];
                } else {
                    text += number(when.date.month, width);
                }
                break;
            case 'y':
                text += token.length >= 3 ? number(when.date.year, 4)
                                          : number((when.date.year % 100 + 100) % 100, 2);
                break;
            case 'h': {
                int hour = when.hour;
                if (token.twelveHour) {
                    hour = (hour % 12 + 12) % 12;
                    hour = hour == 0 ? 12 : hour;
                }
                text += number(hour, width);
                break;
            }
            case 's':
                text += number(when.second, width);
                break;
            case 'a':
                text += when.hour < 12 ? regional.amDesignator : regional.pmDesignator;
                break;
            default:
                text += token.literal == '/'   ? regional.dateSeparator
                        : token.literal == ':' ? regional.timeSeparator
                                               : token.literal;
        }
    }
    return text;
}

std::string formatDate(std::string_view pattern, const CalendarDate& date,
                       const RegionalSettings& regional) {
    return formatDateTime(pattern, LocalDateTime{date, 0, 0, 0}, regional);
}

std::string sqlDateText(const CalendarDate& date) {
    return formatDate(kPatternSqlDate, date, RegionalSettings::fallback());
}

std::string formatTotal(double amount, const RegionalSettings& regional) {
    if (std::isnan(amount)) {
        return "NAN";
    }
    if (std::isinf(amount)) {
        return amount < 0 ? "-INF" : "INF";
    }

    // 18 significant digits: "-d.ddddddddddddddddde+XXX". From here on the
    // rounding works on the decimal digits, never on the double.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17e", amount);
    const std::string_view scientific(buffer);
    const bool negative = scientific.front() == '-';
    const std::size_t first = negative ? 1 : 0;
    std::string digits;
    digits += scientific[first];
    const std::size_t exponentAt = scientific.find('e');
    digits += scientific.substr(first + 2, exponentAt - first - 2);
    const long exponent = std::strtol(buffer + exponentAt + 1, nullptr, 10);

    // Digits up to the hundredths: the integer part has exponent + 1 of them.
    const long keep = exponent + 3;
    std::string hundredths;  // the amount in hundredths, most significant first
    if (keep >= static_cast<long>(digits.size())) {
        hundredths = digits + std::string(static_cast<std::size_t>(keep) - digits.size(), '0');
    } else {
        const bool roundUp = keep >= 0 && digits[static_cast<std::size_t>(keep)] >= '5';
        hundredths = keep > 0 ? digits.substr(0, static_cast<std::size_t>(keep)) : "";
        if (roundUp) {
            std::size_t i = hundredths.size();
            while (i > 0 && hundredths[i - 1] == '9') {
                hundredths[--i] = '0';
            }
            if (i == 0) {
                hundredths.insert(hundredths.begin(), '1');
            } else {
                ++hundredths[i - 1];
            }
        }
    }

    const std::size_t nonZero = hundredths.find_first_not_of('0');
    hundredths = nonZero == std::string::npos ? "" : hundredths.substr(nonZero);
    if (hundredths.size() < 3) {
        hundredths.insert(0, 3 - hundredths.size(), '0');
    }
    std::string text = negative && nonZero != std::string::npos ? "-" : "";
    text += hundredths.substr(0, hundredths.size() - 2);
    text += regional.decimalSymbol;
    text += hundredths.substr(hundredths.size() - 2);
    return text;
}

}  // namespace kelvora
