// Saves PNG pictures of the three pages after a "GET Sales" run, with the
// settings file of a given folder (normally the demo database's).
// Usage: kelvora-screenshots <folder holding Kelvora.ini> <output folder>

#include <QAbstractButton>
#include <QApplication>
#include <QDateEdit>
#include <QDir>
#include <QPointer>
#include <QTimer>
#include <clocale>
#include <cstdio>

#include "browser_launcher.h"
#include "frm_Kelvora.h"
#include "message_boxes.h"

using namespace kelvora;

namespace {

// Message boxes would stop an unattended run: print them instead.
class PrintedBoxes final : public IMessageBoxes {
public:
    void plainBox(const std::string& text) override { std::fprintf(stderr, "box: %s\n", text.c_str()); }
    void errorBox(const std::string& text) override { std::fprintf(stderr, "error box: %s\n", text.c_str()); }
    void unhandledFailureBox(const std::string& message) override {
        std::fprintf(stderr, "failure box: %s\n", unhandledFailureText(message).c_str());
    }
};

class NoBrowser final : public submit::IBrowserLauncher {
public:
    void open(const std::string&) override {}
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder holding Kelvora.ini> <output folder>\n", argv[0]);
        return 2;
    }
    QApplication app(argc, argv);
    const QString settingsDir = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString outDir = QDir(QString::fromLocal8Bit(argv[2])).absolutePath();
    QDir().mkpath(outDir);

    PrintedBoxes boxes;
    SystemClock clock;
    NoBrowser browser;
    WindowServices services;
    services.boxes = &boxes;
    services.clock = &clock;
    services.launcher = &browser;
    services.executablePath = (settingsDir + "/Kelvora").toStdString();
    services.client = salesdb::makeFirebirdClient();
    services.readRegional = [] {
        std::setlocale(LC_ALL, "");
        RegionalSettings r = readRegionalSettings();
        std::setlocale(LC_NUMERIC, "C");
        return r;
    };

    // The window frees itself when it closes.
    QPointer<TfrmKelvora> window = new TfrmKelvora(std::move(services));
    window->FormCreate(window);
    window->show();

    int status = 0;
    QTimer::singleShot(300, window, [&] {
        window->findChild<QAbstractButton*>("BitBtnGET")->click();
        const char* links[] = {"LabelTab1", "LabelTab2", "LabelTab3"};
        const char* files[] = {"main-page.png", "settings-page.png", "log-page.png"};
        for (int i = 0; i < 3; ++i) {
            window->LabelTab1Click(window->findChild<QObject*>(links[i]));
            if (i == 2) {
                // The demo's journal holds the weeks before today; the picker starts at today.
                auto* from = window->findChild<QDateEdit*>("wwDBDateTimePicker2");
                from->setDate(from->date().addDays(-30));
                window->findChild<QAbstractButton*>("BitBtnRETR")->click();
            }
            QApplication::processEvents();
            if (!window->grab().save(outDir + "/" + files[i])) status = 1;
        }
        window->LabelTab1Click(window->findChild<QObject*>("LabelTab1"));
        window->close();
    });
    app.exec();
    delete window.data();
    return status;
}
