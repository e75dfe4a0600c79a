// The window: its state after start-up, navigation, the lock, the activity
// log, failures that escape a handler, and both roads to closing.

#include <QApplication>
#include <QLabel>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>
#include <algorithm>

#include "banner.h"
#include "kelvora_version.h"
#include "submission_record.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::WindowFixture;

namespace {

const char* const kParameterFields[] = {"edtDate", "edtCASH", "edtCreditCardVISA", "edtCreditCardMASTER",
                                        "edtCreditCardAMEX", "edtCreditCardOTHER", "edtOther"};
const char* const kFilterFields[] = {"FilterCASH", "FilterCreditCardVISA", "FilterCreditCardMASTER",
                                     "FilterCreditCardAMEX", "FilterCreditCardOTHER", "FilterOther"};
const char* const kSettingsFields[] = {"edtURL", "edtUser", "edtPassword", "edtSalesFile", "edtStore"};

QColor base(const QWidget* w) { return w->palette().color(QPalette::Base); }
QColor buttonFace() { return QApplication::palette().color(QPalette::Button); }
QColor windowColour() { return QApplication::palette().color(QPalette::Base); }

}  // namespace

class TestFrmKelvora : public QObject {
    Q_OBJECT
private slots:
    void stateAfterStartUp();
    void pickerDatesAtStartUp_data();
    void pickerDatesAtStartUp();
    void bannerAndVersion();
    void navigation();
    void lockBothWays();
    void addToLog_data();
    void addToLog();
    void unhandledFailureText_data();
    void unhandledFailureText();
    void failureEscapingHandlerReachesBox();
    void programTitle_data();
    void programTitle();
    void closeRoads_data();
    void closeRoads();
    void tabOrder();
};

void TestFrmKelvora::stateAfterStartUp() {
    WindowFixture f;
    TfrmKelvora& w = f.start();
    QCOMPARE(w.windowTitle(), QStringLiteral("Kelvora - Non Active"));
    auto* pages = f.find<QTabWidget>("PageControl1");
    QCOMPARE(pages->currentWidget(), f.find("TabSheetMain"));
    QVERIFY(!pages->tabBar()->isVisibleTo(&w));
    QCOMPARE(w.logText(), std::string());
    QCOMPARE(f.find<QListWidget>("ListBox_GETLog")->count(), 0);
    QVERIFY(!f.find<QPushButton>("BitBtnSEND")->isEnabled());
    QVERIFY(f.find<QPushButton>("BitBtnGET")->isEnabled());
    QVERIFY(!f.find<QCheckBox>("CheckBoxIGNORE")->isChecked());
    QVERIFY(f.find<QCheckBox>("cbLock")->isChecked());
    for (const char* name : kParameterFields) {
        QVERIFY2(f.edit(name)->isReadOnly(), name);
        QCOMPARE(base(f.edit(name)), buttonFace());
    }
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker1")->date(), QDate(2005, 5, 1));
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker2")->date(), QDate(2005, 5, 2));
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker3")->date(), QDate(2005, 5, 2));
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker1")->displayFormat(), QStringLiteral("dd/MM/yyyy"));
    QVERIFY(f.boxes.shown.empty());
}

void TestFrmKelvora::pickerDatesAtStartUp_data() {
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("yesterday");
    QTest::newRow("1 January") << QDate(2026, 1, 1) << QDate(2025, 12, 31);
    QTest::newRow("1 March, leap year") << QDate(2024, 3, 1) << QDate(2024, 2, 29);
    QTest::newRow("1 March") << QDate(2023, 3, 1) << QDate(2023, 2, 28);
}

void TestFrmKelvora::pickerDatesAtStartUp() {
    QFETCH(QDate, today);
    QFETCH(QDate, yesterday);
    WindowFixture f;
    f.clock.time = {{today.year(), today.month(), today.day()}, 0, 0, 1};
    f.start();
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker1")->date(), yesterday);
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker3")->date(), today);
}

void TestFrmKelvora::bannerAndVersion() {
    WindowFixture f;
    TfrmKelvora& w = f.start();
    QCOMPARE(f.find<QLabel>("LabelVersion")->text(), QStringLiteral("v" KELVORA_VERSION));
    QCOMPARE(QStringLiteral(KELVORA_VERSION), QStringLiteral("10.1.2.0"));
    const QPixmap bitmap = bannerBitmap();
    QCOMPARE(bitmap.size(), QSize(518, 36));
    QCOMPARE(f.find<QLabel>("ImageBanner")->height(), kBannerHeight);
    const char* links[] = {"MainPage", "Settings", "GETLog"};
    for (int i = 0; i < 3; ++i) {
        auto* link = f.find<QLabel>(qPrintable(QStringLiteral("LabelTab%1").arg(i + 1)));
        QCOMPARE(link->text(), QString::fromLatin1(links[i]));
        QVERIFY(link->font().underline());
        QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
        QVERIFY(link->x() >= w.width() / 2);
    }
}

void TestFrmKelvora::navigation() {
    WindowFixture f;
    TfrmKelvora& w = f.start();
    auto* pages = f.find<QTabWidget>("PageControl1");
    w.AddToLog("kept");
    f.edit("edtCASH")->setText("&cashSales=12.00");
    f.find<QCheckBox>("CheckBoxIGNORE")->setChecked(true);

    const struct {
        const char* link;
        const char* page;
    } steps[] = {{"LabelTab2", "TabSheetSettings"}, {"LabelTab2", "TabSheetSettings"}, {"LabelTab3", "TabSheetLog"},
                 {"LabelTab1", "TabSheetMain"},     {"LabelTab1", "TabSheetMain"}};
    for (const auto& step : steps) {
        w.LabelTab1Click(f.find(step.link));
        QCOMPARE(pages->currentWidget(), f.find(step.page));
    }
    w.LabelTab1Click(f.find("BitBtnGET"));  // not a link: nothing happens
    QCOMPARE(pages->currentWidget(), f.find("TabSheetMain"));
    QCOMPARE(w.logText(), std::string("kept\r\n"));
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=12.00"));
    QVERIFY(f.find<QCheckBox>("CheckBoxIGNORE")->isChecked());
}

void TestFrmKelvora::lockBothWays() {
    WindowFixture f;
    f.start();
    auto* lock = f.find<QCheckBox>("cbLock");
    const QColor yellow(255, 255, 128);
    for (bool locked : {false, true, false}) {
        lock->click();  // as the operator does
        QCOMPARE(lock->isChecked(), locked);
        for (const char* name : kParameterFields) {
            QCOMPARE(f.edit(name)->isReadOnly(), locked);
            QCOMPARE(base(f.edit(name)), locked ? buttonFace() : windowColour());
        }
        for (const char* name : kFilterFields) {
            QVERIFY(!f.edit(name)->isReadOnly());
            QCOMPARE(base(f.edit(name)), yellow);
        }
        for (const char* name : kSettingsFields) QVERIFY(!f.edit(name)->isReadOnly());
    }
    // With the lock off, what the operator types stays.
    QTest::keyClicks(f.edit("edtCASH"), "9");
    QVERIFY(f.text("edtCASH").back() == '9');
}

void TestFrmKelvora::addToLog_data() {
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty text adds one empty line") << QStringList{""} << "\r\n";
    QTest::newRow("two CR LF pairs add three lines") << QStringList{"a\r\nb\r\nc"} << "a\r\nb\r\nc\r\n";
    QTest::newRow("entries in order") << QStringList{"> START", "", "< END"} << "> START\r\n\r\n< END\r\n";
    QTest::newRow("trailing CR LF is one more empty line") << QStringList{"x\r\n"} << "x\r\n\r\n";
}

void TestFrmKelvora::addToLog() {
    QFETCH(QStringList, entries);
    QFETCH(QString, expected);
    WindowFixture f;
    TfrmKelvora& w = f.start();
    for (const QString& e : entries) w.AddToLog(e.toStdString());
    QCOMPARE(QString::fromStdString(w.logText()), expected);
}

void TestFrmKelvora::unhandledFailureText_data() {
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << "Unable to write to /x/Kelvora.ini" << "Unable to write to /x/Kelvora.ini.";
    QTest::newRow("full stop") << "Done." << "Done.";
    QTest::newRow("sorts before full stop") << "Done!" << "Done!";
    QTest::newRow("hyphen") << "a-" << "a-";
    QTest::newRow("slash sorts after") << "a/" << "a/.";
    QTest::newRow("empty") << "" << "";
}

void TestFrmKelvora::unhandledFailureText() {
    QFETCH(QString, message);
    QFETCH(QString, shown);
    QCOMPARE(QString::fromStdString(kelvora::unhandledFailureText(message.toStdString())), shown);
}

void TestFrmKelvora::failureEscapingHandlerReachesBox() {
    // A refused settings write escapes UPDATE's handler and reaches the box;
    // the window goes on answering.
    WindowFixture f;
    f.start();
    QVERIFY(QFile(QString::fromStdString(f.iniPath())).open(QIODevice::WriteOnly));
    QFile::setPermissions(QString::fromStdString(f.iniPath()), QFileDevice::ReadOwner | QFileDevice::ReadOther);
    f.click("BitBtnUPDATE");
    QCOMPARE(f.boxes.shown, (std::vector<test::ShownBox>{{"unhandled", "Unable to write to " + f.iniPath() + "."}}));
    f.click("cbLock");
    QVERIFY(!f.edit("edtCASH")->isReadOnly());
}

void TestFrmKelvora::programTitle_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("title");
    QTest::newRow("exe") << "C:/Kelvora/Kelvora.exe" << "Kelvora";
    QTest::newRow("plain") << "/opt/kelvora/Kelvora" << "Kelvora";
    QTest::newRow("upper") << "/opt/KELVORA.bin" << "Kelvora";
    QTest::newRow("first dot") << "/a.b/kel.vora.exe" << "kel";
}

void TestFrmKelvora::programTitle() {
    QFETCH(QString, path);
    QFETCH(QString, title);
    QCOMPARE(QString::fromStdString(programTitleFor(path.toStdString())), title);
}

void TestFrmKelvora::closeRoads_data() {
    QTest::addColumn<bool>("byButton");
    QTest::newRow("Close button") << true;
    QTest::newRow("close box") << false;
}

void TestFrmKelvora::closeRoads() {
    QFETCH(bool, byButton);
    WindowFixture f;
    TfrmKelvora& w = f.start();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    frmKelvora = &w;
    // Closing the main window ends the event loop with exit code 0.
    QTimer::singleShot(0, &w, [&] {
        if (byButton)
            f.click("BitBtnCLOSE");
        else
            w.close();
    });
    QTimer safety;
    safety.setSingleShot(true);
    connect(&safety, &QTimer::timeout, qApp, [] { qApp->exit(99); });
    safety.start(10000);
    QCOMPARE(qApp->exec(), 0);
    QVERIFY(frmKelvora == nullptr);
    QTRY_VERIFY(f.window.isNull());  // freed on the way out
}

void TestFrmKelvora::tabOrder() {
    WindowFixture f;
    f.start();
    const std::vector<std::vector<const char*>> pages = {
        {"wwDBDateTimePicker1", "BitBtnGET", "edtDate", "edtCASH", "edtCreditCardVISA", "edtCreditCardMASTER",
         "edtCreditCardAMEX", "edtCreditCardOTHER", "edtOther", "BitBtnSEND", "BitBtnCLOSE", "Memo_Log",
         "CheckBoxIGNORE"},
        {"edtURL", "edtUser", "edtPassword", "edtSalesFile", "edtStore", "BitBtnUPDATE", "FilterCASH",
         "FilterCreditCardVISA", "FilterCreditCardMASTER", "FilterCreditCardAMEX", "FilterCreditCardOTHER",
         "FilterOther", "cbLock"},
        {"wwDBDateTimePicker2", "wwDBDateTimePicker3", "BitBtnRETR", "ListBox_GETLog"}};
    // Walk the focus chain from each page's first control; internal children
    // of compound controls (a date picker's line edit) are passed over.
    for (const auto& order : pages) {
        QStringList seen;
        QWidget* w = f.find(order.front());
        for (int steps = 0; steps < 200 && seen.size() < int(order.size()); ++steps, w = w->nextInFocusChain()) {
            const QString name = w->objectName();
            if (std::find(order.begin(), order.end(), name.toStdString()) != order.end() && !seen.contains(name))
                seen << name;
        }
        QStringList expected;
        for (const char* n : order) expected << QString::fromLatin1(n);
        QCOMPARE(seen, expected);
    }
}

QTEST_MAIN(TestFrmKelvora)
#include "test_frm_kelvora.moc"
