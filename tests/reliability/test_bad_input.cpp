// Bad input through the window: settings files with binary bytes, NULs,
// over-long values, missing sections and duplicated keys; store codes and
// filters that carry SQL; dates at both ends of the picker's range. Nothing
// crashes, every failure shows its fixed message, the tables stay as they
// were, and "UPDATE" changes no line of the settings file but the keys it
// writes.

#include <QFile>
#include <QtTest>

#include <map>
#include <optional>
#include <set>

#include "profile_file.h"
#include "sales_test_db.h"
#include "sql_text.h"
#include "submission_record.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::ShownBox;
using kelvora::test::WindowFixture;

namespace {

const char* const kTotalError = "= KelvoraSQL Return Error - ";

salesdb::Timestamp day(int y, int m, int d) { return {{y, m, d}, 0, 0, 0, 0}; }

QByteArray readBytes(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeBytes(const std::string& path, const QByteArray& bytes) {
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(bytes), bytes.size());
}

std::vector<std::string> logLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (std::size_t pos; (pos = text.find("\r\n", start)) != std::string::npos; start = pos + 2)
        out.push_back(text.substr(start, pos - start));
    return out;
}

// --- An independent reading of the file's lines, to tell which ones UPDATE
// may touch: the first line of each key it writes, in the first section of
// that name, and lines it adds.

std::vector<QByteArray> fileLines(const QByteArray& bytes) {
    std::vector<QByteArray> out;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) lf = bytes.size();
        out.push_back(bytes.mid(start, lf - start));  // a CR before the LF stays part of the line
        start = lf + 1;
    }
    return out;
}

QByteArray blankTrimmed(QByteArray s) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.isEmpty() && blank(s.front())) s.remove(0, 1);
    while (!s.isEmpty() && blank(s.back())) s.chop(1);
    return s;
}

std::optional<QByteArray> sectionOf(const QByteArray& line) {
    const QByteArray t = blankTrimmed(line);
    if (!t.startsWith('[')) return std::nullopt;
    const auto close = t.indexOf(']');
    if (close < 0) return std::nullopt;
    return blankTrimmed(t.mid(1, close - 1));
}

std::optional<QByteArray> keyOf(const QByteArray& line) {
    const QByteArray t = blankTrimmed(line);
    if (t.isEmpty() || t.startsWith(';') || t.startsWith('[')) return std::nullopt;
    const auto eq = t.indexOf('=');
    if (eq < 0) return std::nullopt;
    return blankTrimmed(t.left(eq));
}

bool sameName(const QByteArray& a, std::string_view b) {
    return a.compare(QByteArray(b.data(), qsizetype(b.size())), Qt::CaseInsensitive) == 0;
}

// Indexes of the lines holding the keys UPDATE writes.
std::set<std::size_t> writtenKeyLines(const std::vector<QByteArray>& lines) {
    std::set<std::size_t> owned;
    for (const SettingsKey& k : settingsKeys()) {
        if (k.updateOrder == 0) continue;
        bool inSection = false, seenSection = false;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (auto s = sectionOf(lines[i])) {
                if (inSection) break;  // only the first section of that name counts
                inSection = !seenSection && sameName(*s, k.section);
                seenSection = seenSection || inSection;
                continue;
            }
            if (auto key = keyOf(lines[i]); inSection && key && sameName(*key, k.key)) {
                owned.insert(i);
                break;
            }
        }
    }
    return owned;
}

// Every line of `before` that UPDATE does not write is in `after`, byte for
// byte and in order; every other line of `after` is a written key, one of the
// three section lines, or blank.
void checkOtherLinesKept(const QByteArray& before, const QByteArray& after) {
    const auto old = fileLines(before);
    const auto ownedOld = writtenKeyLines(old);
    const auto now = fileLines(after);
    const auto ownedNow = writtenKeyLines(now);
    std::vector<QByteArray> kept;
    for (std::size_t i = 0; i < old.size(); ++i)
        if (!ownedOld.count(i)) kept.push_back(old[i]);
    const bool lastHadNoLineEnd = !before.isEmpty() && !before.endsWith('\n');

    std::size_t j = 0;
    for (std::size_t i = 0; i < now.size(); ++i) {
        if (j < kept.size()) {
            const bool last = j + 1 == kept.size() && lastHadNoLineEnd && ownedOld.count(old.size() - 1) == 0;
            // A last line without a line end gets one when something follows it.
            if (now[i] == kept[j] || (last && now[i] == kept[j] + '\r')) {
                ++j;
                continue;
            }
        }
        const bool allowed = ownedNow.count(i) || blankTrimmed(now[i]).isEmpty() ||
                             (sectionOf(now[i]) && (sameName(*sectionOf(now[i]), kSectionGeneral) ||
                                                    sameName(*sectionOf(now[i]), kSectionKelvora) ||
                                                    sameName(*sectionOf(now[i]), kSectionFilter)));
        QVERIFY2(allowed, qPrintable(QStringLiteral("line %1 changed or added: %2").arg(i).arg(QString::fromLatin1(now[i].toPercentEncoding(" =[];'")))));
    }
    QVERIFY2(j == kept.size(), qPrintable(QStringLiteral("line lost: %1").arg(QString::fromLatin1(
                                                                           j < kept.size() ? kept[j].toPercentEncoding(" =[];'") : ""))));
}

}  // namespace

class TestBadInput : public QObject {
    Q_OBJECT
private slots:
    void init();

    void settingsFile_data();
    void settingsFile();
    void storeCodes_data();
    void storeCodes();
    void filters_data();
    void filters();
    void datesAtPickerEnds();

private:
    void startWindow(WindowFixture& f, const QByteArray& extraIni = {});
    std::unique_ptr<QTemporaryDir> dir_;
    test::TestDatabase db_;
};

void TestBadInput::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    db_ = test::createTestDatabase((dir_->path() + "/SALES.FDB").toStdString());
    test::insertPayments(db_, {{"1000.00", day(2005, 5, 1), "0000", "NS", "CASH"},
                               {"234.50", day(2005, 5, 1), "0000", "NS", "CASH"},
                               {"99.99", day(2005, 5, 1), "0000", "NS", "VISA"},
                               {"50.00", day(2005, 5, 1), "0001", "NS", "CASH"}});
}

void TestBadInput::startWindow(WindowFixture& f, const QByteArray& extraIni) {
    writeBytes(f.iniPath(), "[General]\r\nFDB_SALES_FILE=" + QByteArray::fromStdString(db_.location) +
                                "\r\nDEFAULT_STORE=0000\r\n" + extraIni);
    f.start();
    QCOMPARE(f.window->windowTitle(), QStringLiteral("Kelvora - Active"));
    QVERIFY(f.boxes.shown.empty());
}

void TestBadInput::settingsFile_data() {
    QTest::addColumn<QByteArray>("content");
    const QByteArray x3000(3000, 'x');
    const QByteArray binary = QByteArray("\x01\x02\x7f\x80\x9f\xa0\xfe\xff", 8);
    QTest::newRow("binary bytes and NULs")
        << (QByteArray("[General]\r\nDEFAULT_STORE=00") + QByteArray("\0", 1) + "01\r\n" +
            "[Kelvora]\r\nURL=http://example.invalid/?" + binary + "\r\nUSER=" + binary + binary +
            "\r\nDATE=&transactionDateTime=" + QByteArray("\0", 1) + "junk\r\nCASHSales=" + binary +
            "\r\n; a comment " + QByteArray("\0\0\xff", 3) + "\r\n" + QByteArray("\0\0garbage line\r\n", 16) +
            binary + "=" + binary + "\r\n[Kelvora_Filter]\r\nCASHSales=Pymt_MASCODE='CASH'" +
            QByteArray("\0", 1) + " OR 1=1\r\n");
    QTest::newRow("values of 3,000 characters")
        << ("[General]\nDEFAULT_STORE=" + x3000 + "\n[Kelvora]\nURL=" + x3000 + "\nCASHSales=" + x3000 +
            "\nOTHER=" + x3000 + "\n[Kelvora_Filter]\nOTHER=" + x3000 + "\n");
    QTest::newRow("missing sections") << QByteArray("; keys before any section\r\nURL=orphan\r\nPWD=orphan\r\n");
    QTest::newRow("only an unknown section") << QByteArray("[Other]\nURL=elsewhere\nkeep=me");
    QTest::newRow("duplicated keys and sections")
        << QByteArray("[kelvora]\r\nURL=first\r\nurl=second\r\nUSER=u1\r\nCASHSales=&cashSales=1\r\n"
                      "CASHSALES=&cashSales=2\r\n[KELVORA]\r\nURL=third\r\nPWD=p2\r\n[Kelvora_Filter]\r\n"
                      "OTHER=Pymt_MASCODE='A'\r\nOTHER=Pymt_MASCODE='B'\r\n[kelvora_filter]\r\nVISA=x\r\n");
    QTest::newRow("no line end at the end, no [Kelvora_Filter]")
        << QByteArray("[Kelvora]\nURL=u\nOTHER=&others=5");
    QTest::newRow("brackets, blanks and equals signs")
        << QByteArray("[ Kelvora ]\r\n  URL = 'quoted' \r\n[Kelvora\r\nUSER==x=y\r\n=novalue\r\n[]\r\n"
                      "[Kelvora_Filter] trailing\r\nCASHSales=\"Pymt_MASCODE='CASH'\"\r\n");
}

void TestBadInput::settingsFile() {
    QFETCH(QByteArray, content);
    WindowFixture f;
    writeBytes(f.iniPath(), content);
    TfrmKelvora& w = f.start();
    QVERIFY(f.boxes.shown.empty());  // no location in any of them: no connect

    // What start-up read is what the reading rules give, field by field.
    const ProfileFile file(f.iniPath());
    std::map<std::string_view, std::string> shown;
    for (const SettingsKey& k : settingsKeys()) {
        const std::string expected = file.readString(k.section, k.key, k.defaultText);
        QVERIFY(expected.size() <= kProfileValueLimit);
        QCOMPARE(f.edit(std::string(k.windowField).c_str())->text().toLatin1(), QByteArray::fromStdString(expected));
        shown[k.windowField] = expected;
    }

    // The operator changes one field and saves.
    f.edit("edtPassword")->setText(QStringLiteral("new password"));
    shown["edtPassword"] = "new password";
    f.click("BitBtnUPDATE");
    QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"plain", "UPDATE Done."}}));

    // The reload shows what was there: the eleven keys hold the fields' texts.
    for (const SettingsKey& k : settingsKeys()) {
        QCOMPARE(f.edit(std::string(k.windowField).c_str())->text().toLatin1(),
                 QByteArray::fromStdString(shown[k.windowField]));
        if (k.updateOrder > 0) QCOMPARE(file.readString(k.section, k.key, "<none>"), shown[k.windowField]);
    }
    checkOtherLinesKept(content, readBytes(f.iniPath()));

    // A second UPDATE with nothing changed leaves the file as it is.
    const QByteArray once = readBytes(f.iniPath());
    f.click("BitBtnUPDATE");
    QCOMPARE(readBytes(f.iniPath()), once);
    QVERIFY(w.isEnabled());
}

void TestBadInput::storeCodes_data() {
    QTest::addColumn<QString>("store");
    QTest::addColumn<bool>("fitsTheColumn");  // CHAR(4): longer codes are refused by the insert
    QTest::newRow("always true") << "0000' OR '1'='1" << false;
    QTest::newRow("quote and comment") << "0000'--" << false;
    QTest::newRow("second statement") << "'; DELETE FROM STK_PERIOD_CLOSE; --" << false;
    QTest::newRow("backslash before a quote") << "\\' OR 1=1 --" << false;
    QTest::newRow("one quote") << "'" << true;
    QTest::newRow("quote inside") << "O'K" << true;
    QTest::newRow("two quotes") << "''" << true;
    QTest::newRow("double quotes") << "\"0\"" << true;
    QTest::newRow("percent and underscore") << "00%_" << true;
}

void TestBadInput::storeCodes() {
    QFETCH(QString, store);
    QFETCH(bool, fitsTheColumn);
    // The store "0000" already sent 1 May: a check that matched it would refuse the day.
    test::insertJournalRow(db_, {"0000", day(2005, 5, 1), "T", std::string("> START SEND x\r\n")});
    const auto journalBefore = test::readJournalRows(db_);
    const auto paymentsBefore = test::querySql(db_, "SELECT * FROM POS_PAYMENT ORDER BY Pymt_ID");

    WindowFixture f;
    startWindow(f);
    f.edit("edtStore")->setText(store);
    f.click("BitBtnGET");
    QVERIFY(f.boxes.shown.empty());
    for (const PaymentCategory& c : paymentCategories())
        QCOMPARE(f.text(std::string(c.parameterField).c_str()), std::string(c.parameterPrefix) + "0.00");
    QVERIFY(f.window->logText().find("AND Pymt_Store=" + quoteSql(store.toStdString()) + "\r\n") != std::string::npos);

    f.click("BitBtnSEND");
    const auto log = logLines(f.window->logText());
    QCOMPARE(int(std::count(log.begin(), log.end(), "> ERROR > tblPeriodCLOSE.POSTING")), fitsTheColumn ? 0 : 1);
    QCOMPARE(f.launcher.urls.size(), std::size_t(fitsTheColumn ? 1 : 0));

    auto journalAfter = test::readJournalRows(db_);
    QCOMPARE(test::querySql(db_, "SELECT * FROM POS_PAYMENT ORDER BY Pymt_ID"), paymentsBefore);
    QCOMPARE(journalAfter.size(), journalBefore.size() + (fitsTheColumn ? 1 : 0));
    if (fitsTheColumn) {
        const auto it = std::find_if(journalAfter.begin(), journalAfter.end(),
                                     [](const test::JournalRow& r) { return r.store != "0000"; });
        QVERIFY(it != journalAfter.end());
        QCOMPARE(it->store, store.toStdString() + std::string(4 - store.size(), ' '));
        journalAfter.erase(it);
    }
    QCOMPARE(journalAfter, journalBefore);

    // The listing shows the code's own rows only.
    f.window->LabelTab1Click(f.find("LabelTab3"));
    f.find<DatePicker>("wwDBDateTimePicker2")->setDate(QDate(2005, 5, 1));
    f.click("BitBtnRETR");
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.find<QListWidget>("ListBox_GETLog")->count(), fitsTheColumn ? 1 : 0);
}

void TestBadInput::filters_data() {
    QTest::addColumn<QString>("filter");
    QTest::newRow("garbage") << "#$%^&*(";
    QTest::newRow("a second statement") << "1=1; DROP TABLE POS_PAYMENT";
    QTest::newRow("only a comment") << "-- Pymt_MASCODE='CASH'";
    QTest::newRow("unbalanced quote") << "Pymt_MASCODE='CASH";
    QTest::newRow("unbalanced quotes, the other way") << "Pymt_MASCODE=CASH'";
    QTest::newRow("unbalanced parenthesis") << "(Pymt_MASCODE='CASH'";
    QTest::newRow("a statement of its own") << "DELETE FROM POS_PAYMENT";
    QTest::newRow("control characters and high bytes") << QString::fromLatin1("\x01\x02\xff\xfe");
    QTest::newRow("empty") << "";
    QTest::newRow("blanks") << "   ";
    QTest::newRow("as long as the field takes") << QString(40000, QLatin1Char('x'));
}

void TestBadInput::filters() {
    QFETCH(QString, filter);
    const auto paymentsBefore = test::querySql(db_, "SELECT * FROM POS_PAYMENT ORDER BY Pymt_ID");
    WindowFixture f;
    startWindow(f);
    f.edit("FilterCASH")->setText(filter);
    // The field may hold less than was put in; the window's texts are single bytes.
    const std::string typed = f.edit("FilterCASH")->text().toLatin1().toStdString();
    f.click("BitBtnGET");
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=0"));
    QCOMPARE(f.text("edtCreditCardVISA"), std::string("&creditCardVisa=99.99"));
    QCOMPARE(f.text("edtOther"), std::string("&others=0.00"));
    const auto log = logLines(f.window->logText());
    QCOMPARE(int(std::count_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind(kTotalError, 0) == 0; })),
             1);
    // The error entry, with the filter as typed, right after the statement.
    const auto at = std::find(log.begin(), log.end(), kTotalError + typed);
    QVERIFY(at != log.end());
    QCOMPARE(*(at - 1), trimText("AND " + typed));
    QVERIFY(f.find<QPushButton>("BitBtnSEND")->isEnabled());

    // The tables are intact and the connection is still in use.
    QCOMPARE(test::querySql(db_, "SELECT * FROM POS_PAYMENT ORDER BY Pymt_ID"), paymentsBefore);
    QVERIFY(test::readJournalRows(db_).empty());
    QVERIFY(f.window->connection().connected());
    f.click("BitBtnSEND");
    QCOMPARE(test::readJournalRows(db_).size(), std::size_t(1));
}

void TestBadInput::datesAtPickerEnds() {
    WindowFixture f;
    startWindow(f);
    auto* picker = f.find<DatePicker>("wwDBDateTimePicker1");
    const QDate ends[] = {picker->minimumDate(), picker->maximumDate()};
    for (const QDate& end : ends) {
        picker->setDate(end);
        QCOMPARE(picker->date(), end);
        f.click("BitBtnGET");
        QVERIFY2(f.boxes.shown.empty(), qPrintable(end.toString(Qt::ISODate)));
        QCOMPARE(f.text("edtCASH"), std::string("&cashSales=0.00"));
        QCOMPARE(f.text("edtDate"), "&transactionDateTime=" + std::to_string(end.day()) + "-" +
                                        end.toString(QStringLiteral("MMM")).toStdString() + "-" +
                                        std::to_string(end.year()));
        f.click("BitBtnSEND");
        QCOMPARE(f.launcher.urls.size(), std::size_t(&end - ends + 1));
        f.click("BitBtnGET");  // sent now: found
        QCOMPARE(f.boxes.shown, (std::vector<ShownBox>{{"error", "Sales Date [SEND] found"}}));
        f.boxes.shown.clear();
    }
    const auto rows = test::readJournalRows(db_);
    QCOMPARE(rows.size(), std::size_t(2));
    QCOMPARE(rows[0].date, day(ends[0].year(), ends[0].month(), ends[0].day()));
    QCOMPARE(rows[1].date, day(ends[1].year(), ends[1].month(), ends[1].day()));

    // The whole range in the listing, and a range the wrong way round.
    f.window->LabelTab1Click(f.find("LabelTab3"));
    f.find<DatePicker>("wwDBDateTimePicker2")->setDate(ends[0]);
    f.find<DatePicker>("wwDBDateTimePicker3")->setDate(ends[1]);
    f.click("BitBtnRETR");
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.find<QListWidget>("ListBox_GETLog")->count(), 2);
    f.find<DatePicker>("wwDBDateTimePicker2")->setDate(ends[1]);
    f.find<DatePicker>("wwDBDateTimePicker3")->setDate(ends[0]);
    f.click("BitBtnRETR");
    QVERIFY(f.boxes.shown.empty());
    QCOMPARE(f.find<QListWidget>("ListBox_GETLog")->count(), 0);
}

QTEST_MAIN(TestBadInput)
#include "test_bad_input.moc"
