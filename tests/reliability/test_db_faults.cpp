// The window against a Firebird server that fails: down at start-up, killed
// (SIGKILL, by its process id) in the middle of "GET Sales", "RETRV" and
// "SEND", restarted, refusing the login, and databases whose tables are
// missing or of other kinds. Each failure shows its fixed message, the
// window goes on, the journal holds every row once and whole, and once the
// server is back the next operation opens the connection on demand.
//
// The server is a private one of this test (tools/fbserver-private.sh), so
// killing it disturbs no other test.

#include <QFile>
#include <QtTest>
#include <functional>

#include "private_server.h"
#include "sales_test_db.h"
#include "submission_record.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::ShownBox;
using kelvora::test::WindowFixture;

namespace {

const QString kActive = QStringLiteral("Kelvora - Active");
const QString kNonActive = QStringLiteral("Kelvora - Non Active");
const char* const kGetError = "GET Sales unknown ERROR.";
const char* const kRetrvError = "SQL_GetLog Retrv ERROR";
const char* const kPostingError = "> ERROR > tblPeriodCLOSE.POSTING";
const char* const kTotalError = "= KelvoraSQL Return Error - ";

salesdb::Timestamp day(int y, int m, int d) { return {{y, m, d}, 0, 0, 0, 0}; }

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        out.push_back(text.substr(start, pos - start));
    if (start < text.size()) out.push_back(text.substr(start));
    return out;
}

int count(const std::vector<std::string>& lines, const std::string& prefix) {
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

// Runs `what` at the next point where the window handles pending events:
// inside the first AddToLog of an operation, or after the first listed row.
void atNextPendingEvents(std::function<void()> what) {
    QMetaObject::invokeMethod(qApp, std::move(what), Qt::QueuedConnection);
}

// The memo SEND writes: eleven lines, each ended by CR LF.
std::string expectedMemo(const std::string& startStamp) {
    std::string memo = "> START SEND " + startStamp + "\r\n> Transaction Date 1-May-2005\r\n>\r\n>" +
                       std::string(kDefaultServiceUrl) + "\r\n>\r\n";
    for (const char* field : {"&cashSales=1234.50", "&creditCardVisa=99.99", "&creditCardMaster=0.00",
                              "&creditCardAmex=0.00", "&creditCardOthers=0.00", "&others=0.00"})
        memo += std::string(">") + field + "\r\n";
    return memo;
}

}  // namespace

class TestDbFaults : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void clientAfterLostAttachment();
    void serverDownAtStartUp();
    void killedDuringOperation_data();
    void killedDuringOperation();
    void restartedWhileIdle();
    void loginRefused_data();
    void loginRefused();
    void schemaFaults_data();
    void schemaFaults();

private:
    void startWindow(WindowFixture& f, const std::string& location);
    // GET Sales and SEND with the server back: totals right, one new row.
    void healthyDay(WindowFixture& f, const std::string& sendStamp);
    void checkJournal(const std::vector<std::string>& memoStamps);

    test::PrivateServer server_;
    test::TestDatabase db_;
};

void TestDbFaults::initTestCase() { test::requirePrivateServer(server_); }

void TestDbFaults::init() {
    QVERIFY(server_.start());
    db_ = test::createTestDatabase(server_.newLocation("SALES"));
    test::insertPayments(db_, {{"1000.00", day(2005, 5, 1), "0000", "NS", "CASH"},
                               {"234.50", day(2005, 5, 1), "0000", "NS", "CASH"},
                               {"99.99", day(2005, 5, 1), "0000", "NS", "VISA"},
                               {"50.00", day(2005, 5, 1), "0001", "NS", "CASH"}});
}

void TestDbFaults::cleanup() {
    // Whatever a test did to it, the next one gets a running server.
    if (!server_.running()) QVERIFY(server_.start());
}

void TestDbFaults::startWindow(WindowFixture& f, const std::string& location) {
    QFile ini(QString::fromStdString(f.iniPath()));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(("[General]\r\nFDB_SALES_FILE=" + location + "\r\nDEFAULT_STORE=0000\r\n").c_str());
    ini.close();
    f.start();
}

void TestDbFaults::healthyDay(WindowFixture& f, const std::string& sendStamp) {
    TfrmKelvora& w = *f.window;
    const auto boxesBefore = f.boxes.shown.size();
    const auto urlsBefore = f.launcher.urls.size();
    f.click("BitBtnGET");
    QCOMPARE(f.boxes.shown.size(), boxesBefore);
    QCOMPARE(w.windowTitle(), kActive);
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=1234.50"));
    QCOMPARE(f.text("edtCreditCardVISA"), std::string("&creditCardVisa=99.99"));
    // GET Sales never empties the log: look at this run's entries only.
    const auto log = lines(w.logText());
    const auto run = std::find_if(log.rbegin(), log.rend(), [](const std::string& l) { return l.rfind("> START ", 0) == 0; });
    QVERIFY(run != log.rend());
    QCOMPARE(count(std::vector<std::string>(run.base() - 1, log.end()), kTotalError), 0);
    QVERIFY(f.find<QPushButton>("BitBtnSEND")->isEnabled());
    f.click("BitBtnSEND");
    QCOMPARE(f.launcher.urls.size(), urlsBefore + 1);
    QCOMPARE(count(lines(w.logText()), kPostingError), 0);
    QCOMPARE(w.logText().substr(0, 13 + sendStamp.size()), "> START SEND " + sendStamp);
}

// The journal read back through a client of its own: exactly these rows,
// each with the whole memo SEND wrote.
void TestDbFaults::checkJournal(const std::vector<std::string>& memoStamps) {
    const auto rows = test::readJournalRows(db_);
    QCOMPARE(rows.size(), memoStamps.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].store, std::string("0000"));
        QCOMPARE(rows[i].date, day(2005, 5, 1));
        QCOMPARE(rows[i].period, std::string("T"));
        QVERIFY(rows[i].memo);
        QCOMPARE(*rows[i].memo, expectedMemo(memoStamps[i]));
    }
}

// The client itself: a statement that meets a lost attachment fails and
// closes it, results still held are closed with it, and the next opening
// works; a statement the server merely refuses keeps the attachment.
void TestDbFaults::clientAfterLostAttachment() {
    auto client = salesdb::makeFirebirdClient();
    client->open(db_.openParams());
    QVERIFY_THROWS_EXCEPTION(salesdb::DatabaseError, client->openQuery("SELEC 1 FROM RDB$DATABASE"));
    QVERIFY(client->isOpen());
    auto held = client->openQuery("SELECT Pymt_Store, Pymt_ACTPAID FROM POS_PAYMENT ORDER BY Pymt_ID");
    QVERIFY(!held->eof());

    server_.kill();
    QVERIFY(server_.start());
    QVERIFY(client->isOpen());  // nothing tells the client until it speaks
    QVERIFY_THROWS_EXCEPTION(salesdb::DatabaseError, client->execute("UPDATE POS_PAYMENT SET Pymt_Status = 'XX'", {}));
    QVERIFY(!client->isOpen());
    // The result held over the lost attachment is closed, not dangling.
    QVERIFY(held->eof());
    QVERIFY_THROWS_EXCEPTION(salesdb::DatabaseError, held->asText(0));
    held->next();
    held->close();
    held.reset();

    client->open(db_.openParams());
    auto rows = client->openQuery("SELECT COUNT(*) FROM POS_PAYMENT WHERE Pymt_Status = 'NS'");
    QCOMPARE(rows->asText(0), std::string("4"));  // the update never happened
    rows->close();
    client->close();
}

void TestDbFaults::serverDownAtStartUp() {
    server_.kill();
    WindowFixture f;
    startWindow(f, db_.location);
    TfrmKelvora& w = *f.window;
    QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"plain", "SQLConnKelvora Connection Error\rDatabase=" + db_.location}}));
    QCOMPARE(w.windowTitle(), kNonActive);

    // Every operation tries again on demand and reports its own message.
    f.boxes.shown.clear();
    f.click("BitBtnGET");
    QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", kGetError}}));
    QCOMPARE(w.logText(), std::string());
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=0"));
    QVERIFY(!f.find<QPushButton>("BitBtnSEND")->isEnabled());
    f.find<DatePicker>("wwDBDateTimePicker2")->setDate(QDate(2005, 5, 1));
    f.click("BitBtnRETR");
    QCOMPARE(f.boxes.shown.back(), (ShownBox{"plain", kRetrvError}));
    QCOMPARE(w.windowTitle(), kNonActive);

    QVERIFY(server_.start());
    f.boxes.shown.clear();
    healthyDay(f, "02/05/2005 09:05:07 AM");
    checkJournal({"02/05/2005 09:05:07 AM"});
}

void TestDbFaults::killedDuringOperation_data() {
    QTest::addColumn<QString>("moment");
    QTest::newRow("between the already-sent query and the totals") << "totals";
    QTest::newRow("after GET Sales, before SEND") << "before SEND";
    QTest::newRow("inside SEND, before the insert") << "in SEND";
    QTest::newRow("while RETRV lists the rows") << "RETRV";
}

void TestDbFaults::killedDuringOperation() {
    QFETCH(QString, moment);
    // Two rows already sent in May, so the listing has rows to read.
    test::insertJournalRow(db_, {"0000", day(2005, 5, 20), "T", std::string("> START SEND a\r\n")});
    test::insertJournalRow(db_, {"0000", day(2005, 5, 21), "T", std::string("> START SEND b\r\n")});
    const auto journalBefore = test::readJournalRows(db_);

    WindowFixture f;
    startWindow(f, db_.location);
    TfrmKelvora& w = *f.window;
    QCOMPARE(w.windowTitle(), kActive);
    QVERIFY(f.boxes.shown.empty());
    auto killServer = [this] { server_.kill(); };

    if (moment == "totals") {
        atNextPendingEvents(killServer);
        f.click("BitBtnGET");
        QVERIFY(!server_.running());
        QVERIFY(f.boxes.shown.empty());
        const auto log = lines(w.logText());
        QCOMPARE(count(log, "> START "), 1);
        QCOMPARE(count(log, "< END "), 1);
        // Every total fails, each with its error entry right after its statement.
        QCOMPARE(count(log, kTotalError), 6);
        for (std::size_t i = 0; i < kCategoryCount; ++i) {
            const PaymentCategory& c = paymentCategories()[i];
            QCOMPARE(f.text(std::string(c.parameterField).c_str()), std::string(c.parameterPrefix) + "0");
            const auto at = std::find(log.begin(), log.end(), std::string(kTotalError) + c.defaultFilter());
            QVERIFY(at != log.end() && at != log.begin());
            QCOMPARE(*(at - 1), "AND " + c.defaultFilter());
        }
        QVERIFY(f.find<QPushButton>("BitBtnSEND")->isEnabled());
        QCOMPARE(w.windowTitle(), kNonActive);  // the lost connection was closed
    } else if (moment == "before SEND" || moment == "in SEND") {
        f.click("BitBtnGET");
        QCOMPARE(f.text("edtCASH"), std::string("&cashSales=1234.50"));
        if (moment == "before SEND")
            server_.kill();
        else
            atNextPendingEvents(killServer);
        f.click("BitBtnSEND");
        QVERIFY(!server_.running());
        const auto log = lines(w.logText());
        QCOMPARE(log.size(), std::size_t(13));
        QCOMPARE(log[11], std::string(kPostingError));
        QVERIFY(log[12].rfind("> END ", 0) == 0);
        QVERIFY(f.launcher.urls.empty());  // no browser for a submission not journalled
        QVERIFY(!f.find<QPushButton>("BitBtnSEND")->isEnabled());
        QVERIFY(f.boxes.shown.empty());
    } else {
        w.LabelTab1Click(f.find("LabelTab3"));
        f.find<DatePicker>("wwDBDateTimePicker2")->setDate(QDate(2005, 5, 1));
        f.find<DatePicker>("wwDBDateTimePicker3")->setDate(QDate(2005, 5, 31));
        atNextPendingEvents(killServer);
        f.click("BitBtnRETR");
        QVERIFY(!server_.running());
        QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"plain", kRetrvError}}));
        // The row read before the server went stays listed.
        auto* list = f.find<QListWidget>("ListBox_GETLog");
        QCOMPARE(list->count(), 1);
        QCOMPARE(list->item(0)->text(), QStringLiteral("0000      20-May-2005 >  START SEND a"));
    }

    // The window goes on; the server comes back; nothing was half-written.
    QApplication::processEvents();
    QVERIFY(server_.start());
    QCOMPARE(test::readJournalRows(db_), journalBefore);

    // The next operation opens the connection on demand.
    f.boxes.shown.clear();
    f.clock.time = {{2005, 5, 2}, 9, 6, 0};
    if (moment == "RETRV") {
        f.click("BitBtnRETR");
        QVERIFY(f.boxes.shown.empty());
        QCOMPARE(f.find<QListWidget>("ListBox_GETLog")->count(), 2);
        QCOMPARE(w.windowTitle(), kActive);
    }
    healthyDay(f, "02/05/2005 09:06:00 AM");
    auto rows = test::readJournalRows(db_);
    QCOMPARE(rows.size(), journalBefore.size() + 1);
    QCOMPARE(rows.front().memo, std::optional<std::string>(expectedMemo("02/05/2005 09:06:00 AM")));

    // The sent day is refused now: the row is there once.
    f.click("BitBtnGET");
    QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", "Sales Date [SEND] found"}}));
}

void TestDbFaults::restartedWhileIdle() {
    WindowFixture f;
    startWindow(f, db_.location);
    TfrmKelvora& w = *f.window;
    QCOMPARE(w.windowTitle(), kActive);
    server_.kill();
    QVERIFY(server_.start());
    // The program has no reconnect: the first statement meets the dead
    // attachment and fails; the title still shows the state of the last opening.
    QCOMPARE(w.windowTitle(), kActive);
    f.click("BitBtnGET");
    QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", kGetError}}));
    QCOMPARE(w.logText(), std::string());
    QCOMPARE(w.windowTitle(), kNonActive);
    // The next one opens the connection on demand.
    f.boxes.shown.clear();
    healthyDay(f, "02/05/2005 09:05:07 AM");
    checkJournal({"02/05/2005 09:05:07 AM"});
}

void TestDbFaults::loginRefused_data() {
    QTest::addColumn<bool>("builtIn");
    QTest::newRow("password changed on the server, location configured") << false;
    QTest::newRow("wrong password in the built-in list, no location") << true;
}

void TestDbFaults::loginRefused() {
    QFETCH(bool, builtIn);
    const auto setPassword = [this](const std::string& from, const std::string& to) {
        salesdb::OpenParams p = db_.openParams();
        p.password = from;
        auto client = salesdb::makeFirebirdClient();
        client->open(p);
        client->execute("ALTER USER SYSDBA PASSWORD '" + to + "'", {});
        client->close();
    };
    WindowFixture f;
    if (builtIn) {
        for (auto& line : f.builtInList) {
            if (line.rfind("Database=", 0) == 0) line = "Database=" + db_.location;
            if (line.rfind("Password=", 0) == 0) line = "Password=wrong";
        }
        f.start();
        QVERIFY(f.boxes.shown.empty());  // the built-in opening fails silently
    } else {
        setPassword(test::kTestPassword, "changed1");
        startWindow(f, db_.location);
        setPassword("changed1", test::kTestPassword);  // back, for the operations below
        QCOMPARE(f.boxes.shown,
                 (std::vector<ShownBox>{{"plain", "SQLConnKelvora Connection Error\rDatabase=" + db_.location}}));
        f.boxes.shown.clear();
        setPassword(test::kTestPassword, "changed1");
    }
    TfrmKelvora& w = *f.window;
    QCOMPARE(w.windowTitle(), kNonActive);

    f.click("BitBtnGET");
    QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", kGetError}}));
    f.click("BitBtnRETR");
    QCOMPARE(f.boxes.shown.back(), (ShownBox{"plain", kRetrvError}));
    QCOMPARE(w.windowTitle(), kNonActive);

    if (!builtIn) {
        // Once the password is right again, the next operation gets through.
        setPassword("changed1", test::kTestPassword);
        f.boxes.shown.clear();
        healthyDay(f, "02/05/2005 09:05:07 AM");
        checkJournal({"02/05/2005 09:05:07 AM"});
    }
}

void TestDbFaults::schemaFaults_data() {
    QTest::addColumn<QString>("ddl");       // run on the new database, ";"-separated
    QTest::addColumn<QString>("getSales");  // "error box", "totals fail", "ok"
    QTest::addColumn<bool>("insertWorks");
    QTest::addColumn<bool>("foundAfterSend");
    QTest::addColumn<bool>("listingWorks");
    QTest::newRow("no journal table") << "DROP TABLE STK_PERIOD_CLOSE" << "error box" << false << false << false;
    QTest::newRow("no payment table") << "DROP TABLE POS_PAYMENT" << "totals fail" << true << true << true;
    QTest::newRow("journal without S_MEMO") << "ALTER TABLE STK_PERIOD_CLOSE DROP S_MEMO" << "ok" << false << false
                                            << false;
    const QString recreate = "DROP TABLE STK_PERIOD_CLOSE;"
                             "CREATE TABLE STK_PERIOD_CLOSE (S_STORE CHAR(4) NOT NULL, S_DATE %1 NOT NULL,"
                             " S_PERIOD CHAR(1) NOT NULL, S_MEMO BLOB SUB_TYPE TEXT)";
    QTest::newRow("S_DATE a DATE") << recreate.arg("DATE") << "ok" << true << true << false;
    QTest::newRow("S_DATE an INTEGER") << recreate.arg("INTEGER") << "ok" << false << false << false;
    // The engine writes the date as "2005-05-01", which the month-first date
    // text of the check does not match: the row is there but not found.
    QTest::newRow("S_DATE a VARCHAR(10)") << recreate.arg("VARCHAR(10)") << "ok" << true << false << false;
    // A row of a kind the check cannot compare makes the check itself fail.
    QTest::newRow("S_DATE an INTEGER, with a row")
        << recreate.arg("INTEGER") + ";INSERT INTO STK_PERIOD_CLOSE VALUES ('0000', 1, 'T', NULL)" << "error box"
        << false << false << false;
}

void TestDbFaults::schemaFaults() {
    QFETCH(QString, ddl);
    QFETCH(QString, getSales);
    QFETCH(bool, insertWorks);
    QFETCH(bool, foundAfterSend);
    QFETCH(bool, listingWorks);
    for (const QString& statement : ddl.split(';')) test::runSql(db_, statement.toStdString());
    const auto journalRows = [this] {
        return test::querySql(db_, "SELECT COUNT(*) FROM STK_PERIOD_CLOSE").at(0).at(0).value_or("");
    };
    const bool journalExists = !ddl.startsWith("DROP TABLE STK_PERIOD_CLOSE") || ddl.contains("CREATE");
    const std::string rowsBefore = journalExists ? journalRows() : std::string();

    WindowFixture f;
    startWindow(f, db_.location);
    TfrmKelvora& w = *f.window;
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(w.windowTitle(), kActive);

    f.click("BitBtnGET");
    if (getSales == "error box") {
        QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", kGetError}}));
        QCOMPARE(w.logText(), std::string());
        QVERIFY(!f.find<QPushButton>("BitBtnSEND")->isEnabled());
    } else {
        QVERIFY(f.boxes.shown.empty());
        const bool fail = getSales == "totals fail";
        QCOMPARE(count(lines(w.logText()), kTotalError), fail ? 6 : 0);
        QCOMPARE(f.text("edtCASH"), std::string(fail ? "&cashSales=0" : "&cashSales=1234.50"));
        QVERIFY(f.find<QPushButton>("BitBtnSEND")->isEnabled());
        f.click("BitBtnSEND");
        QCOMPARE(count(lines(w.logText()), kPostingError), insertWorks ? 0 : 1);
        QCOMPARE(f.launcher.urls.size(), std::size_t(insertWorks ? 1 : 0));
        QVERIFY(f.boxes.shown.empty());
        // A refused insert leaves no row behind; one that works adds one.
        QCOMPARE(journalRows(), std::to_string(std::stoi(rowsBefore) + (insertWorks ? 1 : 0)));
        f.click("BitBtnGET");
        if (foundAfterSend)
            QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", "Sales Date [SEND] found"}}));
        else
            QVERIFY(f.boxes.shown.empty());
        f.boxes.shown.clear();
    }

    w.LabelTab1Click(f.find("LabelTab3"));
    f.find<DatePicker>("wwDBDateTimePicker2")->setDate(QDate(2005, 5, 1));
    f.boxes.shown.clear();
    f.click("BitBtnRETR");
    auto* list = f.find<QListWidget>("ListBox_GETLog");
    if (listingWorks) {
        QVERIFY(f.boxes.shown.empty());
        QCOMPARE(list->count(), insertWorks ? 1 : 0);
    } else {
        QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"plain", kRetrvError}}));
        QCOMPARE(list->count(), 0);
    }
    // Refused statements leave the connection open.
    QCOMPARE(w.windowTitle(), kActive);
    QVERIFY(w.connection().connected());
}

QTEST_MAIN(TestDbFaults)
#include "test_db_faults.moc"
