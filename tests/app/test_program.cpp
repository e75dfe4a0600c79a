// The real executable: started beside its settings file, it shows its window
// and ends with exit code 0 when asked to close by SIGTERM or SIGINT, with
// the embedded database released (the same file opens again at once).

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "sales_test_db.h"

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void closesOnSignal_data();
    void closesOnSignal();
};

void TestProgram::closesOnSignal_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("withDatabase");
    QTest::newRow("SIGTERM, demo-like database") << int(SIGTERM) << true;
    QTest::newRow("SIGINT, no settings file") << int(SIGINT) << false;
}

void TestProgram::closesOnSignal() {
    QFETCH(int, signal);
    QFETCH(bool, withDatabase);
    const QString exe = qEnvironmentVariable("KELVORA_BINARY_DIR") + "/app/Kelvora";
    QVERIFY2(QFile::exists(exe), qPrintable(exe));
    QTemporaryDir dir;
    const QString copy = dir.path() + "/Kelvora";
    QVERIFY(QFile::copy(exe, copy));
    const std::string db = (dir.path() + "/SALES.FDB").toStdString();
    if (withDatabase) {
        kelvora::test::createTestDatabase(db);
        QFile ini(dir.path() + "/Kelvora.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(("[General]\nFDB_SALES_FILE=" + db + "\n").c_str());
    }

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    program.start(copy, {});
    QVERIFY(program.waitForStarted());
    QTest::qWait(2500);  // start-up: connection, settings, window shown
    QCOMPARE(program.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(program.processId()), signal);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    // The file is free again: another engine instance opens it at once.
    if (withDatabase) QVERIFY(kelvora::test::readJournalRows({db, 3}).empty());
}

QTEST_GUILESS_MAIN(TestProgram)
#include "test_program.moc"
