#pragma once
// The period-close journal (table STK_PERIOD_CLOSE): the already-sent query,
// the journal insert and the listing shown by "RETRV".

#include <string>
#include <string_view>
#include <vector>

#include "database_client.h"
#include "date_time.h"
#include "regional_settings.h"
#include "sql_query.h"

namespace kelvora::salesdb {

inline constexpr std::string_view kPeriodMarker = "T";

// One line; dates in statements always carry "/".
std::string alreadySentQuery(const std::string& store, const CalendarDate& salesDate);

// The two fixed lines of tblPeriodCLOSE_INSERT and its four parameters.
const std::vector<std::string>& journalInsertLines();
std::vector<ParamValue> journalInsertParams(const CalendarDate& salesDate, const std::string& memo,
                                            const std::string& store);

// The six lines of SQL_GetLog.
std::vector<std::string> journalListingLines(const std::string& store, const CalendarDate& from,
                                             const CalendarDate& to);

struct JournalRow {
    std::string store;
    Timestamp date;
    std::string period;
    std::string memo;
};

// Store fitted to 10 with blanks, the date as "dd-MMM-yyyy", " > ", piece 1 of the memo cut at ">".
std::string listingLine(const JournalRow& row, const RegionalSettings& regional);

// What the listing writes to.
class IJournalListingView {
public:
    virtual ~IJournalListingView() = default;
    virtual void clearList() = 0;
    virtual void appendLine(const std::string& line) = 0;
    virtual void processPendingEvents() = 0;
    virtual void plainBox(const std::string& text) = 0;
};

inline constexpr std::string_view kListingError = "SQL_GetLog Retrv ERROR";

// "RETRV": empties the list, lists the store's rows of the range; any failure
// shows kListingError, the lines read so far kept. Lets no failure escape.
void runJournalListing(SqlQuery& SQL_GetLog, const std::string& store, const CalendarDate& from,
                       const CalendarDate& to, IJournalListingView& view, const RegionalSettings& regional);

}  // namespace kelvora::salesdb
