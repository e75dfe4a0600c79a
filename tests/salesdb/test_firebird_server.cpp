// The Firebird client through a real server on loopback (tools/fbserver.sh):
// "localhost:path" locations, authentication, roles, commits seen by others.

#include <QTemporaryDir>
#include <QtTest>

#include "database_client.h"
#include "sales_test_db.h"
#include "sql_connection.h"
#include "test_support.h"

using namespace kelvora;
using namespace kelvora::salesdb;
using kelvora::test::TestDatabase;


namespace {

const char* const kInsert = "INSERT INTO STK_PERIOD_CLOSE (S_DATE,S_PERIOD,S_MEMO,S_STORE)\r\n"
                            "VALUES (:S_DATE,:S_PERIOD,:S_MEMO,:S_STORE)\r\n";

std::vector<ParamValue> journalParams(const std::string& memo) {
    return {
        ParamValue{"S_DATE", ParamKind::Date, {}, {2005, 5, 1}},
        ParamValue{"S_PERIOD", ParamKind::Text, "T", {}},
        ParamValue{"S_MEMO", ParamKind::Memo, memo, {}},
        ParamValue{"S_STORE", ParamKind::Text, "0000", {}},
    };
}

}  // namespace

class TestFirebirdServer : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void openThroughServer_data();
    void openThroughServer();
    void refusals_data();
    void refusals();
    void commitSeenByAnotherClient();
    void plainPathNeverUsesTheServer();
    void connectionWithConnectList();

private:
    QTemporaryDir dir_;
    std::string filePath_;
    TestDatabase db_;
};

void TestFirebirdServer::initTestCase() {
    test::requireTestServer();
    QVERIFY(dir_.isValid());
    filePath_ = (dir_.path() + "/server.fdb").toStdString();
    db_ = test::createTestDatabase(test::testServerPrefix() + filePath_);
    test::insertPayments(db_, {[] {
                              demo::Payment p;
                              p.amount = "1234.10";
                              p.closeDate.date = {2005, 5, 1};
                              return p;
                          }()});
}

void TestFirebirdServer::openThroughServer_data() {
    QTest::addColumn<QString>("role");
    QTest::addColumn<int>("dialect");
    QTest::newRow("no role") << "" << 3;
    QTest::newRow("a role that does not exist") << "RoleName" << 3;
    QTest::newRow("dialect 1 client") << "RoleName" << 1;
}

void TestFirebirdServer::openThroughServer() {
    QFETCH(QString, role);
    QFETCH(int, dialect);
    OpenParams p = db_.openParams();
    p.settings.sqlDialect = dialect;
    if (!role.isEmpty()) p.settings.roleName = role.toStdString();
    auto client = makeFirebirdClient();
    client->open(p);
    auto rows = client->openQuery(
        "select current_role, mon$remote_protocol, (select Sum(Pymt_ACTPAID) from POS_PAYMENT) "
        "from mon$attachments where mon$attachment_id = current_connection");
    QCOMPARE(QString::fromStdString(rows->asText(0)).trimmed(), QString("NONE"));
    QVERIFY(!rows->isNull(1));  // a remote attachment, not the embedded engine
    COMPARE_EXACT(rows->asDouble(2), 1234.10);
    rows->close();
    client->close();
}

void TestFirebirdServer::refusals_data() {
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("textPart");
    const QString server = QString::fromStdString(db_.location);
    QTest::newRow("wrong password") << server << "wrong" << "user name and password";
    QTest::newRow("no password") << server << "" << "";
    QTest::newRow("missing file on the server") << server + ".missing" << "orchardly" << "I/O error";
    QTest::newRow("server down") << "localhost/3051:" + QString::fromStdString(filePath_) << "orchardly"
                                 << "Unable to complete network request";
}

void TestFirebirdServer::refusals() {
    QFETCH(QString, location);
    QFETCH(QString, password);
    QFETCH(QString, textPart);
    OpenParams p = db_.openParams();
    p.database = location.toStdString();
    p.password = password.toStdString();
    auto client = makeFirebirdClient();
    try {
        client->open(p);
        QFAIL("open succeeded");
    } catch (const DatabaseError& e) {
        QVERIFY(std::string(e.what()).size() > 0);
        QVERIFY2(QString(e.what()).contains(textPart), e.what());
    }
    QVERIFY(!client->isOpen());
}

void TestFirebirdServer::commitSeenByAnotherClient() {
    auto writer = db_.connect();
    auto reader = db_.connect();
    const std::string memo(300000, 'm');
    writer->execute(kInsert, journalParams(memo));
    auto rows = reader->openQuery("select S_MEMO from STK_PERIOD_CLOSE");
    QVERIFY(!rows->eof());
    QVERIFY(rows->asText(0) == memo);
    rows->close();
    QVERIFY_THROWS_EXCEPTION(DatabaseError, writer->execute(kInsert, [] {
        auto p = journalParams("x");
        p[3].text = "TOOLONG";
        return p;
    }()));
    auto count = reader->openQuery("select count(*) from STK_PERIOD_CLOSE");
    QCOMPARE(count->asDouble(0), 1.0);
    writer->execute("DELETE FROM STK_PERIOD_CLOSE", {});
    count->close();
}

void TestFirebirdServer::plainPathNeverUsesTheServer() {
    // While the server holds the file, the embedded engine cannot have it; a plain
    // path must fail rather than slip through the server.
    auto viaServer = db_.connect();
    auto client = makeFirebirdClient();
    OpenParams p = db_.openParams();
    p.database = filePath_;
    QVERIFY_THROWS_EXCEPTION(DatabaseError, client->open(p));
    viaServer->close();
}

void TestFirebirdServer::connectionWithConnectList() {
    SqlConnection connection(makeFirebirdClient());
    int opened = 0;
    connection.afterConnect = [&] { ++opened; };
    connection.setParameterList(connectParameterList(" " + db_.location + " "));
    auto rows = connection.openQuery({"Select Sum(Pymt_ACTPAID) From POS_PAYMENT", "WHERE Pymt_CloseDate='05/01/2005'",
                                      "AND Pymt_Store='0000'", "AND Pymt_Status='NS'", "AND Pymt_MASCODE='CASH'"});
    QCOMPARE(opened, 1);
    COMPARE_EXACT(rows->asDouble(0), 1234.10);
    connection.close();
    QVERIFY(rows->eof());
}

QTEST_APPLESS_MAIN(TestFirebirdServer)
#include "test_firebird_server.moc"
