#include "bench_data.h"

#include <firebird/Interface.h>

#include <chrono>
#include <cstring>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "database_client.h"
#include "formats.h"
#include "regional_settings.h"
#include "sales_schema.h"
#include "submission_record.h"

namespace kelvora::bench {

namespace {

using namespace Firebird;
using salesdb::DatabaseError;

// One row's random numbers: a multiplicative congruential generator
// (MINSTD) seeded from the row number. The same arithmetic runs inside the
// engine and here, so both generation methods write identical rows. The
// seed is squared once: a seed linear in the row number would give rows
// that follow a lattice. Every product stays below 2^63.
constexpr std::int64_t kModulus = 2147483647;
constexpr std::int64_t kMultiplier = 48271;
constexpr std::int64_t kRowSpread = 1103515245;
constexpr std::int64_t kSquareOffset = 7;

std::int64_t rowSeed(std::int64_t row, std::uint32_t seed) {
    const std::int64_t x = (row * kRowSpread + static_cast<std::int64_t>(seed)) % kModulus + 1;
    return (x * x + kSquareOffset) % kModulus;
}
std::int64_t step(std::int64_t x) { return x * kMultiplier % kModulus; }

struct Weighted {
    const char* value;
    int upTo;      // cumulative percentage
    int maxCents;  // payment codes only
};
// Store shares of the payments.
constexpr Weighted kStores[] = {{"0000", 34, 0}, {"0001", 56, 0}, {"0002", 74, 0}, {"0003", 88, 0}, {"0004", 100, 0}};
// The six default codes (EDC is the other-cards category) and a few more.
constexpr Weighted kCodes[] = {
    {"CASH", 34, 12000}, {"VISA", 52, 45000}, {"MASTER", 66, 45000}, {"AMEX", 72, 60000}, {"EDC", 80, 30000},
    {"OTHER", 86, 20000}, {"GC", 91, 10000},  {"DEBIT", 97, 25000},  {"VOUCHER", 100, 5000},
};
// Mostly sold ("NS"), some voided and refunded.
constexpr Weighted kStatuses[] = {{"NS", 94, 0}, {"VD", 98, 0}, {"RF", 100, 0}};

template <std::size_t N>
const Weighted& pick(const Weighted (&table)[N], std::int64_t x) {
    const int roll = static_cast<int>(x % 100);
    for (const Weighted& w : table)
        if (roll < w.upTo) return w;
    return table[N - 1];
}

// PSQL of the same choice: a CASE over the cumulative shares.
template <std::size_t N>
std::string pickSql(const Weighted (&table)[N], const std::string& roll, bool cents = false) {
    auto value = [&](const Weighted& w) {
        if (cents) return std::to_string(w.maxCents);
        std::string quoted(1, '\'');
        quoted += w.value;
        quoted += '\'';
        return quoted;
    };
    std::string sql = "CASE";
    for (std::size_t i = 0; i + 1 < N; ++i) {
        sql += " WHEN ";
        sql += roll;
        sql += " < ";
        sql += std::to_string(table[i].upTo);
        sql += " THEN ";
        sql += value(table[i]);
    }
    sql += " ELSE ";
    sql += value(table[N - 1]);
    sql += " END";
    return sql;
}

struct GeneratedPayment {
    int dayIndex;
    const char* store;
    const char* code;
    const char* status;
    std::int64_t cents;
};

GeneratedPayment paymentRow(std::int64_t row, std::int64_t total, std::uint32_t seed) {
    GeneratedPayment p{};
    p.dayIndex = static_cast<int>(row * kPaymentDays / total);
    std::int64_t x = step(rowSeed(row, seed));
    p.store = pick(kStores, x).value;
    x = step(x);
    const Weighted& code = pick(kCodes, x);
    p.code = code.value;
    x = step(x);
    p.status = pick(kStatuses, x).value;
    x = step(x);
    p.cents = 100 + x % (code.maxCents - 99);
    return p;
}

std::string paymentBlock(std::int64_t from, std::int64_t to, std::int64_t total, std::uint32_t seed,
                         const CalendarDate& firstDay) {
    char first[32];
    std::snprintf(first, sizeof first, "%04d-%02d-%02d", firstDay.year, firstDay.month, firstDay.day);
    const std::string next = "x = MOD(x * " + std::to_string(kMultiplier) + ", " + std::to_string(kModulus) + ");\n";
    return "EXECUTE BLOCK AS\n"
           "  DECLARE i BIGINT = " + std::to_string(from) + ";\n"
           "  DECLARE x BIGINT;\n"
           "  DECLARE code_roll INTEGER;\n"
           "  DECLARE store CHAR(4);\n"
           "  DECLARE code VARCHAR(10);\n"
           "  DECLARE max_cents INTEGER;\n"
           "  DECLARE status CHAR(2);\n"
           "  DECLARE d TIMESTAMP;\n"
           "BEGIN\n"
           "  WHILE (i < " + std::to_string(to) + ") DO\n"
           "  BEGIN\n"
           "    d = DATEADD(CAST(i * " + std::to_string(kPaymentDays) + " / " + std::to_string(total) +
           " AS INTEGER) DAY TO TIMESTAMP '" + first + " 00:00:00');\n"
           "    x = MOD(i * " + std::to_string(kRowSpread) + " + " + std::to_string(seed) + ", " +
           std::to_string(kModulus) + ") + 1;\n"
           "    x = MOD(x * x + " + std::to_string(kSquareOffset) + ", " + std::to_string(kModulus) + ");\n"
           "    " + next +
           "    store = " + pickSql(kStores, "MOD(x, 100)") + ";\n"
           "    " + next +
           "    code_roll = MOD(x, 100);\n"
           "    code = " + pickSql(kCodes, "code_roll") + ";\n"
           "    max_cents = " + pickSql(kCodes, "code_roll", true) + ";\n"
           "    " + next +
           "    status = " + pickSql(kStatuses, "MOD(x, 100)") + ";\n"
           "    " + next +
           "    INSERT INTO POS_PAYMENT (Pymt_ID, Pymt_ACTPAID, Pymt_CloseDate, Pymt_Store, Pymt_Status, Pymt_MASCODE)\n"
           "      VALUES (:i + 1, (100 + MOD(:x, :max_cents - 99)) * 0.01, :d, :store, :status, :code);\n"
           "    i = i + 1;\n"
           "  END\n"
           "END";
}

IMaster* master() { return fb_get_master_interface(); }

std::string statusText(IStatus* status) {
    char buffer[4096];
    master()->getUtilInterface()->formatStatus(buffer, sizeof buffer, status);
    return buffer;
}

// An embedded attachment with the engine only, detached when done.
class Attachment {
public:
    // `forcedWrites` 0 or 1 changes the database's write mode; -1 leaves it.
    explicit Attachment(const std::string& path, int forcedWrites = -1) : status_(master()->getStatus()) {
        provider_ = master()->getDispatcher();
        IXpbBuilder* dpb = master()->getUtilInterface()->getXpbBuilder(&status_, IXpbBuilder::DPB, nullptr, 0);
        try {
            dpb->insertString(&status_, isc_dpb_user_name, "sysdba");
            dpb->insertString(&status_, isc_dpb_config, "Providers = Engine12");
            if (forcedWrites >= 0) dpb->insertInt(&status_, isc_dpb_force_write, forcedWrites);
            attachment_ = provider_->attachDatabase(&status_, path.c_str(), dpb->getBufferLength(&status_),
                                                    dpb->getBuffer(&status_));
        } catch (const FbException& e) {
            dpb->dispose();
            provider_->release();
            const std::string text = statusText(e.getStatus());
            status_.dispose();
            throw DatabaseError(text);
        }
        dpb->dispose();
    }
    ~Attachment() {
        CheckStatusWrapper quiet(master()->getStatus());
        if (transaction_) transaction_->rollback(&quiet);
        if (attachment_) attachment_->detach(&quiet);
        quiet.dispose();
        provider_->release();
        status_.dispose();
    }
    Attachment(const Attachment&) = delete;
    Attachment& operator=(const Attachment&) = delete;

    ThrowStatusWrapper* st() { return &status_; }
    IAttachment* get() { return attachment_; }
    ITransaction* begin() {
        transaction_ = attachment_->startTransaction(&status_, 0, nullptr);
        return transaction_;
    }
    void commit() {
        transaction_->commit(&status_);
        transaction_ = nullptr;
    }
    void run(const std::string& sql) {
        ITransaction* tra = begin();
        attachment_->execute(&status_, tra, 0, sql.c_str(), 3, nullptr, nullptr, nullptr, nullptr);
        commit();
    }

private:
    ThrowStatusWrapper status_;
    IProvider* provider_ = nullptr;
    IAttachment* attachment_ = nullptr;
    ITransaction* transaction_ = nullptr;
};

void insertPaymentsInEngine(const std::string& path, const BenchDataOptions& o) {
    constexpr std::int64_t kChunk = 100000;  // rows per block and transaction
    const auto total = static_cast<std::int64_t>(o.payments);
    Attachment db(path);
    try {
        for (std::int64_t from = 0; from < total; from += kChunk)
            db.run(paymentBlock(from, std::min(total, from + kChunk), total, o.seed, firstPaymentDay()));
        db.run("ALTER SEQUENCE GEN_POS_PAYMENT_ID RESTART WITH " + std::to_string(total));
    } catch (const FbException& e) {
        throw DatabaseError(statusText(e.getStatus()));
    }
}

std::string centsText(std::int64_t cents) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%lld.%02lld", static_cast<long long>(cents / 100),
                  static_cast<long long>(cents % 100));
    return buffer;
}

void insertPaymentsFromClient(const std::string& path, const BenchDataOptions& o) {
    const auto total = static_cast<std::int64_t>(o.payments);
    const CalendarDate first = firstPaymentDay();
    std::int64_t row = 0;
    int cachedIndex = -1;
    CalendarDate cachedDay;
    demo::insertPayments(path, 3, [&](demo::Payment& p) {
        if (row == total) return false;
        const GeneratedPayment g = paymentRow(row++, total, o.seed);
        if (g.dayIndex != cachedIndex) {
            cachedIndex = g.dayIndex;
            cachedDay = addDays(first, g.dayIndex);
        }
        p.amount = centsText(g.cents);
        p.closeDate.date = cachedDay;
        p.store = g.store;
        p.status = g.status;
        p.masCode = g.code;
        return true;
    });
}

void insertJournal(const std::string& path, const BenchDataOptions& o) {
    Attachment db(path);
    IMessageMetadata* meta = nullptr;
    IStatement* stmt = nullptr;
    IBlob* blob = nullptr;
    try {
        ThrowStatusWrapper* st = db.st();
        ITransaction* tra = db.begin();
        stmt = db.get()->prepare(st, tra, 0,
                                 "INSERT INTO STK_PERIOD_CLOSE (S_DATE, S_PERIOD, S_MEMO, S_STORE) VALUES (?, ?, ?, ?)",
                                 3, IStatement::PREPARE_PREFETCH_METADATA);
        meta = stmt->getInputMetadata(st);
        std::vector<unsigned char> message(meta->getMessageLength(st));
        unsigned offset[4], nullOffset[4];
        for (unsigned i = 0; i < 4; ++i) {
            offset[i] = meta->getOffset(st, i);
            nullOffset[i] = meta->getNullOffset(st, i);
            std::memset(message.data() + nullOffset[i], 0, sizeof(std::int16_t));
        }
        auto putChar = [&](unsigned i, const char* text) {
            // CHAR(n) parameters travel blank-padded to their length.
            const unsigned length = meta->getLength(st, i);
            std::memset(message.data() + offset[i], ' ', length);
            std::memcpy(message.data() + offset[i], text, std::min<std::size_t>(length, std::strlen(text)));
        };
        putChar(1, "T");
        putChar(3, kJournalStore);
        IUtil* util = master()->getUtilInterface();
        CalendarDate day = firstJournalDay(o.journalRows);
        std::int64_t x = rowSeed(static_cast<std::int64_t>(o.payments) + 7, o.seed);
        for (std::size_t row = 0; row < o.journalRows; ++row, day = addDays(day, 1)) {
            std::string totals[6];
            for (auto& t : totals) {
                x = step(x);
                t = centsText(x % 2500000);
            }
            x = step(x);
            const LocalDateTime sentAt{addDays(day, 1), 8 + static_cast<int>(x % 3), static_cast<int>(x / 3 % 60),
                                       static_cast<int>(x / 180 % 60)};
            const std::string memo = sendMemo(day, sentAt, totals);
            ISC_TIMESTAMP ts{util->encodeDate(static_cast<unsigned>(day.year), static_cast<unsigned>(day.month),
                                              static_cast<unsigned>(day.day)),
                             0};
            std::memcpy(message.data() + offset[0], &ts, sizeof ts);
            ISC_QUAD id;
            blob = db.get()->createBlob(st, tra, &id, 0, nullptr);
            blob->putSegment(st, static_cast<unsigned>(memo.size()), memo.data());
            blob->close(st);
            blob = nullptr;
            std::memcpy(message.data() + offset[2], &id, sizeof id);
            stmt->execute(st, tra, meta, message.data(), nullptr, nullptr);
        }
        meta->release();
        meta = nullptr;
        stmt->free(st);
        stmt = nullptr;
        db.commit();
    } catch (const FbException& e) {
        const std::string text = statusText(e.getStatus());
        CheckStatusWrapper quiet(master()->getStatus());
        if (blob) blob->cancel(&quiet);
        if (meta) meta->release();
        if (stmt) stmt->release();
        quiet.dispose();
        throw DatabaseError(text);
    }
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

CalendarDate addDays(CalendarDate date, int days) {
    using namespace std::chrono;
    const year_month_day ymd{sys_days{year{date.year} / month{static_cast<unsigned>(date.month)} /
                                      day{static_cast<unsigned>(date.day)}} +
                             std::chrono::days{days}};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

CalendarDate lastSalesDay() { return {2025, 5, 1}; }
CalendarDate firstPaymentDay() { return addDays(lastSalesDay(), 1 - kPaymentDays); }
CalendarDate firstJournalDay(std::size_t journalRows) {
    return addDays(lastSalesDay(), -static_cast<int>(journalRows));
}

std::string sendMemo(const CalendarDate& salesDate, const LocalDateTime& sentAt, const std::string (&totals)[6]) {
    // The lines "SEND" writes to the log, each ended by CR LF.
    const RegionalSettings us = RegionalSettings::englishUnitedStates();
    std::string memo;
    auto line = [&memo](std::string_view a, std::string_view b = {}) {
        memo += a;
        memo += b;
        memo += "\r\n";
    };
    line("> START SEND ", formatDateTime(kPatternLogStamp, sentAt, us));
    line("> Transaction Date ", formatDate(kPatternTransactionDate, salesDate, us));
    line(">");
    line(">", kDefaultServiceUrl);
    line(">");
    const auto& categories = paymentCategories();
    for (std::size_t i = 0; i < categories.size(); ++i) {
        memo += '>';
        line(categories[i].parameterPrefix, totals[i]);
    }
    return memo;
}

GenerationTimes generateBenchDatabase(const std::string& path, const BenchDataOptions& options) {
    if (options.payments == 0) throw std::invalid_argument("at least one payment");
    GenerationTimes times;
    auto start = std::chrono::steady_clock::now();
    demo::SchemaOptions schema;
    schema.paymentIndex = options.paymentIndex;
    schema.forcedWrites = false;  // the bulk load; switched on again below
    demo::createSalesDatabase(path, schema);
    times.schemaSeconds = secondsSince(start);

    start = std::chrono::steady_clock::now();
    if (options.method == PaymentMethod::Server)
        insertPaymentsInEngine(path, options);
    else
        insertPaymentsFromClient(path, options);
    times.paymentSeconds = secondsSince(start);

    start = std::chrono::steady_clock::now();
    insertJournal(path, options);
    times.journalSeconds = secondsSince(start);

    // A shop's database runs with the engine's default, synchronous writes:
    // commits then wait for the disk, as "SEND" does in the shop.
    if (options.forcedWrites) {
        Attachment switched(path, 1);
    }
    return times;
}

}  // namespace kelvora::bench
