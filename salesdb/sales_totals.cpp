#include "sales_totals.h"

#include "formats.h"
#include "period_close_journal.h"
#include "sql_text.h"

namespace kelvora::salesdb {

namespace {

constexpr std::string_view kTotalError = "= KelvoraSQL Return Error - ";

std::string stamp(const IClock& clock, const RegionalSettings& regional) {
    return formatDateTime(kPatternLogStamp, clock.now(), regional);
}

}  // namespace

std::vector<std::string> totalQueryLines(const CalendarDate& salesDate, const std::string& store,
                                         const std::string& filter) {
    return {
        "Select Sum(Pymt_ACTPAID) From POS_PAYMENT",
        "WHERE Pymt_CloseDate=" + quoteSql(sqlDateText(salesDate)),
        "AND Pymt_Store=" + quoteSql(store),
        "AND Pymt_Status='NS'",
        "AND " + filter,
    };
}

std::string GetPaymentTotal(SqlQuery& TmpSQL, const CalendarDate& salesDate, const std::string& store,
                            const std::string& filter, ILogSink& log, const RegionalSettings& regional) {
    std::string total = "0";
    const std::vector<std::string> lines = totalQueryLines(salesDate, store, filter);
    try {
        TmpSQL.clear();
        for (const auto& line : lines) TmpSQL.addLine(line);
        log.addToLog(trimText(joinStatementLines(TmpSQL.lines())));
        TmpSQL.open();
        IResultRows& rows = TmpSQL.result();
        if (!rows.eof()) total = formatTotal(rows.isNull(0) ? 0.0 : rows.asDouble(0), regional);
        // Nothing reads the result later; left open it would only hold its
        // read transaction until the next run.
        TmpSQL.close();
    } catch (...) {
        TmpSQL.close();
        total = "0";
        try {
            log.addToLog(std::string(kTotalError) + filter);
        } catch (...) {
            // The total stays "0"; there is nowhere left to tell.
        }
    }
    return total;
}

GetSalesOutcome runGetSales(SqlQuery& TmpSQL, const GetSalesInput& input, IGetSalesView& view,
                            const RegionalSettings& regional, const IClock& clock) {
    bool found = false;
    try {
        TmpSQL.clear();
        TmpSQL.addLine(alreadySentQuery(input.store, input.salesDate));
        TmpSQL.open();
        found = !TmpSQL.result().eof();
        TmpSQL.close();
    } catch (...) {
        TmpSQL.close();
        view.errorBox(std::string(kGetSalesUnknownError));
        return GetSalesOutcome::Failed;
    }
    if (found && !input.ignoreDateFound) {
        view.errorBox(std::string(kSalesDateFound));
        return GetSalesOutcome::AlreadySent;
    }

    // Log entries let the window handle waiting input; it ignores another
    // GET Sales, SEND, UPDATE or RETRV until this run ends, so nothing else
    // touches TmpSQL or the fields meanwhile.
    view.addToLog("> START " + stamp(clock, regional));
    const std::string transactionDate = formatDate(kPatternTransactionDate, input.salesDate, regional);
    view.addToLog("> Transaction Date " + transactionDate);
    view.setTransactionDateField("&transactionDateTime=" + transactionDate);

    const auto& categories = paymentCategories();
    for (std::size_t i = 0; i < categories.size(); ++i) {
        const std::string total =
            GetPaymentTotal(TmpSQL, input.salesDate, input.store, input.filters[i], view, regional);
        view.setParameterField(i, std::string(categories[i].parameterPrefix) + total);
    }

    view.addToLog("< END " + stamp(clock, regional));
    view.enableSend();
    return GetSalesOutcome::Completed;
}

}  // namespace kelvora::salesdb
