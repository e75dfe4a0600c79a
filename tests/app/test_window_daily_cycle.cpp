// The whole day through the window against a real embedded database:
// start-up with a settings file, "GET Sales", "SEND", "RETRV", and a second
// "GET Sales" for the sent day refused.

#include <QFile>
#include <QtTest>

#include "sales_test_db.h"
#include "submission_record.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::WindowFixture;

namespace {

salesdb::Timestamp day(int y, int m, int d) { return {{y, m, d}, 0, 0, 0, 0}; }

int countEntries(const std::string& log, const std::string& prefix) {
    int n = 0;
    for (std::size_t pos = 0; (pos = log.find("\r\n" + prefix, pos)) != std::string::npos; pos += 2) ++n;
    return n + (log.rfind(prefix, 0) == 0 ? 1 : 0);
}

}  // namespace

class TestWindowDailyCycle : public QObject {
    Q_OBJECT
private slots:
    void init();
    void wholeDay();
    void sendJournalsTheRunThatEnabledIt();
    void clicksDuringRunAreIgnored();
    void closeDuringRunWaitsForIt();

private:
    void startWindow(WindowFixture& f);
    std::unique_ptr<QTemporaryDir> dir_;
    test::TestDatabase db_;
};

void TestWindowDailyCycle::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    db_ = test::createTestDatabase((dir_->path() + "/SALES.FDB").toStdString());
    test::insertPayments(db_, {{"1000.00", day(2005, 5, 1), "0000", "NS", "CASH"},
                               {"234.50", day(2005, 5, 1), "0000", "NS", "CASH"},
                               {"99.99", day(2005, 5, 1), "0000", "NS", "VISA"},
                               {"50.00", day(2005, 5, 1), "0001", "NS", "CASH"},
                               {"7.00", day(2005, 4, 30), "0000", "NS", "CASH"}});
}

void TestWindowDailyCycle::startWindow(WindowFixture& f) {
    QFile ini(QString::fromStdString(f.iniPath()));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write(("[General]\nFDB_SALES_FILE=" + db_.location + "\nDEFAULT_STORE=0000\n").c_str());
    ini.close();
    f.start();
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Kelvora - Active"));
}

void TestWindowDailyCycle::wholeDay() {
    WindowFixture f;
    startWindow(f);
    TfrmKelvora& w = *f.window;

    f.click("BitBtnGET");
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.text("edtDate"), std::string("&transactionDateTime=1-May-2005"));
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=1234.50"));
    QCOMPARE(f.text("edtCreditCardVISA"), std::string("&creditCardVisa=99.99"));
    QCOMPARE(f.text("edtOther"), std::string("&others=0.00"));
    QVERIFY(f.find<QPushButton>("BitBtnSEND")->isEnabled());
    QVERIFY(w.logText().rfind("> START 02/05/2005 09:05:07 AM\r\n> Transaction Date 1-May-2005\r\n", 0) == 0);

    f.clock.time = {{2005, 5, 2}, 9, 5, 8};
    f.click("BitBtnSEND");
    QCOMPARE(f.launcher.urls.size(), std::size_t(1));
    QCOMPARE(f.launcher.urls[0], std::string(kDefaultServiceUrl) +
                                     "userName=YR34418054&password=70261384&transactionDateTime=1-May-2005"
                                     "&cashSales=1234.50&creditCardVisa=99.99&creditCardMaster=0.00"
                                     "&creditCardAmex=0.00&creditCardOthers=0.00&others=0.00");
    QVERIFY(!f.find<QPushButton>("BitBtnSEND")->isEnabled());
    QVERIFY(w.logText().find("> START 02") == std::string::npos);  // GET Sales' lines are gone
    const auto rows = test::readJournalRows(db_);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0].store, std::string("0000"));
    QCOMPARE(rows[0].date, day(2005, 5, 1));
    QVERIFY(rows[0].memo && rows[0].memo->rfind("> START SEND 02/05/2005 09:05:08 AM\r\n", 0) == 0);

    w.LabelTab1Click(f.find("LabelTab3"));
    f.find<DatePicker>("wwDBDateTimePicker2")->setDate(QDate(2005, 5, 1));
    f.click("BitBtnRETR");
    auto* list = f.find<QListWidget>("ListBox_GETLog");
    QCOMPARE(list->count(), 1);
    QCOMPARE(list->item(0)->text(), QStringLiteral("0000      01-May-2005 >  START SEND 02/05/2005 09:05:08 AM"));

    f.click("BitBtnGET");
    QCOMPARE(f.boxes.shown, (std::vector<test::ShownBox>{{"error", "Sales Date [SEND] found"}}));
}

void TestWindowDailyCycle::sendJournalsTheRunThatEnabledIt() {
    WindowFixture f;
    startWindow(f);
    f.click("BitBtnGET");
    // Changed after GET Sales: the row records the day and store that were summed.
    f.find<DatePicker>("wwDBDateTimePicker1")->setDate(QDate(2005, 4, 30));
    f.edit("edtStore")->setText("0001");
    f.click("BitBtnSEND");
    const auto rows = test::readJournalRows(db_);
    QCOMPARE(rows.size(), std::size_t(1));
    QCOMPARE(rows[0].store, std::string("0000"));
    QCOMPARE(rows[0].date, day(2005, 5, 1));
    QVERIFY(f.window->logText().find("\r\n> Transaction Date 1-May-2005\r\n") != std::string::npos);
}

void TestWindowDailyCycle::clicksDuringRunAreIgnored() {
    WindowFixture f;
    startWindow(f);
    // Clicks waiting in the queue reach the window through AddToLog's pending events.
    for (const char* button : {"BitBtnGET", "BitBtnUPDATE", "BitBtnRETR"})
        QMetaObject::invokeMethod(f.find<QPushButton>(button), &QPushButton::click, Qt::QueuedConnection);
    f.click("BitBtnGET");
    QCOMPARE(countEntries(f.window->logText(), "> START "), 1);
    QCOMPARE(countEntries(f.window->logText(), "< END "), 1);
    QVERIFY(f.boxes.shown.empty());  // no UPDATE ran
    QCOMPARE(f.find<QListWidget>("ListBox_GETLog")->count(), 0);
}

void TestWindowDailyCycle::closeDuringRunWaitsForIt() {
    WindowFixture f;
    startWindow(f);
    f.window->show();
    QMetaObject::invokeMethod(f.window, &QWidget::close, Qt::QueuedConnection);
    f.click("BitBtnGET");
    QCOMPARE(countEntries(f.window->logText(), "< END "), 1);  // the run finished
    QTRY_VERIFY(f.window.isNull());                            // then the window closed
}

QTEST_MAIN(TestWindowDailyCycle)
#include "test_window_daily_cycle.moc"
