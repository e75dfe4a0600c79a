#pragma once
// Small text rules shared by statements and log lines.

#include <string>
#include <string_view>

namespace kelvora {

// Removes every character of code 32 or below from both ends.
std::string trimText(std::string_view text);

// Places a value between single quotes, embedded quotes doubled: O'Neil -> 'O''Neil'.
std::string quoteSql(std::string_view value);

}  // namespace kelvora
