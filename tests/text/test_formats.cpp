#include <QByteArray>
#include <QtTest>

#include <cmath>
#include <limits>
#include <string>

#include "formats.h"

using kelvora::CalendarDate;
using kelvora::LocalDateTime;
using kelvora::RegionalSettings;

namespace {

QByteArray array(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }

// The regional settings a test row names.
RegionalSettings regional(const QByteArray& name) {
    RegionalSettings r = RegionalSettings::englishUnitedStates();
    if (name == "de") {  // German: "." dates, no designators
        r.dateSeparator = '.';
        r.amDesignator.clear();
        r.pmDesignator.clear();
        r.decimalSymbol = ',';
        r.shortMonthNames = {"Jan", "Feb", "M\xe4r", "Apr", "Mai", "Jun",
                             "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};
    } else if (name == "odd") {
        r.dateSeparator = '-';
        r.timeSeparator = '.';
        r.amDesignator = "vorm.";
        r.pmDesignator = "nachm.";
    }
    return r;
}

}  // namespace

class TestFormats : public QObject {
    Q_OBJECT

private slots:
    void formatDateTime_data() {
        QTest::addColumn<QByteArray>("pattern");
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<int>("hour");
        QTest::addColumn<int>("minute");
        QTest::addColumn<int>("second");
        QTest::addColumn<QByteArray>("expected");
        // All rows are on 1 May 2005.

        QTest::newRow("US sql date") << QByteArray("MM/dd/yyyy") << QByteArray("us") << 15 << 4 << 5
                                     << QByteArray("05/01/2005");
        QTest::newRow("US total date") << QByteArray("mm/dd/yyyy") << QByteArray("us") << 15 << 4 << 5
                                       << QByteArray("05/01/2005");
        QTest::newRow("US transaction date") << QByteArray("d-MMM-yyyy") << QByteArray("us") << 15 << 4 << 5
                                             << QByteArray("1-May-2005");
        QTest::newRow("US listing date") << QByteArray("dd-MMM-yyyy") << QByteArray("us") << 15 << 4 << 5
                                         << QByteArray("01-May-2005");
        QTest::newRow("US log stamp") << QByteArray("dd/MM/yyyy hh:mm:ss AMPM") << QByteArray("us") << 15 << 4
                                      << 5 << QByteArray("01/05/2005 03:04:05 PM");

        const QByteArray stamp = "dd/MM/yyyy hh:mm:ss AMPM";
        QTest::newRow("midnight") << stamp << QByteArray("us") << 0 << 7 << 9 << QByteArray("01/05/2005 12:07:09 AM");
        QTest::newRow("before noon") << stamp << QByteArray("us") << 11 << 59 << 59
                                     << QByteArray("01/05/2005 11:59:59 AM");
        QTest::newRow("noon") << stamp << QByteArray("us") << 12 << 0 << 0 << QByteArray("01/05/2005 12:00:00 PM");
        QTest::newRow("13 o'clock") << stamp << QByteArray("us") << 13 << 0 << 0 << QByteArray("01/05/2005 01:00:00 PM");
        QTest::newRow("last second") << stamp << QByteArray("us") << 23 << 59 << 59
                                     << QByteArray("01/05/2005 11:59:59 PM");

        QTest::newRow("24-hour without AMPM") << QByteArray("hh:mm:ss") << QByteArray("us") << 15 << 4 << 5
                                              << QByteArray("15:04:05");
        QTest::newRow("24-hour at midnight") << QByteArray("hh:mm") << QByteArray("us") << 0 << 4 << 5
                                             << QByteArray("00:04");
        QTest::newRow("AMPM before the hour") << QByteArray("AMPM hh") << QByteArray("us") << 15 << 4 << 5
                                              << QByteArray("PM 15");
        QTest::newRow("letters case-insensitive") << QByteArray("DD/mm/YYYY HH:MM:SS ampm") << QByteArray("us")
                                                  << 15 << 4 << 5 << QByteArray("01/05/2005 03:04:05 PM");

        QTest::newRow("German date") << QByteArray("dd/MM/yyyy") << QByteArray("de") << 15 << 4 << 5
                                     << QByteArray("01.05.2005");
        QTest::newRow("German month name") << QByteArray("d-MMM-yyyy") << QByteArray("de") << 15 << 4 << 5
                                           << QByteArray("1-Mai-2005");
        QTest::newRow("empty designators") << stamp << QByteArray("de") << 15 << 4 << 5
                                           << QByteArray("01.05.2005 03:04:05 ");
        QTest::newRow("other separators and designators") << stamp << QByteArray("odd") << 9 << 4 << 5
                                                          << QByteArray("01-05-2005 09.04.05 vorm.");

        QTest::newRow("single letters") << QByteArray("d/m/y h:m:s") << QByteArray("us") << 9 << 4 << 5
                                        << QByteArray("1/5/05 9:4:5");
        QTest::newRow("two-digit year") << QByteArray("yy") << QByteArray("us") << 9 << 4 << 5 << QByteArray("05");
        QTest::newRow("long runs") << QByteArray("dddd mmmm yyyyyy") << QByteArray("us") << 9 << 4 << 5
                                   << QByteArray("01 May 2005");
        QTest::newRow("m after h across literals") << QByteArray("hh 'x' mm") << QByteArray("us") << 9 << 4 << 5
                                                   << QByteArray("09 'x' 04");
        QTest::newRow("m after another letter is the month") << QByteArray("hh dd mm") << QByteArray("us") << 9
                                                             << 4 << 5 << QByteArray("09 01 05");
        QTest::newRow("other characters copied") << QByteArray("[%t\"q\\]") << QByteArray("us") << 9 << 4 << 5
                                                 << QByteArray("[%t\"q\\]");
        QTest::newRow("AM alone is copied") << QByteArray("AM") << QByteArray("us") << 9 << 4 << 5
                                            << QByteArray("A5");
        QTest::newRow("empty pattern") << QByteArray() << QByteArray("us") << 9 << 4 << 5 << QByteArray();
    }

    void formatDateTime() {
        QFETCH(QByteArray, pattern);
        QFETCH(QByteArray, settings);
        QFETCH(int, hour);
        QFETCH(int, minute);
        QFETCH(int, second);
        QFETCH(QByteArray, expected);
        const LocalDateTime when{{2005, 5, 1}, hour, minute, second};
        const std::string text = kelvora::formatDateTime(
            std::string_view(pattern.constData(), static_cast<std::size_t>(pattern.size())), when,
            regional(settings));
        QCOMPARE(array(text), expected);
    }

    void formatDateEdges() {
        const RegionalSettings us = RegionalSettings::englishUnitedStates();
        QCOMPARE(kelvora::formatDate("dd-MMM-yyyy yy", CalendarDate{987, 12, 31}, us), "31-Dec-0987 87");
        QCOMPARE(kelvora::formatDate("hh:mm:ss AMPM", CalendarDate{2005, 5, 1}, us), "12:00:00 AM");
        // Nonsense fields print as numbers, never out of the month table.
        QCOMPARE(kelvora::formatDate("MMM", CalendarDate{2005, 13, 1}, us), "13");
        QCOMPARE(kelvora::formatDate("MMM", CalendarDate{2005, 0, 1}, us), "00");
    }

    void sqlDateText() {
        QCOMPARE(kelvora::sqlDateText(CalendarDate{2005, 5, 1}), "05/01/2005");
        QCOMPARE(kelvora::sqlDateText(CalendarDate{2024, 12, 31}), "12/31/2024");
    }

    void formatTotal_data() {
        QTest::addColumn<double>("amount");
        QTest::addColumn<char>("decimal");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("half up") << 0.125 << '.' << QByteArray("0.13");
        QTest::newRow("half away from zero") << -0.125 << '.' << QByteArray("-0.13");
        QTest::newRow("negative rounding to zero") << -0.004 << '.' << QByteArray("0.00");
        QTest::newRow("no thousands separator") << 1234567.891 << '.' << QByteArray("1234567.89");
        QTest::newRow("exact half") << 1234.125 << '.' << QByteArray("1234.13");
        QTest::newRow("two decimals") << -12.3 << '.' << QByteArray("-12.30");
        QTest::newRow("zero") << 0.0 << '.' << QByteArray("0.00");
        QTest::newRow("negative zero") << -0.0 << '.' << QByteArray("0.00");
        QTest::newRow("tiny") << 1e-300 << '.' << QByteArray("0.00");
        QTest::newRow("negative subnormal") << -5e-324 << '.' << QByteArray("0.00");
        QTest::newRow("0.005") << 0.005 << '.' << QByteArray("0.01");
        QTest::newRow("-0.005") << -0.005 << '.' << QByteArray("-0.01");
        QTest::newRow("2.675 is below the half") << 2.675 << '.' << QByteArray("2.67");
        QTest::newRow("0.285 is below the half") << 0.285 << '.' << QByteArray("0.28");
        QTest::newRow("1.005 is below the half") << 1.005 << '.' << QByteArray("1.00");
        // Exactly 1000000000000.2449951171875: its 18 digits end in ...245.
        QTest::newRow("18 digits decide the half") << 1000000000000.245 << '.' << QByteArray("1000000000000.25");
        // Exactly ...0.125 needs 19 digits; at 18 the tie goes to the even ...12.
        QTest::newRow("tie at the 18th digit") << 1000000000000000.125 << '.' << QByteArray("1000000000000000.12");
        QTest::newRow("carry into a new digit") << 99.999 << '.' << QByteArray("100.00");
        QTest::newRow("negative carry") << -0.999 << '.' << QByteArray("-1.00");
        QTest::newRow("integer") << 42.0 << '.' << QByteArray("42.00");
        QTest::newRow("huge") << 1e300 << '.'
                              << QByteArray("100000000000000005") + QByteArray(283, '0') + QByteArray(".00");
        QTest::newRow("largest") << std::numeric_limits<double>::max() << '.'
                                 << QByteArray("179769313486231571") + QByteArray(291, '0') + QByteArray(".00");
        QTest::newRow("comma") << 1234.5 << ',' << QByteArray("1234,50");
        QTest::newRow("comma negative") << -0.125 << ',' << QByteArray("-0,13");
        QTest::newRow("NaN") << std::numeric_limits<double>::quiet_NaN() << '.' << QByteArray("NAN");
        QTest::newRow("infinity") << std::numeric_limits<double>::infinity() << '.' << QByteArray("INF");
        QTest::newRow("minus infinity") << -std::numeric_limits<double>::infinity() << '.' << QByteArray("-INF");
    }

    void formatTotal() {
        QFETCH(double, amount);
        QFETCH(char, decimal);
        QFETCH(QByteArray, expected);
        RegionalSettings r = RegionalSettings::englishUnitedStates();
        r.decimalSymbol = decimal;
        QCOMPARE(array(kelvora::formatTotal(amount, r)), expected);
    }
};

QTEST_APPLESS_MAIN(TestFormats)
#include "test_formats.moc"
