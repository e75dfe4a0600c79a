// "SEND" against a real embedded database: the log, the journal row, the
// browser start and what a failure leaves behind.

#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "period_close_journal.h"
#include "sales_test_db.h"
#include "sql_connection.h"
#include "sql_query.h"
#include "submission.h"
#include "test_support.h"

using namespace kelvora;
using kelvora::submit::SendInput;
using Fields = std::array<std::string, kSubmissionFieldCount>;

namespace {

// Line 1 and line 13 each read the clock: the second reading differs.
class SteppingClock final : public IClock {
public:
    explicit SteppingClock(std::vector<LocalDateTime> times) : times_(std::move(times)) {}
    LocalDateTime now() const override {
        const LocalDateTime t = times_[std::min(next_, times_.size() - 1)];
        ++next_;
        return t;
    }

private:
    std::vector<LocalDateTime> times_;
    mutable std::size_t next_ = 0;
};

class RecordingView final : public submit::ISendView {
public:
    std::vector<std::string> log;
    bool ignore = false;
    bool sendEnabled = true;
    int clears = 0;
    mutable int ignoreReads = 0;
    mutable std::size_t linesWhenIgnoreRead = 0;

    void addToLog(const std::string& text) override { log.push_back(text); }
    void clearLog() override {
        log.clear();
        ++clears;
    }
    bool ignoreDateFound() const override {
        ++ignoreReads;
        linesWhenIgnoreRead = log.size();
        return ignore;
    }
    void disableSend() override { sendEnabled = false; }
};

class RecordingLauncher final : public submit::IBrowserLauncher {
public:
    std::vector<std::string> urls;
    bool refuse = false;
    std::function<void()> onOpen;

    void open(const std::string& url) override {
        urls.push_back(url);
        if (onOpen) onOpen();
        if (refuse) throw std::runtime_error("no browser");
    }
};

const CalendarDate kSalesDate{2005, 5, 1};
const LocalDateTime kStart{{2005, 5, 2}, 9, 5, 7};
const LocalDateTime kEnd{{2005, 5, 2}, 13, 0, 9};
const std::string kServiceUrl = "http://sales.kelvora.example/SubmitSales.asmx/SubmitSalesTransaction?";

// The fields as a "GET Sales" run leaves them.
Fields gotSalesFields() {
    return {kServiceUrl,
            "userName=YR34418054",
            "&password=70261384",
            "&transactionDateTime=1-May-2005",
            "&cashSales=1234.50",
            "&creditCardVisa=200.00",
            "&creditCardMaster=0.00",
            "&creditCardAmex=15.25",
            "&creditCardOthers=0.00",
            "&others=7.10"};
}

const std::string kGotSalesUrl = kServiceUrl +
                                 "userName=YR34418054&password=70261384&transactionDateTime=1-May-2005"
                                 "&cashSales=1234.50&creditCardVisa=200.00&creditCardMaster=0.00"
                                 "&creditCardAmex=15.25&creditCardOthers=0.00&others=7.10";

// Lines 1 to 11 for those fields; no user, password or transaction date.
const std::vector<std::string> kMemoLines = {
    "> START SEND 02/05/2005 09:05:07 AM",
    "> Transaction Date 1-May-2005",
    ">",
    ">" + kServiceUrl,
    ">",
    ">&cashSales=1234.50",
    ">&creditCardVisa=200.00",
    ">&creditCardMaster=0.00",
    ">&creditCardAmex=15.25",
    ">&creditCardOthers=0.00",
    ">&others=7.10",
};
const std::string kErrorLine = "> ERROR > tblPeriodCLOSE.POSTING";
const std::string kEndLine = "> END 02/05/2005 01:00:09 PM";

std::string memoOf(const std::vector<std::string>& lines) {
    std::string memo;
    for (const auto& l : lines) memo += l + "\r\n";
    return memo;
}

salesdb::Timestamp midnight(CalendarDate d) { return salesdb::Timestamp{d, 0, 0, 0, 0}; }

QString show(const std::vector<std::string>& lines) {
    QStringList out;
    for (const auto& l : lines) out << QString::fromLatin1(l.c_str());
    return out.join('\n');
}

}  // namespace

class TestSubmission : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> dir_;
    test::TestDatabase db_;
    std::unique_ptr<salesdb::SqlConnection> connection_;
    std::unique_ptr<salesdb::SqlStatement> insert_;
    RecordingView view_;
    RecordingLauncher launcher_;
    RegionalSettings regional_ = RegionalSettings::englishUnitedStates();

    void connectTo(const std::string& location) {
        if (insert_) insert_.reset();
        if (connection_) connection_->close();
        connection_ = std::make_unique<salesdb::SqlConnection>(salesdb::makeFirebirdClient());
        connection_->setParameterList(salesdb::connectParameterList(location));
        insert_ = std::make_unique<salesdb::SqlStatement>(*connection_, salesdb::journalInsertLines());
    }

    void send(const SendInput& input) {
        const SteppingClock clock({kStart, kEnd});
        submit::runSend(*insert_, input, view_, launcher_, regional_, clock);
    }

    std::vector<test::JournalRow> journal() { return test::readJournalRows(db_); }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        if (!dir_->isValid()) kelvora::test::skipAll("no temporary folder");
        try {
            db_ = test::createTestDatabase(dir_->filePath("sales.fdb").toStdString());
        } catch (const std::exception& e) {
            kelvora::test::skipAll(e.what());
        }
        connectTo(db_.location);
        view_ = RecordingView{};
        // What the last "GET Sales" logged: "SEND" starts the log afresh.
        view_.log = {"> START 02/05/2005 09:01:00 AM", "< END 02/05/2005 09:01:01 AM"};
        launcher_ = RecordingLauncher{};
    }

    void cleanup() {
        insert_.reset();
        if (connection_) connection_->close();
        connection_.reset();
        dir_.reset();
    }

    void sendOutcomes_data() {
        QTest::addColumn<bool>("ignore");
        QTest::addColumn<QByteArray>("store");
        QTest::addColumn<bool>("databaseMissing");
        QTest::addColumn<bool>("browserRefuses");
        QTest::addColumn<bool>("expectRow");
        QTest::addColumn<QByteArray>("storedAs");
        QTest::addColumn<bool>("expectBrowser");
        QTest::addColumn<bool>("expectError");

        //                                 ignore  store      missing refuses row    stored    browser error
        QTest::newRow("sent")                << false << QByteArray("0000") << false << false << true  << QByteArray("0000") << true  << false;
        QTest::newRow("short store")         << false << QByteArray("01")   << false << false << true  << QByteArray("01  ") << true  << false;
        QTest::newRow("empty store")         << false << QByteArray("")     << false << false << true  << QByteArray("    ") << true  << false;
        QTest::newRow("ignore date found")   << true  << QByteArray("0000") << false << false << false << QByteArray()       << true  << false;
        QTest::newRow("store too long")      << false << QByteArray("00001")<< false << false << false << QByteArray()       << false << true;
        QTest::newRow("database missing")    << false << QByteArray("0000") << true  << false << false << QByteArray()       << false << true;
        QTest::newRow("ignored, db missing") << true  << QByteArray("0000") << true  << false << false << QByteArray()       << true  << false;
        QTest::newRow("browser refuses")     << false << QByteArray("0000") << false << true  << true  << QByteArray("0000") << true  << true;
    }

    void sendOutcomes() {
        QFETCH(bool, ignore);
        QFETCH(QByteArray, store);
        QFETCH(bool, databaseMissing);
        QFETCH(bool, browserRefuses);
        QFETCH(bool, expectRow);
        QFETCH(QByteArray, storedAs);
        QFETCH(bool, expectBrowser);
        QFETCH(bool, expectError);

        if (databaseMissing) connectTo(dir_->filePath("missing.fdb").toStdString());
        view_.ignore = ignore;
        launcher_.refuse = browserRefuses;
        // The row must be stored before the browser is handed the URL.
        std::size_t rowsAtOpen = 0;
        launcher_.onOpen = [&] { rowsAtOpen = journal().size(); };

        send(SendInput{gotSalesFields(), kSalesDate, store.toStdString()});

        std::vector<std::string> expectedLog = kMemoLines;
        if (expectError) expectedLog.push_back(kErrorLine);
        expectedLog.push_back(kEndLine);
        QCOMPARE(show(view_.log), show(expectedLog));
        QCOMPARE(view_.clears, 1);
        QCOMPARE(view_.ignoreReads, 1);
        QCOMPARE(view_.linesWhenIgnoreRead, kMemoLines.size());
        QVERIFY(!view_.sendEnabled);

        if (expectBrowser) {
            QCOMPARE(launcher_.urls, std::vector<std::string>{kGotSalesUrl});
            QCOMPARE(rowsAtOpen, std::size_t(expectRow ? 1 : 0));
        } else {
            QVERIFY(launcher_.urls.empty());
        }

        const auto rows = journal();
        if (!expectRow) {
            QCOMPARE(rows.size(), std::size_t(0));
            return;
        }
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0].store, storedAs.toStdString());
        QVERIFY(rows[0].date == midnight(kSalesDate));
        QCOMPARE(rows[0].period, std::string("T"));
        QVERIFY(rows[0].memo.has_value());
        QCOMPARE(QString::fromLatin1(rows[0].memo->c_str()), QString::fromLatin1(memoOf(kMemoLines).c_str()));
    }

    // The row records the day and store that were summed and sent, and the
    // next "GET Sales" for that day and store finds it; the URL carries the
    // fields as they stand.
    void journalsTheRunsDateAndStore() {
        Fields fields = gotSalesFields();
        fields[3] = "&transactionDateTime=30-Apr-2005";
        const CalendarDate sent{2005, 4, 30};

        send(SendInput{fields, sent, "0042"});

        QCOMPARE(view_.log.at(1), std::string("> Transaction Date 30-Apr-2005"));
        QCOMPARE(launcher_.urls.size(), std::size_t(1));
        QVERIFY(launcher_.urls[0].find("&transactionDateTime=30-Apr-2005&cashSales=") != std::string::npos);
        const auto rows = journal();
        QCOMPARE(rows.size(), std::size_t(1));
        QCOMPARE(rows[0].store, std::string("0042"));
        QVERIFY(rows[0].date == midnight(sent));

        salesdb::SqlQuery check(*connection_);
        const auto found = [&](const std::string& store, CalendarDate date) {
            check.setLines({salesdb::alreadySentQuery(store, date)});
            check.open();
            const bool any = !check.result().eof();
            check.close();
            return any;
        };
        QVERIFY(found("0042", sent));
        QVERIFY(!found("0000", sent));
        QVERIFY(!found("0042", kSalesDate));
    }

    // Whatever the operator typed reaches the log, the memo and the URL byte
    // for byte: quotes, blanks, "&", "%" and characters beyond ASCII.
    void typedTextKeptByteForByte() {
        Fields fields = gotSalesFields();
        fields[1] = "userName=O'Neil Smith";
        fields[2] = "&password=a&b;c\"d%20$(x)";
        fields[4] = "&cashSales=12,5 'x'";
        fields[9] = "&others=caf\xE9";

        send(SendInput{fields, kSalesDate, "0000"});

        QCOMPARE(launcher_.urls.size(), std::size_t(1));
        QCOMPARE(launcher_.urls[0], submit::submissionUrl(fields));
        QVERIFY(launcher_.urls[0].find("userName=O'Neil Smith&password=a&b;c\"d%20$(x)&") != std::string::npos);
        QCOMPARE(view_.log.at(5), std::string(">&cashSales=12,5 'x'"));
        QCOMPARE(view_.log.at(10), std::string(">&others=caf\xE9"));
        const auto rows = journal();
        QCOMPARE(rows.size(), std::size_t(1));
        QVERIFY(rows[0].memo.has_value());
        const std::vector<std::string> memoLines(view_.log.begin(), view_.log.begin() + 11);
        QVERIFY(*rows[0].memo == memoOf(memoLines));
    }

    void submissionUrl_data() {
        QTest::addColumn<QByteArrayList>("fields");
        QTest::addColumn<QByteArray>("url");
        QByteArrayList defaults;
        for (const auto& f : submissionFields()) defaults << QByteArray::fromStdString(f.defaultText);
        QTest::newRow("defaults")
            << defaults
            << QByteArray::fromStdString(std::string(kDefaultServiceUrl)) +
                   "userName=YR34418054&password=70261384&transactionDateTime=1-May-2005&cashSales=0"
                   "&creditCardVisa=0&creditCardMaster=0&creditCardAmex=0&creditCardOthers=0&others=0";
        QTest::newRow("nothing added or escaped")
            << QByteArrayList{"http://h/a b?", "userName=J S", "&password=%&?#", "", "&cashSales= 1",
                              "", "x", "", "\"", "&others="}
            << QByteArray("http://h/a b?userName=J S&password=%&?#&cashSales= 1x\"&others=");
    }

    void submissionUrl() {
        QFETCH(QByteArrayList, fields);
        QFETCH(QByteArray, url);
        QCOMPARE(fields.size(), qsizetype(kSubmissionFieldCount));
        Fields f;
        for (std::size_t i = 0; i < f.size(); ++i) f[i] = fields[qsizetype(i)].toStdString();
        QCOMPARE(QByteArray::fromStdString(submit::submissionUrl(f)), url);
    }
};

QTEST_GUILESS_MAIN(TestSubmission)
#include "test_submission.moc"
