// kelvora-demo-db: creates a sales database filled with a few weeks of
// plausible payments, for trying the program without a shop's own data.
//
//   kelvora-demo-db <database path> [--ini <path to Kelvora.ini>] [--today yyyy-mm-dd]

#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <map>

#include "date_time.h"
#include "firebird_support.h"
#include "formats.h"
#include "period_close_journal.h"
#include "profile_file.h"
#include "sales_schema.h"
#include "sql_connection.h"
#include "submission_record.h"

namespace {

using kelvora::CalendarDate;
using kelvora::demo::Payment;

constexpr int kDays = 28;
// Days already sent: all but the last two, so the first "GET Sales" of
// yesterday works while "RETRV" has a history to show.
constexpr int kUnsentDays = 2;
const char* const kStores[] = {"0000", "0001"};

struct Code {
    const char* code;
    int weight;        // share of the day's payments
    int maxCents;      // largest amount
};
const Code kCodes[] = {
    {"CASH", 34, 12000}, {"VISA", 18, 45000}, {"MASTER", 14, 45000}, {"AMEX", 6, 60000}, {"EDC", 8, 30000},
    {"OTHER", 6, 20000}, {"GC", 5, 10000},    {"DEBIT", 6, 25000},   {"VOUCHER", 3, 5000},
};

int usage() {
    std::fprintf(stderr, "usage: kelvora-demo-db <database path> [--ini <path to Kelvora.ini>] [--today yyyy-mm-dd]\n");
    return 2;
}

bool parseDate(const std::string& text, CalendarDate& date) {
    int y = 0, m = 0, d = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3) return false;
    date = CalendarDate{y, m, d};
    return kelvora::isValidDate(date);
}

CalendarDate localToday() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return CalendarDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

std::string centsText(int cents) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%d.%02d", cents / 100, cents % 100);
    return buffer;
}

std::vector<Payment> demoPayments(CalendarDate today) {
    std::mt19937 random(20050501u);  // the same data for the same day, run after run
    std::vector<int> weights;
    for (const auto& c : kCodes) weights.push_back(c.weight);
    std::discrete_distribution<int> pickCode(weights.begin(), weights.end());
    std::uniform_int_distribution<int> percent(1, 100);

    std::vector<Payment> payments;
    CalendarDate day = today;
    for (int n = 0; n < kDays; ++n) {
        day = kelvora::previousDay(day);
        for (const char* store : kStores) {
            const int count = std::uniform_int_distribution<int>(store[3] == '0' ? 40 : 15, store[3] == '0' ? 90 : 40)(random);
            for (int i = 0; i < count; ++i) {
                const Code& code = kCodes[pickCode(random)];
                Payment p;
                p.amount = centsText(std::uniform_int_distribution<int>(100, code.maxCents)(random));
                p.closeDate.date = day;  // the business date: midnight, as the totals compare it
                p.store = store;
                const int roll = percent(random);
                p.status = roll <= 92 ? "NS" : roll <= 97 ? "VD" : "RF";
                p.masCode = code.code;
                payments.push_back(std::move(p));
            }
        }
    }
    return payments;
}

CalendarDate nextDay(const CalendarDate& d) {
    using namespace std::chrono;
    const year_month_day next{sys_days{year{d.year} / month(unsigned(d.month)) / day(unsigned(d.day))} + days{1}};
    return {int(next.year()), int(unsigned(next.month())), int(unsigned(next.day()))};
}

// The cents of store 0000's counted payments, by day and payment code.
using DayTotals = std::map<CalendarDate, std::map<std::string, long>>;

DayTotals countedTotals(const std::vector<Payment>& payments) {
    DayTotals totals;
    for (const Payment& p : payments) {
        if (p.store != kStores[0] || p.status != "NS" || !p.amount) continue;
        const auto dot = p.amount->find('.');
        totals[p.closeDate.date][p.masCode] += std::stol(p.amount->substr(0, dot)) * 100 + std::stol(p.amount->substr(dot + 1));
    }
    return totals;
}

// A memo as "SEND" writes it: eleven lines, each ended by CR LF.
std::string demoMemo(const CalendarDate& day, const std::map<std::string, long>& cents) {
    const auto regional = kelvora::RegionalSettings::englishUnitedStates();
    std::vector<std::string> lines{
        "> START SEND " + kelvora::formatDateTime(kelvora::kPatternLogStamp, {nextDay(day), 9, 5, 7}, regional),
        "> Transaction Date " + kelvora::formatDate(kelvora::kPatternTransactionDate, day, regional), ">",
        ">" + std::string(kelvora::kDefaultServiceUrl), ">"};
    for (const auto& c : kelvora::paymentCategories()) {
        const auto it = cents.find(std::string(c.paymentCode));
        const long v = it == cents.end() ? 0 : it->second;
        lines.push_back(">" + std::string(c.parameterPrefix) + kelvora::formatTotal(double(v) / 100.0, regional));
    }
    std::string memo;
    for (const auto& l : lines) memo += l + "\r\n";
    return memo;
}

void insertDemoJournal(const std::string& location, const std::vector<Payment>& payments, CalendarDate today) {
    kelvora::salesdb::SqlConnection connection(kelvora::salesdb::makeFirebirdClient());
    connection.setParameterList(kelvora::salesdb::connectParameterList(location));
    const DayTotals totals = countedTotals(payments);
    CalendarDate day = today;
    for (int n = 0; n < kDays; ++n) {
        day = kelvora::previousDay(day);
        if (n < kUnsentDays) continue;
        const auto it = totals.find(day);
        connection.execute(kelvora::salesdb::journalInsertLines(),
                           kelvora::salesdb::journalInsertParams(
                               day, demoMemo(day, it == totals.end() ? std::map<std::string, long>{} : it->second),
                               kStores[0]));
    }
    connection.close();
}


// On a server the file cannot be looked at directly: a database that opens exists.
bool serverDatabaseExists(const std::string& location) {
    const kelvora::demo::Credentials credentials;
    kelvora::salesdb::OpenParams params;
    params.database = location;
    params.userName = credentials.user;
    params.password = credentials.password;
    auto client = kelvora::salesdb::makeFirebirdClient();
    try {
        client->open(params);
    } catch (const kelvora::salesdb::DatabaseError&) {
        return false;
    }
    client->close();
    return true;
}

void writeSettings(const std::string& iniPath, const std::string& location) {
    if (std::filesystem::exists(iniPath)) {
        std::printf("%s exists; left alone\n", iniPath.c_str());
        return;
    }
    kelvora::ProfileFile ini(iniPath);
    ini.writeString("General", "FDB_SALES_FILE", location);
    ini.writeString("General", "DEFAULT_STORE", "0000");
    std::printf("Wrote %s\n", iniPath.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::string target, iniPath;
    CalendarDate today = localToday();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--ini" && i + 1 < argc) {
            iniPath = argv[++i];
        } else if (arg == "--today" && i + 1 < argc) {
            if (!parseDate(argv[++i], today)) {
                std::fprintf(stderr, "kelvora-demo-db: --today wants a date as yyyy-mm-dd\n");
                return 2;
            }
        } else if (!arg.empty() && arg[0] != '-' && target.empty()) {
            target = arg;
        } else {
            return usage();
        }
    }
    if (target.empty()) return usage();

    try {
        const bool server = kelvora::salesdb::fb::isServerLocation(target);
        const std::string location = server ? target : std::filesystem::absolute(target).lexically_normal().string();
        if (server ? serverDatabaseExists(location) : std::filesystem::exists(location)) {
            std::printf("%s exists; left alone\n", location.c_str());
        } else {
            const kelvora::demo::SchemaOptions options;  // dialect 3, the client's default
            kelvora::demo::createSalesDatabase(location, options);
            const auto payments = demoPayments(today);
            kelvora::demo::insertPayments(location, options.dialect, payments);
            insertDemoJournal(location, payments, today);
            std::printf("Created %s with %zu payments of stores 0000 and 0001 and %d sent days\n", location.c_str(),
                        payments.size(), kDays - kUnsentDays);
        }
        if (!iniPath.empty()) writeSettings(iniPath, location);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora-demo-db: %s\n", e.what());
        return 1;
    }
    return 0;
}
