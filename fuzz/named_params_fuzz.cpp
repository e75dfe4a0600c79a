// translateNamedParameters: every marker becomes one "?", nothing else moves,
// and the result holds no marker any more.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "database_client.h"

namespace {

bool isIdentifierChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '$';
}

void check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view sql(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> names;
    const std::string out = kelvora::salesdb::translateNamedParameters(sql, names);

    // Each name is a non-empty run of identifier characters; each marker ":NAME"
    // shrank to one character.
    std::size_t removed = 0;
    for (const auto& name : names) {
        check(!name.empty());
        for (char c : name) check(isIdentifierChar(c));
        removed += name.size();
    }
    check(out.size() + removed == sql.size());

    // Put the markers back where the "?" of markers stand: the input returns.
    // Any "?" that was in the input already stays as it is.
    std::string rebuilt;
    std::size_t next = 0, in = 0;
    for (char c : out) {
        if (c == '?' && next < names.size() && sql.substr(in, 1 + names[next].size()) == ":" + names[next]) {
            rebuilt += ":" + names[next];
            in += 1 + names[next].size();
            ++next;
        } else {
            rebuilt += c;
            ++in;
        }
    }
    check(next == names.size());
    check(rebuilt == sql);

    // A second pass finds nothing more and changes nothing.
    std::vector<std::string> again;
    check(kelvora::salesdb::translateNamedParameters(out, again) == out);
    check(again.empty());

    const std::string joined = kelvora::salesdb::joinStatementLines({std::string(sql), out});
    check(joined.size() == sql.size() + out.size() + 4);
    return 0;
}
