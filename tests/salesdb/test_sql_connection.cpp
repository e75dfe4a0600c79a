// The program's one connection, with the real client on embedded databases:
// busy pointer and notifications, opening on demand, closing.

#include <QTemporaryDir>
#include <QtTest>

#include "sales_test_db.h"
#include "sql_connection.h"
#include "test_support.h"

using namespace kelvora;
using namespace kelvora::salesdb;

namespace {

class Recorder : public IBusyIndicator {
public:
    void busyBegin() override { events << "busyBegin"; }
    void busyEnd() override { events << "busyEnd"; }
    QStringList events;
};

struct Fixture {
    explicit Fixture(std::vector<std::string> list = {}) : connection(makeFirebirdClient()) {
        connection.setBusyIndicator(&recorder);
        connection.afterConnect = [this] { recorder.events << "afterConnect"; };
        connection.afterDisconnect = [this] { recorder.events << "afterDisconnect"; };
        if (!list.empty()) connection.setParameterList(std::move(list));
    }
    Recorder recorder;
    SqlConnection connection;
};

const QStringList kOpened{"busyBegin", "busyEnd", "afterConnect"};
const QStringList kRefused{"busyBegin", "busyEnd"};

}  // namespace

class TestSqlConnection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void startsClosedWithBuiltInList();
    void open_data();
    void open();
    void openOnDemand_data();
    void openOnDemand();
    void failedOpenOnDemand();
    void closeEndsResultsThenNotifies();

private:
    std::string dbPath() const { return db_.location; }
    QTemporaryDir dir_;
    test::TestDatabase db_;
};

void TestSqlConnection::initTestCase() {
    if (!dir_.isValid()) test::skipAll("no temporary folder");
    try {
        db_ = test::createTestDatabase((dir_.path() + "/sales.fdb").toStdString());
        test::insertJournalRow(db_, test::JournalRow{"0000", {{2005, 5, 1}}, "T", std::string("> START SEND")});
    } catch (const std::exception& e) {
        test::skipAll((std::string("the embedded engine cannot create a database: ") + e.what()).c_str());
    }
}

void TestSqlConnection::startsClosedWithBuiltInList() {
    Fixture f;
    QCOMPARE(f.connection.parameterList(), builtInParameterList());
    QVERIFY(!f.connection.connected());
    f.connection.close();  // closing a closed connection notifies nothing
    QVERIFY(f.recorder.events.isEmpty());
}

void TestSqlConnection::open_data() {
    QTest::addColumn<QStringList>("list");
    QTest::addColumn<bool>("opens");
    const QString path = QString::fromStdString(db_.location);
    QTest::newRow("connect list") << QStringList{"DriverName=Interbase", "Database=" + path, "User_Name=sysdba",
                                                 "Password=orchardly"}
                                  << true;
    QTest::newRow("location with blanks around") << QStringList{"Database= \t" + path + "  "} << true;
    QTest::newRow("built-in settings") << QStringList{"Database=" + path,
                                                      "RoleName=RoleName",
                                                      "SQLDialect=1",
                                                      "BlobSize=-1",
                                                      "CommitRetain=False",
                                                      "WaitOnLocks=True",
                                                      "Interbase TransIsolation=ReadCommited",
                                                      "Trim Char=False"}
                                       << true;
    QTest::newRow("missing file") << QStringList{"Database=" + path + ".missing"} << false;
    QTest::newRow("blank location") << QStringList{"Database=   "} << false;
    QTest::newRow("no database line") << QStringList{"User_Name=sysdba"} << false;
    QTest::newRow("dialect not a number") << QStringList{"Database=" + path, "SQLDialect=one"} << false;
    QTest::newRow("server down") << QStringList{"Database=localhost/3051:" + path} << false;
}

void TestSqlConnection::open() {
    QFETCH(QStringList, list);
    QFETCH(bool, opens);
    std::vector<std::string> lines;
    for (const auto& l : list) lines.push_back(l.toStdString());
    Fixture f(lines);
    if (opens) {
        f.connection.open();
        QCOMPARE(f.recorder.events, kOpened);
        QVERIFY(f.connection.connected());
        f.connection.open();  // already open: nothing happens
        QCOMPARE(f.recorder.events, kOpened);
        f.connection.close();
        QCOMPARE(f.recorder.events, kOpened + QStringList{"afterDisconnect"});
        QVERIFY(!f.connection.connected());
        f.connection.close();
        QCOMPARE(f.recorder.events.size(), 4);
    } else {
        QVERIFY_THROWS_EXCEPTION(DatabaseError, f.connection.open());
        QCOMPARE(f.recorder.events, kRefused);
        QVERIFY(!f.connection.connected());
        f.connection.close();
        QCOMPARE(f.recorder.events, kRefused);
    }
    QCOMPARE(f.connection.parameterList(), lines);  // opening never changes the list
}

void TestSqlConnection::openOnDemand_data() {
    QTest::addColumn<bool>("query");
    QTest::newRow("query") << true;
    QTest::newRow("statement") << false;
}

void TestSqlConnection::openOnDemand() {
    QFETCH(bool, query);
    Fixture f(connectParameterList(db_.location));
    if (query) {
        auto rows = f.connection.openQuery(
            {"Select * From Stk_Period_CLOSE Where S_Store='0000' And S_DATE='05/01/2005' AND S_PERIOD='T'"});
        QVERIFY(!rows->eof());
        QCOMPARE(rows->asText(rows->columnIndex("S_MEMO")), std::string("> START SEND"));
    } else {
        f.connection.execute({"UPDATE STK_PERIOD_CLOSE", "SET S_PERIOD = :P", "WHERE S_PERIOD = :P"},
                             {ParamValue{"P", ParamKind::Text, "T", {}}});
    }
    QCOMPARE(f.recorder.events, kOpened);
    QVERIFY(f.connection.connected());
    // Later statements use the open connection.
    f.connection.openQuery({"select 1 from rdb$database"});
    QCOMPARE(f.recorder.events, kOpened);
}

void TestSqlConnection::failedOpenOnDemand() {
    Fixture f(connectParameterList(db_.location + ".missing"));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, f.connection.openQuery({"select 1 from rdb$database"}));
    QVERIFY_THROWS_EXCEPTION(DatabaseError, f.connection.execute({"delete from STK_PERIOD_CLOSE"}, {}));
    QCOMPARE(f.recorder.events, kRefused + kRefused);
    QVERIFY(!f.connection.connected());
    // The same list is tried again on the next statement, and works once the file is there.
    f.connection.setParameterList(connectParameterList(db_.location));
    f.connection.openQuery({"select 1 from rdb$database"});
    QCOMPARE(f.recorder.events, kRefused + kRefused + kOpened);
}

void TestSqlConnection::closeEndsResultsThenNotifies() {
    Fixture f(connectParameterList(db_.location));
    auto rows = f.connection.openQuery({"Select * From Stk_PERIOD_CLOSE", "Where S_PERIOD='T'", "ORDER by S_DATE"});
    QVERIFY(!rows->eof());
    bool resultsClosedFirst = false;
    f.connection.afterDisconnect = [&] {
        resultsClosedFirst = rows->eof();
        f.recorder.events << "afterDisconnect";
    };
    f.connection.close();
    QVERIFY(resultsClosedFirst);
    QCOMPARE(f.recorder.events, kOpened + QStringList{"afterDisconnect"});
    QVERIFY_THROWS_EXCEPTION(DatabaseError, rows->asText(0));
    // Reopens on demand after a close.
    auto again = f.connection.openQuery({"select count(*) from STK_PERIOD_CLOSE"});
    QCOMPARE(again->asDouble(0), 1.0);
    QCOMPARE(f.recorder.events, kOpened + QStringList{"afterDisconnect"} + kOpened);
}

QTEST_APPLESS_MAIN(TestSqlConnection)
#include "test_sql_connection.moc"
