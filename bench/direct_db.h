#pragma once
// The benchmark's baseline: the same statements as the program's, run
// straight through the Firebird OO API on one open embedded attachment,
// each in a transaction of its own as the program runs them.

#include <cstddef>
#include <optional>
#include <string>

#include "date_time.h"

namespace Firebird {
class IAttachment;
class IProvider;
}  // namespace Firebird

namespace kelvora::bench {

struct DirectResult {
    std::size_t rows = 0;
    std::optional<double> firstValue;  // first column of the first row, when numeric and not NULL
    std::size_t blobBytes = 0;         // text read from blob columns, all rows
};

class DirectDatabase {
public:
    explicit DirectDatabase(const std::string& path);  // throws salesdb::DatabaseError
    ~DirectDatabase();
    DirectDatabase(const DirectDatabase&) = delete;
    DirectDatabase& operator=(const DirectDatabase&) = delete;

    // Prepares, opens, fetches every row (blobs read whole), commits.
    DirectResult query(const std::string& sql);
    // The journal insert with its four named parameters, committed.
    void insertJournalRow(const CalendarDate& salesDate, const std::string& memo, const std::string& store);

private:
    Firebird::IProvider* provider_ = nullptr;
    Firebird::IAttachment* attachment_ = nullptr;
};

}  // namespace kelvora::bench
