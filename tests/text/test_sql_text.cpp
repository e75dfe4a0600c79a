#include <QByteArray>
#include <QtTest>

#include <string>

#include "sql_text.h"

namespace {
std::string_view view(const QByteArray& a) { return {a.constData(), static_cast<std::size_t>(a.size())}; }
QByteArray array(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

class TestSqlText : public QObject {
    Q_OBJECT

private slots:
    void trimText_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("blanks") << QByteArray("  a b  ") << QByteArray("a b");
        QTest::newRow("tabs and breaks") << QByteArray("\t\r\na\r\n") << QByteArray("a");
        QTest::newRow("all controls and NUL") << QByteArray("\0\x01\x1f x \x1f\0", 8) << QByteArray("x");
        QTest::newRow("DEL is kept") << QByteArray("\x7f" "a\x7f") << QByteArray("\x7f" "a\x7f");
        QTest::newRow("bytes above 127 are kept") << QByteArray("\xa0\xe9 \xff") << QByteArray("\xa0\xe9 \xff");
        QTest::newRow("only blanks") << QByteArray(" \t ") << QByteArray();
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }

    void trimText() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, expected);
        QCOMPARE(array(kelvora::trimText(view(text))), expected);
    }

    void quoteSql_data() {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << QByteArray("CASH") << QByteArray("'CASH'");
        QTest::newRow("embedded quote") << QByteArray("O'Neil") << QByteArray("'O''Neil'");
        QTest::newRow("only quotes") << QByteArray("''") << QByteArray("''''''");
        QTest::newRow("injection stays a literal") << QByteArray("x' OR '1'='1")
                                                   << QByteArray("'x'' OR ''1''=''1'");
        QTest::newRow("empty") << QByteArray() << QByteArray("''");
        QTest::newRow("double quotes untouched") << QByteArray("a\"b") << QByteArray("'a\"b'");
    }

    void quoteSql() {
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, expected);
        QCOMPARE(array(kelvora::quoteSql(view(value))), expected);
    }
};

QTEST_APPLESS_MAIN(TestSqlText)
#include "test_sql_text.moc"
