// The statement text helpers: named markers and CR LF line joining.

#include <QtTest>

#include "database_client.h"

using namespace kelvora::salesdb;

class TestNamedParameters : public QObject {
    Q_OBJECT
private slots:
    void translate_data();
    void translate();
    void joinLines_data();
    void joinLines();
};

void TestNamedParameters::translate_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QStringList>("names");

    QTest::newRow("journal insert") << QByteArray("INSERT INTO STK_PERIOD_CLOSE (S_DATE,S_PERIOD,S_MEMO,S_STORE)\r\n"
                                                  "VALUES (:S_DATE,:S_PERIOD,:S_MEMO,:S_STORE)\r\n")
                                    << QByteArray("INSERT INTO STK_PERIOD_CLOSE (S_DATE,S_PERIOD,S_MEMO,S_STORE)\r\n"
                                                  "VALUES (?,?,?,?)\r\n")
                                    << QStringList{"S_DATE", "S_PERIOD", "S_MEMO", "S_STORE"};
    QTest::newRow("no markers") << QByteArray("select 1 from rdb$database") << QByteArray("select 1 from rdb$database")
                                << QStringList{};
    QTest::newRow("empty") << QByteArray("") << QByteArray("") << QStringList{};
    QTest::newRow("repeated name bound twice") << QByteArray("a = :X or b = :x or c = :X")
                                               << QByteArray("a = ? or b = ? or c = ?") << QStringList{"X", "x", "X"};
    QTest::newRow("identifier chars") << QByteArray(":A_1$b+:9z") << QByteArray("?+?") << QStringList{"A_1$b", "9z"};
    QTest::newRow("marker at end") << QByteArray("where a=:LAST") << QByteArray("where a=?") << QStringList{"LAST"};
    QTest::newRow("in single quotes") << QByteArray("x = ':NOT' and y = :YES") << QByteArray("x = ':NOT' and y = ?")
                                      << QStringList{"YES"};
    QTest::newRow("in double quotes") << QByteArray("select \":NOT\" from t where a=:A")
                                      << QByteArray("select \":NOT\" from t where a=?") << QStringList{"A"};
    QTest::newRow("doubled quote inside quotes") << QByteArray("x = 'O'':NOT' and y = :YES")
                                                 << QByteArray("x = 'O'':NOT' and y = ?") << QStringList{"YES"};
    QTest::newRow("doubled double quote") << QByteArray("\"a\"\":NOT\" :A") << QByteArray("\"a\"\":NOT\" ?")
                                          << QStringList{"A"};
    QTest::newRow("other quote inside quotes") << QByteArray("'say \":NOT\"' :A") << QByteArray("'say \":NOT\"' ?")
                                               << QStringList{"A"};
    QTest::newRow("unterminated quote") << QByteArray("x = ':NOT") << QByteArray("x = ':NOT") << QStringList{};
    QTest::newRow("double colon") << QByteArray("a::NAME :B") << QByteArray("a::NAME ?") << QStringList{"B"};
    QTest::newRow("triple colon") << QByteArray(":::B") << QByteArray("::?") << QStringList{"B"};
    QTest::newRow("colon before non-identifier") << QByteArray("a : b :) :-") << QByteArray("a : b :) :-")
                                                 << QStringList{};
    QTest::newRow("lone colon at end") << QByteArray("a :") << QByteArray("a :") << QStringList{};
    QTest::newRow("adjacent markers") << QByteArray(":A:B") << QByteArray("??") << QStringList{"A", "B"};
    QTest::newRow("non-ASCII byte ends a name") << QByteArray(":AB\xe9x") << QByteArray("?\xe9x") << QStringList{"AB"};
    QTest::newRow("line comment") << QByteArray("a = :A -- not :B\r\nand b = :C")
                                  << QByteArray("a = ? -- not :B\r\nand b = ?") << QStringList{"A", "C"};
    QTest::newRow("block comment") << QByteArray("/* :NOT */ :A /* :NOT") << QByteArray("/* :NOT */ ? /* :NOT")
                                   << QStringList{"A"};
    QTest::newRow("single minus and slash") << QByteArray("a-:A/:B") << QByteArray("a-?/?") << QStringList{"A", "B"};
}

void TestNamedParameters::translate() {
    QFETCH(QByteArray, sql);
    QFETCH(QByteArray, expected);
    QFETCH(QStringList, names);
    std::vector<std::string> got{"left over"};
    const std::string out = translateNamedParameters(std::string_view(sql.constData(), sql.size()), got);
    QCOMPARE(QByteArray::fromStdString(out), expected);
    QStringList gotNames;
    for (const auto& n : got) gotNames << QString::fromStdString(n);
    QCOMPARE(gotNames, names);
}

void TestNamedParameters::joinLines_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("none") << QStringList{} << QByteArray("");
    QTest::newRow("one") << QStringList{"Select 1"} << QByteArray("Select 1\r\n");
    QTest::newRow("total query") << QStringList{"Select Sum(Pymt_ACTPAID) From POS_PAYMENT",
                                                "WHERE Pymt_CloseDate='05/01/2005'", "AND Pymt_Store='0000'",
                                                "AND Pymt_Status='NS'", "AND "}
                                 << QByteArray("Select Sum(Pymt_ACTPAID) From POS_PAYMENT\r\n"
                                               "WHERE Pymt_CloseDate='05/01/2005'\r\nAND Pymt_Store='0000'\r\n"
                                               "AND Pymt_Status='NS'\r\nAND \r\n");
    QTest::newRow("empty lines") << QStringList{"", ""} << QByteArray("\r\n\r\n");
}

void TestNamedParameters::joinLines() {
    QFETCH(QStringList, lines);
    QFETCH(QByteArray, expected);
    std::vector<std::string> v;
    for (const auto& l : lines) v.push_back(l.toStdString());
    QCOMPARE(QByteArray::fromStdString(joinStatementLines(v)), expected);
}

QTEST_APPLESS_MAIN(TestNamedParameters)
#include "test_named_parameters.moc"
