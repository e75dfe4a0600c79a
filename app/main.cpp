// The program entry: create the window, run start-up, show it, run the event
// loop until it closes, and end with exit code 0.

#include <QPointer>
#include <clocale>

#include "browser_launcher.h"
#include "frm_Kelvora.h"
#include "kelvora_application.h"
#include "message_boxes.h"
#include "shutdown_signals.h"

using namespace kelvora;

namespace {

// Reads the user's regional settings; numbers inside the process stay in the
// "C" format so that conversions of amounts never depend on the locale.
RegionalSettings userRegionalSettings() {
    std::setlocale(LC_ALL, "");
    RegionalSettings regional = readRegionalSettings();
    std::setlocale(LC_NUMERIC, "C");
    return regional;
}

}  // namespace

int main(int argc, char** argv) {
    blockShutdownSignals();
    KelvoraApplication app(argc, argv);
    const std::string exePath = QCoreApplication::applicationFilePath().toStdString();
    QtMessageBoxes boxes(programTitleFor(exePath));
    app.setMessageBoxes(&boxes);
    SystemClock clock;
    submit::XdgOpenLauncher launcher;

    WindowServices services;
    services.boxes = &boxes;
    services.clock = &clock;
    services.launcher = &launcher;
    services.executablePath = exePath;
    services.client = salesdb::makeFirebirdClient();
    services.readRegional = userRegionalSettings;

    QPointer<TfrmKelvora> window = new TfrmKelvora(std::move(services));
    frmKelvora = window;
    try {
        window->FormCreate(window);
    } catch (const std::exception& e) {
        boxes.unhandledFailureBox(e.what());
    }
    watchShutdownSignals(window, [window] {
        if (window) window->close();
    });
    window->show();
    app.exec();
    delete window.data();
    return 0;
}
