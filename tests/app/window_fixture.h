#pragma once
// A window built with recording seams: message boxes, clock, browser start.
// The database client is the real Firebird one.

#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "browser_launcher.h"
#include "clock.h"
#include "database_client.h"
#include "date_picker.h"
#include "frm_Kelvora.h"
#include "message_boxes.h"

namespace kelvora::test {

struct ShownBox {
    std::string kind;  // "plain", "error", "unhandled"
    std::string text;  // as the operator reads it
    bool operator==(const ShownBox&) const = default;
};

class RecordingBoxes final : public IMessageBoxes {
public:
    std::vector<ShownBox> shown;
    std::function<void()> whileShown;  // runs while a box is "open"
    void plainBox(const std::string& text) override { record("plain", text); }
    void errorBox(const std::string& text) override { record("error", text); }
    void unhandledFailureBox(const std::string& message) override {
        record("unhandled", unhandledFailureText(message));
    }

private:
    void record(const char* kind, const std::string& text) {
        shown.push_back({kind, text});
        if (whileShown) whileShown();
    }
};

class FixedClock final : public IClock {
public:
    LocalDateTime time{{2005, 5, 2}, 9, 5, 7};
    LocalDateTime now() const override { return time; }
};

class RecordingLauncher final : public submit::IBrowserLauncher {
public:
    std::vector<std::string> urls;
    void open(const std::string& url) override { urls.push_back(url); }
};

// A location no server or file answers to, so the built-in opening fails fast.
inline std::vector<std::string> unreachableBuiltInList() {
    auto list = salesdb::builtInParameterList();
    for (auto& line : list)
        if (line.rfind("Database=", 0) == 0) line = "Database=/nonexistent/kelvora-test.fdb";
    return list;
}

class WindowFixture {
public:
    RecordingBoxes boxes;
    FixedClock clock;
    RecordingLauncher launcher;
    QTemporaryDir dir;
    // The window frees itself when closed, as the program's does.
    QPointer<TfrmKelvora> window;
    ~WindowFixture() { delete window.data(); }
    std::vector<std::string> builtInList = unreachableBuiltInList();
    RegionalSettings regional = RegionalSettings::englishUnitedStates();

    std::string exePath() const { return (dir.path() + "/Kelvora").toStdString(); }
    std::string iniPath() const { return (dir.path() + "/Kelvora.ini").toStdString(); }

    // Builds the window (the built-in opening included) without start-up.
    TfrmKelvora& create() {
        WindowServices s;
        s.boxes = &boxes;
        s.clock = &clock;
        s.launcher = &launcher;
        s.executablePath = exePath();
        s.client = salesdb::makeFirebirdClient();
        s.builtInParameterList = builtInList;
        s.readRegional = [this] { return regional; };
        delete window.data();
        window = new TfrmKelvora(std::move(s));
        return *window;
    }
    // Builds the window and runs start-up, as the program does before showing it.
    TfrmKelvora& start() {
        create();
        window->FormCreate(window);
        return *window;
    }

    template <typename T = QWidget>
    T* find(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        if (!w) qFatal("no component %s", name);
        return w;
    }
    QLineEdit* edit(const char* name) const { return find<QLineEdit>(name); }
    std::string text(const char* name) const { return edit(name)->text().toStdString(); }
    void click(const char* name) const { find<QAbstractButton>(name)->click(); }
};

}  // namespace kelvora::test
