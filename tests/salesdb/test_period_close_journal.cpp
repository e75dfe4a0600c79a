// The period-close journal against real databases opened through the
// embedded engine: its statements, the insert and the "RETRV" listing.

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <optional>

#include "period_close_journal.h"
#include "sales_test_db.h"
#include "sql_connection.h"
#include "sql_text.h"
#include "test_support.h"

using namespace kelvora;
using namespace kelvora::salesdb;
using kelvora::demo::SchemaOptions;
using kelvora::test::TestDatabase;

namespace QTest {
template <>
char* toString(const std::string& text) {
    return toString(QByteArray::fromStdString(text));
}
}  // namespace QTest

namespace {

constexpr CalendarDate kMay1{2005, 5, 1};
constexpr CalendarDate kMay31{2005, 5, 31};

const char* const kSendMemo =
    "> START SEND 02/05/2005 09:05:07 AM\r\n"
    "> Transaction Date 1-May-2005\r\n"
    ">\r\n"
    ">http://sales.kelvora.example/SubmitSales.asmx/SubmitSalesTransaction?\r\n"
    ">\r\n"
    ">&cashSales=1234.50\r\n";

class RecordingList final : public IJournalListingView {
public:
    QStringList lines;
    std::vector<std::string> boxes;
    int clears = 0;
    std::function<void()> onEvents;  // the window handling input between rows

    void clearList() override {
        ++clears;
        lines.clear();
    }
    void appendLine(const std::string& line) override { lines << QString::fromLatin1(line); }
    void processPendingEvents() override {
        if (onEvents) onEvents();
    }
    void plainBox(const std::string& text) override { boxes.push_back(text); }
};

struct Session {
    explicit Session(const std::string& location) : connection(makeFirebirdClient()), SQL_GetLog(connection) {
        connection.setParameterList(connectParameterList(location));
    }
    ~Session() {
        SQL_GetLog.close();
        connection.close();
    }
    SqlConnection connection;
    SqlQuery SQL_GetLog;  // declared after the connection: gone before it
};

CalendarDate dateOf(const QString& text) {
    const QDate d = QDate::fromString(text, Qt::ISODate);
    return {d.year(), d.month(), d.day()};
}

RegionalSettings german() {
    RegionalSettings r;
    r.dateSeparator = '.';
    r.decimalSymbol = ',';
    r.shortMonthNames = {"Jan", "Feb", "M\xe4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
    return r;
}

const RegionalSettings kUs = RegionalSettings::englishUnitedStates();

}  // namespace

class TestPeriodCloseJournal : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void statementTexts();
    void insertIsFoundAndListed_data();
    void insertIsFoundAndListed();
    void insertRefused();
    void listing_data();
    void listing();
    void listingCannotRead_data();
    void listingCannotRead();
    void failureMidwayKeepsLines();

private:
    std::string newPath() { return dir_.filePath(QStringLiteral("journal%1.fdb").arg(++count_)).toStdString(); }
    TestDatabase create(const SchemaOptions& options = {});

    QTemporaryDir dir_;
    int count_ = 0;
    std::optional<TestDatabase> listed_;
};

TestDatabase TestPeriodCloseJournal::create(const SchemaOptions& options) {
    try {
        return test::createTestDatabase(newPath(), options);
    } catch (const std::exception& e) {
        test::skipAll((std::string("cannot create a test database: ") + e.what()).c_str());
    }
}

void TestPeriodCloseJournal::initTestCase() {
    if (!dir_.isValid()) test::skipAll("no temporary folder");
    listed_ = create();
    const auto row = [&](const char* store, Timestamp date, const char* period, std::optional<std::string> memo) {
        test::insertJournalRow(*listed_, {store, date, period, std::move(memo)});
    };
    // Not in date order: the listing sorts.
    row("0000", {kMay31}, "T", "> START SEND 01/06/2005 08:00:00 AM\r\n> Transaction Date 31-May-2005\r\n");
    row("0000", {{2005, 5, 20}}, "T", "");
    row("0000", {kMay1}, "T", kSendMemo);
    row("0000", {{2005, 5, 21}}, "T", "one line without the marker");
    row("0000", {{2005, 5, 5}}, "T", std::nullopt);
    row("0000", {{2005, 5, 15}}, "T", "first line\r\nsecond line\r\n");
    row("0000", {{2005, 4, 30}}, "T", "> START SEND 01/05/2005 08:00:00 AM\r\n");
    row("0000", {{2005, 6, 1}}, "T", "> START SEND 02/06/2005 08:00:00 AM\r\n");
    row("0000", {kMay31, 10}, "T", "> later that day\r\n");  // the system writes midnight only
    row("0000", {{2005, 5, 10}}, "X", "> another marker\r\n");
    row("0001", {{2005, 5, 10}}, "T", "> START SEND 11/05/2005 07:00:00 PM\r\n");
    row("00", {{2005, 5, 12}}, "T", "> START SEND 13/05/2005 10:00:00 AM\r\n");
}

void TestPeriodCloseJournal::statementTexts() {
    QCOMPARE(alreadySentQuery("0000", kMay1),
             std::string("Select * From Stk_Period_CLOSE Where S_Store='0000' And S_DATE='05/01/2005' AND S_PERIOD='T'"));
    QCOMPARE(journalInsertLines(), (std::vector<std::string>{"INSERT INTO STK_PERIOD_CLOSE (S_DATE,S_PERIOD,S_MEMO,S_STORE)",
                                                              "VALUES (:S_DATE,:S_PERIOD,:S_MEMO,:S_STORE)"}));
    QCOMPARE(journalListingLines("0000", kMay1, kMay31),
             (std::vector<std::string>{"Select * From Stk_PERIOD_CLOSE", "Where S_PERIOD='T'", "And S_STORE='0000'",
                                       "And S_DATE>='05/01/2005'", "And S_DATE<='05/31/2005'", "ORDER by S_DATE"}));
    QCOMPARE(journalListingLines("O'K", kMay1, kMay1)[2], std::string("And S_STORE='O''K'"));
}

void TestPeriodCloseJournal::insertIsFoundAndListed_data() {
    QTest::addColumn<QString>("store");
    QTest::addColumn<QByteArray>("memo");
    QTest::addColumn<QString>("line");

    QTest::newRow("a send") << "0000" << QByteArray(kSendMemo)
                            << "0000      01-May-2005 >  START SEND 02/05/2005 09:05:07 AM";
    QTest::newRow("empty memo, short store") << "7" << QByteArray() << "7         01-May-2005 > ";
    QTest::newRow("quote in the store") << "O'K" << QByteArray(kSendMemo)
                                        << "O'K       01-May-2005 >  START SEND 02/05/2005 09:05:07 AM";
    // Longer than one blob segment.
    QByteArray big = QByteArray(kSendMemo) + QByteArray(200000, 'x') + "\r\n";
    QTest::newRow("memo of 200 KB") << "0000" << big << "0000      01-May-2005 >  START SEND 02/05/2005 09:05:07 AM";
}

void TestPeriodCloseJournal::insertIsFoundAndListed() {
    QFETCH(QString, store);
    QFETCH(QByteArray, memo);
    QFETCH(QString, line);

    const TestDatabase db = create();
    Session s(db.location);
    SqlStatement tblPeriodCLOSE_INSERT(s.connection, journalInsertLines());
    tblPeriodCLOSE_INSERT.setParams(journalInsertParams(kMay1, memo.toStdString(), store.toStdString()));
    tblPeriodCLOSE_INSERT.execute();

    const auto rows = test::readJournalRows(db);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(trimText(rows[0].store), store.toStdString());
    QVERIFY(rows[0].date == Timestamp{kMay1});
    QCOMPARE(rows[0].period, std::string("T"));
    QCOMPARE(rows[0].memo, std::optional(memo.toStdString()));  // never NULL, even when empty

    s.SQL_GetLog.setLines({alreadySentQuery(store.toStdString(), kMay1)});
    s.SQL_GetLog.open();
    QVERIFY(!s.SQL_GetLog.result().eof());
    s.SQL_GetLog.close();

    RecordingList list;
    runJournalListing(s.SQL_GetLog, store.toStdString(), kMay1, kMay1, list, kUs);
    QCOMPARE(list.lines, QStringList{line});
    QVERIFY(list.boxes.empty());
}

void TestPeriodCloseJournal::insertRefused() {
    const TestDatabase db = create();
    Session s(db.location);
    SqlStatement tblPeriodCLOSE_INSERT(s.connection, journalInsertLines());
    tblPeriodCLOSE_INSERT.setParams(journalInsertParams(kMay1, kSendMemo, "000000"));  // wider than CHAR(4)
    QVERIFY_THROWS_EXCEPTION(DatabaseError, tblPeriodCLOSE_INSERT.execute());
    QVERIFY(test::readJournalRows(db).empty());
}

void TestPeriodCloseJournal::listing_data() {
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<bool>("germanSettings");
    QTest::addColumn<QStringList>("lines");

    const QStringList may{
        "0000      01-May-2005 >  START SEND 02/05/2005 09:05:07 AM",
        "0000      05-May-2005 > ",
        "0000      15-May-2005 > second line",
        "0000      20-May-2005 > ",
        "0000      21-May-2005 > ",
        "0000      31-May-2005 >  START SEND 01/06/2005 08:00:00 AM",
    };
    QTest::newRow("month") << "0000" << "2005-05-01" << "2005-05-31" << false << may;
    QTest::newRow("from-date only") << "0000" << "2005-05-01" << "2005-05-01" << false << QStringList{may.first()};
    QTest::newRow("to-date only") << "0000" << "2005-05-31" << "2005-05-31" << false << QStringList{may.last()};
    QTest::newRow("no rows in range") << "0000" << "2005-07-01" << "2005-07-31" << false << QStringList{};
    QTest::newRow("from after to") << "0000" << "2005-05-31" << "2005-05-01" << false << QStringList{};
    QTest::newRow("other store") << "0001" << "2005-05-01" << "2005-05-31" << false
                                 << QStringList{"0001      10-May-2005 >  START SEND 11/05/2005 07:00:00 PM"};
    QTest::newRow("short store code") << "00" << "2005-05-01" << "2005-05-31" << false
                                      << QStringList{"00        12-May-2005 >  START SEND 13/05/2005 10:00:00 AM"};
    // '05.31.2005' would be refused and '05.01.2005' read as 5 January.
    QStringList mai = may;
    mai.replaceInStrings("-May-", "-Mai-");
    QTest::newRow("'.' as date separator") << "0000" << "2005-05-01" << "2005-05-31" << true << mai;
}

void TestPeriodCloseJournal::listing() {
    QFETCH(QString, store);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(bool, germanSettings);
    QFETCH(QStringList, lines);

    Session s(listed_->location);
    RecordingList list;
    list.lines << "from an earlier listing";
    runJournalListing(s.SQL_GetLog, store.toStdString(), dateOf(from), dateOf(to), list,
                      germanSettings ? german() : kUs);
    QCOMPARE(list.lines, lines);
    QVERIFY(list.boxes.empty());
    QCOMPARE(list.clears, 1);
    QVERIFY(!s.SQL_GetLog.active());
}

void TestPeriodCloseJournal::listingCannotRead_data() {
    QTest::addColumn<QString>("table");  // the journal's columns; empty: no journal table
    QTest::addColumn<bool>("withRow");

    const QString store = "S_STORE CHAR(4) NOT NULL, ", period = ", S_PERIOD CHAR(1) NOT NULL";
    QTest::newRow("S_DATE is a DATE") << store + "S_DATE DATE NOT NULL" + period + ", S_MEMO BLOB SUB_TYPE TEXT"
                                      << true;
    QTest::newRow("S_DATE is a DATE, no rows")
        << store + "S_DATE DATE NOT NULL" + period + ", S_MEMO BLOB SUB_TYPE TEXT" << false;
    QTest::newRow("no S_MEMO") << store + "S_DATE TIMESTAMP NOT NULL" + period << true;
    QTest::newRow("S_MEMO is a VARCHAR")
        << store + "S_DATE TIMESTAMP NOT NULL" + period + ", S_MEMO VARCHAR(500)" << true;
    QTest::newRow("S_MEMO is a binary blob")
        << store + "S_DATE TIMESTAMP NOT NULL" + period + ", S_MEMO BLOB SUB_TYPE 0" << true;
    QTest::newRow("S_STORE is a VARCHAR")
        << "S_STORE VARCHAR(4) NOT NULL, S_DATE TIMESTAMP NOT NULL" + period + ", S_MEMO BLOB SUB_TYPE TEXT" << true;
    QTest::newRow("no journal table") << QString() << false;
}

void TestPeriodCloseJournal::listingCannotRead() {
    QFETCH(QString, table);
    QFETCH(bool, withRow);

    const TestDatabase db = create();
    test::runSql(db, "DROP TABLE STK_PERIOD_CLOSE");
    if (!table.isEmpty()) {
        test::runSql(db, "CREATE TABLE STK_PERIOD_CLOSE (" + table.toStdString() + ")");
        if (withRow)
            test::runSql(db, "INSERT INTO STK_PERIOD_CLOSE (S_STORE, S_DATE, S_PERIOD) VALUES ('0000', '2005-05-01', 'T')");
    }

    Session s(db.location);
    RecordingList list;
    runJournalListing(s.SQL_GetLog, "0000", kMay1, kMay31, list, kUs);
    QCOMPARE(list.boxes, std::vector<std::string>{"SQL_GetLog Retrv ERROR"});
    QVERIFY(list.lines.isEmpty());
    QVERIFY(!s.SQL_GetLog.active());

    // An unreachable database is told the same way.
    Session gone(dir_.filePath("missing.fdb").toStdString());
    RecordingList none;
    runJournalListing(gone.SQL_GetLog, "0000", kMay1, kMay31, none, kUs);
    QCOMPARE(none.boxes, std::vector<std::string>{"SQL_GetLog Retrv ERROR"});
}

void TestPeriodCloseJournal::failureMidwayKeepsLines() {
    // A computed column that fails for one row: the third row cannot be fetched.
    const TestDatabase db = create();
    test::runSql(db, "ALTER TABLE STK_PERIOD_CLOSE ADD S_DIVISOR INTEGER");
    test::runSql(db, "ALTER TABLE STK_PERIOD_CLOSE ADD S_CHECK COMPUTED BY (10 / S_DIVISOR)");
    for (int day = 1; day <= 4; ++day) {
        test::insertJournalRow(db, {"0000", {{2005, 5, day}}, "T", "> row " + std::to_string(day) + "\r\n"});
        test::runSql(db, "UPDATE STK_PERIOD_CLOSE SET S_DIVISOR=" + std::string(day == 3 ? "0" : "1") +
                             " WHERE S_DATE='2005-05-0" + std::to_string(day) + "'");
    }

    Session s(db.location);
    RecordingList list;
    runJournalListing(s.SQL_GetLog, "0000", kMay1, kMay31, list, kUs);
    QCOMPARE(list.lines, (QStringList{"0000      01-May-2005 >  row 1", "0000      02-May-2005 >  row 2"}));
    QCOMPARE(list.boxes, std::vector<std::string>{"SQL_GetLog Retrv ERROR"});
    QVERIFY(!s.SQL_GetLog.active());
}

QTEST_GUILESS_MAIN(TestPeriodCloseJournal)
#include "test_period_close_journal.moc"
