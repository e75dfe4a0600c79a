// Date patterns, regional settings and totals: never a crash, and totals
// checked against exact decimal arithmetic.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "formats.h"

namespace {

using u128 = unsigned __int128;

void fail(const char* what, double amount, const std::string& got) {
    std::fprintf(stderr, "mismatch: %s for %.17g: \"", what, amount);
    for (const char c : got) {
        std::fprintf(stderr, c >= 32 && c < 127 ? "%c" : "\\x%02x", static_cast<unsigned char>(c));
    }
    std::fprintf(stderr, "\"\n");
    std::abort();
}

u128 power10(int n) {
    u128 p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

int digitCount(u128 v) {
    int n = 1;
    while (v >= 10) {
        v /= 10;
        ++n;
    }
    return n;
}

// The total of an |amount| below 1e15 from the double's exact binary value:
// 18 significant digits (ties to even, as the C library rounds), then halves
// away from zero to hundredths.
std::string referenceTotal(double amount, char decimal) {
    const double magnitude = std::fabs(amount);
    std::uint64_t hundredths = 0;
    if (magnitude >= 0.001) {  // below that even 18 digits stay under 0.005
        int exponent = 0;
        const double fraction = std::frexp(magnitude, &exponent);
        const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
        const int shift = 53 - exponent;  // 3..63 in this range
        const u128 scaled = static_cast<u128>(mantissa) * power10(21);
        const u128 value = scaled >> shift;  // amount * 10^21, truncated
        const bool sticky = (scaled & ((static_cast<u128>(1) << shift) - 1)) != 0;
        const u128 unit = power10(digitCount(value) - 18);
        u128 kept = value / unit;
        const u128 rest = value % unit;
        if (rest > unit / 2 || (rest == unit / 2 && (sticky || (kept & 1)))) ++kept;
        const u128 rounded = kept * unit;
        const u128 cent = power10(19);
        hundredths = static_cast<std::uint64_t>(rounded / cent + (rounded % cent >= cent / 2 ? 1 : 0));
    }
    std::string text = std::signbit(amount) && hundredths ? "-" : "";
    text += std::to_string(hundredths / 100);
    text += decimal;  // may be any byte, NUL included
    text += static_cast<char>('0' + hundredths % 100 / 10);
    text += static_cast<char>('0' + hundredths % 10);
    return text;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void checkTotal(double amount, const kelvora::RegionalSettings& regional) {
    const std::string got = kelvora::formatTotal(amount, regional);
    if (std::isnan(amount)) {
        if (got != "NAN") fail("NaN", amount, got);
        return;
    }
    if (std::isinf(amount)) {
        if (got != (amount < 0 ? "-INF" : "INF")) fail("infinity", amount, got);
        return;
    }
    // -?[0-9]+<decimal>[0-9]{2}, and no sign on zero
    const std::size_t start = got.empty() || got[0] != '-' ? 0 : 1;
    if (got.size() < start + 4) fail("too short", amount, got);
    const std::size_t point = got.size() - 3;
    if (got[point] != regional.decimalSymbol || !isDigit(got[point + 1]) || !isDigit(got[point + 2]))
        fail("decimals", amount, got);
    bool nonZero = got[point + 1] != '0' || got[point + 2] != '0';
    for (std::size_t i = start; i < point; ++i) {
        if (!isDigit(got[i])) fail("integer part", amount, got);
        nonZero = nonZero || got[i] != '0';
    }
    if (start == 1 && (!nonZero || !std::signbit(amount))) fail("sign", amount, got);
    if (point - start > 1 && got[start] == '0') fail("leading zero", amount, got);

    if (std::fabs(amount) < 1e15) {
        if (got != referenceTotal(amount, regional.decimalSymbol)) fail("value", amount, got);
    } else {
        // 18 digits are more than a double needs: the text reads back exactly.
        std::string plain = got;
        plain[point] = '.';
        if (std::strtod(plain.c_str(), nullptr) != amount) fail("large value", amount, got);
    }
}

double consumeAmount(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: {  // any bit pattern: NaNs, infinities, subnormals, -0.0
            const auto bits = in.ConsumeIntegral<std::uint64_t>();
            double d;
            std::memcpy(&d, &bits, sizeof d);
            return d;
        }
        case 1:  // money with a third decimal: the half cases
            return static_cast<double>(in.ConsumeIntegralInRange<std::int64_t>(-100000000000000000, 100000000000000000)) /
                   1000.0;
        case 2: {
            static constexpr double kSpecial[] = {0.0, -0.0, 0.005, -0.005, 0.125, 2.675, 1e300, -1e-300,
                                                  std::numeric_limits<double>::max(),
                                                  std::numeric_limits<double>::denorm_min(),
                                                  std::numeric_limits<double>::quiet_NaN(),
                                                  std::numeric_limits<double>::infinity(),
                                                  -std::numeric_limits<double>::infinity(), 999999999999999.995};
            return kSpecial[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kSpecial) - 1)];
        }
        default:
            return in.ConsumeFloatingPoint<double>();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);

    kelvora::RegionalSettings regional = kelvora::RegionalSettings::englishUnitedStates();
    if (in.ConsumeBool()) {
        regional.dateSeparator = in.ConsumeIntegral<char>();
        regional.timeSeparator = in.ConsumeIntegral<char>();
        regional.decimalSymbol = in.ConsumeIntegral<char>();
        regional.amDesignator = in.ConsumeRandomLengthString(8);
        regional.pmDesignator = in.ConsumeRandomLengthString(8);
        for (auto& name : regional.shortMonthNames) {
            name = in.ConsumeRandomLengthString(5);
        }
    }

    kelvora::LocalDateTime when;
    if (in.ConsumeBool()) {  // anything, out of range included
        when = {{in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>()},
                in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>(), in.ConsumeIntegral<int>()};
    } else {
        when = {{in.ConsumeIntegralInRange(1, 9999), in.ConsumeIntegralInRange(1, 12), in.ConsumeIntegralInRange(1, 31)},
                in.ConsumeIntegralInRange(0, 23), in.ConsumeIntegralInRange(0, 59), in.ConsumeIntegralInRange(0, 59)};
    }

    for (int i = 0; i < 3; ++i) {
        checkTotal(consumeAmount(in), regional);
    }

    (void)kelvora::sqlDateText(when.date);
    (void)kelvora::formatDate(kelvora::kPatternListingDate, when.date, regional);
    const std::string pattern = in.ConsumeRemainingBytesAsString();
    const std::string text = kelvora::formatDateTime(pattern, when, regional);
    (void)kelvora::formatDate(pattern, when.date, regional);

    // A pattern without fields or separators is copied as it is.
    if (pattern.find_first_of("dDmMyYhHsS/:") == std::string::npos) {
        bool hasAmPm = false;
        for (std::size_t i = 0; i + 4 <= pattern.size(); ++i) {
            hasAmPm = hasAmPm || strncasecmp(pattern.c_str() + i, "ampm", 4) == 0;
        }
        if (!hasAmPm && text != pattern) fail("copied pattern", 0, text);
    }
    return 0;
}
