#include "sales_schema.h"

#include "firebird_support.h"

#include <firebird/Interface.h>

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace kelvora::demo {

namespace {

using salesdb::fb::isServerLocation;
using salesdb::fb::master;
using salesdb::fb::Status;
using salesdb::fb::statusText;

using namespace Firebird;
using salesdb::DatabaseError;





// Owns what a failed step leaves behind; a finished step hands each part back
// by setting it to null.
struct Session {
    IAttachment* attachment = nullptr;
    ITransaction* transaction = nullptr;
    IStatement* statement = nullptr;
    IMessageMetadata* metadata = nullptr;
    IMetadataBuilder* builder = nullptr;
    IXpbBuilder* dpb = nullptr;

    ~Session() {
        CheckStatusWrapper st(master()->getStatus());
        if (builder) builder->release();
        if (metadata) metadata->release();
        if (statement) statement->release();
        if (transaction) {
            transaction->rollback(&st);
            if (st.getState() & IStatus::STATE_ERRORS) transaction->release();
        }
        if (attachment) {
            attachment->detach(&st);
            if (st.getState() & IStatus::STATE_ERRORS) attachment->release();
        }
        if (dpb) dpb->dispose();
        st.dispose();
    }
};

IXpbBuilder* makeDpb(Status& st, const std::string& location, const Credentials& credentials) {
    IXpbBuilder* dpb = master()->getUtilInterface()->getXpbBuilder(st.get(), IXpbBuilder::DPB, nullptr, 0);
    dpb->insertString(st.get(), isc_dpb_user_name, credentials.user.c_str());
    dpb->insertString(st.get(), isc_dpb_password, credentials.password.c_str());
    if (!isServerLocation(location)) dpb->insertString(st.get(), isc_dpb_config, "Providers = Engine12");
    return dpb;
}

void commit(Status& st, Session& s) {
    s.transaction->commit(st.get());
    s.transaction = nullptr;
}

const char* amountSqlType(AmountType type) {
    switch (type) {
        case AmountType::Integer: return "INTEGER";
        case AmountType::Double: return "DOUBLE PRECISION";
        case AmountType::Numeric: break;
    }
    return "NUMERIC(15,2)";
}

}  // namespace

std::vector<std::string> schemaStatements(const SchemaOptions& o) {
    if (o.journalDateAsDate && o.dialect < 3)
        throw std::invalid_argument("A DATE column without time of day needs dialect 3");
    std::vector<std::string> ddl;
    ddl.push_back(std::string("CREATE TABLE POS_PAYMENT (\n"
                              "  Pymt_ID INTEGER NOT NULL PRIMARY KEY,\n"
                              "  Pymt_ACTPAID ") +
                  amountSqlType(o.amountType) +
                  ",\n"
                  "  Pymt_CloseDate TIMESTAMP,\n"
                  "  Pymt_Store CHAR(4),\n"
                  "  Pymt_Status CHAR(2),\n"
                  "  Pymt_MASCODE VARCHAR(10)\n"
                  ")");
    ddl.push_back("CREATE GENERATOR GEN_POS_PAYMENT_ID");
    if (o.paymentIndex) ddl.push_back("CREATE INDEX IDX_PYMT_CLOSEDATE_STORE ON POS_PAYMENT (Pymt_CloseDate, Pymt_Store)");
    ddl.push_back(std::string("CREATE TABLE STK_PERIOD_CLOSE (\n"
                              "  S_STORE CHAR(4) NOT NULL,\n"
                              "  S_DATE ") +
                  (o.journalDateAsDate ? "DATE" : "TIMESTAMP") +
                  " NOT NULL,\n"
                  "  S_PERIOD CHAR(1) NOT NULL" +
                  (o.journalMemo ? ",\n  S_MEMO BLOB SUB_TYPE TEXT\n" : "\n") + ")");
    ddl.push_back("CREATE INDEX IDX_PERIOD_CLOSE_STORE_DATE ON STK_PERIOD_CLOSE (S_STORE, S_DATE)");
    return ddl;
}

void createSalesDatabase(const std::string& location, const SchemaOptions& options, const Credentials& credentials) {
    const std::vector<std::string> ddl = schemaStatements(options);
    const auto dialect = static_cast<unsigned>(options.dialect);
    if (dialect < 1 || dialect > 3) throw std::invalid_argument("SQL dialect must be 1, 2 or 3");
    Session s;
    IProvider* provider = master()->getDispatcher();
    try {
        Status st;
        s.dpb = makeDpb(st, location, credentials);
        s.dpb->insertInt(st.get(), isc_dpb_page_size, static_cast<int>(options.pageSize));
        s.dpb->insertInt(st.get(), isc_dpb_sql_dialect, static_cast<int>(dialect));
        s.dpb->insertInt(st.get(), isc_dpb_set_db_sql_dialect, static_cast<int>(dialect));
        s.dpb->insertInt(st.get(), isc_dpb_force_write, options.forcedWrites ? 1 : 0);
        s.attachment = provider->createDatabase(st.get(), location.c_str(), s.dpb->getBufferLength(st.get()),
                                                s.dpb->getBuffer(st.get()));
        // Each definition committed on its own, so the next can use it.
        for (const auto& statement : ddl) {
            s.transaction = s.attachment->startTransaction(st.get(), 0, nullptr);
            s.attachment->execute(st.get(), s.transaction, 0, statement.c_str(), dialect, nullptr, nullptr, nullptr,
                                  nullptr);
            commit(st, s);
        }
        s.attachment->detach(st.get());
        s.attachment = nullptr;
    } catch (const FbException& e) {
        provider->release();
        throw DatabaseError(statusText(e.getStatus()));
    }
    provider->release();
}

std::size_t insertPayments(const std::string& location, int dialect, const std::function<bool(Payment&)>& next,
                           const Credentials& credentials) {
    // Text travels as VARCHAR and the server converts it to the column's type,
    // so one statement serves every amount type.
    constexpr unsigned kAmount = 0, kDate = 1, kStore = 2, kStatus = 3, kCode = 4;
    constexpr unsigned kTextLength = 64;
    constexpr std::size_t kCommitEvery = 20000;
    Session s;
    IProvider* provider = master()->getDispatcher();
    std::size_t count = 0;
    try {
        Status st;
        s.dpb = makeDpb(st, location, credentials);
        s.attachment = provider->attachDatabase(st.get(), location.c_str(), s.dpb->getBufferLength(st.get()),
                                                s.dpb->getBuffer(st.get()));
        s.transaction = s.attachment->startTransaction(st.get(), 0, nullptr);
        s.statement = s.attachment->prepare(
            st.get(), s.transaction, 0,
            "INSERT INTO POS_PAYMENT (Pymt_ID, Pymt_ACTPAID, Pymt_CloseDate, Pymt_Store, Pymt_Status, Pymt_MASCODE) "
            "VALUES (GEN_ID(GEN_POS_PAYMENT_ID, 1), ?, ?, ?, ?, ?)",
            static_cast<unsigned>(dialect), IStatement::PREPARE_PREFETCH_METADATA);
        s.metadata = s.statement->getInputMetadata(st.get());
        s.builder = s.metadata->getBuilder(st.get());
        s.metadata->release();
        s.metadata = nullptr;
        for (unsigned i : {kAmount, kStore, kStatus, kCode}) {
            s.builder->setType(st.get(), i, SQL_VARYING);
            s.builder->setSubType(st.get(), i, 0);
            s.builder->setScale(st.get(), i, 0);
            s.builder->setLength(st.get(), i, kTextLength);
        }
        s.builder->setType(st.get(), kDate, SQL_TIMESTAMP);
        s.builder->setScale(st.get(), kDate, 0);
        s.builder->setLength(st.get(), kDate, sizeof(ISC_TIMESTAMP));
        s.metadata = s.builder->getMetadata(st.get());
        s.builder->release();
        s.builder = nullptr;

        std::vector<unsigned char> message(s.metadata->getMessageLength(st.get()));
        unsigned offset[5], nullOffset[5];
        for (unsigned i = 0; i < 5; ++i) {
            offset[i] = s.metadata->getOffset(st.get(), i);
            nullOffset[i] = s.metadata->getNullOffset(st.get(), i);
        }
        auto putNull = [&](unsigned i, bool isNull) {
            const std::int16_t flag = isNull ? -1 : 0;
            std::memcpy(message.data() + nullOffset[i], &flag, sizeof flag);
        };
        auto putText = [&](unsigned i, const std::string& text) {
            if (text.size() > kTextLength) throw DatabaseError("Payment value too long: " + text);
            const auto len = static_cast<std::uint16_t>(text.size());
            std::memcpy(message.data() + offset[i], &len, sizeof len);
            std::memcpy(message.data() + offset[i] + sizeof len, text.data(), text.size());
            putNull(i, false);
        };
        IUtil* util = master()->getUtilInterface();
        Payment p;
        while (next(p)) {
            putNull(kAmount, !p.amount);
            if (p.amount) putText(kAmount, *p.amount);
            ISC_TIMESTAMP ts;
            ts.timestamp_date = util->encodeDate(static_cast<unsigned>(p.closeDate.date.year),
                                                 static_cast<unsigned>(p.closeDate.date.month),
                                                 static_cast<unsigned>(p.closeDate.date.day));
            ts.timestamp_time = util->encodeTime(static_cast<unsigned>(p.closeDate.hour),
                                                 static_cast<unsigned>(p.closeDate.minute),
                                                 static_cast<unsigned>(p.closeDate.second),
                                                 static_cast<unsigned>(p.closeDate.fraction));
            std::memcpy(message.data() + offset[kDate], &ts, sizeof ts);
            putNull(kDate, false);
            putText(kStore, p.store);
            putText(kStatus, p.status);
            putText(kCode, p.masCode);
            s.statement->execute(st.get(), s.transaction, s.metadata, message.data(), nullptr, nullptr);
            if (++count % kCommitEvery == 0) s.transaction->commitRetaining(st.get());
            p = Payment{};
        }
        s.metadata->release();
        s.metadata = nullptr;
        s.statement->free(st.get());
        s.statement = nullptr;
        commit(st, s);
        s.attachment->detach(st.get());
        s.attachment = nullptr;
    } catch (const FbException& e) {
        provider->release();
        throw DatabaseError(statusText(e.getStatus()));
    } catch (...) {
        provider->release();
        throw;
    }
    provider->release();
    return count;
}

std::size_t insertPayments(const std::string& location, int dialect, const std::vector<Payment>& payments,
                           const Credentials& credentials) {
    std::size_t i = 0;
    return insertPayments(
        location, dialect,
        [&](Payment& p) {
            if (i == payments.size()) return false;
            p = payments[i++];
            return true;
        },
        credentials);
}

}  // namespace kelvora::demo
