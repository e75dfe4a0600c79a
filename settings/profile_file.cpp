#include "profile_file.h"

#include <cerrno>
#include <cstddef>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora {

namespace {

// ---------------------------------------------------------------------------
// The text format

// White space other than LF. A CR counts so that "x=1<CR>" at the very end of
// a file means the same before and after a line end is added behind it.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (foldAscii(a[i]) != foldAscii(b[i])) return false;
    return true;
}

// The callers pass names and values the way the old platform took them: as C
// strings, so a NUL ends them.
std::string_view cutAtNul(std::string_view s) {
    const auto nul = s.find('\0');
    return nul == std::string_view::npos ? s : s.substr(0, nul);
}

// A CR or LF would end the line early and could smuggle in keys or sections.
std::string asOneLine(std::string_view s) {
    std::string out(cutAtNul(s));
    for (char& c : out)
        if (c == '\r' || c == '\n') c = ' ';
    return out;
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::size_t begin = 0;    // offset of the line's first byte
    std::size_t textEnd = 0;  // offset just past the text (where the line end starts)
    std::size_t end = 0;      // offset just past the line end
};

// Lines end with LF or CR LF; a lone CR is an ordinary byte. A last line
// without a line end counts as a line; an empty tail does not.
std::vector<Line> splitLines(std::string_view content) {
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < content.size()) {
        const auto lf = content.find('\n', pos);
        Line line;
        line.begin = pos;
        if (lf == std::string_view::npos) {
            line.textEnd = line.end = content.size();
        } else {
            line.textEnd = (lf > pos && content[lf - 1] == '\r') ? lf - 1 : lf;
            line.end = lf + 1;
        }
        lines.push_back(line);
        pos = line.end;
    }
    return lines;
}

enum class LineKind { Other, Section, Key };

struct Classified {
    LineKind kind = LineKind::Other;
    std::string_view name;
    std::size_t valueStart = 0;  // key lines: offset in the line text just past the "="
};

Classified classify(std::string_view text) {
    Classified c;
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i == text.size() || text[i] == ';') return c;
    if (text[i] == '[') {
        // A "[" without its "]" is neither a section nor a key.
        const auto close = text.find(']', i + 1);
        if (close != std::string_view::npos) {
            c.kind = LineKind::Section;
            c.name = trimBlanks(text.substr(i + 1, close - i - 1));
        }
        return c;
    }
    const auto eq = text.find('=', i);
    if (eq == std::string_view::npos) return c;
    c.kind = LineKind::Key;
    c.name = trimBlanks(text.substr(i, eq - i));
    c.valueStart = eq + 1;
    return c;
}

struct Document {
    std::string_view content;
    std::vector<Line> lines;

    explicit Document(std::string_view c) : content(c), lines(splitLines(c)) {}

    std::string_view text(std::size_t i) const {
        std::size_t begin = lines[i].begin;
        // A byte-order mark written by an editor is not part of the first line.
        if (i == 0 && content.substr(0, kUtf8Bom.size()) == kUtf8Bom) begin += kUtf8Bom.size();
        if (begin > lines[i].textEnd) begin = lines[i].textEnd;
        return content.substr(begin, lines[i].textEnd - begin);
    }
};

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

struct Location {
    std::size_t sectionLine = kNone;
    std::size_t keyLine = kNone;
    std::size_t lastKeyLine = kNone;  // last key line of the section, if any
    Classified key;
};

// The first matching section, and the first matching key within it.
Location locate(const Document& doc, std::string_view section, std::string_view key) {
    Location loc;
    for (std::size_t i = 0; i < doc.lines.size(); ++i) {
        const Classified c = classify(doc.text(i));
        if (loc.sectionLine == kNone) {
            if (c.kind == LineKind::Section && sameName(c.name, section)) loc.sectionLine = i;
            continue;
        }
        if (c.kind == LineKind::Section) break;
        if (c.kind != LineKind::Key) continue;
        loc.lastKeyLine = i;
        if (loc.keyLine == kNone && sameName(c.name, key)) {
            loc.keyLine = i;
            loc.key = c;
        }
    }
    return loc;
}

// LF unless the file's first line ends with CR LF.
std::string_view lineEndOf(std::string_view content) {
    const auto lf = content.find('\n');
    if (lf != std::string_view::npos && lf > 0 && content[lf - 1] == '\r') return "\r\n";
    return "\n";
}

// ---------------------------------------------------------------------------
// Files

bool readAll(int fd, std::string& out) {
    out.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return true;
        out.append(buffer, static_cast<std::size_t>(n));
    }
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Everything up to and including the last "/"; empty when there is none.
std::string_view folderPart(std::string_view path) {
    const auto slash = path.rfind('/');
    return slash == std::string_view::npos ? std::string_view{} : path.substr(0, slash + 1);
}

// The file a write must land in: a symlinked settings file is written
// through to its target, so the link itself stays.
bool resolveLinks(std::string path, std::string& out) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0) {
            if (errno != ENOENT) return false;
            out = path;
            return true;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = path;
            return true;
        }
        std::string target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
        for (;;) {
            const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
            if (n < 0) return false;
            if (static_cast<std::size_t>(n) < target.size()) {
                target.resize(static_cast<std::size_t>(n));
                break;
            }
            target.resize(target.size() * 2);
        }
        if (target.empty()) return false;
        path = target.front() == '/' ? target : std::string(folderPart(path)) + target;
    }
    return false;
}

mode_t modeForNewFile() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

// Puts `bytes` in place of `target` whole or not at all: a temporary file in
// the same folder, flushed, then renamed over the old one. A writer killed
// half-way leaves only its temporary file behind, which nothing reads.
bool replaceFile(const std::string& target, std::string_view bytes, const struct stat* old) {
    const std::string_view folder = folderPart(target);
    const std::string_view base = std::string_view(target).substr(folder.size());
    std::string temp = std::string(folder) + "." + std::string(base) + ".XXXXXX";

    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return false;

    bool ok = writeAll(fd, bytes);
    // Keep the owner where we may: root may, others keep at least the group
    // when they belong to it.
    if (ok && old && ::fchown(fd, old->st_uid, old->st_gid) != 0)
        (void)!::fchown(fd, static_cast<uid_t>(-1), old->st_gid);
    if (ok) ok = ::fchmod(fd, old ? (old->st_mode & 07777) : modeForNewFile()) == 0;
    if (ok) ok = ::fsync(fd) == 0;
    if (::close(fd) != 0) ok = false;
    if (ok) ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }

    // Make the rename itself durable. The new content is in place by now, so
    // a folder that cannot be flushed does not turn the write into a failure.
    const std::string folderPath = folder.empty() ? std::string(".") : std::string(folder);
    const int dirFd = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        (void)::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------------------

std::string profileValueIn(std::string_view content, std::string_view section,
                           std::string_view key, std::string_view defaultText) {
    const Document doc(content);
    const Location loc = locate(doc, cutAtNul(section), cutAtNul(key));
    if (loc.keyLine == kNone) return std::string(defaultText);

    std::string_view value = doc.text(loc.keyLine).substr(loc.key.valueStart);
    value = trimBlanks(cutAtNul(value));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        value = value.substr(1, value.size() - 2);
    if (value.size() > kProfileValueLimit) value = value.substr(0, kProfileValueLimit);
    return std::string(value);
}

std::string profileWithValue(std::string_view content, std::string_view section,
                             std::string_view key, std::string_view value) {
    const std::string sectionName = asOneLine(section);
    const std::string keyName = asOneLine(key);
    const std::string newValue = asOneLine(value);
    const std::string_view eol = lineEndOf(content);

    const Document doc(content);
    const Location loc = locate(doc, sectionName, keyName);
    std::string out;
    out.reserve(content.size() + sectionName.size() + keyName.size() + newValue.size() + 16);

    if (loc.keyLine != kNone) {
        // Replace the old value only: the key as spelt in the file, the blanks
        // around "=" and the line end stay.
        const Line& line = doc.lines[loc.keyLine];
        const std::string_view text = content.substr(line.begin, line.textEnd - line.begin);
        std::size_t keep = (text.size() - doc.text(loc.keyLine).size()) + loc.key.valueStart;
        // Spaces and tabs only: a kept CR would join the line end when the new
        // value is empty.
        while (keep < text.size() && (text[keep] == ' ' || text[keep] == '\t')) ++keep;
        out.append(content.substr(0, line.begin));
        out.append(text.substr(0, keep));
        out.append(newValue);
        out.append(content.substr(line.textEnd));
        return out;
    }

    if (loc.sectionLine != kNone) {
        // A new key goes after the section's last key, ahead of any comments or
        // blank lines that separate it from the next section.
        const std::size_t after = loc.lastKeyLine != kNone ? loc.lastKeyLine : loc.sectionLine;
        const Line& line = doc.lines[after];
        out.append(content.substr(0, line.end));
        if (line.end == line.textEnd) out.append(eol);  // the file's last line had no line end
        out.append(keyName).append("=").append(newValue).append(eol);
        out.append(content.substr(line.end));
        return out;
    }

    // A new section goes at the end, set off by one blank line.
    out.append(content);
    if (!content.empty()) {
        if (content.back() != '\n') out.append(eol);
        if (!trimBlanks(doc.text(doc.lines.size() - 1)).empty()) out.append(eol);
    }
    out.append("[").append(sectionName).append("]").append(eol);
    out.append(keyName).append("=").append(newValue).append(eol);
    return out;
}

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view defaultText) const {
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::string(defaultText);
    std::string content;
    const bool ok = readAll(fd, content);
    ::close(fd);
    if (!ok) return std::string(defaultText);
    return profileValueIn(content, section, key, defaultText);
}

void ProfileFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const auto refused = [this] { return SettingsWriteError("Unable to write to " + path_); };
    if (path_.empty()) throw refused();

    std::string target;
    if (!resolveLinks(path_, target)) throw refused();

    std::string old;
    struct stat st {};
    bool exists = false;
    const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT) throw refused();
    } else {
        const bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && readAll(fd, old);
        ::close(fd);
        if (!ok) throw refused();
        exists = true;
        // A read-only file is refused even where the rename would get past it
        // (the folder is writable, or we are root).
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(target.c_str(), W_OK) != 0)
            throw refused();
    }

    const std::string updated = profileWithValue(old, section, key, value);
    if (!replaceFile(target, updated, exists ? &st : nullptr)) throw refused();
}

std::string settingsFilePathFor(std::string_view executablePath) {
    return std::string(folderPart(executablePath)) + std::string(kSettingsFileName);
}

}  // namespace kelvora
