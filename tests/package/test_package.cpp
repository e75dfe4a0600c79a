// The installed program: `cmake --install` into a temporary root lays out the
// program's folder, the shell link, the desktop entry and the icon; the
// installed program, started through the link, reads "Kelvora.ini" beside
// its real executable, and ends with exit code 0 on SIGTERM. The Debian
// package built by CPack from the same install rules holds the same files
// and depends on packages that exist.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>

#include "sales_test_db.h"
#include "test_support.h"

namespace {

const QString kProgramDir = QStringLiteral("opt/kelvora");

struct Run {
    int exitCode = -1;
    QString out;
};

Run run(const QString& program, const QStringList& args, const QProcessEnvironment& env = {}, int timeoutMs = 120000) {
    QProcess p;
    if (!env.isEmpty()) p.setProcessEnvironment(env);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForStarted() || !p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.out = program + QStringLiteral(" did not finish");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromLocal8Bit(p.readAll());
    return r;
}

// True once the process holds `path` open.
bool holdsOpen(qint64 pid, const QString& path) {
    const QString fdDir = QStringLiteral("/proc/%1/fd").arg(pid);
    for (const QFileInfo& fd : QDir(fdDir).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
        if (fd.symLinkTarget() == path) return true;
    return false;
}

}  // namespace

class TestPackage : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void installedTree_data();
    void installedTree();
    void desktopEntry();
    void installedProgramStartsAndEndsOnSigterm();
    void debianPackage();
    void debianDependenciesExist();

private:
    QTemporaryDir work_;
    QString root_;
    QString deb_;
    QString debInfo_;
    QString debContents_;
};

void TestPackage::initTestCase() {
    const QString binaryDir = qEnvironmentVariable("KELVORA_BINARY_DIR");
    QVERIFY2(QFile::exists(binaryDir + "/app/Kelvora"), "build the Kelvora target first");
    QVERIFY(work_.isValid());
    root_ = work_.path() + "/root";

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DESTDIR"), root_);
    const Run install = run(QStringLiteral(KELVORA_CMAKE_COMMAND), {"--install", binaryDir, "--prefix", "/"}, env);
    QVERIFY2(install.exitCode == 0, qPrintable(install.out));

    // The package from the same rules, as the packaging command builds it.
    const QString packageDir = work_.path() + "/deb";
    const Run pack =
        run(QStringLiteral(KELVORA_CPACK_COMMAND), {"--config", binaryDir + "/CPackConfig.cmake", "-B", packageDir});
    QVERIFY2(pack.exitCode == 0, qPrintable(pack.out));
    const QStringList debs = QDir(packageDir).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(debs.size(), 1);
    deb_ = packageDir + "/" + debs.front();
    const Run info = run(QStringLiteral("dpkg-deb"), {"--info", deb_});
    QVERIFY2(info.exitCode == 0, qPrintable(info.out));
    debInfo_ = info.out;
    const Run contents = run(QStringLiteral("dpkg-deb"), {"--contents", deb_});
    QVERIFY2(contents.exitCode == 0, qPrintable(contents.out));
    debContents_ = contents.out;
}

void TestPackage::installedTree_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("executable");
    QTest::newRow("program") << kProgramDir + "/Kelvora" << true;
    QTest::newRow("desktop entry") << "usr/share/applications/kelvora.desktop" << false;
    QTest::newRow("icon") << "usr/share/icons/hicolor/scalable/apps/kelvora.svg" << false;
    QTest::newRow("lock folder entry") << "usr/lib/tmpfiles.d/kelvora.conf" << false;
}

void TestPackage::installedTree() {
    QFETCH(QString, path);
    QFETCH(bool, executable);
    const QFileInfo file(root_ + "/" + path);
    QVERIFY2(file.isFile(), qPrintable(file.filePath()));
    QCOMPARE(file.isExecutable(), executable);
    QVERIFY(file.size() > 0);

    // The shell's link reaches the program inside any root.
    const QFileInfo link(root_ + "/usr/bin/kelvora");
    QVERIFY(link.isSymLink());
    QCOMPARE(link.canonicalFilePath(), QFileInfo(root_ + "/" + kProgramDir + "/Kelvora").canonicalFilePath());
    // Nothing of the tests or tools is installed.
    QCOMPARE(QDir(root_ + "/" + kProgramDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             QStringList{"Kelvora"});
}

void TestPackage::desktopEntry() {
    const QString path = root_ + "/usr/share/applications/kelvora.desktop";
    QSettings entry(path, QSettings::IniFormat);
    entry.beginGroup(QStringLiteral("Desktop Entry"));
    QCOMPARE(entry.value("Type").toString(), QStringLiteral("Application"));
    QCOMPARE(entry.value("Name").toString(), QStringLiteral("Kelvora"));
    QCOMPARE(entry.value("Exec").toString(), "/" + kProgramDir + "/Kelvora");
    QCOMPARE(entry.value("Icon").toString(), QStringLiteral("kelvora"));
    QCOMPARE(entry.value("Terminal").toString(), QStringLiteral("false"));
    QCOMPARE(entry.value("StartupWMClass").toString(), QStringLiteral("Kelvora"));

    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) QSKIP("desktop-file-validate is not installed (package desktop-file-utils)");
    const Run valid = run(validator, {path});
    QVERIFY2(valid.exitCode == 0 && valid.out.trimmed().isEmpty(), qPrintable(valid.out));
}

void TestPackage::installedProgramStartsAndEndsOnSigterm() {
    const QString programDir = root_ + "/" + kProgramDir;
    const QString db = QDir(work_.path()).absoluteFilePath("SALES.FDB");
    kelvora::test::createTestDatabase(db.toStdString());
    {
        QFile ini(programDir + "/Kelvora.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write(("[General]\r\nFDB_SALES_FILE=" + db.toStdString() + "\r\n").c_str());
    }

    QProcess program;
    program.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(env);
    program.start(root_ + "/usr/bin/kelvora", {});
    QVERIFY(program.waitForStarted());
    // Start-up connects to the database named in the settings file beside the
    // real executable: the process then holds that file open.
    QTRY_VERIFY_WITH_TIMEOUT(holdsOpen(program.processId(), db) || program.state() != QProcess::Running, 20000);
    QCOMPARE(program.state(), QProcess::Running);
    QTest::qWait(500);  // the window comes up after start-up
    QCOMPARE(program.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(kelvora::test::readJournalRows({db.toStdString(), 3}).empty());  // released
}

void TestPackage::debianPackage() {
    const auto field = [this](const char* name) {
        const QRegularExpression re(QStringLiteral("^ %1: (.*)$").arg(QLatin1String(name)),
                                    QRegularExpression::MultilineOption);
        return re.match(debInfo_).captured(1).trimmed();
    };
    QCOMPARE(field("Package"), QStringLiteral("kelvora"));
    QCOMPARE(field("Version"), QStringLiteral("10.1.2.0"));
    QVERIFY(!field("Architecture").isEmpty());
    QVERIFY(!field("Maintainer").isEmpty());
    const QStringList depends = field("Depends").split(QStringLiteral(", "));
    QStringList names;
    for (const QString& d : depends) names << d.section(' ', 0, 0);
    for (const char* needed : {"libqt6widgets6", "libqt6gui6", "libqt6core6", "libfbclient2",
                               "firebird3.0-server-core", "xdg-utils", "adduser", "libc6", "libstdc++6"})
        QVERIFY2(names.contains(QLatin1String(needed)), qPrintable(field("Depends")));
    QVERIFY2(debInfo_.contains(QRegularExpression(QStringLiteral("\\d+ bytes,\\s+\\d+ lines\\s+\\*\\s+postinst"))),
             qPrintable(debInfo_));
    QVERIFY2(debInfo_.contains(QRegularExpression(QStringLiteral("\\d+ bytes,\\s+\\d+ lines\\s+\\*\\s+postrm"))),
             qPrintable(debInfo_));

    // Files, modes and owners as dpkg will lay them down.
    const struct {
        const char* mode;
        const char* path;
    } expected[] = {
        {"-rwxr-xr-x root/root", "./opt/kelvora/Kelvora"},
        {"-rw-r--r-- root/root", "./usr/share/applications/kelvora.desktop"},
        {"-rw-r--r-- root/root", "./usr/share/icons/hicolor/scalable/apps/kelvora.svg"},
        {"-rw-r--r-- root/root", "./usr/lib/tmpfiles.d/kelvora.conf"},
        {"lrwxrwxrwx root/root", "./usr/bin/kelvora -> ../../opt/kelvora/Kelvora"},
    };
    for (const auto& e : expected) {
        const QRegularExpression line(QStringLiteral("^%1\\s+\\d+ \\S+ \\S+ %2$")
                                          .arg(QRegularExpression::escape(QLatin1String(e.mode)),
                                               QRegularExpression::escape(QLatin1String(e.path))),
                                      QRegularExpression::MultilineOption);
        QVERIFY2(debContents_.contains(line), qPrintable(QLatin1String(e.path) + "\n" + debContents_));
    }
    // The settings file is the operators' own, made by the postinst: never a
    // package file that an upgrade would overwrite.
    QVERIFY(!debContents_.contains(QStringLiteral("Kelvora.ini")));
    // Stripped: the package carries no debugging sections.
    const QString extracted = work_.path() + "/extracted";
    QCOMPARE(run(QStringLiteral("dpkg-deb"), {"-x", deb_, extracted}).exitCode, 0);
    QVERIFY(QFileInfo(extracted + "/opt/kelvora/Kelvora").size() <
            QFileInfo(root_ + "/" + kProgramDir + "/Kelvora").size());
}

void TestPackage::debianDependenciesExist() {
    // Every dependency is a real package: it is installed here, where the
    // program builds and runs.
    const QRegularExpression re(QStringLiteral("^ Depends: (.*)$"), QRegularExpression::MultilineOption);
    const QString depends = re.match(debInfo_).captured(1).trimmed();
    QVERIFY(!depends.isEmpty());
    for (const QString& d : depends.split(QStringLiteral(", "))) {
        const QString name = d.section(' ', 0, 0);
        const Run q = run(QStringLiteral("dpkg-query"), {"-W", "-f=${Status}", name});
        QVERIFY2(q.exitCode == 0 && q.out.contains(QStringLiteral("install ok installed")),
                 qPrintable(name + ": " + q.out));
    }
}

QTEST_GUILESS_MAIN(TestPackage)
#include "test_package.moc"
