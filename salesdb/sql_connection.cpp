#include "sql_connection.h"

#include <charconv>
#include <optional>

#include "sql_text.h"

namespace kelvora::salesdb {

namespace {

constexpr const char* kDriverName = "Interbase";
constexpr const char* kBuiltInLocation = "localhost:/var/lib/firebird/3.0/data/kelvora.fdb";

char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

// The value of the first line named `name`: everything after its first "=".
// Lines without "=" name nothing.
std::optional<std::string> valueOf(const std::vector<std::string>& list, std::string_view name) {
    for (const auto& line : list) {
        const auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        if (sameName(std::string_view(line).substr(0, eq), name)) return line.substr(eq + 1);
    }
    return std::nullopt;
}

bool isTrue(const std::string& value) {
    std::string t = trimText(value);
    for (char& c : t) c = upper(c);
    return t == "TRUE";
}

template <class Int>
Int wholeNumber(const std::string& value, std::string_view name) {
    const std::string t = trimText(value);
    Int number{};
    const char* first = t.data();
    const char* last = first + t.size();
    if (first != last && *first == '+') ++first;
    const auto res = std::from_chars(first, last, number);
    if (t.empty() || res.ec != std::errc() || res.ptr != last)
        throw DatabaseError(std::string(name) + " is not a whole number: \"" + value + "\"");
    return number;
}

}  // namespace

std::vector<std::string> builtInParameterList() {
    return {
        "DriverName=Interbase",
        std::string("Database=") + kBuiltInLocation,
        "RoleName=RoleName",
        "User_Name=sysdba",
        "Password=orchardly",
        "ServerCharSet=",
        "SQLDialect=1",
        "ErrorResourceFile=",
        "LocaleCode=0000",
        "BlobSize=-1",
        "CommitRetain=False",
        "WaitOnLocks=True",
        "Interbase TransIsolation=ReadCommited",
        "Trim Char=False",
    };
}

std::vector<std::string> connectParameterList(const std::string& location) {
    return {
        "DriverName=Interbase",
        "Database=" + location,
        "User_Name=sysdba",
        "Password=orchardly",
    };
}

OpenParams openParamsFromList(const std::vector<std::string>& list) {
    OpenParams p;
    if (auto v = valueOf(list, "ErrorResourceFile")) p.errorResourceFile = trimText(*v);

    ClientSettings& s = p.settings;
    if (auto v = valueOf(list, "RoleName")) s.roleName = trimText(*v);
    if (auto v = valueOf(list, "WaitOnLocks")) s.waitOnLocks = isTrue(*v);
    if (auto v = valueOf(list, "CommitRetain")) s.commitRetain = isTrue(*v);
    if (auto v = valueOf(list, "Trim Char")) s.trimChar = isTrue(*v);
    if (auto v = valueOf(list, "ServerCharSet")) {
        std::string charSet = trimText(*v);
        if (!charSet.empty()) s.serverCharSet = std::move(charSet);
    }
    if (auto v = valueOf(list, "SQLDialect")) s.sqlDialect = wholeNumber<int>(*v, "SQLDialect");
    // The isolation line is named after the driver, which the configuration fixes.
    if (auto v = valueOf(list, std::string(kDriverName) + " TransIsolation")) {
        std::string mode = *v;
        for (char& c : mode) c = lower(c);
        if (mode == "repeatableread")
            s.isolation = TransIsolation::RepeatableRead;
        else if (mode == "dirtyread")
            s.isolation = TransIsolation::DirtyRead;
        else
            s.isolation = TransIsolation::ReadCommitted;
    }

    if (auto v = valueOf(list, "Database")) p.database = trimText(*v);
    if (auto v = valueOf(list, "User_Name")) p.userName = *v;
    if (auto v = valueOf(list, "Password")) p.password = *v;
    if (auto v = valueOf(list, "BlobSize")) p.blobSizeLimit = wholeNumber<std::int64_t>(*v, "BlobSize");
    return p;
}

SqlConnection::SqlConnection(std::unique_ptr<IDatabaseClient> client)
    : client_(std::move(client)), params_(builtInParameterList()) {}

bool SqlConnection::connected() const { return client_ && client_->isOpen(); }

void SqlConnection::open() {
    if (connected()) return;
    noticeLostAttachment();
    if (!client_) throw DatabaseError("No database client");
    if (busy_) busy_->busyBegin();
    try {
        client_->open(openParamsFromList(params_));
    } catch (...) {
        if (busy_) busy_->busyEnd();
        throw;
    }
    if (busy_) busy_->busyEnd();
    toldOpen_ = true;
    if (afterConnect) afterConnect();
}

void SqlConnection::close() noexcept {
    if (!connected()) {
        noticeLostAttachment();
        return;
    }
    // The client closes the results still open before the attachment.
    client_->close();
    toldOpen_ = false;
    if (afterDisconnect) {
        try {
            afterDisconnect();
        } catch (...) {
            // Closing reports no failure.
        }
    }
}

void SqlConnection::noticeLostAttachment() noexcept {
    if (!toldOpen_ || connected()) return;
    toldOpen_ = false;
    if (afterDisconnect) {
        try {
            afterDisconnect();
        } catch (...) {
        }
    }
}

std::unique_ptr<IResultRows> SqlConnection::openQuery(const std::vector<std::string>& lines) {
    open();
    try {
        return client_->openQuery(joinStatementLines(lines));
    } catch (...) {
        noticeLostAttachment();
        throw;
    }
}

void SqlConnection::execute(const std::vector<std::string>& lines, const std::vector<ParamValue>& params) {
    open();
    try {
        client_->execute(joinStatementLines(lines), params);
    } catch (...) {
        noticeLostAttachment();
        throw;
    }
}

}  // namespace kelvora::salesdb
