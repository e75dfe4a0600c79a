// The database client on the Firebird OO API.
//
// Each statement runs in a transaction of its own, committed as soon as it
// succeeds (a query's when its rows are closed). With CommitRetain the
// connection instead keeps one transaction whose context survives every
// commit, ended for real when the connection closes.
//
// Defaults where the settings give nothing: SQL dialect 3, read committed
// (record version), waiting on locks, plain commits, CHAR values with their
// trailing blanks, no connection character set (bytes pass unchanged).
// The error-message file has no meaning for this client and is ignored.

#include <firebird/Interface.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "database_client.h"
#include "firebird_support.h"

namespace kelvora::salesdb {

namespace {

using fb::isServerLocation;
using fb::master;
using fb::Status;
using fb::statusText;

using Firebird::CheckStatusWrapper;
using Firebird::FbException;
using Firebird::IAttachment;
using Firebird::IBlob;
using Firebird::IMaster;
using Firebird::IMessageMetadata;
using Firebird::IMetadataBuilder;
using Firebird::IProvider;
using Firebird::IResultSet;
using Firebird::IStatement;
using Firebird::IStatus;
using Firebird::ITransaction;
using Firebird::IUtil;
using Firebird::IXpbBuilder;
using Firebird::ThrowStatusWrapper;

constexpr unsigned kMaxSegment = 65535;   // the engine refuses larger segments
constexpr std::size_t kMaxVarchar = 32765;


IUtil* util() { return master()->getUtilInterface(); }


// The codes by which the client tells that the attachment is gone for good:
// the server went away or the network broke (read, write, or no answer), or
// the server shut the connection down. Every later statement on it fails.
bool connectionLost(IStatus* status) {
    for (const intptr_t* v = status->getErrors(); *v != isc_arg_end; v += (v[0] == isc_arg_cstring ? 3 : 2)) {
        if (v[0] != isc_arg_gds) continue;
        switch (v[1]) {
            case isc_network_error:
            case isc_net_read_err:
            case isc_net_write_err:
            case isc_lost_db_connection:
            case isc_att_shutdown: return true;
            default: break;
        }
    }
    return false;
}


// A status for clean-up steps whose failures are only looked at, never thrown.
class QuietStatus {
public:
    QuietStatus() : wrapper_(master()->getStatus()) {}
    ~QuietStatus() { wrapper_.dispose(); }
    QuietStatus(const QuietStatus&) = delete;
    QuietStatus& operator=(const QuietStatus&) = delete;
    CheckStatusWrapper* get() { return &wrapper_; }
    bool failed() const { return (wrapper_.getState() & IStatus::STATE_ERRORS) != 0; }

private:
    CheckStatusWrapper wrapper_;
};

template <class T>
void releaseQuietly(T*& ref) noexcept {
    if (ref) {
        ref->release();
        ref = nullptr;
    }
}

// commit/rollback/free/close release the interface only when they succeed.
void freeStatementQuietly(IStatement*& stmt) noexcept {
    if (!stmt) return;
    QuietStatus st;
    stmt->free(st.get());
    if (st.failed()) stmt->release();
    stmt = nullptr;
}

void closeCursorQuietly(IResultSet*& cursor) noexcept {
    if (!cursor) return;
    QuietStatus st;
    cursor->close(st.get());
    if (st.failed()) cursor->release();
    cursor = nullptr;
}

void cancelBlobQuietly(IBlob*& blob) noexcept {
    if (!blob) return;
    QuietStatus st;
    blob->cancel(st.get());
    if (st.failed()) blob->release();
    blob = nullptr;
}

void rollbackQuietly(ITransaction*& tra) noexcept {
    if (!tra) return;
    QuietStatus st;
    tra->rollback(st.get());
    if (st.failed()) tra->release();
    tra = nullptr;
}

struct XpbBuilder {
    explicit XpbBuilder(IXpbBuilder* b) : builder(b) {}
    ~XpbBuilder() {
        if (builder) builder->dispose();
    }
    XpbBuilder(const XpbBuilder&) = delete;
    XpbBuilder& operator=(const XpbBuilder&) = delete;
    IXpbBuilder* builder;
};

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
               return up(x) == up(y);
           });
}


ColumnKind kindOf(unsigned type, int subType, int scale) {
    switch (type) {
        case SQL_TEXT: return ColumnKind::FixedText;
        case SQL_VARYING: return ColumnKind::VarText;
        case SQL_BLOB: return subType == 1 ? ColumnKind::TextBlob : ColumnKind::Blob;
        case SQL_SHORT:
        case SQL_LONG:
        case SQL_INT64: return scale == 0 ? ColumnKind::Integer : ColumnKind::FixedPoint;
        case SQL_FLOAT:
        case SQL_DOUBLE:
        case SQL_D_FLOAT: return ColumnKind::Float;
        case SQL_TIMESTAMP: return ColumnKind::Timestamp;
        case SQL_TYPE_DATE: return ColumnKind::Date;
        case SQL_TYPE_TIME: return ColumnKind::Time;
        case SQL_BOOLEAN: return ColumnKind::Boolean;
        default: return ColumnKind::Other;
    }
}

template <class T>
T load(const unsigned char* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

// The exact decimal text of value * 10^scale.
std::string scaledText(std::int64_t value, int scale) {
    char digits[32];
    // Work on the magnitude as unsigned so INT64_MIN has a positive counterpart.
    const bool negative = value < 0;
    const std::uint64_t magnitude = negative ? ~static_cast<std::uint64_t>(value) + 1 : static_cast<std::uint64_t>(value);
    const auto res = std::to_chars(digits, digits + sizeof digits, magnitude);
    std::string text(digits, res.ptr);
    if (scale > 0) {
        if (magnitude != 0) text.append(static_cast<std::size_t>(scale), '0');
    } else if (scale < 0) {
        const auto places = static_cast<std::size_t>(-scale);
        if (text.size() <= places) text.insert(0, places - text.size() + 1, '0');
        text.insert(text.size() - places, 1, '.');
    }
    if (negative) text.insert(0, 1, '-');
    return text;
}

double parseDouble(std::string_view text) {
    double value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const auto res = std::from_chars(first, last, value);
    if (res.ec != std::errc() || res.ptr != last || first == last)
        throw DatabaseError("Cannot convert \"" + std::string(text) + "\" to a number");
    return value;
}

template <class T>
std::string shortestText(T value) {
    char buffer[64];
    const auto res = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, res.ptr);
}

std::string twoDigits(unsigned v) {
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

std::string dateText(const CalendarDate& d) {
    std::string year = std::to_string(d.year);
    if (year.size() < 4) year.insert(0, 4 - year.size(), '0');
    return year + "-" + twoDigits(static_cast<unsigned>(d.month)) + "-" + twoDigits(static_cast<unsigned>(d.day));
}

std::string timeText(int h, int m, int s, int fraction) {
    std::string t = twoDigits(static_cast<unsigned>(h)) + ":" + twoDigits(static_cast<unsigned>(m)) + ":" +
                    twoDigits(static_cast<unsigned>(s));
    if (fraction != 0) {
        std::string f = std::to_string(fraction);
        t += "." + std::string(4 - std::min<std::size_t>(4, f.size()), '0') + f;
    }
    return t;
}

CalendarDate decodeDate(ISC_DATE date) {
    unsigned y = 0, m = 0, d = 0;
    util()->decodeDate(date, &y, &m, &d);
    return CalendarDate{static_cast<int>(y), static_cast<int>(m), static_cast<int>(d)};
}

bool validDate(const CalendarDate& d) {
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.month > 12 || d.day < 1) return false;
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    const int limit = days[d.month - 1] + (d.month == 2 && leap ? 1 : 0);
    return d.day <= limit;
}

struct Column {
    std::string alias;
    unsigned type = 0;
    int subType = 0;
    int scale = 0;
    unsigned length = 0;
    unsigned offset = 0;
    unsigned nullOffset = 0;
    ColumnKind kind = ColumnKind::Other;
};

}  // namespace

class FirebirdClient;

// Rows of one open query; owns its cursor, statement and (unless shared)
// transaction until closed.
class FirebirdRows final : public IResultRows {
public:
    struct Handles {
        IAttachment* attachment = nullptr;  // not owned
        ITransaction* transaction = nullptr;
        bool ownsTransaction = true;
        IStatement* statement = nullptr;
        IResultSet* cursor = nullptr;
        IMessageMetadata* metadata = nullptr;
    };

    FirebirdRows(FirebirdClient* owner, Handles handles, std::vector<Column> columns, std::vector<unsigned char> buffer,
                 bool trimChar, bool commitRetain, std::int64_t blobLimitBytes)
        : owner_(owner), h_(handles), columns_(std::move(columns)), buffer_(std::move(buffer)), trimChar_(trimChar),
          commitRetain_(commitRetain), blobLimitBytes_(blobLimitBytes) {}

    ~FirebirdRows() override { close(); }

    FirebirdRows(const FirebirdRows&) = delete;
    FirebirdRows& operator=(const FirebirdRows&) = delete;

    void fetch() {
        if (!h_.cursor) {
            eof_ = true;
            return;
        }
        try {
            Status st;
            eof_ = h_.cursor->fetchNext(st.get(), buffer_.data()) != IStatus::RESULT_OK;
        } catch (const FbException& e) {
            eof_ = true;
            DatabaseError error(statusText(e.getStatus()));
            dropLostConnection(e.getStatus());
            throw error;
        }
    }

    bool eof() const override { return eof_; }

    void next() override {
        if (!eof_) fetch();
    }

    int columnCount() const override { return static_cast<int>(columns_.size()); }

    int columnIndex(std::string_view name) const override {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            if (equalsNoCase(columns_[i].alias, name)) return static_cast<int>(i);
        return -1;
    }

    ColumnKind columnKind(int column) const override { return info(column).kind; }

    bool isNull(int column) const override {
        const Column& c = info(column);
        return load<std::int16_t>(row() + c.nullOffset) != 0;
    }

    std::string asText(int column) const override {
        const Column& c = info(column);
        const unsigned char* base = row();
        if (load<std::int16_t>(base + c.nullOffset) != 0) return {};
        const unsigned char* p = base + c.offset;
        switch (c.type) {
            case SQL_TEXT: {
                std::string text(reinterpret_cast<const char*>(p), c.length);
                if (trimChar_) {
                    const auto end = text.find_last_not_of(' ');
                    text.erase(end == std::string::npos ? 0 : end + 1);
                }
                return text;
            }
            case SQL_VARYING: {
                const auto len = load<std::uint16_t>(p);
                return std::string(reinterpret_cast<const char*>(p + 2), len);
            }
            case SQL_SHORT: return scaledText(load<std::int16_t>(p), c.scale);
            case SQL_LONG: return scaledText(load<std::int32_t>(p), c.scale);
            case SQL_INT64: return scaledText(load<std::int64_t>(p), c.scale);
            case SQL_FLOAT: return shortestText(load<float>(p));
            case SQL_DOUBLE:
            case SQL_D_FLOAT: return shortestText(load<double>(p));
            case SQL_BOOLEAN: return *p ? "TRUE" : "FALSE";
            case SQL_TIMESTAMP: {
                const Timestamp t = timestampAt(c, p);
                return dateText(t.date) + " " + timeText(t.hour, t.minute, t.second, t.fraction);
            }
            case SQL_TYPE_DATE: return dateText(decodeDate(load<ISC_DATE>(p)));
            case SQL_TYPE_TIME: {
                unsigned h = 0, m = 0, s = 0, f = 0;
                util()->decodeTime(load<ISC_TIME>(p), &h, &m, &s, &f);
                return timeText(static_cast<int>(h), static_cast<int>(m), static_cast<int>(s), static_cast<int>(f));
            }
            case SQL_BLOB: return readBlob(load<ISC_QUAD>(p));
            default: throw DatabaseError("Column " + c.alias + " cannot be read as text");
        }
    }

    double asDouble(int column) const override {
        const Column& c = info(column);
        const unsigned char* base = row();
        if (load<std::int16_t>(base + c.nullOffset) != 0) return 0.0;
        const unsigned char* p = base + c.offset;
        switch (c.type) {
            // A scaled integer goes through its exact decimal text, so 123450 at
            // scale -2 gives the double nearest 1234.50 with no rounding step between.
            case SQL_SHORT: return parseDouble(scaledText(load<std::int16_t>(p), c.scale));
            case SQL_LONG: return parseDouble(scaledText(load<std::int32_t>(p), c.scale));
            case SQL_INT64: return parseDouble(scaledText(load<std::int64_t>(p), c.scale));
            // Floating values arrive already scaled even when the metadata carries a
            // scale (dialect 1 sums of NUMERIC): never scale them again.
            case SQL_FLOAT: return static_cast<double>(load<float>(p));
            case SQL_DOUBLE:
            case SQL_D_FLOAT: return load<double>(p);
            case SQL_BOOLEAN: return *p ? 1.0 : 0.0;
            case SQL_TEXT:
            case SQL_VARYING: {
                const std::string text = asText(column);
                const auto first = text.find_first_not_of(' ');
                if (first == std::string::npos) throw DatabaseError("Cannot convert an empty text to a number");
                const auto last = text.find_last_not_of(' ');
                return parseDouble(std::string_view(text).substr(first, last - first + 1));
            }
            default: throw DatabaseError("Column " + c.alias + " cannot be read as a number");
        }
    }

    Timestamp asTimestamp(int column) const override {
        const Column& c = info(column);
        const unsigned char* base = row();
        if (load<std::int16_t>(base + c.nullOffset) != 0) return Timestamp{};
        const unsigned char* p = base + c.offset;
        switch (c.type) {
            case SQL_TIMESTAMP: return timestampAt(c, p);
            case SQL_TYPE_DATE: return Timestamp{decodeDate(load<ISC_DATE>(p))};
            default: throw DatabaseError("Column " + c.alias + " cannot be read as a timestamp");
        }
    }

    void close() noexcept override {
        if (closed_) return;
        closed_ = true;
        eof_ = true;
        closeCursorQuietly(h_.cursor);
        freeStatementQuietly(h_.statement);
        releaseQuietly(h_.metadata);
        if (h_.transaction) {
            QuietStatus st;
            if (h_.ownsTransaction) {
                h_.transaction->commit(st.get());
                if (st.failed())
                    rollbackQuietly(h_.transaction);
                h_.transaction = nullptr;
            } else {
                if (commitRetain_) h_.transaction->commitRetaining(st.get());
                h_.transaction = nullptr;  // the connection ends it
            }
        }
        detachFromOwner();
    }

private:
    void detachFromOwner() noexcept;
    // A lost attachment is closed (these rows with it), so that the next
    // statement opens a new one instead of failing on the dead one for ever.
    void dropLostConnection(IStatus* status) const noexcept;

    const Column& info(int column) const {
        if (column < 0 || static_cast<std::size_t>(column) >= columns_.size())
            throw DatabaseError("Column index " + std::to_string(column) + " out of range");
        return columns_[static_cast<std::size_t>(column)];
    }

    const unsigned char* row() const {
        if (closed_) throw DatabaseError("The result rows are closed");
        if (eof_) throw DatabaseError("No current row");
        return buffer_.data();
    }

    Timestamp timestampAt(const Column&, const unsigned char* p) const {
        const auto ts = load<ISC_TIMESTAMP>(p);
        unsigned h = 0, m = 0, s = 0, f = 0;
        util()->decodeTime(ts.timestamp_time, &h, &m, &s, &f);
        return Timestamp{decodeDate(ts.timestamp_date), static_cast<int>(h), static_cast<int>(m), static_cast<int>(s),
                         static_cast<int>(f)};
    }

    std::string readBlob(ISC_QUAD id) const {
        std::string text;
        IBlob* blob = nullptr;
        try {
            Status st;
            blob = h_.attachment->openBlob(st.get(), h_.transaction, &id, 0, nullptr);
            // One segment buffer serves every blob of these rows: a new one
            // for each would be zero-filled anew, 64 KiB a row of a listing.
            if (segment_.empty()) segment_.resize(kMaxSegment);
            std::vector<char>& piece = segment_;
            for (;;) {
                unsigned got = 0;
                const int res = blob->getSegment(st.get(), static_cast<unsigned>(piece.size()), piece.data(), &got);
                if (res != IStatus::RESULT_OK && res != IStatus::RESULT_SEGMENT) break;
                text.append(piece.data(), got);
                if (blobLimitBytes_ > 0 && text.size() >= static_cast<std::size_t>(blobLimitBytes_)) {
                    text.resize(static_cast<std::size_t>(blobLimitBytes_));
                    break;
                }
            }
            blob->close(st.get());
            blob = nullptr;
        } catch (const FbException& e) {
            cancelBlobQuietly(blob);
            DatabaseError error(statusText(e.getStatus()));
            dropLostConnection(e.getStatus());
            throw error;
        }
        return text;
    }

    friend class FirebirdClient;

    FirebirdClient* owner_;
    Handles h_;
    std::vector<Column> columns_;
    std::vector<unsigned char> buffer_;
    mutable std::vector<char> segment_;  // for reading blobs
    bool trimChar_;
    bool commitRetain_;
    std::int64_t blobLimitBytes_;
    bool eof_ = true;
    bool closed_ = false;
};

class FirebirdClient final : public IDatabaseClient {
public:
    FirebirdClient() = default;
    ~FirebirdClient() override { close(); }
    FirebirdClient(const FirebirdClient&) = delete;
    FirebirdClient& operator=(const FirebirdClient&) = delete;

    void open(const OpenParams& params) override {
        if (attachment_) throw DatabaseError("The connection is already open");
        if (params.database.empty()) throw DatabaseError("No database location given");
        const int dialect = params.settings.sqlDialect.value_or(3);
        if (dialect < 1 || dialect > 3)
            throw DatabaseError("SQL dialect " + std::to_string(dialect) + " is not supported");

        IProvider* provider = master()->getDispatcher();
        try {
            Status st;
            XpbBuilder dpb(util()->getXpbBuilder(st.get(), IXpbBuilder::DPB, nullptr, 0));
            if (!params.userName.empty())
                dpb.builder->insertBytes(st.get(), isc_dpb_user_name, params.userName.data(),
                                         static_cast<unsigned>(params.userName.size()));
            if (!params.password.empty())
                dpb.builder->insertBytes(st.get(), isc_dpb_password, params.password.data(),
                                         static_cast<unsigned>(params.password.size()));
            if (params.settings.roleName && !params.settings.roleName->empty())
                dpb.builder->insertBytes(st.get(), isc_dpb_sql_role_name, params.settings.roleName->data(),
                                         static_cast<unsigned>(params.settings.roleName->size()));
            if (params.settings.serverCharSet && !params.settings.serverCharSet->empty())
                dpb.builder->insertBytes(st.get(), isc_dpb_lc_ctype, params.settings.serverCharSet->data(),
                                         static_cast<unsigned>(params.settings.serverCharSet->size()));
            // A plain path is meant for the embedded engine only: without this the
            // dispatcher would try the loopback server when the engine refuses it.
            if (!isServerLocation(params.database)) {
                static const char config[] = "Providers = Engine12";
                dpb.builder->insertBytes(st.get(), isc_dpb_config, config, sizeof config - 1);
            }
            attachment_ = provider->attachDatabase(st.get(), params.database.c_str(),
                                                   dpb.builder->getBufferLength(st.get()),
                                                   dpb.builder->getBuffer(st.get()));
        } catch (const FbException& e) {
            provider->release();
            attachment_ = nullptr;
            throw DatabaseError(statusText(e.getStatus()));
        }
        provider->release();

        dialect_ = static_cast<unsigned>(dialect);
        trimChar_ = params.settings.trimChar.value_or(false);
        commitRetain_ = params.settings.commitRetain.value_or(false);
        blobLimitBytes_ = params.blobSizeLimit > 0 ? params.blobSizeLimit * 1024 : -1;
        tpb_ = transactionParameters(params.settings);
    }

    bool isOpen() const override { return attachment_ != nullptr; }

    std::unique_ptr<IResultRows> openQuery(const std::string& sql) override {
        requireOpen();
        FirebirdRows::Handles h;
        h.attachment = attachment_;
        std::unique_ptr<FirebirdRows> rows;
        try {
            Status st;
            h.transaction = beginTransaction(st, h.ownsTransaction);
            h.statement = attachment_->prepare(st.get(), h.transaction, 0, sql.c_str(), dialect_,
                                               IStatement::PREPARE_PREFETCH_METADATA);
            h.metadata = h.statement->getOutputMetadata(st.get());
            const unsigned count = h.metadata->getCount(st.get());
            std::vector<Column> columns(count);
            for (unsigned i = 0; i < count; ++i) {
                Column& c = columns[i];
                c.alias = h.metadata->getAlias(st.get(), i);
                c.type = h.metadata->getType(st.get(), i);
                c.subType = h.metadata->getSubType(st.get(), i);
                c.scale = h.metadata->getScale(st.get(), i);
                c.length = h.metadata->getLength(st.get(), i);
                c.offset = h.metadata->getOffset(st.get(), i);
                c.nullOffset = h.metadata->getNullOffset(st.get(), i);
                c.kind = kindOf(c.type, c.subType, c.scale);
            }
            std::vector<unsigned char> buffer(h.metadata->getMessageLength(st.get()));
            h.cursor = h.statement->openCursor(st.get(), h.transaction, nullptr, nullptr, h.metadata, 0);
            rows = std::make_unique<FirebirdRows>(this, h, std::move(columns), std::move(buffer), trimChar_,
                                                  commitRetain_, blobLimitBytes_);
        } catch (const FbException& e) {
            abandon(h);
            DatabaseError error(statusText(e.getStatus()));
            dropLostConnection(e.getStatus());
            throw error;
        } catch (...) {
            abandon(h);
            throw;
        }
        open_.insert(rows.get());
        rows->fetch();  // a failure here closes the rows through their destructor
        return rows;
    }

    void execute(const std::string& sql, const std::vector<ParamValue>& params) override {
        requireOpen();
        std::vector<std::string> names;
        const std::string text = translateNamedParameters(sql, names);
        const std::vector<const ParamValue*> values = matchParameters(names, params);

        ITransaction* tra = nullptr;
        bool ownsTra = true;
        IStatement* stmt = nullptr;
        IMessageMetadata* input = nullptr;
        IMetadataBuilder* builder = nullptr;
        IMessageMetadata* bound = nullptr;
        IMessageMetadata* output = nullptr;
        IBlob* blob = nullptr;
        try {
            Status st;
            tra = beginTransaction(st, ownsTra);
            stmt = attachment_->prepare(st.get(), tra, 0, text.c_str(), dialect_, IStatement::PREPARE_PREFETCH_METADATA);
            input = stmt->getInputMetadata(st.get());
            const unsigned count = input->getCount(st.get());
            if (count != values.size())
                throw DatabaseError("The statement has " + std::to_string(count) + " parameters but " +
                                    std::to_string(values.size()) + " named markers");

            // How each value travels: chosen by what the statement expects.
            enum class Bind { Text, Blob, Timestamp, Date };
            std::vector<Bind> binds(count);
            builder = input->getBuilder(st.get());
            for (unsigned i = 0; i < count; ++i) {
                const ParamValue& v = *values[i];
                const unsigned type = input->getType(st.get(), i);
                if (v.kind == ParamKind::Date) {
                    if (!validDate(v.date))
                        throw DatabaseError("Parameter " + v.name + " holds an invalid date");
                    if (type == SQL_TYPE_DATE) {
                        binds[i] = Bind::Date;
                    } else {
                        binds[i] = Bind::Timestamp;
                        // The builder keeps a length already set, so give every attribute.
                        builder->setType(st.get(), i, SQL_TIMESTAMP);
                        builder->setSubType(st.get(), i, 0);
                        builder->setScale(st.get(), i, 0);
                        builder->setLength(st.get(), i, sizeof(ISC_TIMESTAMP));
                    }
                } else if (type == SQL_BLOB) {
                    binds[i] = Bind::Blob;
                } else {
                    if (v.text.size() > kMaxVarchar)
                        throw DatabaseError("Parameter " + v.name + " is too long for a text value");
                    binds[i] = Bind::Text;
                    builder->setType(st.get(), i, SQL_VARYING);
                    builder->setSubType(st.get(), i, 0);
                    builder->setScale(st.get(), i, 0);
                    builder->setLength(st.get(), i, static_cast<unsigned>(std::max<std::size_t>(v.text.size(), 1)));
                }
            }
            bound = builder->getMetadata(st.get());
            releaseQuietly(builder);

            std::vector<unsigned char> message(bound->getMessageLength(st.get()));
            for (unsigned i = 0; i < count; ++i) {
                const ParamValue& v = *values[i];
                unsigned char* p = message.data() + bound->getOffset(st.get(), i);
                const std::int16_t notNull = 0;
                std::memcpy(message.data() + bound->getNullOffset(st.get(), i), &notNull, sizeof notNull);
                switch (binds[i]) {
                    case Bind::Text: {
                        const auto len = static_cast<std::uint16_t>(v.text.size());
                        std::memcpy(p, &len, sizeof len);
                        std::memcpy(p + sizeof len, v.text.data(), v.text.size());
                        break;
                    }
                    case Bind::Timestamp: {
                        ISC_TIMESTAMP ts;
                        ts.timestamp_date = encodeDate(v.date);
                        ts.timestamp_time = 0;
                        std::memcpy(p, &ts, sizeof ts);
                        break;
                    }
                    case Bind::Date: {
                        const ISC_DATE d = encodeDate(v.date);
                        std::memcpy(p, &d, sizeof d);
                        break;
                    }
                    case Bind::Blob: {
                        ISC_QUAD id;
                        blob = attachment_->createBlob(st.get(), tra, &id, 0, nullptr);
                        for (std::size_t pos = 0; pos < v.text.size(); pos += kMaxSegment) {
                            const std::size_t piece = std::min<std::size_t>(kMaxSegment, v.text.size() - pos);
                            blob->putSegment(st.get(), static_cast<unsigned>(piece), v.text.data() + pos);
                        }
                        blob->close(st.get());
                        blob = nullptr;
                        std::memcpy(p, &id, sizeof id);
                        break;
                    }
                }
            }

            output = stmt->getOutputMetadata(st.get());
            std::vector<unsigned char> outBuffer(output->getMessageLength(st.get()));
            stmt->execute(st.get(), tra, bound, message.data(), output, outBuffer.empty() ? nullptr : outBuffer.data());
            releaseQuietly(output);
            releaseQuietly(bound);
            releaseQuietly(input);
            stmt->free(st.get());
            stmt = nullptr;
            if (ownsTra) {
                tra->commit(st.get());
            } else {
                tra->commitRetaining(st.get());
            }
            tra = nullptr;
        } catch (...) {
            cancelBlobQuietly(blob);
            releaseQuietly(output);
            releaseQuietly(bound);
            releaseQuietly(builder);
            releaseQuietly(input);
            freeStatementQuietly(stmt);
            if (tra) {
                if (ownsTra) {
                    rollbackQuietly(tra);
                } else {
                    QuietStatus qs;
                    tra->rollbackRetaining(qs.get());
                    tra = nullptr;
                }
            }
            try {
                throw;
            } catch (const FbException& e) {
                DatabaseError error(statusText(e.getStatus()));
                dropLostConnection(e.getStatus());
                throw error;
            }
        }
    }

    void close() noexcept override {
        // Copy first: closing a result takes it out of the registry.
        const std::vector<FirebirdRows*> open(open_.begin(), open_.end());
        for (FirebirdRows* rows : open) rows->close();
        open_.clear();
        if (retained_) {
            QuietStatus st;
            retained_->commit(st.get());
            if (st.failed()) rollbackQuietly(retained_);
            retained_ = nullptr;
        }
        if (attachment_) {
            QuietStatus st;
            attachment_->detach(st.get());
            if (st.failed()) attachment_->release();
            attachment_ = nullptr;
        }
    }

    void forget(FirebirdRows* rows) noexcept { open_.erase(rows); }

    // Closes a lost attachment and every result on it; the state is then
    // closed, so the connection opens anew on demand.
    void dropLostConnection(IStatus* status) noexcept {
        if (attachment_ && connectionLost(status)) close();
    }

private:
    void requireOpen() const {
        if (!attachment_) throw DatabaseError("The connection is not open");
    }

    static std::vector<unsigned char> transactionParameters(const ClientSettings& s) {
        std::vector<unsigned char> tpb{isc_tpb_version3, isc_tpb_write};
        switch (s.isolation.value_or(TransIsolation::ReadCommitted)) {
            case TransIsolation::RepeatableRead: tpb.push_back(isc_tpb_concurrency); break;
            // The engine has no dirty reads; record-version read committed is the nearest.
            case TransIsolation::DirtyRead:
            case TransIsolation::ReadCommitted:
                tpb.push_back(isc_tpb_read_committed);
                tpb.push_back(isc_tpb_rec_version);
                break;
        }
        tpb.push_back(s.waitOnLocks.value_or(true) ? isc_tpb_wait : isc_tpb_nowait);
        return tpb;
    }

    // The statement's transaction: a new one, or the connection's retained one.
    ITransaction* beginTransaction(Status& st, bool& owned) {
        if (commitRetain_) {
            if (!retained_)
                retained_ = attachment_->startTransaction(st.get(), static_cast<unsigned>(tpb_.size()), tpb_.data());
            owned = false;
            return retained_;
        }
        owned = true;
        return attachment_->startTransaction(st.get(), static_cast<unsigned>(tpb_.size()), tpb_.data());
    }

    void abandon(FirebirdRows::Handles& h) noexcept {
        closeCursorQuietly(h.cursor);
        freeStatementQuietly(h.statement);
        releaseQuietly(h.metadata);
        if (h.ownsTransaction) rollbackQuietly(h.transaction);
        h.transaction = nullptr;
    }

    static ISC_DATE encodeDate(const CalendarDate& d) {
        return util()->encodeDate(static_cast<unsigned>(d.year), static_cast<unsigned>(d.month),
                                  static_cast<unsigned>(d.day));
    }

    // The value for each marker, in marker order; every value must be used.
    static std::vector<const ParamValue*> matchParameters(const std::vector<std::string>& names,
                                                          const std::vector<ParamValue>& params) {
        for (std::size_t i = 0; i < params.size(); ++i) {
            for (std::size_t j = i + 1; j < params.size(); ++j)
                if (equalsNoCase(params[i].name, params[j].name))
                    throw DatabaseError("Parameter " + params[i].name + " is given twice");
            const bool used = std::any_of(names.begin(), names.end(),
                                          [&](const std::string& n) { return equalsNoCase(n, params[i].name); });
            if (!used) throw DatabaseError("Parameter " + params[i].name + " does not occur in the statement");
        }
        std::vector<const ParamValue*> values;
        values.reserve(names.size());
        for (const auto& name : names) {
            const auto it = std::find_if(params.begin(), params.end(),
                                         [&](const ParamValue& p) { return equalsNoCase(p.name, name); });
            if (it == params.end()) throw DatabaseError("No value given for parameter " + name);
            values.push_back(&*it);
        }
        return values;
    }

    IAttachment* attachment_ = nullptr;
    ITransaction* retained_ = nullptr;
    std::vector<unsigned char> tpb_;
    unsigned dialect_ = 3;
    bool trimChar_ = false;
    bool commitRetain_ = false;
    std::int64_t blobLimitBytes_ = -1;
    std::set<FirebirdRows*> open_;
};

void FirebirdRows::dropLostConnection(IStatus* status) const noexcept {
    if (owner_) owner_->dropLostConnection(status);
}

void FirebirdRows::detachFromOwner() noexcept {
    if (owner_) {
        owner_->forget(this);
        owner_ = nullptr;
    }
}

std::unique_ptr<IDatabaseClient> makeFirebirdClient() { return std::make_unique<FirebirdClient>(); }

}  // namespace kelvora::salesdb
