#pragma once
// The program's one window: three pages reached through the banner links,
// the lock on the parameter fields, the activity log, and the handlers that
// wire the components to the subsystems.

#include <QWidget>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "clock.h"
#include "date_time.h"
#include "profile_file.h"
#include "regional_settings.h"
#include "sql_connection.h"
#include "sql_query.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;

namespace kelvora {

class DatePicker;
class IMessageBoxes;
class LinkLabel;
namespace submit {
class IBrowserLauncher;
}

// What the window needs from the outside world; tests put their own in.
struct WindowServices {
    IMessageBoxes* boxes = nullptr;
    const IClock* clock = nullptr;
    submit::IBrowserLauncher* launcher = nullptr;
    std::string executablePath;  // the settings file lives beside it
    std::unique_ptr<salesdb::IDatabaseClient> client;
    std::vector<std::string> builtInParameterList = salesdb::builtInParameterList();
    std::function<RegionalSettings()> readRegional;
};

enum class CloseAction { None, Hide, Free };

class TfrmKelvora : public QWidget {
    Q_OBJECT
public:
    // Creates every component hidden, then opens the connection with its
    // built-in parameter list; a failure there leaves it closed, silently.
    explicit TfrmKelvora(WindowServices services, QWidget* parent = nullptr);
    ~TfrmKelvora() override;

    // Handlers: each takes the component that raised the event.
    void FormCreate(QObject* sender);
    void FormClose(QObject* sender, CloseAction& action);
    void LabelTab1Click(QObject* sender);
    void BitBtnCLOSEClick(QObject* sender);
    void cbLockClick(QObject* sender);
    void BitBtnGETClick(QObject* sender);
    void BitBtnSENDClick(QObject* sender);
    void BitBtnUPDATEClick(QObject* sender);
    void BitBtnRETRClick(QObject* sender);
    void BitBtnCONNECTClick(QObject* sender);
    void SQLConnKelvoraAfterConnect(QObject* sender);
    void SQLConnKelvoraAfterDisconnect(QObject* sender);

    void LoadSettings();
    void AddToLog(const std::string& text);

    // The activity log as one text: each line followed by CR LF.
    std::string logText() const;
    const RegionalSettings& regional() const { return regional_; }
    salesdb::SqlConnection& connection() { return SQLConnKelvora; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    class RunGuard;
    class GetSalesView;
    class ListingView;
    class SendView;

    void createBanner();
    QWidget* createMainPage();
    QWidget* createSettingsPage();
    QWidget* createLogPage();
    void setTabOrders();
    void applyRegionalSettings();
    void applyLock(bool locked);
    void clearLog();
    QLineEdit* field(std::string_view windowField) const;
    std::string fieldText(std::string_view windowField) const;
    // Runs a handler; a failure that escapes it reaches the unhandled-failure box.
    void runHandler(const std::function<void()>& handler);
    template <typename Widget, typename Signal>
    void wire(Widget* source, Signal signal, void (TfrmKelvora::*handler)(QObject*));

    WindowServices services_;
    RegionalSettings regional_;

    QLabel* bannerImage_ = nullptr;
    QLabel* versionLabel_ = nullptr;
    std::vector<LinkLabel*> links_;  // MainPage, Settings, GETLog
    QTabWidget* pages_ = nullptr;
    QWidget* mainPage_ = nullptr;
    QWidget* settingsPage_ = nullptr;
    QWidget* logPage_ = nullptr;

    DatePicker* wwDBDateTimePicker1 = nullptr;
    DatePicker* wwDBDateTimePicker2 = nullptr;
    DatePicker* wwDBDateTimePicker3 = nullptr;
    QCheckBox* CheckBoxIGNORE = nullptr;
    QCheckBox* cbLock = nullptr;
    QPushButton* BitBtnGET = nullptr;
    QPushButton* BitBtnSEND = nullptr;
    QPushButton* BitBtnCLOSE = nullptr;
    QPushButton* BitBtnUPDATE = nullptr;
    QPushButton* BitBtnRETR = nullptr;
    QPushButton* BitBtnCONNECT = nullptr;
    QPlainTextEdit* Memo_Log = nullptr;
    QListWidget* ListBox_GETLog = nullptr;
    std::map<std::string, QLineEdit*, std::less<>> fields_;  // by component name
    std::vector<QLineEdit*> parameterFields_;                // edtDate .. edtOther
    bool logEmpty_ = true;

    salesdb::SqlConnection SQLConnKelvora;
    salesdb::SqlQuery TmpSQL;
    salesdb::SqlQuery SQL_GetLog;
    salesdb::SqlStatement tblPeriodCLOSE_INSERT;
    std::unique_ptr<salesdb::IBusyIndicator> busyPointer_;
    std::unique_ptr<ProfileFile> settingsFile_;

    // Date and store of the GET Sales run that enabled SEND.
    struct CompletedRun {
        CalendarDate salesDate;
        std::string store;
    };
    std::optional<CompletedRun> lastRun_;

    bool operationRunning_ = false;
    bool closePending_ = false;
};

// The program-wide reference to the one window.
extern TfrmKelvora* frmKelvora;

}  // namespace kelvora
