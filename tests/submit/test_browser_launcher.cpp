// The real launcher against a stand-in xdg-open placed first on PATH.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "browser_launcher.h"
#include "test_support.h"

using kelvora::submit::XdgOpenLauncher;

namespace {

constexpr int kLeakedFd = 57;

bool waitFor(const QString& path, int ms) {
    QElapsedTimer t;
    t.start();
    while (!QFile::exists(path)) {
        if (t.elapsed() > ms) return false;
        QThread::msleep(20);
    }
    return true;
}

// What the stand-in wrote: "key value" lines.
struct Record {
    qint64 pid = -1;
    quint64 sigBlk = ~0ull;
    quint64 sigIgn = ~0ull;
    QStringList fds;
    int argc = -1;
    QStringList args;
};

Record readRecord(const QString& path) {
    Record r;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return r;
    const QString text = QString::fromLatin1(f.readAll());
    for (const QString& line : text.split('\n')) {
        // "key value"; /proc's own lines put a tab after the key.
        static const QRegularExpression separator(QStringLiteral("[ \t]"));
        const qsizetype sp = line.indexOf(separator);
        const QString key = line.left(sp < 0 ? line.size() : sp);
        const QString value = sp < 0 ? QString() : line.mid(sp + 1);
        if (key == "pid") r.pid = value.toLongLong();
        else if (key == "SigBlk:") r.sigBlk = value.trimmed().toULongLong(nullptr, 16);
        else if (key == "SigIgn:") r.sigIgn = value.trimmed().toULongLong(nullptr, 16);
        else if (key == "fds") r.fds = value.split(' ', Qt::SkipEmptyParts);
        else if (key == "argc") r.argc = value.toInt();
        else if (key == "arg") r.args << value;
    }
    return r;
}

bool isGoneOrAlive(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    const QByteArray s = stat.readAll();
    const qsizetype close = s.lastIndexOf(')');
    return close < 0 || s.mid(close + 2, 1) != "Z";
}

// Children of this process that ended and were never waited for.
int zombieChildren() {
    int count = 0;
    const QString self = QString::number(::getpid());
    for (const QString& entry : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + entry + "/stat");
        if (!stat.open(QIODevice::ReadOnly)) continue;
        const QByteArray s = stat.readAll();
        const qsizetype close = s.lastIndexOf(')');
        if (close < 0) continue;
        const QList<QByteArray> rest = s.mid(close + 2).split(' ');
        if (rest.size() > 1 && rest[0] == "Z" && rest[1] == self.toLatin1()) ++count;
    }
    return count;
}

quint64 bit(int sig) { return 1ull << (sig - 1); }

}  // namespace

class TestBrowserLauncher : public QObject {
    Q_OBJECT

    QTemporaryDir work_;
    QString bin_;
    QByteArray oldPath_;
    QString oldCwd_;
    int runs_ = 0;

    QString nextRecord() { return work_.filePath(QStringLiteral("record%1").arg(++runs_)); }

private slots:
    void initTestCase() {
        const QByteArray source = qgetenv("KELVORA_SOURCE_DIR");
        if (source.isEmpty() || !work_.isValid()) kelvora::test::skipAll("no source dir or temporary dir");
        const QString standIn = QString::fromLocal8Bit(source) + "/tests/submit/xdg-open";
        bin_ = work_.filePath("bin");
        QDir().mkpath(bin_);
        // A copy, so the execute bit does not depend on how the tree was checked out.
        const QString target = bin_ + "/xdg-open";
        if (!QFile::copy(standIn, target) ||
            !QFile::setPermissions(target, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadUser | QFile::ExeUser))
            kelvora::test::skipAll("cannot install the stand-in xdg-open");
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin_) + ":" + oldPath_);
        // A shell that ran the URL would create its files here.
        oldCwd_ = QDir::currentPath();
        QDir::setCurrent(work_.path());
    }

    void cleanupTestCase() {
        qputenv("PATH", oldPath_);
        QDir::setCurrent(oldCwd_);
    }

    void urlArrivesAsOneUnchangedArgument_data() {
        QTest::addColumn<QString>("url");
        QTest::newRow("plain") << "http://h/SubmitSales.asmx/SubmitSalesTransaction?userName=a&password=b";
        QTest::newRow("blanks and ampersands") << "http://h/x?userName=John Smith&password=p w&&cashSales=1";
        QTest::newRow("semicolons and quotes") << "http://h/x?userName=a;touch x;&password='\"; touch x; echo \"'";
        QTest::newRow("command substitution") << "http://h/x?password=$(touch x)&others=`touch x`";
        QTest::newRow("redirections and globs") << "http://h/x?p=>x <y |touch x * ~ ${HOME} \\n";
        QTest::newRow("empty") << "";
    }

    void urlArrivesAsOneUnchangedArgument() {
        QFETCH(QString, url);
        const QString record = nextRecord();
        qputenv("KELVORA_XDG_RECORD", QFile::encodeName(record));
        qputenv("KELVORA_XDG_LINGER", "0");

        XdgOpenLauncher().open(url.toStdString());

        QVERIFY2(waitFor(record, 10000), "the stand-in was not started");
        const Record r = readRecord(record);
        QCOMPARE(r.argc, 1);
        QCOMPARE(r.args, QStringList{url});
        QVERIFY(waitFor(record + ".done", 10000));
        QVERIFY2(!QFile::exists(work_.filePath("x")), "the URL was run by a shell");
    }

    // The caller does not wait for the browser, the browser gets a clean signal
    // state and none of our descriptors, and the finished child is reaped.
    void startsDetachedCleanAndReaped() {
        const QString record = nextRecord();
        qputenv("KELVORA_XDG_RECORD", QFile::encodeName(record));
        qputenv("KELVORA_XDG_LINGER", "2");

        // As the program's main thread: SIGINT and SIGTERM blocked, SIGPIPE ignored.
        sigset_t block, oldMask;
        sigemptyset(&block);
        sigaddset(&block, SIGINT);
        sigaddset(&block, SIGTERM);
        QCOMPARE(pthread_sigmask(SIG_BLOCK, &block, &oldMask), 0);
        struct sigaction ignore {}, oldPipe {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, &oldPipe);
        // A descriptor without close-on-exec, as a library might leave one.
        const int fd = ::open("/dev/null", O_RDONLY);
        QVERIFY(fd >= 0);
        QVERIFY(::dup2(fd, kLeakedFd) == kLeakedFd);
        ::close(fd);

        QElapsedTimer t;
        t.start();
        XdgOpenLauncher().open("http://h/x?a=1");
        const qint64 took = t.elapsed();

        ::close(kLeakedFd);
        sigaction(SIGPIPE, &oldPipe, nullptr);
        pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);

        QVERIFY2(took < 1500, qPrintable(QStringLiteral("open() took %1 ms").arg(took)));
        QVERIFY2(!QFile::exists(record + ".done"), "open() waited for the browser");

        QVERIFY2(waitFor(record, 10000), "the stand-in was not started");
        const Record r = readRecord(record);
        QCOMPARE(r.argc, 1);
        QVERIFY(r.pid > 0);
        QCOMPARE(r.sigBlk & (bit(SIGINT) | bit(SIGTERM)), 0ull);
        QCOMPARE(r.sigIgn & (bit(SIGINT) | bit(SIGTERM) | bit(SIGPIPE)), 0ull);
        QVERIFY2(!r.fds.contains(QString::number(kLeakedFd)), qPrintable(r.fds.join(' ')));

        QVERIFY(waitFor(record + ".done", 10000));
        QElapsedTimer reap;
        reap.start();
        while (!isGoneOrAlive(r.pid) && reap.elapsed() < 5000) QThread::msleep(20);
        QVERIFY2(isGoneOrAlive(r.pid), "the finished child stays a zombie");
    }

    void missingProgramReportsNothing() {
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(work_.filePath("nowhere")));
        XdgOpenLauncher().open("http://h/x?a=1");
        qputenv("PATH", path);
        QCOMPARE(zombieChildren(), 0);
    }
};

QTEST_GUILESS_MAIN(TestBrowserLauncher)
#include "test_browser_launcher.moc"
