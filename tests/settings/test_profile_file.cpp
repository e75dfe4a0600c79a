// The settings file on real files: reading, writing byte for byte, refusals,
// and a write that is never seen half done.
//
// Some cases need another process, profile_file_helper: as an unprivileged
// user, inside a mount namespace with a tiny tmpfs, or as a writer that gets
// killed.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "profile_file.h"
#include "test_support.h"

using kelvora::ProfileFile;
using kelvora::SettingsWriteError;

extern char** environ;

namespace {

template <std::size_t N>
QByteArray bytes(const char (&s)[N]) {
    return QByteArray(s, static_cast<qsizetype>(N - 1));
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return QByteArray();
    return f.readAll();
}

void writeBytes(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(f.write(data), data.size());
}

std::string str(const QString& s) { return s.toStdString(); }

QStringList entriesOf(const QString& folder) {
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    names.sort();
    return names;
}

QString refusalText(const QString& path) { return QStringLiteral("Unable to write to ") + path; }

// Runs argv, waits, returns the exit code (-1 when it did not exit normally)
// and what it printed on stdout.
int runProgram(const std::vector<std::string>& args, QByteArray* output = nullptr) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeFds[1]);
    QByteArray out;
    if (rc == 0) {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(pipeFds[0], buffer, sizeof buffer)) > 0) out.append(buffer, n);
    }
    ::close(pipeFds[0]);
    if (output) *output = out;
    if (rc != 0) return -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string helperExe() { return KELVORA_PROFILE_HELPER; }

}  // namespace

class TestProfileFile : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;

    QString pathIn(const QString& name) const { return tmp_->filePath(name); }

private slots:
    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
    }
    void cleanup() {
        // Folders made read-only for a test must not stop the clean-up.
        if (tmp_) {
            const QString root = tmp_->path();
            QDirIterator it(root, QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
            while (it.hasNext()) ::chmod(QFile::encodeName(it.next()).constData(), 0700);
        }
        tmp_.reset();
    }

    void settingsFilePath_data() {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder") << "/opt/kelvora/Kelvora.exe" << "/opt/kelvora/Kelvora.ini";
        QTest::newRow("root folder") << "/Kelvora" << "/Kelvora.ini";
        QTest::newRow("dots in folder") << "/a.b/c.d/Kelvora.exe" << "/a.b/c.d/Kelvora.ini";
        QTest::newRow("no folder") << "Kelvora.exe" << "Kelvora.ini";
    }
    void settingsFilePath() {
        QFETCH(QString, exe);
        QFETCH(QString, expected);
        QCOMPARE(QString::fromStdString(kelvora::settingsFilePathFor(str(exe))), expected);
    }

    void reading_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray handWritten = bytes(
            "; written by hand\n"
            "  [ general ]  \n"
            "fdb_sales_file = /srv/pos/sales.fdb  \n"
            "\tDefault_Store\t=\t0042\n"
            "[KELVORA]\n"
            "url=http://h/a=b?c\n"
            "Empty=\n"
            "Blank=   \n"
            ";PWD=commented out\n"
            "USER\n"
            "[Kelvora_Filter]\n"
            "CASHSales='CASH'\n"
            "CreditCardVISA=\"x = 'VISA'\"\n"
            "CreditCardMASTER=\"mismatch'\n"
            "CreditCardAMEX=\"\n"
            "CreditCardOTHER=\"\"\n"
            "OTHER='it''s'\n");
        const QByteArray d = "<default>";
        QTest::newRow("other letter case, blanks") << handWritten << QByteArray("General") << QByteArray("FDB_SALES_FILE") << QByteArray("/srv/pos/sales.fdb");
        QTest::newRow("tabs around key and value") << handWritten << QByteArray("GENERAL") << QByteArray("DEFAULT_STORE") << QByteArray("0042");
        QTest::newRow("value is all after the first =") << handWritten << QByteArray("Kelvora") << QByteArray("URL") << QByteArray("http://h/a=b?c");
        QTest::newRow("empty value is not the default") << handWritten << QByteArray("Kelvora") << QByteArray("Empty") << QByteArray("");
        QTest::newRow("blank value is empty") << handWritten << QByteArray("Kelvora") << QByteArray("Blank") << QByteArray("");
        QTest::newRow("comment is no key") << handWritten << QByteArray("Kelvora") << QByteArray("PWD") << d;
        QTest::newRow("line without = is no key") << handWritten << QByteArray("Kelvora") << QByteArray("USER") << d;
        QTest::newRow("missing key") << handWritten << QByteArray("General") << QByteArray("URL") << d;
        QTest::newRow("missing section") << handWritten << QByteArray("Other") << QByteArray("URL") << d;
        QTest::newRow("single quotes removed") << handWritten << QByteArray("Kelvora_Filter") << QByteArray("CASHSales") << QByteArray("CASH");
        QTest::newRow("double quotes removed") << handWritten << QByteArray("Kelvora_Filter") << QByteArray("CreditCardVISA") << QByteArray("x = 'VISA'");
        QTest::newRow("mismatched pair stays") << handWritten << QByteArray("Kelvora_Filter") << QByteArray("CreditCardMASTER") << QByteArray("\"mismatch'");
        QTest::newRow("lone quote stays") << handWritten << QByteArray("Kelvora_Filter") << QByteArray("CreditCardAMEX") << QByteArray("\"");
        QTest::newRow("quoted empty") << handWritten << QByteArray("Kelvora_Filter") << QByteArray("CreditCardOTHER") << QByteArray("");
        QTest::newRow("only the outer pair") << handWritten << QByteArray("Kelvora_Filter") << QByteArray("OTHER") << QByteArray("it''s");

        const QByteArray duplicates = bytes(
            "[S]\nA=first\nA=second\n"
            "[T]\nX=1\n"
            "[s]\nA=third\nB=only in the second S\n");
        QTest::newRow("first key counts") << duplicates << QByteArray("S") << QByteArray("a") << QByteArray("first");
        QTest::newRow("only the first section counts") << duplicates << QByteArray("S") << QByteArray("B") << d;
        QTest::newRow("section ends at the next") << duplicates << QByteArray("T") << QByteArray("A") << d;

        QTest::newRow("keys before any section") << QByteArray("A=1\n[S]\nB=2\n") << QByteArray("") << QByteArray("A") << d;
        QTest::newRow("CR LF") << QByteArray("[S]\r\nA=1\r\nB= two \r\n") << QByteArray("S") << QByteArray("B") << QByteArray("two");
        QTest::newRow("CR LF quoted") << QByteArray("[S]\r\nA='1'\r\n") << QByteArray("S") << QByteArray("A") << QByteArray("1");
        QTest::newRow("lone CR is no line end") << QByteArray("[S]\nA=1\rB=2\n") << QByteArray("S") << QByteArray("B") << d;
        QTest::newRow("no line end at the end") << QByteArray("[S]\nA=last") << QByteArray("S") << QByteArray("A") << QByteArray("last");
        QTest::newRow("bytes above 127") << QByteArray("[S]\nA=Caf\xe9 \xc3\xa9\xff\n") << QByteArray("S") << QByteArray("A") << QByteArray("Caf\xe9 \xc3\xa9\xff");
        QTest::newRow("letter case of ASCII only") << QByteArray("[\xc9T\xc9]\nA=1\n") << QByteArray("\xe9t\xe9") << QByteArray("A") << d;
        QTest::newRow("NUL ends the value") << bytes("[S]\nA=ab\0cd\n") << QByteArray("S") << QByteArray("A") << QByteArray("ab");
        QTest::newRow("byte-order mark") << QByteArray("\xef\xbb\xbf[S]\nA=1\n") << QByteArray("S") << QByteArray("A") << QByteArray("1");
        QTest::newRow("[ without ] starts no section") << QByteArray("[S]\n[T\nA=1\n") << QByteArray("S") << QByteArray("A") << QByteArray("1");
        QTest::newRow("text after ]") << QByteArray("[S] ; note\nA=1\n") << QByteArray("S") << QByteArray("A") << QByteArray("1");

        const QByteArray longValue(3000, 'v');
        QTest::newRow("3000 characters") << QByteArray("[S]\nA=" + longValue + "\n") << QByteArray("S") << QByteArray("A") << longValue.left(2047);
        QTest::newRow("quotes come off before the cut") << QByteArray("[S]\nA=\"" + longValue + "\"\n") << QByteArray("S") << QByteArray("A") << longValue.left(2047);
        QTest::newRow("2047 characters") << QByteArray("[S]\nA=" + longValue.left(2047) + "\n") << QByteArray("S") << QByteArray("A") << longValue.left(2047);
    }
    void reading() {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        const QString path = pathIn("Kelvora.ini");
        writeBytes(path, content);
        const ProfileFile file(str(path));
        QCOMPARE(QByteArray::fromStdString(file.readString(section.toStdString(), key.toStdString(), "<default>")), expected);
        QCOMPARE(readBytes(path), content);
    }

    void readingTouchesNoFile() {
        const QString path = pathIn("Kelvora.ini");
        const ProfileFile file(str(path));
        QCOMPARE(file.readString("General", "DEFAULT_STORE", "0000"), std::string("0000"));
        QCOMPARE(file.readString("General", "FDB_SALES_FILE", ""), std::string(""));
        QVERIFY(entriesOf(tmp_->path()).isEmpty());

        // Every read goes to the file: an outside edit shows at once.
        writeBytes(path, "[General]\nDEFAULT_STORE=0001\n");
        QCOMPARE(file.readString("General", "DEFAULT_STORE", "0000"), std::string("0001"));
        writeBytes(path, "[General]\nDEFAULT_STORE=0002\n");
        QCOMPARE(file.readString("General", "DEFAULT_STORE", "0000"), std::string("0002"));

        // A folder where the file should be reads as a missing file.
        const ProfileFile folder(str(tmp_->path()));
        QCOMPARE(folder.readString("General", "DEFAULT_STORE", "0000"), std::string("0000"));
    }

    void writing_data() {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("new file") << false << QByteArray() << QByteArray("General") << QByteArray("DEFAULT_STORE") << QByteArray("0001")
                                  << QByteArray("[General]\nDEFAULT_STORE=0001\n");
        QTest::newRow("empty file") << true << QByteArray() << QByteArray("S") << QByteArray("K") << QByteArray("v") << QByteArray("[S]\nK=v\n");

        const QByteArray mixed = bytes(
            "; Kelvora settings\n"
            "\n"
            "[General]\n"
            "FDB_SALES_FILE = /old/sales.fdb\n"
            "Unknown=kept\n"
            "; trailing comment of General\n"
            "\n"
            "[Foreign]\n"
            "DEFAULT_STORE=not ours\n"
            "garbage line\n"
            "[general]\n"
            "DEFAULT_STORE=duplicate section\n");
        QTest::newRow("replace keeps spelling and blanks")
            << true << mixed << QByteArray("GENERAL") << QByteArray("fdb_sales_file") << QByteArray("/new/sales.fdb")
            << QByteArray(mixed).replace("FDB_SALES_FILE = /old/sales.fdb", "FDB_SALES_FILE = /new/sales.fdb");
        QTest::newRow("new key after the last key of the first section")
            << true << mixed << QByteArray("General") << QByteArray("DEFAULT_STORE") << QByteArray("0001")
            << QByteArray(mixed).replace("Unknown=kept\n", "Unknown=kept\nDEFAULT_STORE=0001\n");
        QTest::newRow("new section after a blank line")
            << true << mixed << QByteArray("Kelvora") << QByteArray("URL") << QByteArray("http://h/")
            << QByteArray(mixed + "\n[Kelvora]\nURL=http://h/\n");
        QTest::newRow("no second blank line")
            << true << QByteArray("[A]\nx=1\n\n") << QByteArray("B") << QByteArray("y") << QByteArray("2") << QByteArray("[A]\nx=1\n\n[B]\ny=2\n");
        QTest::newRow("no line end at the end, new section")
            << true << QByteArray("[A]\nx=1") << QByteArray("B") << QByteArray("y") << QByteArray("2") << QByteArray("[A]\nx=1\n\n[B]\ny=2\n");
        QTest::newRow("no line end at the end, new key")
            << true << QByteArray("[A]\nx=1") << QByteArray("A") << QByteArray("y") << QByteArray("2") << QByteArray("[A]\nx=1\ny=2\n");
        QTest::newRow("no line end at the end, replace")
            << true << QByteArray("[A]\nx=1") << QByteArray("A") << QByteArray("x") << QByteArray("2") << QByteArray("[A]\nx=2");
        QTest::newRow("section without keys")
            << true << QByteArray("[A]\n; nothing yet\n\n[B]\n") << QByteArray("a") << QByteArray("k") << QByteArray("v")
            << QByteArray("[A]\nk=v\n; nothing yet\n\n[B]\n");
        QTest::newRow("section header last, without line end")
            << true << QByteArray("[A]") << QByteArray("A") << QByteArray("k") << QByteArray("v") << QByteArray("[A]\nk=v\n");
        QTest::newRow("duplicates: the first key of the first section")
            << true << QByteArray("[S]\nK=1\nK=2\n[S]\nK=3\n") << QByteArray("s") << QByteArray("k") << QByteArray("new")
            << QByteArray("[S]\nK=new\nK=2\n[S]\nK=3\n");

        const QByteArray crlf = "; crlf\r\n[General]\r\nFDB_SALES_FILE=a\r\n\r\n[Other]\r\nx=1\r\n";
        QTest::newRow("CR LF replace")
            << true << crlf << QByteArray("General") << QByteArray("FDB_SALES_FILE") << QByteArray("b")
            << QByteArray("; crlf\r\n[General]\r\nFDB_SALES_FILE=b\r\n\r\n[Other]\r\nx=1\r\n");
        QTest::newRow("CR LF new key")
            << true << crlf << QByteArray("General") << QByteArray("DEFAULT_STORE") << QByteArray("7")
            << QByteArray("; crlf\r\n[General]\r\nFDB_SALES_FILE=a\r\nDEFAULT_STORE=7\r\n\r\n[Other]\r\nx=1\r\n");
        QTest::newRow("CR LF new section")
            << true << crlf << QByteArray("Kelvora") << QByteArray("URL") << QByteArray("u")
            << QByteArray(crlf + "\r\n[Kelvora]\r\nURL=u\r\n");

        QTest::newRow("empty value")
            << true << QByteArray("[S]\nK = old\n") << QByteArray("S") << QByteArray("K") << QByteArray("") << QByteArray("[S]\nK = \n");
        // Found by the fuzzer: a CR kept behind "=" joined the LF into a CR LF.
        QTest::newRow("blanks behind = other than spaces and tabs go")
            << true << QByteArray("[S]\nK =\r\rold\n") << QByteArray("S") << QByteArray("K") << QByteArray("") << QByteArray("[S]\nK =\n");
        QTest::newRow("line breaks in the value become blanks")
            << true << QByteArray("[General]\nFDB_SALES_FILE=a\n") << QByteArray("General") << QByteArray("FDB_SALES_FILE")
            << QByteArray("x\r\n[Kelvora]\nURL=http://evil/\r")
            << QByteArray("[General]\nFDB_SALES_FILE=x  [Kelvora] URL=http://evil/ \n");
        QTest::newRow("line breaks in names become blanks")
            << false << QByteArray() << QByteArray("A\n[B") << QByteArray("k\r\nz") << QByteArray("v") << QByteArray("[A [B]\nk  z=v\n");
        QTest::newRow("NUL ends the value") << true << QByteArray("[S]\nK=1\n") << QByteArray("S") << QByteArray("K") << bytes("ab\0cd")
                                            << QByteArray("[S]\nK=ab\n");
        QTest::newRow("bytes above 127 and the byte-order mark stay")
            << true << QByteArray("\xef\xbb\xbf[S]\nK=\xe9\n") << QByteArray("S") << QByteArray("K") << QByteArray("\xff\xc3\xa9")
            << QByteArray("\xef\xbb\xbf[S]\nK=\xff\xc3\xa9\n");
    }
    void writing() {
        QFETCH(bool, exists);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        const QString path = pathIn("Kelvora.ini");
        if (exists) writeBytes(path, before);
        ProfileFile file(str(path));
        file.writeString(section.toStdString(), key.toStdString(), value.toStdString());
        QCOMPARE(readBytes(path), after);
        QCOMPARE(entriesOf(tmp_->path()), QStringList{QStringLiteral("Kelvora.ini")});
        QCOMPARE(kelvora::profileWithValue(before.toStdString(), section.toStdString(), key.toStdString(), value.toStdString()),
                 after.toStdString());
    }

    // The keys that "UPDATE" writes, on a missing file, in its order.
    void updateCreatesTheFile() {
        const QString path = pathIn("Kelvora.ini");
        ProfileFile file(str(path));
        const char* const filters[] = {"CASHSales", "CreditCardVISA", "CreditCardMASTER", "CreditCardAMEX", "CreditCardOTHER", "OTHER"};
        file.writeString("General", "FDB_SALES_FILE", "/srv/sales.fdb");
        file.writeString("General", "DEFAULT_STORE", "0000");
        file.writeString("Kelvora", "URL", "http://h/SubmitSales.asmx/SubmitSalesTransaction?");
        file.writeString("Kelvora", "USER", "userName=YR34418054");
        file.writeString("Kelvora", "PWD", "&password=70261384");
        for (const char* f : filters) file.writeString("Kelvora_Filter", f, std::string("Pymt_MASCODE='") + f + "'");
        file.writeString("Kelvora_Filter", "OTHER", "");  // cleared by the operator

        QCOMPARE(readBytes(path), QByteArray("[General]\n"
                                             "FDB_SALES_FILE=/srv/sales.fdb\n"
                                             "DEFAULT_STORE=0000\n"
                                             "\n"
                                             "[Kelvora]\n"
                                             "URL=http://h/SubmitSales.asmx/SubmitSalesTransaction?\n"
                                             "USER=userName=YR34418054\n"
                                             "PWD=&password=70261384\n"
                                             "\n"
                                             "[Kelvora_Filter]\n"
                                             "CASHSales=Pymt_MASCODE='CASHSales'\n"
                                             "CreditCardVISA=Pymt_MASCODE='CreditCardVISA'\n"
                                             "CreditCardMASTER=Pymt_MASCODE='CreditCardMASTER'\n"
                                             "CreditCardAMEX=Pymt_MASCODE='CreditCardAMEX'\n"
                                             "CreditCardOTHER=Pymt_MASCODE='CreditCardOTHER'\n"
                                             "OTHER=\n"));
        QCOMPARE(file.readString("Kelvora_Filter", "OTHER", "Pymt_MASCODE='OTHER'"), std::string(""));
        QCOMPARE(file.readString("kelvora", "user", ""), std::string("userName=YR34418054"));
        QCOMPARE(file.readString("Kelvora", "CASHSales", "&cashSales=0"), std::string("&cashSales=0"));
    }

    void writeKeepsModeAndOwner() {
        const QString path = pathIn("Kelvora.ini");
        writeBytes(path, "[S]\nK=1\n");
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
        const bool root = ::geteuid() == 0;
        if (root) QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
        ProfileFile(str(path)).writeString("S", "K", "2");
        struct stat st {};
        QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
        if (root) {
            QCOMPARE(st.st_uid, 65534u);
            QCOMPARE(st.st_gid, 65534u);
        }
        QCOMPARE(readBytes(path), QByteArray("[S]\nK=2\n"));

        // A new file gets the usual mode under the umask.
        const mode_t oldMask = ::umask(027);
        const QString fresh = pathIn("fresh.ini");
        ProfileFile(str(fresh)).writeString("S", "K", "1");
        ::umask(oldMask);
        QCOMPARE(::stat(QFile::encodeName(fresh).constData(), &st), 0);
        QCOMPARE(st.st_mode & 07777, 0640u);
    }

    void symlinkIsWrittenThrough() {
        QVERIFY(QDir(tmp_->path()).mkdir("real"));
        const QString target = pathIn("real/settings.ini");
        const QString link = pathIn("Kelvora.ini");
        writeBytes(target, "; target\n[S]\nK=1\n");
        QCOMPARE(::symlink("real/settings.ini", QFile::encodeName(link).constData()), 0);  // relative link

        ProfileFile file(str(link));
        file.writeString("S", "K", "2");
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(readBytes(target), QByteArray("; target\n[S]\nK=2\n"));
        QCOMPARE(file.readString("S", "K", ""), std::string("2"));
        QCOMPARE(entriesOf(pathIn("real")), QStringList{QStringLiteral("settings.ini")});

        // A chain of links, the last one dangling: the target is created.
        const QString chain = pathIn("chain.ini");
        QCOMPARE(::symlink(QFile::encodeName(pathIn("dangling.ini")).constData(), QFile::encodeName(chain).constData()), 0);
        QCOMPARE(::symlink("nowhere/../real/new.ini", QFile::encodeName(pathIn("dangling.ini")).constData()), 0);
        QVERIFY(QDir(tmp_->path()).mkdir("nowhere"));
        ProfileFile(str(chain)).writeString("S", "K", "v");
        QVERIFY(QFileInfo(chain).isSymLink());
        QVERIFY(QFileInfo(pathIn("dangling.ini")).isSymLink());
        QCOMPARE(readBytes(pathIn("real/new.ini")), QByteArray("[S]\nK=v\n"));
    }

    void readOnlyFileIsRefusedEvenForRoot() {
        const QString path = pathIn("Kelvora.ini");
        const QByteArray content = "[General]\nDEFAULT_STORE=0001\n";
        writeBytes(path, content);
        QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0444), 0);
        ProfileFile file(str(path));
        try {
            file.writeString("General", "DEFAULT_STORE", "0002");
            QFAIL("a read-only file was written");
        } catch (const SettingsWriteError& e) {
            QCOMPARE(QString::fromStdString(e.what()), refusalText(path));
        }
        QCOMPARE(readBytes(path), content);
        QCOMPARE(entriesOf(tmp_->path()), QStringList{QStringLiteral("Kelvora.ini")});
        QCOMPARE(QFileInfo(path).permissions() & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther), QFile::Permissions());
    }

    void otherRefusals_data() {
        QTest::addColumn<QString>("relativePath");
        QTest::newRow("a folder") << "sub";
        QTest::newRow("missing folder") << "missing/Kelvora.ini";
        QTest::newRow("a file as folder") << "plain/Kelvora.ini";
        QTest::newRow("symlink loop") << "loop.ini";
    }
    void otherRefusals() {
        QFETCH(QString, relativePath);
        QVERIFY(QDir(tmp_->path()).mkdir("sub"));
        writeBytes(pathIn("plain"), "x");
        QCOMPARE(::symlink("loop.ini", QFile::encodeName(pathIn("loop.ini")).constData()), 0);
        const QStringList before = entriesOf(tmp_->path());
        const QString path = pathIn(relativePath);
        try {
            ProfileFile(str(path)).writeString("S", "K", "v");
            QFAIL("the write was not refused");
        } catch (const SettingsWriteError& e) {
            QCOMPARE(QString::fromStdString(e.what()), refusalText(path));
        }
        QCOMPARE(entriesOf(tmp_->path()), before);
        QVERIFY(entriesOf(pathIn("sub")).isEmpty());
    }

    // A writer killed at random moments never leaves a half-written file,
    // and what it leaves behind does not disturb later reads and writes.
    void killedWriterLeavesOldOrNewFile() {
        const std::string exe = helperExe();
        const QString path = pathIn("Kelvora.ini");
        const auto contentWith = [](char c) {
            return QByteArray("; large values\n[Data]\nBig=") + QByteArray(128 * 1024, c) + "\n\n[Other]\nkeep=1\n";
        };
        const QByteArray a = contentWith('a');
        const QByteArray b = contentWith('b');
        // Kills spread over a few writes, however fast this machine writes (within
        // bounds, to keep the test short on a busy machine).
        auto oneWrite = std::chrono::microseconds::max();
        for (int i = 0; i < 3; ++i) {
            writeBytes(path, a);
            const auto started = std::chrono::steady_clock::now();
            ProfileFile(str(path)).writeString("Data", "Big", std::string(128 * 1024, 'b'));
            oneWrite = std::min(oneWrite, std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started));
            QCOMPARE(readBytes(path), b);
        }
        const int window = static_cast<int>(std::clamp<std::int64_t>(5 * oneWrite.count(), 2000, 40000));
        writeBytes(path, a);

        const int kills = 200;
        int changes = 0;
        int completed = 0;
        int interrupted = 0;
        QByteArray last = a;
        auto* random = QRandomGenerator::global();
        for (int i = 0; i < kills; ++i) {
            int pipeFds[2];
            QCOMPARE(::pipe2(pipeFds, O_CLOEXEC), 0);
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
            posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
            const std::string p = str(path);
            char* argv[] = {const_cast<char*>(exe.c_str()), const_cast<char*>("write-loop"), const_cast<char*>(p.c_str()), nullptr};
            pid_t pid = 0;
            const int rc = ::posix_spawn(&pid, exe.c_str(), &actions, nullptr, argv, environ);
            posix_spawn_file_actions_destroy(&actions);
            ::close(pipeFds[1]);
            QCOMPARE(rc, 0);
            char said = 0;
            const bool started = ::read(pipeFds[0], &said, 1) == 1 && said == 'r';
            // Every fourth writer completes a write first, so kills land at
            // every stage and not just during the first write.
            bool wrote = false;
            if (started && i % 4 == 0) wrote = ::read(pipeFds[0], &said, 1) == 1 && said == 'w';
            if (started) std::this_thread::sleep_for(std::chrono::microseconds(random->bounded(window)));
            ::kill(pid, SIGKILL);
            ::close(pipeFds[0]);
            if (wrote) ++completed;
            int status = 0;
            QCOMPARE(::waitpid(pid, &status, 0), pid);
            QVERIFY(started);
            QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL, "the writer stopped by itself");

            const QByteArray now = readBytes(path);
            QVERIFY2(now == a || now == b, qPrintable(QStringLiteral("after kill %1 the file holds %2 bytes of neither content").arg(i).arg(now.size())));
            if (now != last) ++changes;
            last = now;
            interrupted = static_cast<int>(entriesOf(tmp_->path()).size()) - 1;
        }
        qInfo("%d kills within %d us of a writer's start (one write: %lld us): the content changed %d times, "
              "%d temporary files left by killed writers",
              kills, window, static_cast<long long>(oneWrite.count()), changes, interrupted);
        QCOMPARE(completed, kills / 4);
        QVERIFY2(changes > 0, "no completed write showed");
        QVERIFY2(interrupted > 0, "no kill landed during a write");
        for (const QString& name : entriesOf(tmp_->path()))
            if (name != QLatin1String("Kelvora.ini")) QVERIFY2(name.startsWith(QLatin1String(".Kelvora.ini.")), qPrintable(name));

        ProfileFile file(str(path));
        QCOMPARE(file.readString("Other", "keep", ""), std::string("1"));
        file.writeString("Data", "Big", "small");
        QCOMPARE(readBytes(path), QByteArray("; large values\n[Data]\nBig=small\n\n[Other]\nkeep=1\n"));
    }

    // Root passes every permission check, so these writes run as "nobody".
    void refusedForAnUnprivilegedUser_data() {
        QTest::addColumn<QString>("folderMode");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<bool>("fileWritableByAll");
        QTest::addColumn<bool>("refused");
        QTest::newRow("control: all writable") << "0777" << true << true << false;
        QTest::newRow("control: new file in a writable folder") << "0777" << false << false << false;
        QTest::newRow("read-only file in a writable folder") << "0777" << true << false << true;
        QTest::newRow("new file in a read-only folder") << "0755" << false << false << true;
        QTest::newRow("writable file in a read-only folder") << "0755" << true << true << true;
    }
    void refusedForAnUnprivilegedUser() {
        QFETCH(QString, folderMode);
        QFETCH(bool, fileExists);
        QFETCH(bool, fileWritableByAll);
        QFETCH(bool, refused);
        if (::geteuid() != 0) kelvora::test::skipAll("needs root to switch to an unprivileged user");

        // The user must reach the folder and a copy of the helper.
        QCOMPARE(::chmod(QFile::encodeName(tmp_->path()).constData(), 0755), 0);
        const QString helper = pathIn("helper");
        QVERIFY(QFile::copy(QString::fromStdString(helperExe()), helper));
        QCOMPARE(::chmod(QFile::encodeName(helper).constData(), 0755), 0);
        QVERIFY(QDir(tmp_->path()).mkdir("app"));
        const QString folder = pathIn("app");
        QCOMPARE(::chmod(QFile::encodeName(folder).constData(), static_cast<mode_t>(folderMode.toUInt(nullptr, 8))), 0);

        const QString path = folder + "/Kelvora.ini";
        const QByteArray content = "; owned by root\n[General]\nDEFAULT_STORE=0001\n";
        if (fileExists) {
            writeBytes(path, content);
            QCOMPARE(::chmod(QFile::encodeName(path).constData(), fileWritableByAll ? 0666 : 0644), 0);
        }

        QByteArray out;
        const int rc = runProgram({"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups", str(helper), "write",
                                   str(path), "General", "DEFAULT_STORE", "0002"},
                                  &out);
        if (rc != 0 || !(out.startsWith("OK uid=65534") || out.startsWith("REFUSED ")))
            kelvora::test::skipAll("cannot run a write as user nobody with setpriv");

        if (refused) {
            QCOMPARE(QString::fromLocal8Bit(out.trimmed()), QStringLiteral("REFUSED ") + refusalText(path));
            if (fileExists)
                QCOMPARE(readBytes(path), content);
            else
                QVERIFY(!QFileInfo::exists(path));
            QCOMPARE(entriesOf(folder), fileExists ? QStringList{QStringLiteral("Kelvora.ini")} : QStringList());
        } else {
            QCOMPARE(out.trimmed(), QByteArray("OK uid=65534"));
            QCOMPARE(ProfileFile(str(path)).readString("General", "DEFAULT_STORE", ""), std::string("0002"));
            QCOMPARE(entriesOf(folder), QStringList{QStringLiteral("Kelvora.ini")});
        }
    }

    void fullDiskIsRefused() {
        const QString folder = pathIn("disk");
        QVERIFY(QDir(tmp_->path()).mkdir("disk"));
        QByteArray out;
        const int rc = runProgram({"unshare", "--mount", "--propagation", "private", "sh", "-c",
                                   "mount -t tmpfs -o size=256k tmpfs \"$1\" || exit 99; exec \"$2\" full-disk \"$1\"", "sh",
                                   str(folder), helperExe()},
                                  &out);
        if (rc == 99 || rc == -1 || (rc != 0 && out.isEmpty()))
            kelvora::test::skipAll("cannot mount a small tmpfs in a private mount namespace");
        QVERIFY2(rc == 0, out.constData());
        QCOMPARE(out.trimmed(), QByteArray("FULL-DISK-OK"));
        QVERIFY(entriesOf(folder).isEmpty());  // the tmpfs was never seen out here
    }
};

QTEST_APPLESS_MAIN(TestProfileFile)

#include "test_profile_file.moc"
