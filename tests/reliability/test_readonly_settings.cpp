// A settings folder or file that becomes read-only between start-up and
// "UPDATE": the write is refused with "Unable to write to <path>." in the
// unhandled-failure box, nothing after the failed write runs, the file keeps
// every byte, no stray file is left, and the window goes on. Run as user
// nobody in a helper process, since root's writes are never refused.

#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include "test_support.h"

namespace {

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool setMode(const QString& path, mode_t mode) { return ::chmod(QFile::encodeName(path).constData(), mode) == 0; }

}  // namespace

class TestReadonlySettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void refusedUpdate_data();
    void refusedUpdate();

private:
    QTemporaryDir dir_;
    QString helper_;
    QString runtime_;
};

void TestReadonlySettings::initTestCase() {
    if (::geteuid() != 0) kelvora::test::skipAll("needs root to run the window as user nobody");
    QVERIFY(dir_.isValid());
    // The user must reach the folders and a copy of the helper.
    QVERIFY(setMode(dir_.path(), 0755));
    helper_ = dir_.path() + "/helper";
    QVERIFY(QFile::copy(QStringLiteral(KELVORA_WINDOW_HELPER), helper_));
    QVERIFY(setMode(helper_, 0755));
    // Qt's runtime folder for the helper, instead of one of its own in /tmp.
    runtime_ = dir_.path() + "/runtime";
    QVERIFY(QDir().mkdir(runtime_));
    QCOMPARE(::chown(QFile::encodeName(runtime_).constData(), 65534, 65534), 0);
    QVERIFY(setMode(runtime_, 0700));
}

void TestReadonlySettings::refusedUpdate_data() {
    QTest::addColumn<bool>("fileExists");
    QTest::addColumn<int>("folderModeAfter");
    QTest::addColumn<int>("fileModeAfter");
    QTest::addColumn<bool>("refused");
    QTest::newRow("control: nothing taken away") << true << 0777 << 0666 << false;
    QTest::newRow("folder read-only, file writable") << true << 0555 << 0666 << true;
    QTest::newRow("folder read-only, no file yet") << false << 0555 << 0 << true;
    QTest::newRow("file read-only, folder writable") << true << 0777 << 0444 << true;
}

void TestReadonlySettings::refusedUpdate() {
    QFETCH(bool, fileExists);
    QFETCH(int, folderModeAfter);
    QFETCH(int, fileModeAfter);
    QFETCH(bool, refused);

    static int serial = 0;
    const QString folder = dir_.path() + "/app" + QString::number(++serial);
    QVERIFY(QDir().mkdir(folder));
    QVERIFY(setMode(folder, 0777));
    const QString ini = folder + "/Kelvora.ini";
    const QByteArray content = QByteArray("; written by hand\r\n[General]\r\nDEFAULT_STORE=0007\r\n"
                                          "[Kelvora]\r\nUSER=before\r\nDATE=&transactionDateTime=x\r\n");
    if (fileExists) {
        QFile file(ini);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
        file.close();
        QVERIFY(setMode(ini, 0666));
    }

    QProcess helper;
    helper.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime_);
    helper.setProcessEnvironment(env);
    helper.start(QStringLiteral("setpriv"), {"--reuid=nobody", "--regid=nogroup", "--clear-groups", helper_, folder});
    if (!helper.waitForStarted(10000) || !helper.waitForReadyRead(30000))
        kelvora::test::skipAll("cannot run the window as user nobody with setpriv");
    const QByteArray ready = helper.readLine().trimmed();
    if (ready != "READY uid=65534") kelvora::test::skipAll(("the helper did not start as nobody: " + ready).constData());

    // Between start-up and UPDATE, the write permission goes.
    QVERIFY(setMode(folder, static_cast<mode_t>(folderModeAfter)));
    if (fileExists) QVERIFY(setMode(ini, static_cast<mode_t>(fileModeAfter)));
    helper.write("go\n");
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(60000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);

    QStringList expected;
    if (refused)
        expected << "BOX unhandled " + QString::fromLatin1(("Unable to write to " + ini.toLatin1() + ".").toPercentEncoding());
    else
        expected << "BOX plain " + QString::fromLatin1(QByteArray("UPDATE Done.").toPercentEncoding());
    expected << "BOX error " + QString::fromLatin1(QByteArray("GET Sales unknown ERROR.").toPercentEncoding());
    // The field keeps what the operator typed, refused or not.
    expected << "FIELD edtUser " + QString::fromLatin1(QByteArray("changed by operator").toPercentEncoding()) << "DONE";
    QCOMPARE(QString::fromLatin1(helper.readAll()).split('\n', Qt::SkipEmptyParts), expected);

    QVERIFY(setMode(folder, 0755));
    const QStringList entries = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    if (refused) {
        QCOMPARE(readBytes(ini), fileExists ? content : QByteArray());
        QCOMPARE(QFile::exists(ini), fileExists);
        QCOMPARE(entries, fileExists ? QStringList{"Kelvora.ini"} : QStringList());
    } else {
        const QByteArray now = readBytes(ini);
        QVERIFY(now.contains("\r\nUSER=changed by operator\r\n"));
        QVERIFY(now.startsWith("; written by hand\r\n[General]\r\n"));
        QVERIFY(now.contains("\r\nDATE=&transactionDateTime=x\r\n"));
        QCOMPARE(entries, QStringList{"Kelvora.ini"});
    }
}

QTEST_GUILESS_MAIN(TestReadonlySettings)
#include "test_readonly_settings.moc"
