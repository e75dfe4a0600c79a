// The Firebird client against real databases opened through the embedded
// engine (plain file paths): types, blobs, parameters, commits, closing.

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

#include "database_client.h"
#include "sales_test_db.h"
#include "test_support.h"

using namespace kelvora;
using namespace kelvora::salesdb;
using kelvora::demo::AmountType;
using kelvora::demo::Payment;
using kelvora::demo::SchemaOptions;
using kelvora::test::JournalRow;
using kelvora::test::TestDatabase;

Q_DECLARE_METATYPE(ClientSettings)


using kelvora::test::payment;

namespace {

const char* const kInsert = "INSERT INTO STK_PERIOD_CLOSE (S_DATE,S_PERIOD,S_MEMO,S_STORE)\r\n"
                            "VALUES (:S_DATE,:S_PERIOD,:S_MEMO,:S_STORE)\r\n";

std::vector<ParamValue> journalParams(CalendarDate date, const std::string& store, const std::string& memo) {
    return {
        ParamValue{"S_DATE", ParamKind::Date, {}, date},
        ParamValue{"S_PERIOD", ParamKind::Text, "T", {}},
        ParamValue{"S_MEMO", ParamKind::Memo, memo, {}},
        ParamValue{"S_STORE", ParamKind::Text, store, {}},
    };
}


// Bytes of every value but NUL, CR LF included, in a pattern that is not periodic
// at the segment size.
std::string memoOfSize(std::size_t size) {
    std::string memo;
    memo.reserve(size);
    for (std::size_t i = 0; i < size; ++i) memo.push_back(static_cast<char>(1 + (i * 7 + i / 253) % 255));
    return memo;
}

std::string totalQuery(const std::string& date, const std::string& filter) {
    return joinStatementLines({"Select Sum(Pymt_ACTPAID) From POS_PAYMENT", "WHERE Pymt_CloseDate='" + date + "'",
                               "AND Pymt_Store='0000'", "AND Pymt_Status='NS'", "AND " + filter});
}

}  // namespace

class TestFirebirdClient : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void openFailures_data();
    void openFailures();
    void statementsNeedAnOpenConnection();
    void settingsTakeEffect_data();
    void settingsTakeEffect();

    void sums_data();
    void sums();
    void columnKindsAndValues();
    void dateColumnIsAnotherKind();
    void fixedTextBlanks_data();
    void fixedTextBlanks();
    void emptyResult();

    void memoRoundTrip_data();
    void memoRoundTrip();
    void blobSizeLimit();
    void namedParameters_data();
    void namedParameters();
    void parameterMismatch_data();
    void parameterMismatch();

    void commitPerStatement_data();
    void commitPerStatement();
    void failedInsertLeavesNoRow_data();
    void failedInsertLeavesNoRow();
    void closeEndsOpenResults();

private:
    std::string path(const char* name) const { return (dir_.path() + "/" + name).toStdString(); }
    TestDatabase freshDb(const char* name, const SchemaOptions& options = {}) {
        return test::createTestDatabase(path(name), options);
    }

    QTemporaryDir dir_;
    int counter_ = 0;
};

void TestFirebirdClient::initTestCase() {
    if (!dir_.isValid()) test::skipAll("no temporary folder");
    try {
        freshDb("probe.fdb");
    } catch (const std::exception& e) {
        test::skipAll((std::string("the embedded engine cannot create a database: ") + e.what()).c_str());
    }
}

void TestFirebirdClient::openFailures_data() {
    QTest::addColumn<QString>("location");
    QTest::addColumn<int>("dialect");
    QTest::addColumn<QString>("textPart");
    QTest::newRow("missing file") << (dir_.path() + "/missing.fdb") << 3 << "I/O error";
    QTest::newRow("empty location") << "" << 3 << "";
    QTest::newRow("server down") << "localhost/3051:/tmp/kelvora-none.fdb" << 3 << "Unable to complete network request";
    QTest::newRow("dialect 0") << (dir_.path() + "/probe.fdb") << 0 << "dialect";
    QTest::newRow("dialect 4") << (dir_.path() + "/probe.fdb") << 4 << "dialect";
}

void TestFirebirdClient::openFailures() {
    QFETCH(QString, location);
    QFETCH(int, dialect);
    QFETCH(QString, textPart);
    OpenParams p = TestDatabase{location.toStdString(), dialect}.openParams();
    auto client = makeFirebirdClient();
    try {
        client->open(p);
        QFAIL("open succeeded");
    } catch (const DatabaseError& e) {
        QVERIFY(std::string(e.what()).size() > 0);
        QVERIFY2(QString(e.what()).contains(textPart), e.what());
    }
    QVERIFY(!client->isOpen());
    // The client stays usable: a later open of a real database works.
    client->open(TestDatabase{path("probe.fdb")}.openParams());
    QVERIFY(client->isOpen());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->open(TestDatabase{path("probe.fdb")}.openParams()));
    client->close();
    QVERIFY(!client->isOpen());
}

void TestFirebirdClient::statementsNeedAnOpenConnection() {
    auto client = makeFirebirdClient();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->openQuery("select 1 from rdb$database"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->execute("delete from STK_PERIOD_CLOSE", {}));
    client->close();  // closing a closed client does nothing
}

void TestFirebirdClient::settingsTakeEffect_data() {
    QTest::addColumn<ClientSettings>("settings");
    QTest::addColumn<QString>("expectedRole");
    ClientSettings none;
    QTest::newRow("defaults") << none << "NONE";
    ClientSettings role;
    role.roleName = "RoleName";  // exists nowhere: ignored by the server
    QTest::newRow("unknown role") << role << "NONE";
    ClientSettings all{std::string(""), false, true, true, std::string("WIN1252"), 1, TransIsolation::RepeatableRead};
    QTest::newRow("every setting") << all << "NONE";
    ClientSettings dirty;
    dirty.isolation = TransIsolation::DirtyRead;
    dirty.waitOnLocks = true;
    QTest::newRow("dirty read") << dirty << "NONE";
}

void TestFirebirdClient::settingsTakeEffect() {
    QFETCH(ClientSettings, settings);
    QFETCH(QString, expectedRole);
    const TestDatabase db = freshDb(("settings" + std::to_string(++counter_) + ".fdb").c_str());
    OpenParams p = db.openParams();
    p.settings = settings;
    auto client = makeFirebirdClient();
    client->open(p);
    // Statements work and commit under every combination.
    client->execute(kInsert, journalParams({2005, 5, 1}, "0000", "memo"));
    auto rows = client->openQuery("select current_role, count(*) from STK_PERIOD_CLOSE");
    QCOMPARE(QString::fromStdString(rows->asText(0)).trimmed(), expectedRole);
    QCOMPARE(rows->asDouble(1), 1.0);
    rows->close();
    client->close();
    QCOMPARE(test::readJournalRows(db).size(), std::size_t(1));
}

void TestFirebirdClient::sums_data() {
    QTest::addColumn<int>("dbDialect");
    QTest::addColumn<int>("clientDialect");
    QTest::addColumn<int>("amountType");
    QTest::addColumn<double>("expected");
    QTest::addColumn<int>("kind");
    // 123410 * 0.01 is not the double nearest 1234.10: a lossy scaling step shows.
    const double numeric3 = 1234.10;
    const double doubles = 1000.00 + 234.10;  // the engine adds doubles itself
    const auto fixed = static_cast<int>(ColumnKind::FixedPoint);
    const auto flt = static_cast<int>(ColumnKind::Float);
    const auto integer = static_cast<int>(ColumnKind::Integer);
    QTest::newRow("dialect 3 numeric") << 3 << 3 << int(AmountType::Numeric) << numeric3 << fixed;
    QTest::newRow("dialect 1 numeric") << 1 << 1 << int(AmountType::Numeric) << doubles << flt;
    QTest::newRow("dialect 3 database, dialect 1 client")
        << 3 << 1 << int(AmountType::Numeric) << numeric3 << -1;
    QTest::newRow("dialect 3 integer") << 3 << 3 << int(AmountType::Integer) << 1234.0 << integer;
    QTest::newRow("dialect 1 integer") << 1 << 1 << int(AmountType::Integer) << 1234.0 << integer;
    QTest::newRow("dialect 3 double") << 3 << 3 << int(AmountType::Double) << doubles << flt;
    QTest::newRow("dialect 1 double") << 1 << 1 << int(AmountType::Double) << doubles << flt;
}

void TestFirebirdClient::sums() {
    QFETCH(int, dbDialect);
    QFETCH(int, clientDialect);
    QFETCH(int, amountType);
    QFETCH(double, expected);
    QFETCH(int, kind);
    SchemaOptions options;
    options.dialect = dbDialect;
    options.amountType = static_cast<AmountType>(amountType);
    TestDatabase db = freshDb(("sums" + std::to_string(++counter_) + ".fdb").c_str(), options);
    const bool whole = options.amountType == AmountType::Integer;
    const CalendarDate day{2005, 5, 1};
    test::insertPayments(db, {
                                 payment(whole ? "1000" : "1000.00", day),
                                 payment(whole ? "234" : "234.10", day),
                                 payment(nullptr, day),                      // NULL amounts do not count
                                 payment("5", day, "CASH", "0000", "VD"),    // another status
                                 payment("7", day, "CASH", "0001"),          // another store
                                 payment("9", {2005, 5, 2}),                 // another day
                                 payment("11", day, "VISA"),
                             });
    db.dialect = clientDialect;
    auto client = db.connect();

    auto rows = client->openQuery(totalQuery("05/01/2005", "Pymt_MASCODE='CASH'"));
    QVERIFY(!rows->eof());
    QVERIFY(!rows->isNull(0));
    COMPARE_EXACT(rows->asDouble(0), expected);
    if (kind >= 0) QCOMPARE(int(rows->columnKind(0)), kind);
    rows->next();
    QVERIFY(rows->eof());

    // No matching payment: a NULL sum that reads as 0.
    auto none = client->openQuery(totalQuery("05/03/2005", "Pymt_MASCODE='CASH'"));
    QVERIFY(!none->eof());
    QVERIFY(none->isNull(0));
    QCOMPARE(none->asDouble(0), 0.0);
    QCOMPARE(none->asText(0), std::string());

    // Only NULL amounts match: NULL as well.
    auto nulls = client->openQuery(totalQuery("05/01/2005", "Pymt_ACTPAID IS NULL"));
    QVERIFY(nulls->isNull(0));
    QCOMPARE(nulls->asDouble(0), 0.0);
    client->close();
}

void TestFirebirdClient::columnKindsAndValues() {
    const TestDatabase db = freshDb("kinds.fdb");
    auto client = db.connect();
    auto rows = client->openQuery(
        "select cast(-7 as smallint) s, cast(123456 as integer) i, cast(-9007199254740993 as bigint) b, "
        "cast(-0.05 as numeric(9,2)) n, cast(1.5 as double precision) d, cast(0.25 as float) f, "
        "cast('ab ' as varchar(5)) v, cast('xy' as char(3)) c, "
        "cast('2005-05-01 15:04:05.1234' as timestamp) ts, cast('15:04:05' as time) t, true bo, "
        "cast(null as integer) nl, cast('12.5' as varchar(10)) num "
        "from rdb$database");
    QCOMPARE(rows->columnCount(), 13);
    QCOMPARE(rows->columnIndex("TS"), 8);
    QCOMPARE(rows->columnIndex("ts"), 8);
    QCOMPARE(rows->columnIndex("Bo"), 10);
    QCOMPARE(rows->columnIndex("missing"), -1);

    const ColumnKind kinds[] = {ColumnKind::Integer,  ColumnKind::Integer,   ColumnKind::Integer, ColumnKind::FixedPoint,
                                ColumnKind::Float,    ColumnKind::Float,     ColumnKind::VarText, ColumnKind::FixedText,
                                ColumnKind::Timestamp, ColumnKind::Time,     ColumnKind::Boolean, ColumnKind::Integer,
                                ColumnKind::VarText};
    for (int c = 0; c < 13; ++c) QCOMPARE(int(rows->columnKind(c)), int(kinds[c]));

    const char* texts[] = {"-7",   "123456", "-9007199254740993", "-0.05", "1.5", "0.25", "ab ", "xy ",
                           "2005-05-01 15:04:05.1234", "15:04:05", "TRUE", "", "12.5"};
    for (int c = 0; c < 13; ++c) QCOMPARE(rows->asText(c), std::string(texts[c]));

    QCOMPARE(rows->asDouble(0), -7.0);
    COMPARE_EXACT(rows->asDouble(2), -9007199254740992.0);  // nearest double of the 64-bit value
    COMPARE_EXACT(rows->asDouble(3), -0.05);
    QCOMPARE(rows->asDouble(5), 0.25);
    QCOMPARE(rows->asDouble(10), 1.0);
    QVERIFY(rows->isNull(11));
    QCOMPARE(rows->asDouble(11), 0.0);
    QCOMPARE(rows->asDouble(12), 12.5);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asDouble(7));  // "xy " is no number
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asDouble(8));

    const Timestamp ts = rows->asTimestamp(8);
    QCOMPARE(ts, (Timestamp{{2005, 5, 1}, 15, 4, 5, 1234}));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asTimestamp(6));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asTimestamp(9));

    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asText(13));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->isNull(-1));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->columnKind(99));
}

void TestFirebirdClient::dateColumnIsAnotherKind() {
    SchemaOptions options;
    options.journalDateAsDate = true;
    const TestDatabase db = freshDb("datecol.fdb", options);
    auto client = db.connect();
    client->execute(kInsert, journalParams({2005, 5, 1}, "0000", "m"));
    auto rows = client->openQuery("Select * From Stk_PERIOD_CLOSE");
    const int date = rows->columnIndex("S_DATE");
    QCOMPARE(int(rows->columnKind(date)), int(ColumnKind::Date));
    QCOMPARE(rows->asTimestamp(date), (Timestamp{{2005, 5, 1}}));
    QCOMPARE(rows->asText(date), std::string("2005-05-01"));
}

void TestFirebirdClient::fixedTextBlanks_data() {
    QTest::addColumn<int>("trim");  // -1: not given
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("not given: blanks kept") << -1 << QByteArray("00  ");
    QTest::newRow("Trim Char false") << 0 << QByteArray("00  ");
    QTest::newRow("Trim Char true") << 1 << QByteArray("00");
}

void TestFirebirdClient::fixedTextBlanks() {
    QFETCH(int, trim);
    QFETCH(QByteArray, expected);
    const TestDatabase db = freshDb(("blanks" + std::to_string(++counter_) + ".fdb").c_str());
    test::insertJournalRow(db, JournalRow{"00", {{2005, 5, 1}}, "T", std::string("  memo keeps its blanks  ")});
    test::insertJournalRow(db, JournalRow{"    ", {{2005, 5, 2}}, "T", std::nullopt});
    OpenParams p = db.openParams();
    if (trim >= 0) p.settings.trimChar = trim == 1;
    auto client = makeFirebirdClient();
    client->open(p);
    auto rows = client->openQuery("select S_STORE, S_MEMO, cast('x ' as varchar(4)) from STK_PERIOD_CLOSE order by S_DATE");
    QCOMPARE(QByteArray::fromStdString(rows->asText(0)), expected);
    // Only fixed-width values lose their blanks.
    QCOMPARE(rows->asText(1), std::string("  memo keeps its blanks  "));
    QCOMPARE(rows->asText(2), std::string("x "));
    rows->next();
    QCOMPARE(rows->asText(0), std::string(trim == 1 ? "" : "    "));
}

void TestFirebirdClient::emptyResult() {
    const TestDatabase db = freshDb("empty.fdb");
    auto client = db.connect();
    auto rows = client->openQuery("Select * From Stk_Period_CLOSE Where S_Store='0000' And S_DATE='05/01/2005' AND S_PERIOD='T'");
    QVERIFY(rows->eof());
    QCOMPARE(rows->columnCount(), 4);
    QCOMPARE(rows->columnIndex("s_memo"), 3);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asText(0));
    rows->next();  // stays at the end
    QVERIFY(rows->eof());
    // A statement the server refuses, and one that is no query.
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->openQuery("Select * From NO_SUCH_TABLE"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->openQuery(totalQuery("05/01/2005", "")));
    // The connection is still usable afterwards.
    auto again = client->openQuery("select count(*) from POS_PAYMENT");
    QCOMPARE(again->asDouble(0), 0.0);
}

void TestFirebirdClient::memoRoundTrip_data() {
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("dialect");
    QTest::newRow("empty") << 0 << 3;
    QTest::newRow("one segment") << 65535 << 3;
    QTest::newRow("just over a segment") << 65536 << 3;
    QTest::newRow("1 MB") << (1 << 20) << 3;
    QTest::newRow("1 MB dialect 1") << (1 << 20) << 1;
}

void TestFirebirdClient::memoRoundTrip() {
    QFETCH(int, size);
    QFETCH(int, dialect);
    SchemaOptions options;
    options.dialect = dialect;
    const TestDatabase db = freshDb(("memo" + std::to_string(++counter_) + ".fdb").c_str(), options);
    const std::string memo = memoOfSize(static_cast<std::size_t>(size));
    auto client = db.connect();
    client->execute(kInsert, journalParams({2005, 5, 1}, "0000", memo));

    auto rows = client->openQuery("select S_MEMO, S_DATE from STK_PERIOD_CLOSE");
    QCOMPARE(int(rows->columnKind(0)), int(ColumnKind::TextBlob));
    QVERIFY(!rows->isNull(0));  // an empty memo is an empty text, not NULL
    const std::string back = rows->asText(0);
    QCOMPARE(back.size(), memo.size());
    QVERIFY(back == memo);
    QCOMPARE(rows->asTimestamp(1), (Timestamp{{2005, 5, 1}}));  // the calendar date at midnight
    rows->close();
    client->close();

    const auto stored = test::readJournalRows(db);
    QCOMPARE(stored.size(), std::size_t(1));
    QVERIFY(stored[0].memo == memo);
}

void TestFirebirdClient::blobSizeLimit() {
    const TestDatabase db = freshDb("limit.fdb");
    const std::string memo = memoOfSize(100000);
    {
        auto client = db.connect();
        client->execute(kInsert, journalParams({2005, 5, 1}, "0000", memo));
    }
    OpenParams p = db.openParams();
    p.blobSizeLimit = 2;  // KB
    auto client = makeFirebirdClient();
    client->open(p);
    auto rows = client->openQuery("select S_MEMO from STK_PERIOD_CLOSE");
    QVERIFY(rows->asText(0) == memo.substr(0, 2048));
}

void TestFirebirdClient::namedParameters_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("expectedStore");
    QTest::addColumn<QString>("expectedMemo");
    QTest::newRow("repeated name") << "INSERT INTO STK_PERIOD_CLOSE (S_STORE,S_DATE,S_PERIOD,S_MEMO) VALUES (:s_store,:S_DATE,'T',:S_STORE)"
                                   << "0001" << "0001";
    QTest::newRow("markers in quotes left alone")
        << "INSERT INTO STK_PERIOD_CLOSE (S_STORE,S_DATE,S_PERIOD,S_MEMO) VALUES (:S_STORE,:S_DATE,'T',"
           "':S_STORE isn''t :S_DATE')"
        << "0001" << ":S_STORE isn't :S_DATE";
    QTest::newRow("text into a memo, CR LF lines")
        << "INSERT INTO STK_PERIOD_CLOSE\r\n(S_STORE,S_DATE,S_PERIOD,S_MEMO)\r\n-- :NOT_A_MARKER\r\nVALUES (:S_STORE,:S_DATE,'T','x')\r\n"
        << "0001" << "x";
}

void TestFirebirdClient::namedParameters() {
    QFETCH(QString, sql);
    QFETCH(QString, expectedStore);
    QFETCH(QString, expectedMemo);
    const TestDatabase db = freshDb(("named" + std::to_string(++counter_) + ".fdb").c_str());
    auto client = db.connect();
    client->execute(sql.toStdString(), {ParamValue{"S_DATE", ParamKind::Date, {}, {2005, 5, 1}},
                                        ParamValue{"S_STORE", ParamKind::Text, "0001", {}}});
    const auto rows = test::readJournalRows(db);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(rows[0].store), expectedStore);
    QCOMPARE(QString::fromStdString(rows[0].memo.value_or("<null>")), expectedMemo);
    QCOMPARE(rows[0].date, (Timestamp{{2005, 5, 1}}));
}

void TestFirebirdClient::parameterMismatch_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QStringList>("names");
    const QString insert = kInsert;
    QTest::newRow("marker without value") << insert << QStringList{"S_DATE", "S_PERIOD", "S_MEMO"};
    QTest::newRow("value without marker") << insert << QStringList{"S_DATE", "S_PERIOD", "S_MEMO", "S_STORE", "S_EXTRA"};
    QTest::newRow("value given twice") << insert << QStringList{"S_DATE", "S_PERIOD", "S_MEMO", "S_STORE", "s_store"};
    QTest::newRow("value for a quoted marker")
        << "INSERT INTO STK_PERIOD_CLOSE (S_STORE,S_DATE,S_PERIOD) VALUES (':S_STORE',:S_DATE,'T')"
        << QStringList{"S_DATE", "S_STORE"};
    QTest::newRow("positional marker") << "INSERT INTO STK_PERIOD_CLOSE (S_STORE,S_DATE,S_PERIOD) VALUES (?,:S_DATE,'T')"
                                       << QStringList{"S_DATE"};
}

void TestFirebirdClient::parameterMismatch() {
    QFETCH(QString, sql);
    QFETCH(QStringList, names);
    const TestDatabase db = freshDb(("mismatch" + std::to_string(++counter_) + ".fdb").c_str());
    std::vector<ParamValue> params;
    for (const auto& n : names) {
        const bool date = n == "S_DATE";
        params.push_back(ParamValue{n.toStdString(), date ? ParamKind::Date : ParamKind::Text, date ? "" : "T",
                                    CalendarDate{2005, 5, 1}});
    }
    auto client = db.connect();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->execute(sql.toStdString(), params));
    QVERIFY(test::readJournalRows(db).empty());
}

void TestFirebirdClient::commitPerStatement_data() {
    QTest::addColumn<bool>("commitRetain");
    QTest::newRow("plain commit") << false;
    QTest::newRow("commit retaining") << true;
}

void TestFirebirdClient::commitPerStatement() {
    QFETCH(bool, commitRetain);
    const TestDatabase db = freshDb(("commit" + std::to_string(++counter_) + ".fdb").c_str());
    OpenParams p = db.openParams();
    p.settings.commitRetain = commitRetain;
    auto writer = makeFirebirdClient();
    writer->open(p);
    auto reader = db.connect();

    // A result the writer keeps open does not hold back its next statement.
    auto pending = writer->openQuery("select count(*) from STK_PERIOD_CLOSE");
    QCOMPARE(pending->asDouble(0), 0.0);

    writer->execute(kInsert, journalParams({2005, 5, 1}, "0000", "first"));
    {
        auto rows = reader->openQuery("select count(*) from STK_PERIOD_CLOSE");
        QCOMPARE(rows->asDouble(0), 1.0);  // visible to another attachment at once
    }
    QVERIFY_THROWS_EXCEPTION(DatabaseError, writer->execute(kInsert, journalParams({2005, 5, 2}, "TOOLONG", "x")));
    writer->execute(kInsert, journalParams({2005, 5, 3}, "0000", "third"));
    pending->close();
    {
        auto rows = reader->openQuery("select S_MEMO from STK_PERIOD_CLOSE order by S_DATE");
        QCOMPARE(rows->asText(0), std::string("first"));
        rows->next();
        QCOMPARE(rows->asText(0), std::string("third"));
        rows->next();
        QVERIFY(rows->eof());
    }
    writer->close();
    reader->close();
    QCOMPARE(test::readJournalRows(db).size(), std::size_t(2));
}

void TestFirebirdClient::failedInsertLeavesNoRow_data() {
    QTest::addColumn<QString>("store");
    QTest::addColumn<int>("day");
    QTest::newRow("store too long for CHAR(4), after a 1 MB memo was written") << "TOOLONG" << 1;
    QTest::newRow("invalid date") << "0000" << 30;
}

void TestFirebirdClient::failedInsertLeavesNoRow() {
    QFETCH(QString, store);
    QFETCH(int, day);
    const TestDatabase db = freshDb(("failed" + std::to_string(++counter_) + ".fdb").c_str());
    auto client = db.connect();
    try {
        client->execute(kInsert, journalParams({2005, 2, day}, store.toStdString(), memoOfSize(1 << 20)));
        QFAIL("insert succeeded");
    } catch (const DatabaseError& e) {
        QVERIFY(std::string(e.what()).size() > 0);
    }
    QVERIFY(test::readJournalRows(db).empty());
    // Six characters are refused, trailing blanks beyond the width are not.
    client->execute(kInsert, journalParams({2005, 2, 1}, "0000  ", "ok"));
    QCOMPARE(test::readJournalRows(db).size(), std::size_t(1));
}

void TestFirebirdClient::closeEndsOpenResults() {
    const TestDatabase db = freshDb("close.fdb");
    test::insertJournalRow(db, JournalRow{"0000", {{2005, 5, 1}}, "T", std::string("m1")});
    test::insertJournalRow(db, JournalRow{"0000", {{2005, 5, 2}}, "T", std::string("m2")});
    auto client = db.connect();
    auto first = client->openQuery("select * from STK_PERIOD_CLOSE order by S_DATE");
    auto second = client->openQuery("select S_MEMO from STK_PERIOD_CLOSE order by S_DATE");
    auto closedEarly = client->openQuery("select count(*) from STK_PERIOD_CLOSE");
    closedEarly->close();
    QVERIFY(!first->eof());
    QCOMPARE(second->asText(0), std::string("m1"));

    client->close();
    QVERIFY(!client->isOpen());
    for (IResultRows* rows : {first.get(), second.get(), closedEarly.get()}) {
        QVERIFY(rows->eof());
        QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asText(0));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asDouble(0));
        QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->isNull(0));
        rows->next();
        rows->close();
    }
    QCOMPARE(first->columnIndex("S_MEMO"), 3);  // the description outlives the rows

    client->open(db.openParams());
    auto rows = client->openQuery("select count(*) from STK_PERIOD_CLOSE");
    QCOMPARE(rows->asDouble(0), 2.0);
    // A client destroyed before its results leaves them stale, not dangling.
    client.reset();
    QVERIFY(rows->eof());
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asText(0));
}

QTEST_MAIN(TestFirebirdClient)
#include "test_firebird_client.moc"
