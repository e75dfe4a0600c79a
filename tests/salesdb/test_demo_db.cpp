// kelvora-demo-db: the demo database and settings file it leaves behind.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>

#include "profile_file.h"
#include "sales_test_db.h"
#include "test_support.h"

using namespace kelvora;

class TestDemoDb : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void createsDemoDatabaseAndSettings();
    void leavesExistingFilesAlone();
    void refusesBadArguments_data();
    void refusesBadArguments();

private:
    int run(const QStringList& args, QString* out = nullptr) {
        QProcess p;
        p.setWorkingDirectory(dir_.path());
        p.start(KELVORA_DEMO_DB_TOOL, args);
        if (!p.waitForFinished(120000)) return -1;
        if (out) *out = QString::fromLocal8Bit(p.readAllStandardOutput() + p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QTemporaryDir dir_;
};

void TestDemoDb::initTestCase() {
    if (!dir_.isValid()) test::skipAll("no temporary folder");
    if (!QFile::exists(KELVORA_DEMO_DB_TOOL)) test::skipAll("kelvora-demo-db not built");
}

void TestDemoDb::createsDemoDatabaseAndSettings() {
    QString out;
    // A relative path: the settings file must name the database absolutely.
    QCOMPARE(run({"demo.fdb", "--ini", "Kelvora.ini", "--today", "2005-05-02"}, &out), 0);
    const std::string location = (dir_.path() + "/demo.fdb").toStdString();
    QVERIFY2(QFile::exists(QString::fromStdString(location)), qPrintable(out));

    const ProfileFile ini((dir_.path() + "/Kelvora.ini").toStdString());
    QCOMPARE(ini.readString("General", "FDB_SALES_FILE", ""), location);
    QCOMPARE(ini.readString("General", "DEFAULT_STORE", ""), std::string("0000"));

    const test::TestDatabase db{location, 3};
    const auto codes = test::querySql(
        db, "select Pymt_MASCODE, count(distinct Pymt_Store), min(Pymt_CloseDate), max(Pymt_CloseDate) "
            "from POS_PAYMENT group by 1 order by 1");
    QStringList seen;
    for (const auto& row : codes) {
        seen << QString::fromStdString(*row[0]);
        QCOMPARE(*row[1], std::string("2"));  // both stores use every code
        QCOMPARE(*row[3], std::string("2005-05-01 00:00:00"));  // up to yesterday, dated at midnight
    }
    for (const char* code : {"CASH", "VISA", "MASTER", "AMEX", "EDC", "OTHER", "GC"})
        QVERIFY2(seen.contains(code), qPrintable(seen.join(',')));

    const auto shares = test::querySql(
        db, "select count(*), sum(case when Pymt_Status = 'NS' then 1 else 0 end), "
            "sum(case when Pymt_ACTPAID * 100 <> floor(Pymt_ACTPAID) * 100 then 1 else 0 end), "
            "min(Pymt_CloseDate), count(distinct Pymt_CloseDate) from POS_PAYMENT");
    const double all = std::stod(*shares[0][0]);
    QVERIFY(all > 500);
    QVERIFY(std::stod(*shares[0][1]) > 0.8 * all);  // mostly "NS"
    QVERIFY(std::stod(*shares[0][2]) > 0.5 * all);  // amounts with cents
    QCOMPARE(*shares[0][4], std::string("28"));     // every day of the recent weeks

    // The day before --today is there for store "0000" through the program's own query.
    const auto cash = test::querySql(db, "Select Sum(Pymt_ACTPAID) From POS_PAYMENT\r\nWHERE Pymt_CloseDate='05/01/2005'\r\n"
                                         "AND Pymt_Store='0000'\r\nAND Pymt_Status='NS'\r\nAND Pymt_MASCODE='CASH'\r\n");
    QVERIFY(cash[0][0].has_value());
    QVERIFY(std::stod(*cash[0][0]) > 0);
    // Older days are already sent, as "SEND" journals them; the last two are not,
    // so the first GET Sales of yesterday goes through.
    const auto journal = test::readJournalRows(db);
    QCOMPARE(journal.size(), std::size_t(26));
    QCOMPARE(journal.back().date, (salesdb::Timestamp{{2005, 4, 29}, 0, 0, 0, 0}));
    for (const auto& row : journal) {
        QCOMPARE(row.store, std::string("0000"));
        QVERIFY(row.memo && row.memo->rfind("> START SEND ", 0) == 0);
        QCOMPARE(std::count(row.memo->begin(), row.memo->end(), '\n'), 11L);
    }
}

void TestDemoDb::leavesExistingFilesAlone() {
    const QString dbPath = dir_.path() + "/existing.fdb";
    const QString iniPath = dir_.path() + "/existing.ini";
    for (const QString& path : {dbPath, iniPath}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("not a database");
    }
    QString out;
    QCOMPARE(run({dbPath, "--ini", iniPath}, &out), 0);
    QVERIFY2(out.contains("left alone"), qPrintable(out));
    for (const QString& path : {dbPath, iniPath}) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("not a database"));
    }
}

void TestDemoDb::refusesBadArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("no path") << QStringList{};
    QTest::newRow("bad date") << QStringList{"x.fdb", "--today", "2005-02-30"};
    QTest::newRow("date without value") << QStringList{"x.fdb", "--today"};
    QTest::newRow("unknown option") << QStringList{"x.fdb", "--force"};
}

void TestDemoDb::refusesBadArguments() {
    QFETCH(QStringList, args);
    QCOMPARE(run(args), 2);
    QVERIFY(!QFile::exists(dir_.path() + "/x.fdb"));
}

QTEST_GUILESS_MAIN(TestDemoDb)
#include "test_demo_db.moc"
