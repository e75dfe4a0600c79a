// Settings-file reading and writing on arbitrary file contents and names.
// Reading must never crash; a write of a name and value the format can hold
// must read back as written, leave other keys' values alone, and keep every
// other line of the old file byte for byte. The line check below splits the
// files on its own instead of reusing the parser it checks.

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "profile_file.h"

namespace {

struct RawLine {
    std::string text;
    std::string end;  // "", "\n" or "\r\n"
    bool operator==(const RawLine&) const = default;
};

std::vector<RawLine> rawLines(std::string_view s) {
    std::vector<RawLine> out;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t lf = s.find('\n', pos);
        if (lf == std::string_view::npos) {
            out.push_back({std::string(s.substr(pos)), ""});
            break;
        }
        std::size_t textEnd = (lf > pos && s[lf - 1] == '\r') ? lf - 1 : lf;
        out.push_back({std::string(s.substr(pos, textEnd - pos)), std::string(s.substr(textEnd, lf + 1 - textEnd))});
        pos = lf + 1;
    }
    return out;
}

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameFolded(std::string_view a, std::string_view b) {
    a = a.substr(0, a.find('\0'));
    b = b.substr(0, b.find('\0'));
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

bool plainName(std::string_view s) {
    if (!s.empty() && (blank(s.front()) || blank(s.back()))) return false;
    return s.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool holdableSection(std::string_view s) { return plainName(s) && s.find(']') == std::string_view::npos; }

bool holdableKey(std::string_view s) {
    return plainName(s) && s.find('=') == std::string_view::npos &&
           (s.empty() || (s.front() != '[' && s.front() != ';'));
}

bool holdableValue(std::string_view v) {
    if (v.size() > kelvora::kProfileValueLimit || !plainName(v)) return false;
    return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

// What the writer puts in place of CR, LF and everything from a NUL on.
std::string oneLine(std::string_view s) {
    std::string out(s.substr(0, s.find('\0')));
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

[[noreturn]] void fail() { std::abort(); }

// `after` must be `before` with exactly one of: one line's value replaced, one
// key line inserted, or a section (with an optional blank line ahead of it)
// appended. A last line without a line end may gain one.
void checkLinesKept(std::string_view before, std::string_view after, const std::string& section,
                    const std::string& key, const std::string& value) {
    const auto o = rawLines(before);
    const auto n = rawLines(after);
    const auto same = [&](std::size_t i, std::size_t j) {
        if (o[i] == n[j]) return true;
        if (i + 1 != o.size() || !o[i].end.empty()) return false;
        const std::string joined = n[j].text + n[j].end;
        return joined == o[i].text + "\n" || joined == o[i].text + "\r\n";
    };
    std::size_t a = 0;
    while (a < o.size() && a < n.size() && same(a, a)) ++a;
    std::size_t b = 0;
    while (b < o.size() - a && b < n.size() - a && same(o.size() - 1 - b, n.size() - 1 - b)) ++b;
    const std::size_t oldMid = o.size() - a - b;
    const std::size_t newMid = n.size() - a - b;
    const std::string keyLine = key + "=" + value;

    if (oldMid > 1) fail();
    if (oldMid == 0 && newMid == 0) return;  // the key already held this value
    if (oldMid == 1) {
        if (newMid != 1) fail();
        const RawLine& was = o[a];
        const RawLine& now = n[a];
        if (was.end != now.end) fail();
        const auto eq = was.text.find('=');
        if (eq == std::string::npos) fail();
        if (now.text.compare(0, eq + 1, was.text, 0, eq + 1) != 0) fail();
        if (now.text.size() < eq + 1 + value.size()) fail();
        const std::size_t valueAt = now.text.size() - value.size();
        if (now.text.compare(valueAt, std::string::npos, value) != 0) fail();
        for (std::size_t i = eq + 1; i < valueAt; ++i)
            if (!blank(now.text[i])) fail();
        return;
    }
    if (newMid < 1 || newMid > 3) fail();
    bool sawKey = false;
    for (std::size_t j = a; j < a + newMid; ++j) {
        const std::string& t = n[j].text;
        if (n[j].end.empty()) fail();
        if (t == keyLine)
            sawKey = true;
        else if (!(t.empty() || t == "[" + section + "]"))
            fail();
    }
    if (!sawKey) fail();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(64);
    const std::string key = in.ConsumeRandomLengthString(64);
    const std::string value = in.ConsumeRandomLengthString(4096);
    const std::string otherSection = in.ConsumeRandomLengthString(64);
    const std::string otherKey = in.ConsumeRandomLengthString(64);
    const std::string content = in.ConsumeRemainingBytesAsString();

    const std::string kDefault("\x01 default", 10);
    const std::string got = kelvora::profileValueIn(content, section, key, kDefault);
    if (got != kDefault && got.size() > kelvora::kProfileValueLimit) fail();

    const std::string otherBefore = kelvora::profileValueIn(content, otherSection, otherKey, kDefault);
    const std::string updated = kelvora::profileWithValue(content, section, key, value);
    checkLinesKept(content, updated, oneLine(section), oneLine(key), oneLine(value));

    if (holdableSection(section) && holdableKey(key) && holdableValue(value)) {
        if (kelvora::profileValueIn(updated, section, key, kDefault) != value) fail();
        if (!(sameFolded(section, otherSection) && sameFolded(key, otherKey)) &&
            kelvora::profileValueIn(updated, otherSection, otherKey, kDefault) != otherBefore)
            fail();
    }
    return 0;
}
