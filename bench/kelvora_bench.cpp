// kelvora-bench: the program's own cost beside the database's work, as
// ratios measured side by side in one run.
//
//   kelvora-bench --data <folder> [--runs N] [--only get|get-index|get-noindex|retrv|send|start]
//   kelvora-bench --smoke
//
// The folder holds bench-index.fdb and bench-noindex.fdb (kelvora-bench-db)
// and demo.fdb (kelvora-demo-db); the benchmark works on copies of them.
// Each figure is the median of N runs (after one warm-up run of each side),
// the program and its yardstick taken in turns so that noise hits both alike.
// --smoke builds small databases and runs every measurement once, checking
// that each works, not its figures.

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench_data.h"
#include "browser_launcher.h"
#include "clock.h"
#include "database_client.h"
#include "date_picker.h"
#include "direct_db.h"
#include "formats.h"
#include "frm_Kelvora.h"
#include "message_boxes.h"
#include "period_close_journal.h"
#include "sales_totals.h"
#include "sql_connection.h"
#include "startup_probe.h"
#include "submission.h"
#include "submission_record.h"

namespace {

using namespace kelvora;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kSkipCode = 77;
const char* const kStore = bench::kJournalStore;

struct Failure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

void require(bool condition, const std::string& what) {
    if (!condition) throw Failure(what);
}

// ---- figures ---------------------------------------------------------------

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

struct Series {
    std::vector<double> values;
    double median() const { return ::median(values); }
    double min() const { return *std::min_element(values.begin(), values.end()); }
    double max() const { return *std::max_element(values.begin(), values.end()); }
};

void printFigure(const char* side, const Series& s, const char* unit, double scale = 1) {
    std::printf("  %-9s %10.2f %s   (%zu runs, %.2f .. %.2f)\n", side, s.median() * scale, unit, s.values.size(),
                s.min() * scale, s.max() * scale);
}

// Medians, each pair's ratio, and the ratio of the medians against its goal.
bool printComparison(const std::string& name, const Series& program, const Series& baseline, double goal,
                     const char* unit = "ms", double scale = 1) {
    std::printf("%s\n", name.c_str());
    printFigure("program", program, unit, scale);
    printFigure("yardstick", baseline, unit, scale);
    Series pairs;
    for (std::size_t i = 0; i < program.values.size(); ++i) pairs.values.push_back(program.values[i] / baseline.values[i]);
    std::printf("  ratio of each pair: median %.3f, %.3f .. %.3f\n", pairs.median(), pairs.min(), pairs.max());
    const double ratio = program.median() / baseline.median();
    std::printf("ratio %s = %.2f (goal <= %.2f)%s\n", name.c_str(), ratio, goal, ratio <= goal ? "" : "  MISSED");
    std::fflush(stdout);
    return ratio <= goal;
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Runs `program` and `baseline` in turns: one untimed warm-up of each, then `runs` pairs.
void alternate(int runs, bool warmUp, const std::function<double()>& program, const std::function<double()>& baseline,
               Series& p, Series& b) {
    if (warmUp) {
        program();
        baseline();
    }
    for (int i = 0; i < runs; ++i) {
        p.values.push_back(program());
        b.values.push_back(baseline());
    }
}

std::string loadAverage() {
    std::ifstream in("/proc/loadavg");
    std::string a, b, c;
    in >> a >> b >> c;
    return a + " " + b + " " + c;
}

bool serverListening() {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(3050);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(fd);
    return up;
}

// ---- the window with recording seams --------------------------------------

class RecordingBoxes final : public IMessageBoxes {
public:
    std::vector<std::string> shown;
    void plainBox(const std::string& text) override { shown.push_back(text); }
    void errorBox(const std::string& text) override { shown.push_back(text); }
    void unhandledFailureBox(const std::string& message) override { shown.push_back(message); }
};

class FixedClock final : public IClock {
public:
    LocalDateTime time;
    LocalDateTime now() const override { return time; }
};

class RecordingLauncher final : public submit::IBrowserLauncher {
public:
    std::vector<std::string> urls;
    void open(const std::string& url) override { urls.push_back(url); }
};

void writeSettings(const std::string& folder, const std::string& database) {
    fs::create_directories(folder);
    std::ofstream ini(folder + "/Kelvora.ini", std::ios::binary | std::ios::trunc);
    ini << "[General]\r\nFDB_SALES_FILE=" << database << "\r\nDEFAULT_STORE=" << kStore << "\r\n";
    require(ini.good(), "cannot write " + folder + "/Kelvora.ini");
}

// The program's window as start-up leaves it, shown (offscreen), on `database`,
// its settings file beside a pretend executable in `folder`.
class BenchWindow {
public:
    RecordingBoxes boxes;
    FixedClock clock;
    RecordingLauncher launcher;
    QPointer<TfrmKelvora> window;

    BenchWindow(const std::string& folder, const std::string& database) {
        writeSettings(folder, database);
        // The day after the last sales day: the date picker starts on that day.
        clock.time = {bench::addDays(bench::lastSalesDay(), 1), 9, 5, 7};
        WindowServices s;
        s.boxes = &boxes;
        s.clock = &clock;
        s.launcher = &launcher;
        s.executablePath = folder + "/Kelvora";
        s.client = salesdb::makeFirebirdClient();
        // The built-in location answers nowhere, so nothing waits on a server.
        s.builtInParameterList = salesdb::builtInParameterList();
        for (auto& line : s.builtInParameterList)
            if (line.rfind("Database=", 0) == 0) line = "Database=/nonexistent/kelvora-bench.fdb";
        s.readRegional = [] { return RegionalSettings::englishUnitedStates(); };
        window = new TfrmKelvora(std::move(s));
        window->FormCreate(window);
        window->show();
        require(QTest::qWaitForWindowExposed(window), "the window was never shown");
        require(window->connection().connected(), "the window did not connect to " + database);
        require(boxes.shown.empty(), "start-up showed a message: " + (boxes.shown.empty() ? "" : boxes.shown[0]));
    }
    ~BenchWindow() { delete window.data(); }

    template <typename T = QWidget>
    T* find(const char* name) const {
        T* w = window->findChild<T*>(QString::fromLatin1(name));
        require(w != nullptr, std::string("no component ") + name);
        return w;
    }
    // Handles what the last click left pending (painting), outside the timing.
    static void settle() {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }
    void showPage(const char* link) { window->LabelTab1Click(find(link)); settle(); }
    double click(const char* button) {
        QPushButton* b = find<QPushButton>(button);
        const auto start = Clock::now();
        b->click();
        const double ms = msSince(start);
        settle();
        return ms;
    }
};

// ---- the measurements ------------------------------------------------------

std::string totalText(double sum) { return formatTotal(sum, RegionalSettings::englishUnitedStates()); }

// GET Sales of the last sales day: the click to the END entry against the
// same seven statements.
bool measureGetSales(const std::string& name, const std::string& folder, const std::string& database, int runs,
                     bool warmUp) {
    BenchWindow w(folder, database);
    bench::DirectDatabase direct(database);
    const CalendarDate day = bench::lastSalesDay();
    require(w.find<DatePicker>("wwDBDateTimePicker1")->calendarDate() == day, "the sales date picker is not on the last day");
    auto* log = w.find<QPlainTextEdit>("Memo_Log");

    std::vector<std::string> statements{salesdb::joinStatementLines({salesdb::alreadySentQuery(kStore, day)})};
    for (const PaymentCategory& c : paymentCategories())
        statements.push_back(salesdb::joinStatementLines(salesdb::totalQueryLines(day, kStore, c.defaultFilter())));

    std::vector<double> sums;
    auto program = [&] {
        log->clear();  // as start-up leaves it
        const double ms = w.click("BitBtnGET");
        require(w.boxes.shown.empty(), "GET Sales showed: " + (w.boxes.shown.empty() ? "" : w.boxes.shown[0]));
        require(w.window->logText().find("< END ") != std::string::npos, "GET Sales wrote no END entry");
        return ms;
    };
    auto baseline = [&] {
        const auto start = Clock::now();
        sums.clear();
        const bench::DirectResult sent = direct.query(statements[0]);
        for (std::size_t i = 1; i < statements.size(); ++i) sums.push_back(direct.query(statements[i]).firstValue.value_or(0));
        const double ms = msSince(start);
        require(sent.rows == 0, "the benchmark day is already in the journal");
        return ms;
    };
    Series p, b;
    alternate(runs, warmUp, program, baseline, p, b);
    // The window's totals are the database's.
    for (std::size_t i = 0; i < paymentCategories().size(); ++i) {
        const std::string expected = std::string(paymentCategories()[i].parameterPrefix) + totalText(sums[i]);
        const std::string shown = w.find<QLineEdit>(std::string(paymentCategories()[i].parameterField).c_str())->text().toStdString();
        require(shown == expected, "GET Sales shows " + shown + ", the database sums " + expected);
    }
    require(sums[0] > 0, "no cash payments on the benchmark day");
    return printComparison(name, p, b, 1.05);
}

// RETRV of every journal row against fetching the rows and their memos.
bool measureRetrieve(const std::string& folder, const std::string& database, int runs, bool warmUp) {
    BenchWindow w(folder, database);
    bench::DirectDatabase direct(database);
    const auto count = static_cast<std::size_t>(
        direct.query("SELECT COUNT(*) FROM STK_PERIOD_CLOSE WHERE S_STORE='" + std::string(kStore) + "'")
            .firstValue.value_or(0));
    require(count > 0, "the journal is empty");
    const CalendarDate from = bench::firstJournalDay(count), to = bench::lastSalesDay();
    w.find<DatePicker>("wwDBDateTimePicker2")->setCalendarDate(from);
    w.find<DatePicker>("wwDBDateTimePicker3")->setCalendarDate(to);
    w.showPage("LabelTab3");
    auto* list = w.find<QListWidget>("ListBox_GETLog");
    const std::string sql = salesdb::joinStatementLines(salesdb::journalListingLines(kStore, from, to));

    auto program = [&] {
        const double ms = w.click("BitBtnRETR");
        require(w.boxes.shown.empty(), "RETRV showed: " + (w.boxes.shown.empty() ? "" : w.boxes.shown[0]));
        require(static_cast<std::size_t>(list->count()) == count,
                "RETRV listed " + std::to_string(list->count()) + " of " + std::to_string(count) + " rows");
        return ms;
    };
    auto baseline = [&] {
        const auto start = Clock::now();
        const bench::DirectResult r = direct.query(sql);
        const double ms = msSince(start);
        require(r.rows == count && r.blobBytes > 0, "the listing statement read " + std::to_string(r.rows) + " rows");
        return ms;
    };
    Series p, b;
    alternate(runs, warmUp, program, baseline, p, b);
    const bool met = printComparison("RETRV (" + std::to_string(count) + " rows)", p, b, 1.5);

    // Where the program's time goes: the same listing code with a view that
    // only collects the lines, without and with the event handling per row.
    class Collecting final : public salesdb::IJournalListingView {
    public:
        bool events = false;
        std::size_t lines = 0;
        void clearList() override { lines = 0; }
        void appendLine(const std::string& line) override { lines += !line.empty(); }
        void processPendingEvents() override {
            if (events) QApplication::processEvents();
        }
        void plainBox(const std::string& text) override { throw Failure("the listing failed: " + text); }
    } view;
    salesdb::SqlConnection connection(salesdb::makeFirebirdClient());
    connection.setParameterList(salesdb::connectParameterList(database));
    salesdb::SqlQuery query(connection);
    auto listing = [&](bool events) {
        view.events = events;
        const auto start = Clock::now();
        salesdb::runJournalListing(query, kStore, from, to, view, RegionalSettings::englishUnitedStates());
        const double ms = msSince(start);
        require(view.lines == count, "the listing code listed " + std::to_string(view.lines) + " rows");
        return ms;
    };
    Series alone, withEvents;
    alternate(runs, warmUp, [&] { return listing(false); }, [&] { return listing(true); }, alone, withEvents);
    std::printf("  where the time goes: the listing code alone %.2f ms, with the event handling after each row %.2f ms\n",
                alone.median(), withEvents.median());
    return met;
}

// SEND after a GET Sales: log, insert, browser start (recorded) against the insert alone.
bool measureSend(const std::string& folder, const std::string& database, int runs, bool warmUp) {
    BenchWindow w(folder, database);
    bench::DirectDatabase direct(database);
    const CalendarDate day = bench::lastSalesDay();
    w.click("BitBtnGET");
    require(w.boxes.shown.empty(), "GET Sales before SEND showed a message");
    auto* send = w.find<QPushButton>("BitBtnSEND");
    std::string memo;

    auto program = [&] {
        send->setEnabled(true);  // as GET Sales leaves it
        const std::size_t before = w.launcher.urls.size();
        const double ms = w.click("BitBtnSEND");
        const std::string log = w.window->logText();
        require(log.find(submit::kPostingError) == std::string::npos, "SEND could not journal the submission");
        require(w.launcher.urls.size() == before + 1, "SEND started no browser");
        // The journal memo is the log without its END line.
        const auto end = log.rfind("> END ");
        require(end != std::string::npos, "SEND wrote no END entry");
        memo = log.substr(0, end);
        return ms;
    };
    auto baseline = [&] {
        const auto start = Clock::now();
        direct.insertJournalRow(day, memo, kStore);
        return msSince(start);
    };
    const std::string countSql = "SELECT COUNT(*) FROM STK_PERIOD_CLOSE WHERE S_DATE='" + sqlDateText(day) + "'";
    const double rowsBefore = direct.query(countSql).firstValue.value_or(0);
    Series p, b;
    alternate(runs, warmUp, program, baseline, p, b);
    const double rowsAfter = direct.query(countSql).firstValue.value_or(0);
    require(rowsAfter - rowsBefore == 2.0 * (runs + (warmUp ? 1 : 0)), "SEND and its yardstick did not store every row");
    return printComparison("SEND", p, b, 1.2);
}

// Start-up of the real executable to its window against the least Qt program
// that shows one window attached to the same database.
int measureStartup(const std::string& work, const std::string& kelvora, const std::string& minimal,
                   const std::string& demo, int runs, bool warmUp, bool& met) {
    std::string why;
    auto display = bench::PrivateDisplay::start(why);
    if (!display) {
        std::printf("start-up: not measured: %s\n", why.c_str());
        return kSkipCode;
    }
    const std::string folder = work + "/start";
    writeSettings(folder, demo);
    const std::string copy = folder + "/Kelvora";
    fs::copy_file(kelvora, copy, fs::copy_options::overwrite_existing);
    const std::string logPath = work + "/start.log";
    std::printf("start-up: on Xvfb %s; the built-in connection's server at 127.0.0.1:3050 is %s\n",
                display->name().c_str(), serverListening() ? "listening" : "not listening");

    Series pTime, bTime, pMemory, bMemory;
    // Each run lets the window settle for 200 ms (first paint) before it is closed.
    auto sample = [&](const std::vector<std::string>& command, Series* time, Series* memory) {
        const bench::StartupSample s = display->run(command, logPath, 200);
        if (!s.ok) throw Failure(s.error + " (output in " + logPath + ")");
        if (time) time->values.push_back(s.secondsToWindow * 1000);
        if (memory) memory->values.push_back(static_cast<double>(s.peakResidentKiB));
    };
    const std::vector<std::string> program{copy};
    const std::vector<std::string> yardstick{minimal, demo};
    if (warmUp) {
        sample(program, nullptr, nullptr);
        sample(yardstick, nullptr, nullptr);
    }
    for (int i = 0; i < runs; ++i) {
        sample(program, &pTime, &pMemory);
        sample(yardstick, &bTime, &bMemory);
    }
    met = printComparison("start-up to the window", pTime, bTime, 1.3);
    met = printComparison("peak resident memory", pMemory, bMemory, 1.3, "MiB", 1.0 / 1024) && met;
    return 0;
}

// ---- set-up ----------------------------------------------------------------

void copyDatabase(const std::string& from, const std::string& to) {
    require(fs::exists(from), from + " is missing: build it with tools/bench.sh");
    fs::copy_file(from, to, fs::copy_options::overwrite_existing);
}

void makeSmokeData(const std::string& folder) {
    bench::BenchDataOptions o;
    o.payments = 20000;
    o.journalRows = 200;
    o.forcedWrites = false;  // a test's throw-away files
    bench::generateBenchDatabase(folder + "/bench-index.fdb", o);
    o.paymentIndex = false;
    bench::generateBenchDatabase(folder + "/bench-noindex.fdb", o);
    const std::string demo = folder + "/demo.fdb";
    const pid_t pid = fork();
    if (pid == 0) {
        execl(KELVORA_BENCH_DEMO_TOOL, KELVORA_BENCH_DEMO_TOOL, demo.c_str(), "--today", "2025-05-02",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    require(WIFEXITED(status) && WEXITSTATUS(status) == 0 && fs::exists(demo), "kelvora-demo-db failed");
}

int usage() {
    std::fprintf(stderr,
                 "usage: kelvora-bench --data <folder> [--runs N] [--only get|get-index|get-noindex|retrv|send|start]\n"
                 "       kelvora-bench --smoke\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    // The window draws into memory; the start-up runs get a display of their own.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::string data, only;
    int runs = 11;
    bool smoke = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--data" && i + 1 < argc) {
            data = argv[++i];
        } else if (arg == "--runs" && i + 1 < argc) {
            runs = std::atoi(argv[++i]);
            if (runs < 1) return usage();
        } else if (arg == "--only" && i + 1 < argc) {
            only = argv[++i];
        } else if (arg == "--smoke") {
            smoke = true;
        } else {
            return usage();
        }
    }
    if (!smoke && data.empty()) return usage();
    if (smoke) runs = 1;
    const bool warmUp = !smoke;
    // "get" stands for both of its variants.
    auto wanted = [&](const std::string& what) {
        return only.empty() || only == what || (what.rfind("get-", 0) == 0 && only == "get");
    };

    QApplication app(argc, argv);
    QTemporaryDir work;
    if (!work.isValid()) {
        std::fprintf(stderr, "kelvora-bench: no temporary folder\n");
        return 1;
    }
    const std::string dir = work.path().toStdString();
    bool met = true;
    int startup = 0;
    try {
        if (smoke) {
            data = dir + "/data";
            fs::create_directories(data);
            makeSmokeData(data);
        }
        std::printf("kelvora-bench: %d runs a figure%s; load average %s\n", runs, warmUp ? " after a warm-up" : "",
                    loadAverage().c_str());
        const std::string indexed = dir + "/bench-index.fdb", plain = dir + "/bench-noindex.fdb";
        const std::string demo = dir + "/demo.fdb";
        if (wanted("get-index") || wanted("retrv") || wanted("send"))
            copyDatabase(data + "/bench-index.fdb", indexed);
        if (wanted("get-noindex")) copyDatabase(data + "/bench-noindex.fdb", plain);
        if (wanted("start")) copyDatabase(data + "/demo.fdb", demo);

        if (wanted("get-index"))
            met = measureGetSales("GET Sales (index)", dir + "/get-index", indexed, runs, warmUp) && met;
        if (wanted("get-noindex"))
            met = measureGetSales("GET Sales (no index)", dir + "/get-noindex", plain, runs, warmUp) && met;
        // SEND adds journal rows: it runs after the listing.
        if (wanted("retrv")) met = measureRetrieve(dir + "/retrv", indexed, runs, warmUp) && met;
        if (wanted("send")) met = measureSend(dir + "/send", indexed, runs, warmUp) && met;
        if (wanted("start")) {
            bool startMet = true;
            startup = measureStartup(dir, KELVORA_BENCH_PROGRAM, KELVORA_BENCH_WINDOW, demo, runs, warmUp, startMet);
            met = startMet && met;
        }
        std::printf("load average at the end %s\n", loadAverage().c_str());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kelvora-bench: %s\n", e.what());
        return 1;
    }
    if (smoke) {
        // A smoke run checks that every measurement works, not its figures.
        if (startup == kSkipCode) return kSkipCode;
        std::printf("smoke run: every measurement worked\n");
        return 0;
    }
    std::printf(met ? "every ratio meets its goal\n" : "some ratio misses its goal\n");
    return 0;
}
