#pragma once
// "SEND": log the submission, journal it and hand the URL to the browser.

#include <array>
#include <string>
#include <string_view>

#include "browser_launcher.h"
#include "clock.h"
#include "date_time.h"
#include "log_sink.h"
#include "regional_settings.h"
#include "sql_query.h"
#include "submission_record.h"

namespace kelvora::submit {

struct SendInput {
    // The ten submission fields in URL order, as they stand at "SEND".
    std::array<std::string, kSubmissionFieldCount> fields;
    // Sales date and store of the "GET Sales" run that enabled "SEND": the
    // journal row records what was actually summed and sent.
    CalendarDate salesDate;
    std::string store;
};

class ISendView : public ILogSink {
public:
    virtual void clearLog() = 0;
    // Read when the guarded block runs, not earlier.
    virtual bool ignoreDateFound() const = 0;
    virtual void disableSend() = 0;
};

inline constexpr std::string_view kPostingError = "> ERROR > tblPeriodCLOSE.POSTING";

std::string submissionUrl(const std::array<std::string, kSubmissionFieldCount>& fields);

// The whole "SEND"; lets no failure of the insert or the browser start escape.
void runSend(salesdb::SqlStatement& tblPeriodCLOSE_INSERT, const SendInput& input, ISendView& view,
             IBrowserLauncher& launcher, const RegionalSettings& regional, const IClock& clock);

}  // namespace kelvora::submit
