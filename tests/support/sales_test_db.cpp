#include "sales_test_db.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "test_support.h"

namespace kelvora::test {

bool testServerUp() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(3050);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return up;
}

std::string testServerPrefix() { return "localhost:"; }

void requireTestServer() {
    if (testServerUp()) return;
    const char* required = std::getenv("KELVORA_TEST_SERVER");
    if (required && std::strcmp(required, "1") == 0) {
        std::fprintf(stderr, "FAIL: KELVORA_TEST_SERVER=1 but no Firebird server answers on localhost:3050\n");
        std::fflush(stderr);
        std::_Exit(1);
    }
    skipAll("no Firebird server on localhost:3050 (tools/fbserver.sh start)");
}

salesdb::OpenParams TestDatabase::openParams() const {
    salesdb::OpenParams p;
    p.database = location;
    p.userName = kTestUser;
    p.password = kTestPassword;
    p.settings.sqlDialect = dialect;
    return p;
}

std::unique_ptr<salesdb::IDatabaseClient> TestDatabase::connect() const {
    auto client = salesdb::makeFirebirdClient();
    client->open(openParams());
    return client;
}

TestDatabase createTestDatabase(const std::string& location, const demo::SchemaOptions& options) {
    demo::createSalesDatabase(location, options, demo::Credentials{kTestUser, kTestPassword});
    return TestDatabase{location, options.dialect};
}

void insertPayments(const TestDatabase& db, const std::vector<demo::Payment>& payments) {
    demo::insertPayments(db.location, db.dialect, payments, demo::Credentials{kTestUser, kTestPassword});
}

namespace {

std::string timestampLiteral(const salesdb::Timestamp& t) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "CAST('%04d-%02d-%02d %02d:%02d:%02d.%04d' AS TIMESTAMP)", t.date.year,
                  t.date.month, t.date.day, t.hour, t.minute, t.second, t.fraction);
    return buffer;
}

std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c;
        if (c == '\'') out += '\'';
    }
    return out + "'";
}

}  // namespace

void insertJournalRow(const TestDatabase& db, const JournalRow& row) {
    auto client = db.connect();
    std::string sql = "INSERT INTO STK_PERIOD_CLOSE (S_STORE, S_DATE, S_PERIOD";
    std::string values = quoted(row.store) + ", " + timestampLiteral(row.date) + ", " + quoted(row.period);
    std::vector<salesdb::ParamValue> params;
    if (row.memo) {
        sql += ", S_MEMO";
        values += ", :S_MEMO";
        params.push_back(salesdb::ParamValue{"S_MEMO", salesdb::ParamKind::Memo, *row.memo, {}});
    }
    client->execute(sql + ") VALUES (" + values + ")", params);
    client->close();
}

std::vector<JournalRow> readJournalRows(const TestDatabase& db) {
    auto client = db.connect();
    auto rows = client->openQuery("SELECT * FROM STK_PERIOD_CLOSE ORDER BY S_DATE, S_STORE");
    const int store = rows->columnIndex("S_STORE");
    const int date = rows->columnIndex("S_DATE");
    const int period = rows->columnIndex("S_PERIOD");
    const int memo = rows->columnIndex("S_MEMO");
    std::vector<JournalRow> out;
    for (; !rows->eof(); rows->next()) {
        JournalRow r;
        r.store = rows->asText(store);
        r.date = rows->asTimestamp(date);
        r.period = rows->asText(period);
        if (memo >= 0 && !rows->isNull(memo)) r.memo = rows->asText(memo);
        out.push_back(std::move(r));
    }
    rows->close();
    client->close();
    return out;
}

void runSql(const TestDatabase& db, const std::string& sql) {
    auto client = db.connect();
    client->execute(sql, {});
    client->close();
}

std::vector<std::vector<std::optional<std::string>>> querySql(const TestDatabase& db, const std::string& sql) {
    auto client = db.connect();
    auto rows = client->openQuery(sql);
    std::vector<std::vector<std::optional<std::string>>> out;
    for (; !rows->eof(); rows->next()) {
        std::vector<std::optional<std::string>> row;
        for (int c = 0; c < rows->columnCount(); ++c)
            row.push_back(rows->isNull(c) ? std::nullopt : std::optional<std::string>(rows->asText(c)));
        out.push_back(std::move(row));
    }
    rows->close();
    client->close();
    return out;
}

}  // namespace kelvora::test
