#pragma once
// Real Firebird databases for the tests: created fresh at a path (embedded
// engine) or at "localhost:" + path (the test server of tools/fbserver.sh),
// with the sales schema, and filled or read back without going through the
// code under test's higher layers.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "database_client.h"
#include "sales_schema.h"
#include "test_support.h"

namespace kelvora::test {

inline constexpr const char* kTestUser = "sysdba";
inline constexpr const char* kTestPassword = "orchardly";

// True when a server accepts connections on 127.0.0.1:3050.
bool testServerUp();
// What goes before a server-side file path: "localhost:".
std::string testServerPrefix();
// For a test executable that needs the server: returns when it is up;
// otherwise the executable fails when KELVORA_TEST_SERVER=1 is set (the
// server was meant to run) and is skipped (77) when it is not.
void requireTestServer();

struct TestDatabase {
    std::string location;  // a file path or "localhost:" + path
    int dialect = 3;       // of the database and of the statements below

    // User, password and dialect; every other setting left to the client.
    salesdb::OpenParams openParams() const;
    std::unique_ptr<salesdb::IDatabaseClient> connect() const;
};

// Creates the database (never over an existing file). Throws DatabaseError.
TestDatabase createTestDatabase(const std::string& location, const demo::SchemaOptions& options = {});

void insertPayments(const TestDatabase& db, const std::vector<demo::Payment>& payments);

// One payment; a null amount is NULL.
inline demo::Payment payment(const char* amount, CalendarDate date, const char* code = "CASH",
                             const char* store = "0000", const char* status = "NS") {
    demo::Payment p;
    p.amount = amount ? std::optional<std::string>(amount) : std::nullopt;
    p.closeDate.date = date;
    p.store = store;
    p.status = status;
    p.masCode = code;
    return p;
}

struct JournalRow {
    std::string store;  // as stored: CHAR(4), so padded with blanks
    salesdb::Timestamp date;
    std::string period = "T";
    std::optional<std::string> memo;  // nullopt: NULL, or no S_MEMO column
    bool operator==(const JournalRow&) const = default;
};

// Any time of day; a memo only when the table has S_MEMO.
void insertJournalRow(const TestDatabase& db, const JournalRow& row);
// Every row, ordered by S_DATE then S_STORE.
std::vector<JournalRow> readJournalRows(const TestDatabase& db);

void runSql(const TestDatabase& db, const std::string& sql);
// Every row, each column as text (NULL as nullopt).
std::vector<std::vector<std::optional<std::string>>> querySql(const TestDatabase& db, const std::string& sql);

}  // namespace kelvora::test
