// Runs the window in a process of its own for test_readonly_settings, so
// that it can run as an unprivileged user (root's writes are never refused):
//
//   reliability_window_helper FOLDER
//
// Starts the window with its settings file in FOLDER, says "READY uid=N",
// waits for one line on standard input (meanwhile the test takes the write
// permission away), then types into "UserName", presses "UPDATE" and then
// "GET Sales", and reports what the operator saw:
//   BOX <kind> <text, percent-encoded>
//   FIELD edtUser <text, percent-encoded>
//   DONE

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <iostream>
#include <string>

#include "window_fixture.h"

using namespace kelvora;

namespace {

std::string encoded(const std::string& text) {
    return QByteArray::fromStdString(text).toPercentEncoding().toStdString();
}

}  // namespace

int main(int argc, char** argv) {
    // Never outlive the test, whatever happens to it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::alarm(60);
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }

    test::RecordingBoxes boxes;
    test::FixedClock clock;
    test::RecordingLauncher launcher;
    WindowServices s;
    s.boxes = &boxes;
    s.clock = &clock;
    s.launcher = &launcher;
    s.executablePath = std::string(argv[1]) + "/Kelvora";
    s.client = salesdb::makeFirebirdClient();
    // A server address nothing listens on: refused at once, no engine needed.
    for (auto& line : s.builtInParameterList)
        if (line.rfind("Database=", 0) == 0) line = "Database=127.0.0.1/1:/nonexistent/kelvora.fdb";
    s.readRegional = [] { return RegionalSettings::englishUnitedStates(); };

    auto* window = new TfrmKelvora(std::move(s));
    window->FormCreate(window);
    std::printf("READY uid=%d\n", static_cast<int>(::getuid()));
    std::fflush(stdout);
    std::string go;
    std::getline(std::cin, go);

    window->findChild<QLineEdit*>(QStringLiteral("edtUser"))->setText(QStringLiteral("changed by operator"));
    window->findChild<QPushButton*>(QStringLiteral("BitBtnUPDATE"))->click();
    // The program goes on: the next operation runs and reports its own message.
    window->findChild<QPushButton*>(QStringLiteral("BitBtnGET"))->click();

    for (const auto& box : boxes.shown) std::printf("BOX %s %s\n", box.kind.c_str(), encoded(box.text).c_str());
    std::printf("FIELD edtUser %s\n",
                encoded(window->findChild<QLineEdit*>(QStringLiteral("edtUser"))->text().toStdString()).c_str());
    std::printf("DONE\n");
    std::fflush(stdout);
    delete window;
    return 0;
}
