#pragma once
// "GET Sales": the already-sent check, the six category totals and the log.

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "clock.h"
#include "date_time.h"
#include "log_sink.h"
#include "regional_settings.h"
#include "sql_query.h"
#include "submission_record.h"

namespace kelvora::salesdb {

// Inputs read once at the start of a run.
struct GetSalesInput {
    CalendarDate salesDate;
    std::string store;
    std::array<std::string, kCategoryCount> filters;
    bool ignoreDateFound = false;
};

// What a run writes to.
class IGetSalesView : public ILogSink {
public:
    virtual void errorBox(const std::string& text) = 0;
    virtual void setTransactionDateField(const std::string& text) = 0;
    virtual void setParameterField(std::size_t category, const std::string& text) = 0;
    virtual void enableSend() = 0;
};

inline constexpr std::string_view kGetSalesUnknownError = "GET Sales unknown ERROR.";
inline constexpr std::string_view kSalesDateFound = "Sales Date [SEND] found";

// The five lines of a category's total query.
std::vector<std::string> totalQueryLines(const CalendarDate& salesDate, const std::string& store,
                                         const std::string& filter);

// One category's total text: "#0.00" of the sum ("0.00" for a NULL sum), or
// "0" when the query fails or returns no row. Logs the statement (trimmed)
// and, on failure, "= KelvoraSQL Return Error - " + filter. Never throws.
std::string GetPaymentTotal(SqlQuery& TmpSQL, const CalendarDate& salesDate, const std::string& store,
                            const std::string& filter, ILogSink& log, const RegionalSettings& regional);

enum class GetSalesOutcome { Completed, AlreadySent, Failed };

// The whole run; lets no failure escape.
GetSalesOutcome runGetSales(SqlQuery& TmpSQL, const GetSalesInput& input, IGetSalesView& view,
                            const RegionalSettings& regional, const IClock& clock);

}  // namespace kelvora::salesdb
