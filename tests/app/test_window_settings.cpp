// The window and its settings file: LoadSettings at start-up and "UPDATE".

#include <QFile>
#include <QtTest>

#include "profile_file.h"
#include "submission_record.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::WindowFixture;

namespace {

QByteArray readAll(const std::string& path) {
    QFile f(QString::fromStdString(path));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const std::string& path, const QByteArray& bytes) {
    QFile f(QString::fromStdString(path));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

// Key names present in a section of the file, in order.
QStringList keysOf(const QByteArray& file, const QString& section) {
    QStringList keys;
    bool inside = false;
    for (const QByteArray& raw : file.split('\n')) {
        const QString line = QString::fromLatin1(raw).trimmed();
        if (line.startsWith('[')) {
            inside = line.compare('[' + section + ']', Qt::CaseInsensitive) == 0;
        } else if (inside && line.contains('=')) {
            keys << line.section('=', 0, 0).trimmed();
        }
    }
    return keys;
}

}  // namespace

class TestWindowSettings : public QObject {
    Q_OBJECT
private slots:
    void defaultsWithoutFile();
    void firstUpdateCreatesFile();
    void updatePutsBackStoredParameters();
    void emptyFilterReadsBackEmpty();
    void handWrittenFileInOtherLetterCase();
    void longValueIsCut();
    void singleByteTextsRoundTrip();
    void updateWithoutLocationLeavesConnection();
    void refusedWriteEndsUpdate();
};

void TestWindowSettings::defaultsWithoutFile() {
    WindowFixture f;
    f.start();
    for (const SettingsKey& k : settingsKeys())
        QCOMPARE(f.text(std::string(k.windowField).c_str()), k.defaultText);
    QCOMPARE(f.text("edtSalesFile"), std::string());
    QCOMPARE(f.text("edtStore"), std::string("0000"));
    QVERIFY(!QFile::exists(QString::fromStdString(f.iniPath())));
}

void TestWindowSettings::firstUpdateCreatesFile() {
    WindowFixture f;
    f.start();
    f.click("BitBtnUPDATE");
    QCOMPARE(f.boxes.shown, (std::vector<test::ShownBox>{{"plain", "UPDATE Done."}}));
    const QByteArray file = readAll(f.iniPath());
    QCOMPARE(keysOf(file, "General"), (QStringList{"FDB_SALES_FILE", "DEFAULT_STORE"}));
    QCOMPARE(keysOf(file, "Kelvora"), (QStringList{"URL", "USER", "PWD"}));
    QCOMPARE(keysOf(file, "Kelvora_Filter"), (QStringList{"CASHSales", "CreditCardVISA", "CreditCardMASTER",
                                                          "CreditCardAMEX", "CreditCardOTHER", "OTHER"}));
    const ProfileFile ini(f.iniPath());
    QCOMPARE(ini.readString("Kelvora_Filter", "CreditCardOTHER", "?"), std::string("Pymt_MASCODE='EDC'"));
    QCOMPARE(ini.readString("Kelvora", "URL", "?"), std::string(kDefaultServiceUrl));
}

void TestWindowSettings::updatePutsBackStoredParameters() {
    WindowFixture f;
    writeFile(f.iniPath(), "[Kelvora]\r\nCASHSales=&cashSales=5\r\n");
    f.start();
    f.click("cbLock");
    // As GET Sales leaves them.
    f.edit("edtDate")->setText("&transactionDateTime=2-May-2005");
    f.edit("edtCASH")->setText("&cashSales=1234.50");
    f.edit("edtOther")->setText("&others=7.00");
    f.find<QPushButton>("BitBtnSEND")->setEnabled(true);
    f.click("BitBtnUPDATE");
    QCOMPARE(f.text("edtDate"), std::string("&transactionDateTime=1-May-2005"));
    QCOMPARE(f.text("edtCASH"), std::string("&cashSales=5"));
    QCOMPARE(f.text("edtOther"), std::string("&others=0"));
    QVERIFY(f.find<QPushButton>("BitBtnSEND")->isEnabled());  // UPDATE leaves SEND as it was
}

void TestWindowSettings::emptyFilterReadsBackEmpty() {
    WindowFixture f;
    f.start();
    f.edit("FilterCreditCardVISA")->clear();
    f.click("BitBtnUPDATE");
    QCOMPARE(f.text("FilterCreditCardVISA"), std::string());
    WindowFixture again;  // a restart reads the same file
    again.builtInList = f.builtInList;
    QFile::copy(QString::fromStdString(f.iniPath()), QString::fromStdString(again.iniPath()));
    again.start();
    QCOMPARE(again.text("FilterCreditCardVISA"), std::string());
    QCOMPARE(again.text("FilterCASH"), std::string("Pymt_MASCODE='CASH'"));
}

void TestWindowSettings::handWrittenFileInOtherLetterCase() {
    WindowFixture f;
    writeFile(f.iniPath(),
              "; written by hand\n[general]\n default_store = 0042 \n[KELVORA]\nuser=\"userName=shop 7\"\n"
              "[kelvora_filter]\ncashsales=Pymt_MASCODE IN ('CASH','GC')\n");
    f.start();
    QCOMPARE(f.text("edtStore"), std::string("0042"));
    QCOMPARE(f.text("edtUser"), std::string("userName=shop 7"));
    QCOMPARE(f.text("FilterCASH"), std::string("Pymt_MASCODE IN ('CASH','GC')"));
    QCOMPARE(f.text("edtPassword"), std::string("&password=70261384"));
}

void TestWindowSettings::longValueIsCut() {
    WindowFixture f;
    const QByteArray value(3000, 'x');
    writeFile(f.iniPath(), "[Kelvora_Filter]\nOTHER=" + value + "\n");
    f.start();
    QCOMPARE(f.text("FilterOther"), std::string(2047, 'x'));
}

void TestWindowSettings::singleByteTextsRoundTrip() {
    WindowFixture f;
    writeFile(f.iniPath(), "[Kelvora]\nUSER=userName=Caf\xE9\n");
    f.start();
    QCOMPARE(f.edit("edtUser")->text(), QString::fromUtf8("userName=Caf\u00E9"));
    f.click("BitBtnUPDATE");
    QVERIFY(readAll(f.iniPath()).contains("USER=userName=Caf\xE9"));
}

void TestWindowSettings::updateWithoutLocationLeavesConnection() {
    WindowFixture f;
    TfrmKelvora& w = f.start();
    QCOMPARE(w.windowTitle(), QStringLiteral("Kelvora - Non Active"));
    QSignalSpy titles(&w, &QWidget::windowTitleChanged);
    f.click("BitBtnUPDATE");
    QCOMPARE(titles.count(), 0);
    QCOMPARE(f.boxes.shown, (std::vector<test::ShownBox>{{"plain", "UPDATE Done."}}));
    QCOMPARE(ProfileFile(f.iniPath()).readString("General", "FDB_SALES_FILE", "?"), std::string());
}

void TestWindowSettings::refusedWriteEndsUpdate() {
    WindowFixture f;
    writeFile(f.iniPath(), "[General]\nDEFAULT_STORE=0001\n");
    f.start();
    QFile::setPermissions(QString::fromStdString(f.iniPath()), QFileDevice::ReadOwner | QFileDevice::ReadOther);
    const QByteArray before = readAll(f.iniPath());
    f.edit("edtStore")->setText("0002");
    f.click("BitBtnUPDATE");
    QCOMPARE(f.boxes.shown, (std::vector<test::ShownBox>{{"unhandled", "Unable to write to " + f.iniPath() + "."}}));
    QCOMPARE(readAll(f.iniPath()), before);
    QCOMPARE(f.text("edtStore"), std::string("0002"));  // what the operator typed stays
    f.click("BitBtnGET");                                // and the program goes on
}

QTEST_MAIN(TestWindowSettings)
#include "test_window_settings.moc"
