// The date pickers: display with the regional separator, two-digit years read
// from 1950 on, and the window's reaction to a change of regional settings.

#include <QLineEdit>
#include <QtTest>

#include "date_picker.h"
#include "window_fixture.h"

using namespace kelvora;

class TestDatePicker : public QObject {
    Q_OBJECT
private slots:
    void twoDigitYears_data();
    void twoDigitYears();
    void typedDate_data();
    void typedDate();
    void separatorFollowsRegionalSettings();
};

void TestDatePicker::twoDigitYears_data() {
    QTest::addColumn<int>("typed");
    QTest::addColumn<int>("year");
    QTest::newRow("00") << 0 << 2000;
    QTest::newRow("05") << 5 << 2005;
    QTest::newRow("49") << 49 << 2049;
    QTest::newRow("50") << 50 << 1950;
    QTest::newRow("99") << 99 << 1999;
}

void TestDatePicker::twoDigitYears() {
    QFETCH(int, typed);
    QFETCH(int, year);
    QCOMPARE(DatePicker::expandTwoDigitYear(typed), year);
}

void TestDatePicker::typedDate_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("date");
    QTest::newRow("two-digit year") << "01/05/05" << QDate(2005, 5, 1);
    QTest::newRow("two-digit year 1950") << "31/12/50" << QDate(1950, 12, 31);
    QTest::newRow("four-digit year") << "29/02/2024" << QDate(2024, 2, 29);
}

void TestDatePicker::typedDate() {
    QFETCH(QString, typed);
    QFETCH(QDate, date);
    DatePicker picker;
    picker.setDate(QDate(2001, 1, 1));
    QLineEdit* edit = picker.findChild<QLineEdit*>();
    QVERIFY(edit);
    // The whole text as the operator leaves it, then read as on Enter.
    edit->setText(typed);
    picker.interpretText();
    QCOMPARE(picker.date(), date);
}

void TestDatePicker::separatorFollowsRegionalSettings() {
    test::WindowFixture f;
    f.regional.dateSeparator = '.';
    TfrmKelvora& w = f.start();
    auto* picker = f.find<DatePicker>("wwDBDateTimePicker1");
    QCOMPARE(picker->displayFormat(), QStringLiteral("dd.MM.yyyy"));
    QCOMPARE(picker->text(), QStringLiteral("01.05.2005"));
    f.regional.dateSeparator = '-';
    QEvent change(QEvent::LocaleChange);
    QApplication::sendEvent(&w, &change);
    QCOMPARE(f.find<DatePicker>("wwDBDateTimePicker3")->text(), QStringLiteral("02-05-2005"));
    QCOMPARE(w.regional().dateSeparator, '-');
    QCOMPARE(picker->date(), QDate(2005, 5, 1));
}

QTEST_MAIN(TestDatePicker)
#include "test_date_picker.moc"
