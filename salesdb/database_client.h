#pragma once
// What the program asks of the database client: open with a location, user,
// password and the settings the connection's parameter list yields; run
// queries with result rows and statements with named parameters; each
// statement is committed on its own as soon as it succeeds.
//
// Every refusal is a DatabaseError carrying the client's own text. Callers
// never show that text; they report with fixed messages of their own.

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "date_time.h"

namespace kelvora::salesdb {

class DatabaseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TransIsolation { ReadCommitted, RepeatableRead, DirtyRead };

// Settings handed to the client before opening; an absent one takes the
// client's default.
struct ClientSettings {
    std::optional<std::string> roleName;
    std::optional<bool> waitOnLocks;
    std::optional<bool> commitRetain;
    std::optional<bool> trimChar;
    std::optional<std::string> serverCharSet;
    std::optional<int> sqlDialect;
    std::optional<TransIsolation> isolation;
    bool operator==(const ClientSettings&) const = default;
};

struct OpenParams {
    std::string errorResourceFile;
    ClientSettings settings;
    std::string database;  // a file path (embedded engine) or host:path (server)
    std::string userName;
    std::string password;
    std::int64_t blobSizeLimit = -1;  // -1: no limit
    bool operator==(const OpenParams&) const = default;
};

struct Timestamp {
    CalendarDate date;
    int hour = 0, minute = 0, second = 0;
    int fraction = 0;  // ten-thousandths of a second
    bool operator==(const Timestamp&) const = default;
};

// How a result column is delivered.
enum class ColumnKind { FixedText, VarText, TextBlob, Blob, Integer, FixedPoint, Float, Timestamp, Date, Time, Boolean, Other };

// Rows of an open query. The first row, if any, is current after opening.
class IResultRows {
public:
    virtual ~IResultRows() = default;
    virtual bool eof() const = 0;  // no current row: empty result or past the last
    virtual void next() = 0;
    virtual int columnCount() const = 0;
    virtual int columnIndex(std::string_view name) const = 0;  // -1 when missing; case-insensitive
    virtual ColumnKind columnKind(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    virtual std::string asText(int column) const = 0;       // text blobs read whole
    virtual double asDouble(int column) const = 0;          // NULL reads as 0
    virtual Timestamp asTimestamp(int column) const = 0;
    virtual void close() noexcept = 0;                      // commits its transaction
};

enum class ParamKind { Date, Text, Memo };

struct ParamValue {
    std::string name;  // without the colon
    ParamKind kind = ParamKind::Text;
    std::string text;  // Text and Memo
    CalendarDate date; // Date: the calendar date only
};

// One attachment.
class IDatabaseClient {
public:
    virtual ~IDatabaseClient() = default;
    virtual void open(const OpenParams& params) = 0;
    virtual bool isOpen() const = 0;
    virtual std::unique_ptr<IResultRows> openQuery(const std::string& sql) = 0;
    virtual void execute(const std::string& sql, const std::vector<ParamValue>& params) = 0;
    // Closes every result still open, then the attachment; reports nothing.
    virtual void close() noexcept = 0;
};

std::unique_ptr<IDatabaseClient> makeFirebirdClient();

// ":NAME" markers outside quoted text become "?"; `names` receives the
// parameter names in marker order (a name used twice appears twice).
std::string translateNamedParameters(std::string_view sql, std::vector<std::string>& names);

// A statement's text: its lines, each ended by CR LF.
std::string joinStatementLines(const std::vector<std::string>& lines);

}  // namespace kelvora::salesdb
