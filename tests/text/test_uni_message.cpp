#include <QByteArray>
#include <QtTest>

#include <string>

#include "uni_MESSAGE.h"

using kelvora::FitWidth;
using kelvora::SplitItem;

namespace {
std::string bytes(const QByteArray& a) { return std::string(a.constData(), static_cast<std::size_t>(a.size())); }
QByteArray array(const std::string& s) { return QByteArray(s.data(), static_cast<qsizetype>(s.size())); }
}  // namespace

class TestUniMessage : public QObject {
    Q_OBJECT

private slots:
    void splitItem_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("delimiter");
        QTest::addColumn<int>("piece");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray memo =
            "> START SEND 02/05/2005 09:05:07 AM\r\n"
            "> Transaction Date 1-May-2005\r\n"
            ">\r\n"
            ">http://sales.example/SubmitSales.asmx/SubmitSalesTransaction?\r\n"
            ">\r\n"
            ">&cashSales=1234.50\r\n";
        QTest::newRow("memo piece 0") << memo << QByteArray(">") << 0 << QByteArray();
        QTest::newRow("memo piece 1") << memo << QByteArray(">") << 1
                                      << QByteArray(" START SEND 02/05/2005 09:05:07 AM");
        QTest::newRow("memo piece 2") << memo << QByteArray(">") << 2 << QByteArray();
        QTest::newRow("memo piece 3") << memo << QByteArray(">") << 3
                                      << QByteArray(" Transaction Date 1-May-2005");
        QTest::newRow("memo without delimiter: second line")
            << QByteArray("first\r\nsecond\r\n") << QByteArray(">") << 1 << QByteArray("second");
        QTest::newRow("empty memo") << QByteArray() << QByteArray(">") << 1 << QByteArray();

        QTest::newRow("no delimiter, piece 0") << QByteArray("abc") << QByteArray(",") << 0 << QByteArray("abc");
        QTest::newRow("no delimiter, piece 1") << QByteArray("abc") << QByteArray(",") << 1 << QByteArray();
        QTest::newRow("empty text, piece 0") << QByteArray() << QByteArray(",") << 0 << QByteArray();
        QTest::newRow("empty text, piece 5") << QByteArray() << QByteArray(",") << 5 << QByteArray();
        QTest::newRow("negative piece") << QByteArray("a,b") << QByteArray(",") << -1 << QByteArray();

        QTest::newRow("adjacent delimiters") << QByteArray("a,,b") << QByteArray(",") << 1 << QByteArray();
        QTest::newRow("after adjacent delimiters") << QByteArray("a,,b") << QByteArray(",") << 2 << QByteArray("b");
        QTest::newRow("delimiter at start") << QByteArray(",a") << QByteArray(",") << 0 << QByteArray();
        QTest::newRow("delimiter at end adds no piece") << QByteArray("a,") << QByteArray(",") << 1 << QByteArray();
        QTest::newRow("only a delimiter") << QByteArray(",") << QByteArray(",") << 0 << QByteArray();
        QTest::newRow("untrimmed") << QByteArray("a , b") << QByteArray(",") << 1 << QByteArray(" b");
        QTest::newRow("case significant") << QByteArray("aXbxc") << QByteArray("x") << 1 << QByteArray("c");

        QTest::newRow("multi-char delimiter") << QByteArray("a<>b<>c") << QByteArray("<>") << 2 << QByteArray("c");
        QTest::newRow("no overlap: piece 1") << QByteArray("aaaab") << QByteArray("aa") << 1 << QByteArray();
        QTest::newRow("no overlap: piece 2") << QByteArray("aaaab") << QByteArray("aa") << 2 << QByteArray("b");
        QTest::newRow("no overlap: odd run") << QByteArray("aaab") << QByteArray("aa") << 1 << QByteArray("ab");

        QTest::newRow("line then delimiter") << QByteArray("x\r\ny>z") << QByteArray(">") << 2 << QByteArray("z");
        QTest::newRow("lone CR") << QByteArray("a\rb") << QByteArray(",") << 1 << QByteArray("b");
        QTest::newRow("lone LF") << QByteArray("a\nb") << QByteArray(",") << 1 << QByteArray("b");
        QTest::newRow("LF CR is two breaks") << QByteArray("a\n\rb") << QByteArray(",") << 2 << QByteArray("b");
        QTest::newRow("CR CR LF is two breaks") << QByteArray("a\r\r\nb") << QByteArray(",") << 2 << QByteArray("b");
        QTest::newRow("trailing CR adds no line") << QByteArray("a\r") << QByteArray(",") << 1 << QByteArray();
        QTest::newRow("delimiter before LF: empty line")
            << QByteArray("a,\nb") << QByteArray(",") << 2 << QByteArray("b");
        QTest::newRow("CR before delimiter stays a lone CR")
            << QByteArray("a\r,b") << QByteArray(",") << 2 << QByteArray("b");
        QTest::newRow("delimiter eating the LF of CR LF")
            << QByteArray("a\r\nbc") << QByteArray("\nb") << 2 << QByteArray("c");

        QTest::newRow("empty delimiter: lines") << QByteArray("a,b\r\nc") << QByteArray() << 1 << QByteArray("c");
        QTest::newRow("empty delimiter: no split") << QByteArray("a,b") << QByteArray() << 0 << QByteArray("a,b");

        QTest::newRow("NUL ends the text") << QByteArray("ab\0c,d", 6) << QByteArray(",") << 0 << QByteArray("ab");
        QTest::newRow("nothing after NUL") << QByteArray("ab\0c,d", 6) << QByteArray(",") << 1 << QByteArray();
        QTest::newRow("NUL first") << QByteArray("\0a", 2) << QByteArray(",") << 0 << QByteArray();
        QTest::newRow("NUL delimiter") << QByteArray("a\0b", 3) << QByteArray("\0", 1) << 1 << QByteArray("b");

        QTest::newRow("bytes above 127 kept") << QByteArray("\xe9t\xe9>x") << QByteArray(">") << 0
                                              << QByteArray("\xe9t\xe9");
    }

    void splitItem() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, delimiter);
        QFETCH(int, piece);
        QFETCH(QByteArray, expected);
        QCOMPARE(array(SplitItem(bytes(text), bytes(delimiter), piece)), expected);
    }

    void fitWidth_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<char>("fill");
        QTest::addColumn<QByteArray>("expected");

        QTest::newRow("store code padded") << QByteArray("0000") << 10 << ' ' << QByteArray("0000      ");
        QTest::newRow("trimmed first") << QByteArray(" \t\r\nab \n") << 4 << '.' << QByteArray("ab..");
        QTest::newRow("only blanks") << QByteArray("   ") << 3 << '*' << QByteArray("***");
        QTest::newRow("empty") << QByteArray() << 2 << '-' << QByteArray("--");
        QTest::newRow("exact width") << QByteArray("abcd") << 4 << ' ' << QByteArray("abcd");
        QTest::newRow("cut on the right") << QByteArray("  abcdef") << 3 << ' ' << QByteArray("abc");
        QTest::newRow("inner blanks kept") << QByteArray("a  b") << 5 << ' ' << QByteArray("a  b ");
        QTest::newRow("width 0") << QByteArray("abc") << 0 << ' ' << QByteArray();
        QTest::newRow("negative width") << QByteArray("abc") << -3 << ' ' << QByteArray();
        QTest::newRow("control codes trimmed") << QByteArray("\x01\x1f" "a\x7f\x20", 5) << 3 << '_'
                                               << QByteArray("a\x7f_");
        QTest::newRow("bytes above 127 not trimmed") << QByteArray("\xa0x\xff") << 4 << ' '
                                                     << QByteArray("\xa0x\xff ");
        QTest::newRow("NUL counts as control") << QByteArray("\0x\0", 3) << 2 << ' ' << QByteArray("x ");
    }

    void fitWidth() {
        QFETCH(QByteArray, text);
        QFETCH(int, width);
        QFETCH(char, fill);
        QFETCH(QByteArray, expected);
        QCOMPARE(array(FitWidth(bytes(text), width, fill)), expected);
    }
};

QTEST_APPLESS_MAIN(TestUniMessage)
#include "test_uni_message.moc"
