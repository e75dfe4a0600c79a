// SplitItem and FitWidth against a plain model of their rules.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "uni_MESSAGE.h"

namespace {

// The pieces, found another way: delimiters and CR LF / CR become LF, a NUL
// ends the text, then the text is cut at every LF.
std::vector<std::string> modelPieces(const std::string& text, const std::string& delimiter) {
    std::string work;
    for (std::size_t i = 0; i < text.size();) {
        if (!delimiter.empty() && text.compare(i, delimiter.size(), delimiter) == 0) {
            work += "\r\n";
            i += delimiter.size();
        } else {
            work += text[i++];
        }
    }
    work = work.substr(0, work.find('\0'));
    for (std::size_t at = work.find("\r\n"); at != std::string::npos; at = work.find("\r\n", at + 1)) {
        work.replace(at, 2, "\n");
    }
    for (char& c : work) {
        c = c == '\r' ? '\n' : c;
    }
    std::vector<std::string> pieces(1);
    for (const char c : work) {
        if (c == '\n') {
            pieces.emplace_back();
        } else {
            pieces.back() += c;
        }
    }
    if (work.empty() || work.back() == '\n') {
        pieces.pop_back();  // no line after a final break
    }
    return pieces;
}

std::string modelFit(const std::string& text, int width, char fill) {
    if (width <= 0) {
        return {};
    }
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && static_cast<unsigned char>(text[begin]) <= 32) ++begin;
    while (end > begin && static_cast<unsigned char>(text[end - 1]) <= 32) --end;
    std::string trimmed = text.substr(begin, end - begin);
    const auto w = static_cast<std::size_t>(width);
    return trimmed.size() >= w ? trimmed.substr(0, w) : trimmed + std::string(w - trimmed.size(), fill);
}

void fail(const char* what) {
    std::fprintf(stderr, "mismatch: %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const int piece = in.ConsumeIntegralInRange<int>(-2, 40);
    const int width = in.ConsumeIntegralInRange<int>(-3, 200);
    const char fill = in.ConsumeIntegral<char>();
    const bool delimiterFromText = in.ConsumeBool();
    const std::size_t delimiterAt = in.ConsumeIntegral<std::uint16_t>();
    const std::size_t delimiterLength = in.ConsumeIntegralInRange<std::size_t>(0, 4);
    std::string delimiter = delimiterFromText ? "" : in.ConsumeRandomLengthString(6);
    const std::string text = in.ConsumeRemainingBytesAsString();
    if (delimiterFromText && !text.empty()) {
        delimiter = text.substr(delimiterAt % text.size(), delimiterLength);
    }

    const std::vector<std::string> pieces = modelPieces(text, delimiter);
    auto expected = [&](int n) {
        return n >= 0 && static_cast<std::size_t>(n) < pieces.size() ? pieces[static_cast<std::size_t>(n)]
                                                                       : std::string();
    };
    const std::string got = kelvora::SplitItem(text, delimiter, piece);
    if (got != expected(piece)) fail("SplitItem, chosen piece");
    if (got.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) fail("SplitItem piece holds a break");
    for (int n = 0; n <= static_cast<int>(pieces.size()) && n < 12; ++n) {
        if (kelvora::SplitItem(text, delimiter, n) != expected(n)) fail("SplitItem, piece by piece");
    }

    const std::string fitted = kelvora::FitWidth(text, width, fill);
    if (fitted != modelFit(text, width, fill)) fail("FitWidth");
    if (fitted.size() != static_cast<std::size_t>(width < 0 ? 0 : width)) fail("FitWidth length");
    return 0;
}
