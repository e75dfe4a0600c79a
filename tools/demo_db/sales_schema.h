#pragma once
// The point-of-sale tables the program reads and writes, created in a new
// database file: used by the tests, the demo database tool and the
// benchmark data generator.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "database_client.h"

namespace kelvora::demo {

enum class AmountType { Numeric, Integer, Double };  // NUMERIC(15,2), INTEGER, DOUBLE PRECISION

struct SchemaOptions {
    int dialect = 3;                  // of the new database and of every statement here
    bool paymentIndex = true;         // index on (Pymt_CloseDate, Pymt_Store) for the total queries
    bool journalDateAsDate = false;   // S_DATE as DATE instead of TIMESTAMP (dialect 3 only)
    bool journalMemo = true;          // with column S_MEMO
    AmountType amountType = AmountType::Numeric;
    unsigned pageSize = 8192;
    bool forcedWrites = false;        // asynchronous writes: much faster bulk loads
};

struct Credentials {
    std::string user = "sysdba";
    std::string password = "orchardly";
};

// Creates the database at `location` (a file path for the embedded engine,
// or host:path for a server) with the two tables and their indexes. Never
// replaces an existing file: that fails like every other refusal, with a
// salesdb::DatabaseError carrying the client's text.
void createSalesDatabase(const std::string& location, const SchemaOptions& options = {},
                         const Credentials& credentials = {});

struct Payment {
    std::optional<std::string> amount;  // decimal text such as "1234.50"; nullopt: NULL
    salesdb::Timestamp closeDate;       // the business date, normally at midnight
    std::string store = "0000";
    std::string status = "NS";
    std::string masCode = "CASH";
};

// Inserts payments through one prepared statement; `next` fills the next one
// and returns false when there are no more. Returns the number inserted.
std::size_t insertPayments(const std::string& location, int dialect, const std::function<bool(Payment&)>& next,
                           const Credentials& credentials = {});
std::size_t insertPayments(const std::string& location, int dialect, const std::vector<Payment>& payments,
                           const Credentials& credentials = {});

// The DDL statements createSalesDatabase runs, in order.
std::vector<std::string> schemaStatements(const SchemaOptions& options);

}  // namespace kelvora::demo
