#include <QByteArray>
#include <QtTest>

#include <clocale>
#include <string>

#include "regional_settings.h"
#include "test_support.h"

using kelvora::LocaleTexts;
using kelvora::RegionalSettings;

namespace {

const std::array<std::string, 12> kGermanMonths{"Jan", "Feb", "M\xe4r", "Apr", "Mai", "Jun",
                                                "Jul", "Aug", "Sep", "Okt", "Nov", "Dez"};

LocaleTexts texts(std::string date, std::string time, std::string radix, std::string am = "AM",
                  std::string pm = "PM") {
    LocaleTexts t;
    t.dateFormat = std::move(date);
    t.timeFormat = std::move(time);
    t.radix = std::move(radix);
    t.am = std::move(am);
    t.pm = std::move(pm);
    return t;
}

}  // namespace

class TestRegionalSettings : public QObject {
    Q_OBJECT

private slots:
    void separators_data() {
        QTest::addColumn<QByteArray>("dateFormat");
        QTest::addColumn<QByteArray>("timeFormat");
        QTest::addColumn<QByteArray>("radix");
        QTest::addColumn<char>("dateSeparator");
        QTest::addColumn<char>("timeSeparator");
        QTest::addColumn<char>("decimalSymbol");

        QTest::newRow("C") << QByteArray("%m/%d/%y") << QByteArray("%H:%M:%S") << QByteArray(".") << '/' << ':' << '.';
        QTest::newRow("German") << QByteArray("%d.%m.%Y") << QByteArray("%T") << QByteArray(",") << '.' << ':' << ',';
        QTest::newRow("ISO") << QByteArray("%Y-%m-%d") << QByteArray("%H.%M.%S") << QByteArray(".") << '-' << '.' << '.';
        QTest::newRow("%F stands for %Y-%m-%d") << QByteArray("%F") << QByteArray("%R") << QByteArray(".") << '-'
                                                << ':' << '.';
        QTest::newRow("%D and %r") << QByteArray("%D") << QByteArray("%r") << QByteArray(".") << '/' << ':' << '.';
        QTest::newRow("empty formats and radix") << QByteArray() << QByteArray() << QByteArray() << '/' << ':' << '.';
        QTest::newRow("no literal") << QByteArray("%d%m%Y") << QByteArray("%H%M") << QByteArray() << '/' << ':' << '.';
        QTest::newRow("flags, widths, modifiers") << QByteArray("%-d%Ey%010m.%e") << QByteArray("%OH'%M")
                                                  << QByteArray(",.") << '.' << '\'' << ',';
        QTest::newRow("%% and %n are conversions") << QByteArray("%%%n%d|%m") << QByteArray("%t%Hh%M")
                                                   << QByteArray(".") << '|' << 'h' << '.';
        QTest::newRow("blank separator") << QByteArray("%d %b %Y") << QByteArray("%H:%M") << QByteArray(".")
                                         << ' ' << ':' << '.';
        QTest::newRow("format ending in %") << QByteArray("%d%") << QByteArray("%") << QByteArray(".") << '/'
                                            << ':' << '.';
    }

    void separators() {
        QFETCH(QByteArray, dateFormat);
        QFETCH(QByteArray, timeFormat);
        QFETCH(QByteArray, radix);
        QFETCH(char, dateSeparator);
        QFETCH(char, timeSeparator);
        QFETCH(char, decimalSymbol);
        const RegionalSettings r = kelvora::regionalSettingsFrom(
            texts(dateFormat.toStdString(), timeFormat.toStdString(), radix.toStdString()));
        QCOMPARE(r.dateSeparator, dateSeparator);
        QCOMPARE(r.timeSeparator, timeSeparator);
        QCOMPARE(r.decimalSymbol, decimalSymbol);
    }

    void namesAndDesignators() {
        LocaleTexts german = texts("%d.%m.%Y", "%T", ",", "", "");
        german.abbreviatedMonths = kGermanMonths;
        german.abbreviatedMonths[4] = "";  // an empty name falls back to English
        const RegionalSettings r = kelvora::regionalSettingsFrom(german);
        QCOMPARE(r.amDesignator, std::string());
        QCOMPARE(r.pmDesignator, std::string());
        QCOMPARE(r.shortMonthNames[2], std::string("M\xe4r"));
        QCOMPARE(r.shortMonthNames[4], std::string("May"));
        QCOMPARE(r.shortMonthNames[11], std::string("Dez"));

        const RegionalSettings bare = kelvora::regionalSettingsFrom(LocaleTexts{});
        QVERIFY(bare.shortMonthNames == RegionalSettings::fallback().shortMonthNames);
        QCOMPARE(bare.amDesignator, std::string());
    }

    void cLocaleIsEnglishUnitedStates() {
        const std::string previous = std::setlocale(LC_ALL, nullptr);
        if (!std::setlocale(LC_ALL, "C")) {
            kelvora::test::skipAll("the C locale cannot be set");
        }
        const LocaleTexts t = kelvora::currentLocaleTexts();
        const RegionalSettings r = kelvora::readRegionalSettings();
        std::setlocale(LC_ALL, previous.c_str());

        QCOMPARE(t.dateFormat, std::string("%m/%d/%y"));
        QCOMPARE(t.timeFormat, std::string("%H:%M:%S"));
        QCOMPARE(t.radix, std::string("."));
        QCOMPARE(t.abbreviatedMonths[0], std::string("Jan"));
        QVERIFY(r == RegionalSettings::englishUnitedStates());
    }

    void toLatin1_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("codeset");
        QTest::addColumn<bool>("fits");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("ASCII") << QByteArray("May") << QByteArray("UTF-8") << true << QByteArray("May");
        QTest::newRow("UTF-8 umlaut") << QByteArray("M\xc3\xa4r") << QByteArray("UTF-8") << true
                                      << QByteArray("M\xe4r");
        QTest::newRow("UTF-8 beyond Latin-1") << QByteArray("\xd0\xbc\xd0\xb0\xd0\xb9") << QByteArray("UTF-8")
                                              << false << QByteArray();
        QTest::newRow("broken UTF-8") << QByteArray("M\xc3") << QByteArray("UTF-8") << false << QByteArray();
        QTest::newRow("Latin-1 stays") << QByteArray("M\xe4r") << QByteArray("ISO-8859-1") << true
                                       << QByteArray("M\xe4r");
        QTest::newRow("ASCII locale, high byte") << QByteArray("M\xe4r") << QByteArray("ANSI_X3.4-1968") << false
                                                 << QByteArray();
        QTest::newRow("unknown codeset") << QByteArray("M\xe4r") << QByteArray("NO-SUCH-SET") << false
                                         << QByteArray();
    }

    void toLatin1() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, codeset);
        QFETCH(bool, fits);
        QFETCH(QByteArray, expected);
        const auto converted = kelvora::toLatin1(text.toStdString(), codeset.toStdString());
        QCOMPARE(converted.has_value(), fits);
        if (fits) {
            QCOMPARE(QByteArray::fromStdString(*converted), expected);
        }
    }
};

QTEST_APPLESS_MAIN(TestRegionalSettings)
#include "test_regional_settings.moc"
