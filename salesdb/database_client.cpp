// Statement text helpers. Kept free of the database client's headers so the
// parameter scanner can be built and fuzzed on its own.

#include "database_client.h"

namespace kelvora::salesdb {

namespace {

bool isIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '$';
}

}  // namespace

std::string translateNamedParameters(std::string_view sql, std::vector<std::string>& names) {
    names.clear();
    std::string out;
    out.reserve(sql.size());
    const std::size_t n = sql.size();
    std::size_t i = 0;
    while (i < n) {
        const char c = sql[i];
        if (c == '\'' || c == '"') {
            // Quoted text runs to the next matching quote; a doubled quote simply
            // closes and reopens it, so it needs no case of its own.
            const std::size_t close = sql.find(c, i + 1);
            const std::size_t end = close == std::string_view::npos ? n : close + 1;
            out.append(sql.substr(i, end - i));
            i = end;
        } else if (c == '-' && i + 1 < n && sql[i + 1] == '-') {
            // The server ignores comments, so a marker there must not become a
            // parameter the statement does not have.
            const std::size_t eol = sql.find('\n', i + 2);
            const std::size_t end = eol == std::string_view::npos ? n : eol;
            out.append(sql.substr(i, end - i));
            i = end;
        } else if (c == '/' && i + 1 < n && sql[i + 1] == '*') {
            const std::size_t close = sql.find("*/", i + 2);
            const std::size_t end = close == std::string_view::npos ? n : close + 2;
            out.append(sql.substr(i, end - i));
            i = end;
        } else if (c == ':' && i + 1 < n && sql[i + 1] == ':') {
            out.append("::");
            i += 2;
        } else if (c == ':' && i + 1 < n && isIdentifierChar(sql[i + 1])) {
            std::size_t end = i + 1;
            while (end < n && isIdentifierChar(sql[end])) ++end;
            names.emplace_back(sql.substr(i + 1, end - i - 1));
            out.push_back('?');
            i = end;
        } else {
            out.push_back(c);
            ++i;
        }
    }
    return out;
}

std::string joinStatementLines(const std::vector<std::string>& lines) {
    std::string text;
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + 2;
    text.reserve(size);
    for (const auto& line : lines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace kelvora::salesdb
