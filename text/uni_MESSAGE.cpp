#include "uni_MESSAGE.h"

#include <cstddef>

#include "sql_text.h"

namespace kelvora {

std::string SplitItem(std::string text, std::string delimiter, int piece) {
    if (piece < 0) {
        return {};
    }

    // Every delimiter occurrence becomes a line break, so the pieces are the
    // lines of the work text.
    std::string work;
    work.reserve(text.size());
    std::size_t from = 0;
    if (!delimiter.empty()) {
        for (std::size_t at = text.find(delimiter); at != std::string::npos;
             at = text.find(delimiter, from)) {
            work.append(text, from, at - from);
            work += "\r\n";
            from = at + delimiter.size();
        }
    }
    work.append(text, from, std::string::npos);

    // A NUL ends the text, as it does for the C string the lines were cut from.
    if (const auto nul = work.find('\0'); nul != std::string::npos) {
        work.resize(nul);
    }

    int line = 0;
    std::size_t start = 0;
    std::size_t i = 0;
    while (i < work.size()) {
        const char c = work[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        if (line == piece) {
            return work.substr(start, i - start);
        }
        ++line;
        i += (c == '\r' && i + 1 < work.size() && work[i + 1] == '\n') ? 2 : 1;
        start = i;
    }
    // The last line has no break after it; a break at the very end adds none.
    if (line == piece && start < work.size()) {
        return work.substr(start);
    }
    return {};
}

std::string FitWidth(std::string text, int width, char fill) {
    if (width <= 0) {
        return {};
    }
    std::string fitted = trimText(text);
    fitted.resize(static_cast<std::size_t>(width), fill);
    return fitted;
}

}  // namespace kelvora
