#include "period_close_journal.h"

#include <array>

#include "formats.h"
#include "sql_text.h"
#include "uni_MESSAGE.h"

namespace kelvora::salesdb {

namespace {

const std::string kMarker(kPeriodMarker);

// The listing reads its four columns through fixed field definitions; a
// column that is missing or delivered as another kind fails the listing.
struct ListingColumn {
    std::string_view name;
    ColumnKind kind;
};
constexpr std::array<ListingColumn, 4> kListingColumns{{
    {"S_STORE", ColumnKind::FixedText},
    {"S_DATE", ColumnKind::Timestamp},
    {"S_PERIOD", ColumnKind::FixedText},
    {"S_MEMO", ColumnKind::TextBlob},
}};

// Column positions of the four fields in the open result.
std::array<int, 4> bindListingColumns(const IResultRows& rows) {
    std::array<int, 4> index{};
    for (std::size_t i = 0; i < kListingColumns.size(); ++i) {
        const auto& column = kListingColumns[i];
        index[i] = rows.columnIndex(column.name);
        if (index[i] < 0) {
            throw DatabaseError("field not found: " + std::string(column.name));
        }
        if (rows.columnKind(index[i]) != column.kind) {
            throw DatabaseError("type mismatch for field " + std::string(column.name));
        }
    }
    return index;
}

}  // namespace

std::string alreadySentQuery(const std::string& store, const CalendarDate& salesDate) {
    return "Select * From Stk_Period_CLOSE Where S_Store=" + quoteSql(store) +
           " And S_DATE=" + quoteSql(sqlDateText(salesDate)) + " AND S_PERIOD=" + quoteSql(kMarker);
}

const std::vector<std::string>& journalInsertLines() {
    static const std::vector<std::string> lines{
        "INSERT INTO STK_PERIOD_CLOSE (S_DATE,S_PERIOD,S_MEMO,S_STORE)",
        "VALUES (:S_DATE,:S_PERIOD,:S_MEMO,:S_STORE)",
    };
    return lines;
}

std::vector<ParamValue> journalInsertParams(const CalendarDate& salesDate, const std::string& memo,
                                            const std::string& store) {
    std::vector<ParamValue> params(4);
    params[0].name = "S_DATE";
    params[0].kind = ParamKind::Date;
    params[0].date = salesDate;
    params[1].name = "S_PERIOD";
    params[1].kind = ParamKind::Text;
    params[1].text = kMarker;
    params[2].name = "S_MEMO";
    params[2].kind = ParamKind::Memo;
    params[2].text = memo;
    params[3].name = "S_STORE";
    params[3].kind = ParamKind::Text;
    params[3].text = store;
    return params;
}

std::vector<std::string> journalListingLines(const std::string& store, const CalendarDate& from,
                                             const CalendarDate& to) {
    return {
        "Select * From Stk_PERIOD_CLOSE",
        "Where S_PERIOD=" + quoteSql(kMarker),
        "And S_STORE=" + quoteSql(store),
        "And S_DATE>=" + quoteSql(sqlDateText(from)),
        "And S_DATE<=" + quoteSql(sqlDateText(to)),
        "ORDER by S_DATE",
    };
}

std::string listingLine(const JournalRow& row, const RegionalSettings& regional) {
    return FitWidth(row.store, 10, ' ') + formatDate(kPatternListingDate, row.date.date, regional) +
           " > " + SplitItem(row.memo, ">", 1);
}

void runJournalListing(SqlQuery& SQL_GetLog, const std::string& store, const CalendarDate& from,
                       const CalendarDate& to, IJournalListingView& view, const RegionalSettings& regional) {
    view.clearList();
    SQL_GetLog.setLines(journalListingLines(store, from, to));
    try {
        SQL_GetLog.open();
        IResultRows& rows = SQL_GetLog.result();
        const auto index = bindListingColumns(rows);
        while (!rows.eof()) {
            JournalRow row;
            row.store = rows.asText(index[0]);
            row.date = rows.asTimestamp(index[1]);
            row.period = rows.asText(index[2]);
            row.memo = rows.asText(index[3]);
            view.appendLine(listingLine(row, regional));
            rows.next();
            // The window ignores GET Sales, SEND, UPDATE and RETRV while this
            // runs, so nothing replaces the statement or closes the connection here.
            view.processPendingEvents();
        }
    } catch (...) {
        // Nothing reads the result afterwards; an open one would only keep
        // its read transaction going.
        SQL_GetLog.close();
        view.plainBox(std::string(kListingError));
        return;
    }
    SQL_GetLog.close();
}

}  // namespace kelvora::salesdb
