#include "submission.h"

#include <exception>
#include <utility>

#include "formats.h"
#include "period_close_journal.h"

namespace kelvora::submit {

namespace {

// The log shows the service address, then the six category fields.
constexpr std::size_t kServiceAddressField = 0;
static_assert(kFirstCategoryField + kCategoryCount == kSubmissionFieldCount,
              "the category fields close the submission record");

// Writes one log line; the memo collects the same text as the log holds it.
void logLine(ISendView& view, std::string& memo, const std::string& line) {
    view.addToLog(line);
    memo += line;
    memo += "\r\n";
}

std::string stamp(const IClock& clock, const RegionalSettings& regional) {
    return formatDateTime(kPatternLogStamp, clock.now(), regional);
}

}  // namespace

std::string submissionUrl(const std::array<std::string, kSubmissionFieldCount>& fields) {
    return joinSubmissionUrl(fields);
}

void runSend(salesdb::SqlStatement& tblPeriodCLOSE_INSERT, const SendInput& input, ISendView& view,
             IBrowserLauncher& launcher, const RegionalSettings& regional, const IClock& clock) {
    // Everything up to the browser start is one guarded block here: the steps
    // before the insert only format texts and write the log, and if even one of
    // them fails nothing may be journaled or sent.
    try {
        view.clearLog();
        std::string memo;
        logLine(view, memo, "> START SEND " + stamp(clock, regional));
        logLine(view, memo,
                "> Transaction Date " + formatDate(kPatternTransactionDate, input.salesDate, regional));
        logLine(view, memo, ">");

        const std::string url = submissionUrl(input.fields);

        logLine(view, memo, ">" + input.fields[kServiceAddressField]);
        logLine(view, memo, ">");
        for (std::size_t i = 0; i < kCategoryCount; ++i)
            logLine(view, memo, ">" + input.fields[kFirstCategoryField + i]);

        // The date and store of the run that summed the totals, not whatever
        // the picker and store field show now.
        tblPeriodCLOSE_INSERT.setParams(salesdb::journalInsertParams(input.salesDate, memo, input.store));

        if (!view.ignoreDateFound()) tblPeriodCLOSE_INSERT.execute();
        // Only after the row is stored: a failed insert must not send.
        launcher.open(url);
    } catch (...) {
        try {
            view.addToLog(std::string(kPostingError));
        } catch (...) {
        }
    }

    try {
        view.addToLog("> END " + stamp(clock, regional));
    } catch (...) {
    }
    try {
        view.disableSend();
    } catch (...) {
    }
}

}  // namespace kelvora::submit
