#pragma once
// The benchmark's store database: two years of payments of five stores and a
// long period-close journal of store "0000", built reproducibly from a seed.

#include <cstddef>
#include <cstdint>
#include <string>

#include "date_time.h"

namespace kelvora::bench {

// Where payments are made: one statement block per chunk inside the engine,
// or one prepared insert per row from the client.
enum class PaymentMethod { Server, Client };

struct BenchDataOptions {
    std::size_t payments = 1000000;
    std::size_t journalRows = 10000;
    bool paymentIndex = true;  // index on (Pymt_CloseDate, Pymt_Store), or no index on the payments
    PaymentMethod method = PaymentMethod::Server;
    std::uint32_t seed = 20050501u;
    bool forcedWrites = true;  // the write mode left behind; the load itself always runs without

};

// The days the data covers. Payments run over kPaymentDays days ending with
// lastSalesDay(); the journal has one row a day for store "0000" ending the
// day before, so GET Sales of lastSalesDay() finds no earlier submission.
inline constexpr int kPaymentDays = 730;
inline constexpr const char* kJournalStore = "0000";
CalendarDate lastSalesDay();
CalendarDate firstPaymentDay();
CalendarDate firstJournalDay(std::size_t journalRows);
CalendarDate addDays(CalendarDate date, int days);

struct GenerationTimes {
    double schemaSeconds = 0;
    double paymentSeconds = 0;
    double journalSeconds = 0;
};

// Creates the database at `path` (never over an existing file). Throws
// salesdb::DatabaseError or std::runtime_error.
GenerationTimes generateBenchDatabase(const std::string& path, const BenchDataOptions& options);

// The memo "SEND" writes for a submission of `salesDate` sent at `sentAt`
// with the given six totals.
std::string sendMemo(const CalendarDate& salesDate, const LocalDateTime& sentAt, const std::string (&totals)[6]);

}  // namespace kelvora::bench
