#include "sql_text.h"

namespace kelvora {

namespace {
// Compared as unsigned: bytes 128 and above are letters of the code page.
bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }
}  // namespace

std::string trimText(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlankOrControl(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlankOrControl(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string quoteSql(std::string_view value) {
    std::string quoted;
    quoted.reserve(value.size() + 2);
    quoted += '\'';
    for (const char c : value) {
        if (c == '\'') {
            quoted += '\'';
        }
        quoted += c;
    }
    quoted += '\'';
    return quoted;
}

}  // namespace kelvora
