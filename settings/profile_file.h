#pragma once
// The settings file: a private-profile (INI) file read and written one key at
// a time. The object holds the full path only and caches nothing.

#include <stdexcept>
#include <string>
#include <string_view>

namespace kelvora {

// A write the platform refused; the text is "Unable to write to <full path>".
class SettingsWriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ProfileFile {
public:
    explicit ProfileFile(std::string fullPath) : path_(std::move(fullPath)) {}

    const std::string& path() const { return path_; }

    // The stored value, or `defaultText` when the file, section or key is
    // missing. Names match without regard to letter case; the first matching
    // section and key count; at most 2047 characters; a matching pair of
    // quotation marks around the value is removed. Never fails.
    std::string readString(std::string_view section, std::string_view key,
                           std::string_view defaultText) const;

    // Creates the file, section or key when missing, otherwise replaces the
    // value; every other line stays byte for byte. The old file is replaced
    // whole or not at all. Throws SettingsWriteError when refused.
    void writeString(std::string_view section, std::string_view key, std::string_view value);

private:
    std::string path_;
};

inline constexpr std::string_view kSettingsFileName = "Kelvora.ini";
inline constexpr std::size_t kProfileValueLimit = 2047;

// The folder of `executablePath` (cut after its last "/") + "Kelvora.ini".
std::string settingsFilePathFor(std::string_view executablePath);

// The reading and writing rules on a file's bytes, without disk I/O; the
// ProfileFile members run them on the file's current content.

// What readString returns for a file holding `content`.
std::string profileValueIn(std::string_view content, std::string_view section,
                           std::string_view key, std::string_view defaultText);

// `content` after writing one key: only the key's line changes, or new lines
// are added; every other byte stays. CR and LF in the value or the names
// become blanks (they would split the line); a NUL ends them, as it would
// end a C string.
std::string profileWithValue(std::string_view content, std::string_view section,
                             std::string_view key, std::string_view value);

}  // namespace kelvora
