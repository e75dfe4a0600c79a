#include "direct_db.h"

#include <firebird/Interface.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "database_client.h"
#include "firebird_support.h"
#include "period_close_journal.h"

namespace kelvora::bench {

namespace {

using namespace Firebird;
using salesdb::DatabaseError;
using salesdb::fb::master;
using salesdb::fb::Status;
using salesdb::fb::statusText;



// The program's transactions: read committed (record version), waiting, read-write.
const unsigned char kTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                              isc_tpb_wait};

// Everything one statement holds; what is left on failure is let go quietly.
struct Handles {
    ITransaction* transaction = nullptr;
    IStatement* statement = nullptr;
    IResultSet* cursor = nullptr;
    IMessageMetadata* metadata = nullptr;
    IBlob* blob = nullptr;
    ~Handles() {
        CheckStatusWrapper quiet(master()->getStatus());
        if (blob) blob->cancel(&quiet);
        if (cursor) cursor->close(&quiet);
        if (statement) statement->free(&quiet);
        if (metadata) metadata->release();
        if (transaction) transaction->rollback(&quiet);
        quiet.dispose();
    }
};


}  // namespace

DirectDatabase::DirectDatabase(const std::string& path) {
    provider_ = master()->getDispatcher();
    Status st;
    IXpbBuilder* dpb = nullptr;
    try {
        dpb = master()->getUtilInterface()->getXpbBuilder(st.get(), IXpbBuilder::DPB, nullptr, 0);
        dpb->insertString(st.get(), isc_dpb_user_name, "sysdba");
        dpb->insertString(st.get(), isc_dpb_password, "orchardly");
        dpb->insertString(st.get(), isc_dpb_config, "Providers = Engine12");
        attachment_ = provider_->attachDatabase(st.get(), path.c_str(), dpb->getBufferLength(st.get()),
                                                dpb->getBuffer(st.get()));
        dpb->dispose();
    } catch (const FbException& e) {
        if (dpb) dpb->dispose();
        provider_->release();
        throw DatabaseError(statusText(e.getStatus()));
    }
}

DirectDatabase::~DirectDatabase() {
    CheckStatusWrapper quiet(master()->getStatus());
    if (attachment_) attachment_->detach(&quiet);
    quiet.dispose();
    provider_->release();
}

DirectResult DirectDatabase::query(const std::string& sql) {
    DirectResult result;
    Handles h;
    Status st;
    try {
        h.transaction = attachment_->startTransaction(st.get(), sizeof kTpb, kTpb);
        h.statement = attachment_->prepare(st.get(), h.transaction, 0, sql.c_str(), 3,
                                           IStatement::PREPARE_PREFETCH_METADATA);
        h.metadata = h.statement->getOutputMetadata(st.get());
        const unsigned count = h.metadata->getCount(st.get());
        std::vector<unsigned> blobColumns;
        for (unsigned i = 0; i < count; ++i)
            if (h.metadata->getType(st.get(), i) == SQL_BLOB) blobColumns.push_back(i);
        std::vector<unsigned char> row(h.metadata->getMessageLength(st.get()));
        h.cursor = h.statement->openCursor(st.get(), h.transaction, nullptr, nullptr, h.metadata, 0);
        std::vector<char> segment(65535);
        while (h.cursor->fetchNext(st.get(), row.data()) == IStatus::RESULT_OK) {
            if (result.rows++ == 0 && count > 0) {
                std::int16_t null = 0;
                std::memcpy(&null, row.data() + h.metadata->getNullOffset(st.get(), 0), sizeof null);
                const unsigned char* p = row.data() + h.metadata->getOffset(st.get(), 0);
                const int scale = h.metadata->getScale(st.get(), 0);
                double factor = 1;
                for (int s = scale; s < 0; ++s) factor /= 10;
                if (!null) {
                    switch (h.metadata->getType(st.get(), 0)) {
                        case SQL_INT64: {
                            std::int64_t v;
                            std::memcpy(&v, p, sizeof v);
                            result.firstValue = static_cast<double>(v) * factor;
                            break;
                        }
                        case SQL_DOUBLE: {
                            double v;
                            std::memcpy(&v, p, sizeof v);
                            result.firstValue = v;
                            break;
                        }
                        default: break;
                    }
                }
            }
            for (unsigned column : blobColumns) {
                std::int16_t null = 0;
                std::memcpy(&null, row.data() + h.metadata->getNullOffset(st.get(), column), sizeof null);
                if (null) continue;
                ISC_QUAD id;
                std::memcpy(&id, row.data() + h.metadata->getOffset(st.get(), column), sizeof id);
                std::string text;
                h.blob = attachment_->openBlob(st.get(), h.transaction, &id, 0, nullptr);
                for (;;) {
                    unsigned got = 0;
                    const int res = h.blob->getSegment(st.get(), static_cast<unsigned>(segment.size()),
                                                       segment.data(), &got);
                    if (res != IStatus::RESULT_OK && res != IStatus::RESULT_SEGMENT) break;
                    text.append(segment.data(), got);
                }
                h.blob->close(st.get());
                h.blob = nullptr;
                result.blobBytes += text.size();
            }
        }
        h.cursor->close(st.get());
        h.cursor = nullptr;
        h.statement->free(st.get());
        h.statement = nullptr;
        h.transaction->commit(st.get());
        h.transaction = nullptr;
    } catch (const FbException& e) {
        throw DatabaseError(statusText(e.getStatus()));
    }
    return result;
}

void DirectDatabase::insertJournalRow(const CalendarDate& salesDate, const std::string& memo,
                                      const std::string& store) {
    std::vector<std::string> names;
    const std::string sql =
        salesdb::translateNamedParameters(salesdb::joinStatementLines(salesdb::journalInsertLines()), names);
    Handles h;
    Status st;
    try {
        h.transaction = attachment_->startTransaction(st.get(), sizeof kTpb, kTpb);
        h.statement = attachment_->prepare(st.get(), h.transaction, 0, sql.c_str(), 3,
                                           IStatement::PREPARE_PREFETCH_METADATA);
        h.metadata = h.statement->getInputMetadata(st.get());
        const unsigned count = h.metadata->getCount(st.get());
        if (count != names.size()) throw DatabaseError("unexpected parameters in the journal insert");
        std::vector<unsigned char> message(h.metadata->getMessageLength(st.get()));
        for (unsigned i = 0; i < count; ++i) {
            unsigned char* p = message.data() + h.metadata->getOffset(st.get(), i);
            std::memset(message.data() + h.metadata->getNullOffset(st.get(), i), 0, sizeof(std::int16_t));
            const std::string& name = names[i];
            if (name == "S_DATE") {
                ISC_TIMESTAMP ts{master()->getUtilInterface()->encodeDate(static_cast<unsigned>(salesDate.year),
                                                                          static_cast<unsigned>(salesDate.month),
                                                                          static_cast<unsigned>(salesDate.day)),
                                 0};
                std::memcpy(p, &ts, sizeof ts);
            } else if (name == "S_MEMO") {
                ISC_QUAD id;
                h.blob = attachment_->createBlob(st.get(), h.transaction, &id, 0, nullptr);
                h.blob->putSegment(st.get(), static_cast<unsigned>(memo.size()), memo.data());
                h.blob->close(st.get());
                h.blob = nullptr;
                std::memcpy(p, &id, sizeof id);
            } else {
                // CHAR columns take their text blank-padded to the column's length.
                const std::string text = name == "S_STORE" ? store : std::string(salesdb::kPeriodMarker);
                const unsigned length = h.metadata->getLength(st.get(), i);
                std::memset(p, ' ', length);
                std::memcpy(p, text.data(), std::min<std::size_t>(length, text.size()));
            }
        }
        h.statement->execute(st.get(), h.transaction, h.metadata, message.data(), nullptr, nullptr);
        h.statement->free(st.get());
        h.statement = nullptr;
        h.transaction->commit(st.get());
        h.transaction = nullptr;
    } catch (const FbException& e) {
        throw DatabaseError(statusText(e.getStatus()));
    }
}

}  // namespace kelvora::bench
