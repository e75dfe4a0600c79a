// The window's connection: the built-in opening, the connect operation at
// start-up and from "UPDATE", its captions and its error message, opening on
// demand, and closing.

#include <QFile>
#include <QtTest>

#include "sales_test_db.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::WindowFixture;

namespace {

const QString kActive = QStringLiteral("Kelvora - Active");
const QString kNonActive = QStringLiteral("Kelvora - Non Active");

void writeIni(const WindowFixture& f, const std::string& location) {
    QFile file(QString::fromStdString(f.iniPath()));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(("[General]\r\nFDB_SALES_FILE=" + location + "\r\n").c_str());
}

std::vector<std::string> builtInListAt(const std::string& location) {
    auto list = salesdb::builtInParameterList();
    for (auto& line : list)
        if (line.rfind("Database=", 0) == 0) line = "Database=" + location;
    return list;
}

}  // namespace

class TestWindowConnection : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void builtInOpening_data();
    void builtInOpening();
    void startUpWithLocation();
    void failedConnect_data();
    void failedConnect();
    void updateReconnects();
    void opensOnDemandAfterFailedConnect();
    void closingClosesConnection();

private:
    QTemporaryDir dbDir_;
    std::string db_;
};

void TestWindowConnection::initTestCase() {
    db_ = (dbDir_.path() + "/SALES.FDB").toStdString();
    test::createTestDatabase(db_);
}

void TestWindowConnection::builtInOpening_data() {
    QTest::addColumn<bool>("reachable");
    QTest::newRow("built-in location reachable") << true;
    QTest::newRow("built-in location unreachable") << false;
}

void TestWindowConnection::builtInOpening() {
    QFETCH(bool, reachable);
    WindowFixture f;
    if (reachable) f.builtInList = builtInListAt(db_);
    TfrmKelvora& w = f.create();
    // Opened while the window is built, before start-up.
    QCOMPARE(w.windowTitle(), reachable ? kActive : kNonActive);
    QCOMPARE(w.connection().connected(), reachable);
    w.FormCreate(&w);  // no location configured: no connect operation
    QCOMPARE(w.windowTitle(), reachable ? kActive : kNonActive);
    QCOMPARE(w.connection().parameterList(), f.builtInList);
    QVERIFY(f.boxes.shown.empty());  // a failed built-in opening shows nothing
}

void TestWindowConnection::startUpWithLocation() {
    WindowFixture f;
    writeIni(f, db_);
    TfrmKelvora& w = f.start();
    QCOMPARE(w.windowTitle(), kActive);
    QCOMPARE(w.connection().parameterList(), salesdb::connectParameterList(db_));
    QVERIFY(f.boxes.shown.empty());
}

void TestWindowConnection::failedConnect_data() {
    QTest::addColumn<QString>("location");
    QTest::addColumn<bool>("typed");  // typed and saved with UPDATE, or read from the file at start-up
    QTest::newRow("missing file") << "/nonexistent/folder/SALES.FDB" << false;
    QTest::newRow("server that is down") << "localhost/3051:/nowhere.fdb" << false;
    // The file cannot hold surrounding blanks, so blanks only come typed.
    QTest::newRow("blanks count as a location") << "   " << true;
    QTest::newRow("shown exactly as typed") << " /nonexistent/x.fdb " << true;
}

void TestWindowConnection::failedConnect() {
    QFETCH(QString, location);
    QFETCH(bool, typed);
    WindowFixture f;
    f.builtInList = builtInListAt(db_);  // open before start-up
    if (!typed) writeIni(f, location.toStdString());
    TfrmKelvora& w = f.start();
    if (typed) {
        f.edit("edtSalesFile")->setText(location);
        f.click("BitBtnUPDATE");
        QCOMPARE(f.boxes.shown.back(), (test::ShownBox{"plain", "UPDATE Done."}));
        f.boxes.shown.pop_back();
    }
    QCOMPARE(f.boxes.shown,
             (std::vector<test::ShownBox>{{"plain", "SQLConnKelvora Connection Error\rDatabase=" + location.toStdString()}}));
    QCOMPARE(w.windowTitle(), kNonActive);
    QVERIFY(!w.connection().connected());
    QCOMPARE(w.connection().parameterList().size(), std::size_t(4));
}

void TestWindowConnection::updateReconnects() {
    WindowFixture f;
    writeIni(f, db_);
    TfrmKelvora& w = f.start();
    QCOMPARE(w.windowTitle(), kActive);
    QStringList titles;
    connect(&w, &QWidget::windowTitleChanged, [&](const QString& t) { titles << t; });
    f.boxes.whileShown = [&] { titles << "box"; };
    f.click("BitBtnUPDATE");
    QCOMPARE(titles, (QStringList{kNonActive, kActive, "box"}));
    QCOMPARE(f.boxes.shown.back().text, std::string("UPDATE Done."));

    // A location that cannot be opened: the error first, then "UPDATE Done.".
    titles.clear();
    f.edit("edtSalesFile")->setText("/nonexistent/x.fdb");
    f.click("BitBtnUPDATE");
    QCOMPARE(titles, (QStringList{kNonActive, "box", "box"}));
    QCOMPARE(f.boxes.shown.at(f.boxes.shown.size() - 2).text,
             std::string("SQLConnKelvora Connection Error\rDatabase=/nonexistent/x.fdb"));
    QCOMPARE(f.boxes.shown.back().text, std::string("UPDATE Done."));
}

void TestWindowConnection::opensOnDemandAfterFailedConnect() {
    QTemporaryDir later;
    const std::string location = (later.path() + "/LATER.FDB").toStdString();
    WindowFixture f;
    writeIni(f, location);
    TfrmKelvora& w = f.start();
    QCOMPARE(w.windowTitle(), kNonActive);
    test::createTestDatabase(location);  // the database becomes reachable
    f.boxes.shown.clear();
    f.click("BitBtnGET");
    QCOMPARE(w.windowTitle(), kActive);
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=0.00"));
}

void TestWindowConnection::closingClosesConnection() {
    WindowFixture f;
    writeIni(f, db_);
    TfrmKelvora& w = f.start();
    QVERIFY(w.connection().connected());
    CloseAction action = CloseAction::None;
    w.FormClose(&w, action);
    QCOMPARE(action, CloseAction::Free);
    QVERIFY(!w.connection().connected());
    QCOMPARE(w.windowTitle(), kNonActive);
    w.FormClose(&w, action);  // already closed: nothing happens
    QCOMPARE(w.windowTitle(), kNonActive);
}

QTEST_MAIN(TestWindowConnection)
#include "test_window_connection.moc"
