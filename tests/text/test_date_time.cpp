#include <QtTest>

#include "date_time.h"

using kelvora::CalendarDate;

Q_DECLARE_METATYPE(CalendarDate)

namespace kelvora {
char* toString(const CalendarDate& d) {
    return QTest::toString(QString::asprintf("%04d-%02d-%02d", d.year, d.month, d.day));
}
}  // namespace kelvora

class TestDateTime : public QObject {
    Q_OBJECT

private slots:
    void previousDay_data() {
        QTest::addColumn<CalendarDate>("date");
        QTest::addColumn<CalendarDate>("expected");
        QTest::newRow("mid-month") << CalendarDate{2005, 5, 2} << CalendarDate{2005, 5, 1};
        QTest::newRow("first of the month") << CalendarDate{2005, 5, 1} << CalendarDate{2005, 4, 30};
        QTest::newRow("1 January") << CalendarDate{2005, 1, 1} << CalendarDate{2004, 12, 31};
        QTest::newRow("1 March") << CalendarDate{2005, 3, 1} << CalendarDate{2005, 2, 28};
        QTest::newRow("1 March, leap year") << CalendarDate{2004, 3, 1} << CalendarDate{2004, 2, 29};
        QTest::newRow("1 March 2000") << CalendarDate{2000, 3, 1} << CalendarDate{2000, 2, 29};
        QTest::newRow("1 March 1900") << CalendarDate{1900, 3, 1} << CalendarDate{1900, 2, 28};
        QTest::newRow("leap day") << CalendarDate{2024, 2, 29} << CalendarDate{2024, 2, 28};
        QTest::newRow("invalid date unchanged") << CalendarDate{2005, 2, 30} << CalendarDate{2005, 2, 30};
        QTest::newRow("month 13 unchanged") << CalendarDate{2005, 13, 1} << CalendarDate{2005, 13, 1};
    }

    void previousDay() {
        QFETCH(CalendarDate, date);
        QFETCH(CalendarDate, expected);
        QCOMPARE(kelvora::previousDay(date), expected);
    }

    void isValidDate_data() {
        QTest::addColumn<CalendarDate>("date");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ordinary") << CalendarDate{2005, 5, 1} << true;
        QTest::newRow("29 Feb leap year") << CalendarDate{2004, 2, 29} << true;
        QTest::newRow("29 Feb 2000") << CalendarDate{2000, 2, 29} << true;
        QTest::newRow("29 Feb 1900") << CalendarDate{1900, 2, 29} << false;
        QTest::newRow("29 Feb common year") << CalendarDate{2005, 2, 29} << false;
        QTest::newRow("31 April") << CalendarDate{2005, 4, 31} << false;
        QTest::newRow("31 December") << CalendarDate{2005, 12, 31} << true;
        QTest::newRow("day 0") << CalendarDate{2005, 1, 0} << false;
        QTest::newRow("day 32") << CalendarDate{2005, 1, 32} << false;
        QTest::newRow("month 0") << CalendarDate{2005, 0, 1} << false;
        QTest::newRow("month 13") << CalendarDate{2005, 13, 1} << false;
        QTest::newRow("month 257 wraps in a byte") << CalendarDate{2005, 257, 1} << false;
        QTest::newRow("negative day") << CalendarDate{2005, 1, -1} << false;
        QTest::newRow("year out of range") << CalendarDate{40000, 1, 1} << false;
    }

    void isValidDate() {
        QFETCH(CalendarDate, date);
        QFETCH(bool, valid);
        QCOMPARE(kelvora::isValidDate(date), valid);
    }
};

QTEST_APPLESS_MAIN(TestDateTime)
#include "test_date_time.moc"
