// The connection's parameter lists and what each line hands to the client.

#include <QtTest>

#include "sql_connection.h"

using namespace kelvora::salesdb;

Q_DECLARE_METATYPE(OpenParams)

namespace {

std::vector<std::string> toList(const QStringList& lines) {
    std::vector<std::string> v;
    for (const auto& l : lines) v.push_back(l.toStdString());
    return v;
}

QString describe(const OpenParams& p) {
    const ClientSettings& s = p.settings;
    auto opt = [](const auto& o, auto show) { return o ? show(*o) : QString("-"); };
    auto text = [](const std::string& t) { return "\"" + QString::fromStdString(t) + "\""; };
    auto flag = [](bool b) { return QString(b ? "yes" : "no"); };
    return QString("err=%1 role=%2 wait=%3 retain=%4 trim=%5 charset=%6 dialect=%7 iso=%8 db=%9 user=%10 pw=%11 blob=%12")
        .arg(text(p.errorResourceFile), opt(s.roleName, text), opt(s.waitOnLocks, flag), opt(s.commitRetain, flag),
             opt(s.trimChar, flag), opt(s.serverCharSet, text),
             opt(s.sqlDialect, [](int d) { return QString::number(d); }),
             opt(s.isolation, [](TransIsolation i) { return QString::number(static_cast<int>(i)); }), text(p.database))
        .arg(text(p.userName), text(p.password), QString::number(p.blobSizeLimit));
}

OpenParams base(const std::string& database = "db") {
    OpenParams p;
    p.database = database;
    return p;
}

}  // namespace

class TestParameterList : public QObject {
    Q_OBJECT
private slots:
    void builtInList();
    void connectList();
    void openParams_data();
    void openParams();
    void invalidNumbers_data();
    void invalidNumbers();
};

void TestParameterList::builtInList() {
    const std::vector<std::string> expected{
        "DriverName=Interbase",
        "Database=localhost:/var/lib/firebird/3.0/data/kelvora.fdb",
        "RoleName=RoleName",
        "User_Name=sysdba",
        "Password=orchardly",
        "ServerCharSet=",
        "SQLDialect=1",
        "ErrorResourceFile=",
        "LocaleCode=0000",
        "BlobSize=-1",
        "CommitRetain=False",
        "WaitOnLocks=True",
        "Interbase TransIsolation=ReadCommited",
        "Trim Char=False",
    };
    QCOMPARE(builtInParameterList(), expected);

    OpenParams p;
    p.settings = ClientSettings{std::string("RoleName"), true, false, false, std::nullopt, 1, TransIsolation::ReadCommitted};
    p.database = "localhost:/var/lib/firebird/3.0/data/kelvora.fdb";
    p.userName = "sysdba";
    p.password = "orchardly";
    p.blobSizeLimit = -1;
    const OpenParams got = openParamsFromList(builtInParameterList());
    QVERIFY2(got == p, qPrintable(describe(got)));
}

void TestParameterList::connectList() {
    const std::vector<std::string> expected{"DriverName=Interbase", "Database=  C:\\data\\sales.fdb ",
                                            "User_Name=sysdba", "Password=orchardly"};
    QCOMPARE(connectParameterList("  C:\\data\\sales.fdb "), expected);

    // Nothing but the location, user and password: the client's defaults for the rest.
    OpenParams p = base("C:\\data\\sales.fdb");
    p.userName = "sysdba";
    p.password = "orchardly";
    const OpenParams got = openParamsFromList(connectParameterList("  C:\\data\\sales.fdb "));
    QVERIFY2(got == p, qPrintable(describe(got)));
}

void TestParameterList::openParams_data() {
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<OpenParams>("expected");

    {
        OpenParams p = base("");
        QTest::newRow("location of blanks and tabs") << QStringList{"Database= \t "} << p;
    }
    {
        OpenParams p = base("");
        QTest::newRow("no database line") << QStringList{"DriverName=Interbase"} << p;
    }
    {
        OpenParams p = base("/x.fdb");
        p.userName = "u";
        p.password = "p";
        QTest::newRow("names ignore case") << QStringList{"dAtAbAsE=/x.fdb", "USER_NAME=u", "password=p"} << p;
    }
    {
        OpenParams p = base("a=b");
        p.password = "=x=";
        QTest::newRow("value after the first equals sign") << QStringList{"Database=a=b", "Password==x="} << p;
    }
    {
        OpenParams p = base();
        p.userName = " sysdba ";
        p.password = " pw\t";
        QTest::newRow("user and password as they stand")
            << QStringList{"Database=db", "User_Name= sysdba ", "Password= pw\t"} << p;
    }
    {
        OpenParams p = base("first");
        QTest::newRow("first matching line counts") << QStringList{"Database=first", "DATABASE=second"} << p;
    }
    {
        OpenParams p = base();
        QTest::newRow("lines without equals sign or with blanks in the name name nothing")
            << QStringList{"RoleName", "Database=db", "Trim Char", " Database=other", "Database =other"} << p;
    }
    {
        OpenParams p = base();
        p.errorResourceFile = "gds.msg";
        p.settings.roleName = "CLERK";
        QTest::newRow("trimmed texts") << QStringList{"Database=db", "ErrorResourceFile= gds.msg\r", "RoleName=\tCLERK "}
                                       << p;
    }
    {
        OpenParams p = base();
        p.settings.roleName = "";
        p.errorResourceFile = "";
        QTest::newRow("empty role is still a setting") << QStringList{"Database=db", "RoleName= ", "ErrorResourceFile="}
                                                       << p;
    }
    {
        OpenParams p = base();
        p.settings.waitOnLocks = true;
        p.settings.commitRetain = true;
        p.settings.trimChar = true;
        QTest::newRow("true in any case, trimmed")
            << QStringList{"Database=db", "WaitOnLocks= true ", "CommitRetain=TRUE", "Trim Char=tRuE\t"} << p;
    }
    {
        OpenParams p = base();
        p.settings.waitOnLocks = false;
        p.settings.commitRetain = false;
        p.settings.trimChar = false;
        QTest::newRow("anything else is false")
            << QStringList{"Database=db", "WaitOnLocks=yes", "CommitRetain=1", "Trim Char=TRUEX"} << p;
    }
    {
        OpenParams p = base();
        QTest::newRow("blank character set passes nothing") << QStringList{"Database=db", "ServerCharSet= \t"} << p;
    }
    {
        OpenParams p = base();
        p.settings.serverCharSet = "WIN1252";
        QTest::newRow("character set") << QStringList{"Database=db", "ServerCharSet= WIN1252 "} << p;
    }
    {
        OpenParams p = base();
        p.settings.sqlDialect = 3;
        p.blobSizeLimit = 64;
        QTest::newRow("whole numbers") << QStringList{"Database=db", "SQLDialect= 3 ", "BlobSize=64"} << p;
    }
    {
        OpenParams p = base();
        p.blobSizeLimit = -1;
        QTest::newRow("blob size -1") << QStringList{"Database=db", "BlobSize=-1"} << p;
    }
    struct Iso {
        const char* value;
        TransIsolation isolation;
    };
    const Iso isolations[] = {
        {"RepeatableRead", TransIsolation::RepeatableRead}, {"repeatableREAD", TransIsolation::RepeatableRead},
        {"DirtyRead", TransIsolation::DirtyRead},           {"ReadCommited", TransIsolation::ReadCommitted},
        {"Snapshot", TransIsolation::ReadCommitted},        {" RepeatableRead", TransIsolation::ReadCommitted},
        {"", TransIsolation::ReadCommitted},
    };
    for (const auto& iso : isolations) {
        OpenParams p = base();
        p.settings.isolation = iso.isolation;
        QTest::addRow("isolation \"%s\"", iso.value)
            << QStringList{"Database=db", QString("Interbase TransIsolation=") + iso.value} << p;
    }
    {
        OpenParams p = base();
        p.settings.isolation = TransIsolation::RepeatableRead;
        QTest::newRow("isolation name ignores case")
            << QStringList{"Database=db", "INTERBASE transisolation=RepeatableRead"} << p;
    }
    {
        OpenParams p = base();
        QTest::newRow("isolation of another driver") << QStringList{"Database=db", "Firebird TransIsolation=DirtyRead"}
                                                     << p;
    }
    {
        OpenParams p = base();
        QTest::newRow("ignored lines") << QStringList{"Database=db", "DriverName=Other", "LocaleCode=0000"} << p;
    }
}

void TestParameterList::openParams() {
    QFETCH(QStringList, lines);
    QFETCH(OpenParams, expected);
    const OpenParams got = openParamsFromList(toList(lines));
    QVERIFY2(got == expected, qPrintable(describe(got) + "\nexpected " + describe(expected)));
}

void TestParameterList::invalidNumbers_data() {
    QTest::addColumn<QString>("line");
    QTest::newRow("dialect word") << "SQLDialect=three";
    QTest::newRow("dialect empty") << "SQLDialect=";
    QTest::newRow("dialect fraction") << "SQLDialect=1.5";
    QTest::newRow("dialect overflow") << "SQLDialect=99999999999";
    QTest::newRow("blob size word") << "BlobSize=big";
    QTest::newRow("blob size trailing text") << "BlobSize=64KB";
}

void TestParameterList::invalidNumbers() {
    QFETCH(QString, line);
    QVERIFY_THROWS_EXCEPTION(DatabaseError, openParamsFromList({"Database=db", line.toStdString()}));
}

QTEST_APPLESS_MAIN(TestParameterList)
#include "test_parameter_list.moc"
