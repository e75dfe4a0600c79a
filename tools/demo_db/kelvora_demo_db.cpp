// kelvora-demo-db: creates a sales database filled with a few weeks of
// plausible payments, for trying the program without a shop's own data.
//
//   kelvora-demo-db <database path> [--ini <path to Kelvora.ini>] [--today yyyy-mm-dd]

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "date_time.h"
#include "profile_file.h"
#include "sales_schema.h"

namespace {

using kelvora::CalendarDate;
using kelvora::demo::Payment;

constexpr int kDays = 28;
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

bool isServerLocation(const std::string& location) {
    const auto colon = location.find(':');
    return colon != std::string::npos && colon > 1 && location.front() != '/';
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
        const bool server = isServerLocation(target);
        const std::string location = server ? target : std::filesystem::absolute(target).lexically_normal().string();
        if (server ? serverDatabaseExists(location) : std::filesystem::exists(location)) {
            std::printf("%s exists; left alone\n", location.c_str());
        } else {
            const kelvora::demo::SchemaOptions options;  // dialect 3, the client's default
            kelvora::demo::createSalesDatabase(location, options);
            const auto payments = demoPayments(today);
            kelvora::demo::insertPayments(location, options.dialect, payments);
            std::printf("Created %s with %zu payments of stores 0000 and 0001\n", location.c_str(), payments.size());
        }
        if (!iniPath.empty()) writeSettings(iniPath, location);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora-demo-db: %s\n", e.what());
        return 1;
    }
    return 0;
}
