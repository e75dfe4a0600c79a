// "GET Sales" against real databases opened through the embedded engine:
// the already-sent check, the six category totals, the log and the fields.

#include <QTemporaryDir>
#include <QtTest>

#include <array>
#include <functional>
#include <optional>

#include "period_close_journal.h"
#include "sales_test_db.h"
#include "sales_totals.h"
#include "sql_connection.h"
#include "test_support.h"

using namespace kelvora;
using namespace kelvora::salesdb;
using kelvora::demo::AmountType;
using kelvora::demo::Payment;
using kelvora::demo::SchemaOptions;
using kelvora::test::TestDatabase;

namespace QTest {
template <>
char* toString(const std::string& text) {
    return toString(QByteArray::fromStdString(text));
}
template <>
char* toString(const std::optional<std::string>& text) {
    return text ? toString(*text) : qstrdup("(none)");
}
}  // namespace QTest

Q_DECLARE_METATYPE(AmountType)
Q_DECLARE_METATYPE(GetSalesOutcome)

namespace {

using kelvora::test::payment;

constexpr CalendarDate kMay1{2005, 5, 1};
constexpr CalendarDate kMay2{2005, 5, 2};


class FixedClock final : public IClock {
public:
    LocalDateTime now() const override { return {kMay1, 15, 4, 5}; }
};

class RecordingView final : public IGetSalesView {
public:
    std::vector<std::string> log;
    std::vector<std::string> boxes;
    std::optional<std::string> transactionDate;
    std::array<std::optional<std::string>, kCategoryCount> fields;
    int sendEnabled = 0;
    std::function<void(const std::string&)> onLog;  // the window handling input inside AddToLog

    void addToLog(const std::string& text) override {
        log.push_back(text);
        if (onLog) onLog(text);
    }
    void errorBox(const std::string& text) override { boxes.push_back(text); }
    void setTransactionDateField(const std::string& text) override { transactionDate = text; }
    void setParameterField(std::size_t category, const std::string& text) override {
        QVERIFY(category < kCategoryCount);
        fields[category] = text;
    }
    void enableSend() override { ++sendEnabled; }

    bool untouched() const {
        return log.empty() && !transactionDate &&
               std::all_of(fields.begin(), fields.end(), [](const auto& f) { return !f; }) && sendEnabled == 0;
    }
};

GetSalesInput input(CalendarDate date = kMay1, std::string store = "0000", bool ignore = false) {
    GetSalesInput in;
    in.salesDate = date;
    in.store = std::move(store);
    for (std::size_t i = 0; i < kCategoryCount; ++i) in.filters[i] = paymentCategories()[i].defaultFilter();
    in.ignoreDateFound = ignore;
    return in;
}

// A total statement as the log shows it, for store "0000" on 1 May 2005.
std::string loggedStatement(const std::string& filter) {
    return "Select Sum(Pymt_ACTPAID) From POS_PAYMENT\r\n"
           "WHERE Pymt_CloseDate='05/01/2005'\r\n"
           "AND Pymt_Store='0000'\r\n"
           "AND Pymt_Status='NS'\r\n"
           "AND " +
           filter;
}

std::string lastLine(const std::string& entry) {
    const auto at = entry.rfind("\r\n");
    return at == std::string::npos ? entry : entry.substr(at + 2);
}

// The window's connection, opened on demand from the list the connect
// operation builds, and the scratch query on it.
struct Session {
    explicit Session(const std::string& location, std::vector<std::string> extraLines = {})
        : connection(makeFirebirdClient()), TmpSQL(connection) {
        auto list = connectParameterList(location);
        list.insert(list.end(), extraLines.begin(), extraLines.end());
        connection.setParameterList(std::move(list));
    }
    ~Session() {
        TmpSQL.close();
        connection.close();
    }
    SqlConnection connection;
    SqlQuery TmpSQL;  // declared after the connection: gone before it
};

const RegionalSettings kUs = RegionalSettings::englishUnitedStates();

}  // namespace

class TestSalesTotals : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();

    void example();
    void dayWithoutPayments();
    void filters_data();
    void filters();
    void sumOfEveryColumnType_data();
    void sumOfEveryColumnType();
    void alreadySent_data();
    void alreadySent();
    void checkCannotRun_data();
    void checkCannotRun();
    void storeCodeWithQuote();
    void regionalSettings();

private:
    std::string newPath() { return dir_.filePath(QStringLiteral("sales%1.fdb").arg(++count_)).toStdString(); }
    TestDatabase create(const SchemaOptions& options = {});

    QTemporaryDir dir_;
    int count_ = 0;
    std::optional<TestDatabase> example_;
    std::optional<TestDatabase> journal_;  // its journal rows change from test to test
    FixedClock clock_;
};

TestDatabase TestSalesTotals::create(const SchemaOptions& options) {
    try {
        return test::createTestDatabase(newPath(), options);
    } catch (const std::exception& e) {
        test::skipAll((std::string("cannot create a test database: ") + e.what()).c_str());
    }
}

void TestSalesTotals::initTestCase() {
    if (!dir_.isValid()) test::skipAll("no temporary folder");
    example_ = create();
    test::insertPayments(*example_, {
        payment("1000.00", kMay1), payment("234.50", kMay1), payment(nullptr, kMay1),  // a NULL adds nothing
        payment("20.25", kMay1, "VISA"),
        payment("5.00", kMay1, "CASH", "0001"), payment("7.00", kMay1, "CASH", "0000", "XX"),
        payment("11.00", kMay2), payment("13.00", {2005, 4, 30}),
        payment("50.00", {2005, 1, 5}),  // the day that '05.01.2005' would name
    });
    test::insertJournalRow(*example_, {"0000", {{2005, 1, 5}}, "T", "> START SEND 06/01/2005 09:00:00 AM\r\n"});

    journal_ = create();
    test::insertPayments(*journal_, {payment("1000.00", kMay1), payment("234.50", kMay1)});
}

void TestSalesTotals::example() {
    Session s(example_->location);
    RecordingView view;
    QCOMPARE(runGetSales(s.TmpSQL, input(), view, kUs, clock_), GetSalesOutcome::Completed);

    const std::vector<std::string> log{
        "> START 01/05/2005 03:04:05 PM",
        "> Transaction Date 1-May-2005",
        "Select Sum(Pymt_ACTPAID) From POS_PAYMENT\r\n"
        "WHERE Pymt_CloseDate='05/01/2005'\r\n"
        "AND Pymt_Store='0000'\r\n"
        "AND Pymt_Status='NS'\r\n"
        "AND Pymt_MASCODE='CASH'",
        loggedStatement("Pymt_MASCODE='VISA'"),
        loggedStatement("Pymt_MASCODE='MASTER'"),
        loggedStatement("Pymt_MASCODE='AMEX'"),
        loggedStatement("Pymt_MASCODE='EDC'"),
        loggedStatement("Pymt_MASCODE='OTHER'"),
        "< END 01/05/2005 03:04:05 PM",
    };
    QCOMPARE(view.log, log);
    QVERIFY(view.boxes.empty());
    QCOMPARE(view.transactionDate, std::optional<std::string>("&transactionDateTime=1-May-2005"));
    const std::array<std::optional<std::string>, kCategoryCount> fields{
        "&cashSales=1234.50", "&creditCardVisa=20.25",  "&creditCardMaster=0.00",
        "&creditCardAmex=0.00", "&creditCardOthers=0.00", "&others=0.00"};
    QCOMPARE(view.fields, fields);
    QCOMPARE(view.sendEnabled, 1);
    // No read transaction is left running behind the last total.
    QVERIFY(!s.TmpSQL.active());
}

void TestSalesTotals::dayWithoutPayments() {
    Session s(example_->location);
    RecordingView view;
    QCOMPARE(runGetSales(s.TmpSQL, input({2005, 5, 3}), view, kUs, clock_), GetSalesOutcome::Completed);
    for (std::size_t i = 0; i < kCategoryCount; ++i)
        QCOMPARE(view.fields[i], std::optional(std::string(paymentCategories()[i].parameterPrefix) + "0.00"));
    QCOMPARE(view.log.size(), std::size_t(9));
    QCOMPARE(view.log[1], std::string("> Transaction Date 3-May-2005"));
    for (std::size_t i = 2; i < 8; ++i) QVERIFY(view.log[i].starts_with("Select Sum(Pymt_ACTPAID)"));
    QCOMPARE(view.log[8], std::string("< END 01/05/2005 03:04:05 PM"));
    QCOMPARE(view.sendEnabled, 1);
}

void TestSalesTotals::filters_data() {
    QTest::addColumn<QString>("filter");  // the Visa category's
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("loggedLastLine");
    QTest::addColumn<QString>("errorEntry");  // null: none

    QTest::newRow("cleared") << "" << "&creditCardVisa=0" << "AND" << "= KelvoraSQL Return Error - ";
    QTest::newRow("rejected, trailing blanks") << "NO_SUCH_COLUMN=1  " << "&creditCardVisa=0"
                                               << "AND NO_SUCH_COLUMN=1"
                                               << "= KelvoraSQL Return Error - NO_SUCH_COLUMN=1  ";
    QTest::newRow("trailing blanks kept in the statement")
        << "Pymt_MASCODE='VISA'  " << "&creditCardVisa=20.25" << "AND Pymt_MASCODE='VISA'" << QString();
    QTest::newRow("group by, no row") << "Pymt_MASCODE='AMEX' GROUP BY Pymt_Store" << "&creditCardVisa=0"
                                      << "AND Pymt_MASCODE='AMEX' GROUP BY Pymt_Store" << QString();
    QTest::newRow("group by, one row") << "Pymt_MASCODE='VISA' GROUP BY Pymt_Store" << "&creditCardVisa=20.25"
                                       << "AND Pymt_MASCODE='VISA' GROUP BY Pymt_Store" << QString();
}

void TestSalesTotals::filters() {
    QFETCH(QString, filter);
    QFETCH(QString, field);
    QFETCH(QString, loggedLastLine);
    QFETCH(QString, errorEntry);

    Session s(example_->location);
    RecordingView view;
    auto in = input();
    in.filters[1] = filter.toStdString();
    QCOMPARE(runGetSales(s.TmpSQL, in, view, kUs, clock_), GetSalesOutcome::Completed);

    QCOMPARE(view.fields[1], std::optional(field.toStdString()));
    QCOMPARE(lastLine(view.log[3]), loggedLastLine.toStdString());
    const bool failed = !errorEntry.isNull();
    if (failed) QCOMPARE(view.log[4], errorEntry.toStdString());
    QCOMPARE(view.log.size(), std::size_t(failed ? 10 : 9));
    // The other categories are untouched by one category's failure.
    QCOMPARE(view.fields[0], std::optional<std::string>("&cashSales=1234.50"));
    QCOMPARE(view.fields[2], std::optional<std::string>("&creditCardMaster=0.00"));
    QCOMPARE(view.log.back(), std::string("< END 01/05/2005 03:04:05 PM"));
    QCOMPARE(view.sendEnabled, 1);
}

void TestSalesTotals::sumOfEveryColumnType_data() {
    QTest::addColumn<AmountType>("type");
    QTest::addColumn<int>("databaseDialect");
    QTest::addColumn<int>("clientDialect");  // 0: the client's default
    QTest::addColumn<QStringList>("amounts");
    QTest::addColumn<QString>("total");

    const auto N = AmountType::Numeric, I = AmountType::Integer, D = AmountType::Double;
    QTest::newRow("numeric") << N << 3 << 0 << QStringList{"1000.00", "234.50"} << "1234.50";
    QTest::newRow("numeric, client dialect 1") << N << 3 << 1 << QStringList{"1000.00", "234.50"} << "1234.50";
    QTest::newRow("numeric, dialect 1 database") << N << 1 << 1 << QStringList{"1000.00", "234.50"} << "1234.50";
    QTest::newRow("numeric negative") << N << 3 << 0 << QStringList{"-12.30"} << "-12.30";
    QTest::newRow("numeric tenths") << N << 3 << 0 << QStringList{"0.10", "0.20"} << "0.30";
    QTest::newRow("numeric, large") << N << 3 << 0 << QStringList{"9999999999999.99"} << "9999999999999.99";
    QTest::newRow("integer") << I << 3 << 0 << QStringList{"1000", "234"} << "1234.00";
    QTest::newRow("integer, client dialect 1") << I << 3 << 1 << QStringList{"1000", "234"} << "1234.00";
    QTest::newRow("double half up") << D << 3 << 0 << QStringList{"1234.125"} << "1234.13";
    QTest::newRow("double negative half") << D << 3 << 0 << QStringList{"-0.125"} << "-0.13";
    QTest::newRow("double rounds to zero") << D << 3 << 0 << QStringList{"-0.004"} << "0.00";
    QTest::newRow("double, no thousands separator") << D << 3 << 0 << QStringList{"1234567.891"} << "1234567.89";
    QTest::newRow("double, dialect 1") << D << 1 << 1 << QStringList{"1234.125"} << "1234.13";
}

void TestSalesTotals::sumOfEveryColumnType() {
    QFETCH(AmountType, type);
    QFETCH(int, databaseDialect);
    QFETCH(int, clientDialect);
    QFETCH(QStringList, amounts);
    QFETCH(QString, total);

    SchemaOptions options;
    options.amountType = type;
    options.dialect = databaseDialect;
    const TestDatabase db = create(options);
    std::vector<Payment> payments;
    for (const QString& a : amounts) payments.push_back(payment(a.toStdString().c_str(), kMay1));
    test::insertPayments(db, payments);

    std::vector<std::string> extra;
    if (clientDialect != 0) extra.push_back("SQLDialect=" + std::to_string(clientDialect));
    Session s(db.location, extra);
    RecordingView log;
    QCOMPARE(GetPaymentTotal(s.TmpSQL, kMay1, "0000", "Pymt_MASCODE='CASH'", log, kUs), total.toStdString());
    QCOMPARE(log.log.size(), std::size_t(1));  // the statement, no error entry
    QVERIFY(!s.TmpSQL.active());
}

void TestSalesTotals::alreadySent_data() {
    QTest::addColumn<QStringList>("journal");  // store|date time|marker
    QTest::addColumn<bool>("ignore");
    QTest::addColumn<GetSalesOutcome>("outcome");

    const auto sent = GetSalesOutcome::AlreadySent, done = GetSalesOutcome::Completed;
    QTest::newRow("sent") << QStringList{"0000|2005-05-01 00:00:00|T"} << false << sent;
    QTest::newRow("sent, ignored") << QStringList{"0000|2005-05-01 00:00:00|T"} << true << done;
    QTest::newRow("sent twice")
        << QStringList{"0000|2005-05-01 00:00:00|T", "0000|2005-05-01 00:00:00|T"} << false << sent;
    QTest::newRow("other store") << QStringList{"0001|2005-05-01 00:00:00|T"} << false << done;
    QTest::newRow("other marker") << QStringList{"0000|2005-05-01 00:00:00|X"} << false << done;
    QTest::newRow("other day") << QStringList{"0000|2005-05-02 00:00:00|T", "0000|2005-04-30 00:00:00|T"}
                               << false << done;
    QTest::newRow("same day, not midnight") << QStringList{"0000|2005-05-01 10:00:00|T"} << false << done;
}

void TestSalesTotals::alreadySent() {
    QFETCH(QStringList, journal);
    QFETCH(bool, ignore);
    QFETCH(GetSalesOutcome, outcome);

    test::runSql(*journal_, "DELETE FROM STK_PERIOD_CLOSE");
    for (const QString& entry : journal) {
        const QStringList part = entry.split('|');
        const QDateTime when = QDateTime::fromString(part[1], "yyyy-MM-dd HH:mm:ss");
        test::insertJournalRow(*journal_, {part[0].toStdString(),
                                           {{when.date().year(), when.date().month(), when.date().day()},
                                            when.time().hour()},
                                           part[2].toStdString(),
                                           "> START SEND 02/05/2005 09:05:07 AM\r\n"});
    }

    Session s(journal_->location);
    RecordingView view;
    QCOMPARE(runGetSales(s.TmpSQL, input(kMay1, "0000", ignore), view, kUs, clock_), outcome);
    if (outcome == GetSalesOutcome::AlreadySent) {
        QCOMPARE(view.boxes, std::vector<std::string>{"Sales Date [SEND] found"});
        QVERIFY(view.untouched());
    } else {
        QVERIFY(view.boxes.empty());
        QCOMPARE(view.fields[0], std::optional<std::string>("&cashSales=1234.50"));
        QCOMPARE(view.log.size(), std::size_t(9));
        QCOMPARE(view.sendEnabled, 1);
    }
}

void TestSalesTotals::checkCannotRun_data() {
    QTest::addColumn<QString>("location");  // empty: a database without the journal table

    QTest::newRow("missing file") << dir_.filePath("missing.fdb");
    QTest::newRow("no server listening") << "127.0.0.1/1:/nowhere/sales.fdb";
    QTest::newRow("no journal table") << QString();
}

void TestSalesTotals::checkCannotRun() {
    QFETCH(QString, location);
    std::string where = location.toStdString();
    if (where.empty()) {
        const TestDatabase db = create();
        test::runSql(db, "DROP TABLE STK_PERIOD_CLOSE");
        where = db.location;
    }

    Session s(where);
    RecordingView view;
    QCOMPARE(runGetSales(s.TmpSQL, input(kMay1, "0000", true), view, kUs, clock_), GetSalesOutcome::Failed);
    QCOMPARE(view.boxes, std::vector<std::string>{"GET Sales unknown ERROR."});
    QVERIFY(view.untouched());
}

void TestSalesTotals::storeCodeWithQuote() {
    QCOMPARE(alreadySentQuery("O'K", kMay1),
             std::string("Select * From Stk_Period_CLOSE Where S_Store='O''K' And S_DATE='05/01/2005' AND S_PERIOD='T'"));

    const TestDatabase db = create();
    test::insertPayments(db, {payment("5.00", kMay1, "CASH", "O'K"), payment("7.00", kMay1, "CASH", "OK")});
    Session s(db.location);
    {
        RecordingView view;
        QCOMPARE(runGetSales(s.TmpSQL, input(kMay1, "O'K"), view, kUs, clock_), GetSalesOutcome::Completed);
        QVERIFY(view.log[2].find("\r\nAND Pymt_Store='O''K'\r\n") != std::string::npos);
        QCOMPARE(view.fields[0], std::optional<std::string>("&cashSales=5.00"));
    }
    test::insertJournalRow(db, {"O'K", {kMay1}, "T", "> START SEND 02/05/2005 09:05:07 AM\r\n"});
    {
        RecordingView view;
        QCOMPARE(runGetSales(s.TmpSQL, input(kMay1, "O'K"), view, kUs, clock_), GetSalesOutcome::AlreadySent);
    }
}

void TestSalesTotals::regionalSettings() {
    RegionalSettings regional;
    regional.dateSeparator = '.';
    regional.timeSeparator = '.';
    regional.decimalSymbol = ',';
    regional.amDesignator = "vorm.";
    regional.pmDesignator = "nachm.";
    regional.shortMonthNames = {"Jan", "Feb", "M\xe4r", "Apr", "Mai", "Jun", "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};

    // The example database holds a journal row and a payment on 5 January,
    // which '05.01.2005' would name: neither may count for 1 May.
    Session s(example_->location);
    RecordingView view;
    QCOMPARE(runGetSales(s.TmpSQL, input(), view, regional, clock_), GetSalesOutcome::Completed);
    QCOMPARE(view.log[0], std::string("> START 01.05.2005 03.04.05 nachm."));
    QCOMPARE(view.log[1], std::string("> Transaction Date 1-Mai-2005"));
    QCOMPARE(view.log[2], loggedStatement("Pymt_MASCODE='CASH'"));
    QCOMPARE(view.transactionDate, std::optional<std::string>("&transactionDateTime=1-Mai-2005"));
    QCOMPARE(view.fields[0], std::optional<std::string>("&cashSales=1234,50"));
    QCOMPARE(view.fields[1], std::optional<std::string>("&creditCardVisa=20,25"));
    QCOMPARE(view.fields[2], std::optional<std::string>("&creditCardMaster=0,00"));
}

QTEST_GUILESS_MAIN(TestSalesTotals)
#include "test_sales_totals.moc"
