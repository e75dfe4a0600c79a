#include "regional_settings.h"

#include <clocale>
#include <cstddef>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace kelvora {

RegionalSettings RegionalSettings::englishUnitedStates() {
    RegionalSettings us;
    us.amDesignator = "AM";
    us.pmDesignator = "PM";
    return us;
}

namespace {

// What the glibc composites stand for; their separators count like literal ones.
// "%F" is "%Y-%m-%d", so it gives "-".
std::string_view expandComposite(char conversion) {
    switch (conversion) {
        case 'D': return "%m/%d/%y";
        case 'F': return "%Y-%m-%d";
        case 'T': return "%H:%M:%S";
        case 'R': return "%H:%M";
        case 'r': return "%I:%M:%S %p";
        default: return {};
    }
}

// The first character of a strftime format that is not part of a conversion,
// or `fallback` when every character is. Flags, field widths and the E/O
// modifiers belong to their conversion.
char firstLiteral(std::string_view format, char fallback) {
    std::size_t i = 0;
    while (i < format.size()) {
        if (format[i] != '%') {
            return format[i];
        }
        ++i;
        while (i < format.size() && std::string_view("_-0^#EO123456789").find(format[i]) !=
                                        std::string_view::npos) {
            ++i;
        }
        if (i >= format.size()) {
            break;
        }
        if (const auto expanded = expandComposite(format[i]); !expanded.empty()) {
            return firstLiteral(expanded, fallback);
        }
        ++i;
    }
    return fallback;
}

}  // namespace

std::optional<std::string> toLatin1(std::string_view text, const std::string& codeset) {
    bool ascii = true;
    for (const char c : text) {
        ascii = ascii && static_cast<unsigned char>(c) < 128;
    }
    if (ascii) {
        return std::string(text);
    }
    iconv_t cd = iconv_open("ISO-8859-1", codeset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        return std::nullopt;
    }
    std::string in(text);
    std::string out(text.size(), '\0');  // Latin-1 never needs more bytes
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    char* outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1) || inLeft != 0) {
        return std::nullopt;
    }
    out.resize(out.size() - outLeft);
    return out;
}

namespace {

// A format or radix only matters for its ASCII separators: characters that
// have no Latin-1 form are dropped.
std::string latin1OrAscii(const char* text, const std::string& codeset) {
    const std::string raw = text ? text : "";
    if (auto converted = toLatin1(raw, codeset)) {
        return *converted;
    }
    std::string ascii;
    for (const char c : raw) {
        if (static_cast<unsigned char>(c) < 128) {
            ascii += c;
        }
    }
    return ascii;
}

// The character set in which nl_langinfo reports the texts of `category`.
std::string codesetOf(int category) {
    const char* name = std::setlocale(category, nullptr);
    locale_t loc = newlocale(LC_CTYPE_MASK, name ? name : "C", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) {
        return nl_langinfo(CODESET);
    }
    std::string codeset = nl_langinfo_l(CODESET, loc);
    freelocale(loc);
    return codeset;
}

}  // namespace

RegionalSettings regionalSettingsFrom(const LocaleTexts& texts) {
    RegionalSettings settings = RegionalSettings::fallback();
    settings.dateSeparator = firstLiteral(texts.dateFormat, '/');
    settings.timeSeparator = firstLiteral(texts.timeFormat, ':');
    settings.decimalSymbol = texts.radix.empty() ? '.' : texts.radix.front();
    settings.amDesignator = texts.am;
    settings.pmDesignator = texts.pm;
    for (std::size_t i = 0; i < settings.shortMonthNames.size(); ++i) {
        if (!texts.abbreviatedMonths[i].empty()) {
            settings.shortMonthNames[i] = texts.abbreviatedMonths[i];
        }
    }
    return settings;
}

LocaleTexts currentLocaleTexts() {
    const std::string timeCodeset = codesetOf(LC_TIME);
    const std::string numericCodeset = codesetOf(LC_NUMERIC);

    LocaleTexts texts;
    texts.dateFormat = latin1OrAscii(nl_langinfo(D_FMT), timeCodeset);
    texts.timeFormat = latin1OrAscii(nl_langinfo(T_FMT), timeCodeset);
    texts.radix = latin1OrAscii(nl_langinfo(RADIXCHAR), numericCodeset);

    // A designator without a Latin-1 form would print as garbage: use the
    // fallback. An empty one stays empty.
    const RegionalSettings fallback = RegionalSettings::fallback();
    texts.am = toLatin1(nl_langinfo(AM_STR), timeCodeset).value_or(fallback.amDesignator);
    texts.pm = toLatin1(nl_langinfo(PM_STR), timeCodeset).value_or(fallback.pmDesignator);

    static constexpr nl_item kMonths[12] = {ABMON_1, ABMON_2, ABMON_3, ABMON_4,
                                            ABMON_5, ABMON_6, ABMON_7, ABMON_8,
                                            ABMON_9, ABMON_10, ABMON_11, ABMON_12};
    for (std::size_t i = 0; i < 12; ++i) {
        // Empty when it has no Latin-1 form: the English name then stands in.
        texts.abbreviatedMonths[i] = toLatin1(nl_langinfo(kMonths[i]), timeCodeset).value_or("");
    }
    return texts;
}

RegionalSettings readRegionalSettings() { return regionalSettingsFrom(currentLocaleTexts()); }

}  // namespace kelvora
