#include "frm_Kelvora.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTextBlock>
#include <algorithm>
#include <exception>

#include "anchored_page.h"
#include "banner.h"
#include "browser_launcher.h"
#include "date_picker.h"
#include "kelvora_version.h"
#include "latin1.h"
#include "message_boxes.h"
#include "period_close_journal.h"
#include "sales_totals.h"
#include "submission.h"
#include "submission_record.h"

namespace kelvora {

TfrmKelvora* frmKelvora = nullptr;

namespace {

constexpr QSize kClientSize(510, 536);
constexpr QSize kPageSize(510, 536 - kBannerHeight);
constexpr int kBandHeight = 97;
constexpr int kLogHeight = 112;
const QColor kLightYellow(255, 255, 128);

const std::vector<std::string>& journalInsert() { return salesdb::journalInsertLines(); }

QLabel* label(const QString& text, QWidget* buddy = nullptr) {
    auto* l = new QLabel(text);
    if (buddy) {
        l->setBuddy(buddy);
        buddy->setAccessibleName(text);
    }
    return l;
}

QLineEdit* lineEdit(std::string_view name) {
    auto* e = new QLineEdit;
    e->setObjectName(fromLatin1(std::string(name)));
    return e;
}

void setBase(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::Base, colour);
    w->setPalette(p);
}

// Splits at CR LF, lone CR or lone LF; an empty text is one empty line.
std::vector<std::string> entryLines(const std::string& text) {
    std::vector<std::string> lines(1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.emplace_back();
        } else {
            lines.back() += c;
        }
    }
    return lines;
}

class BusyPointer final : public salesdb::IBusyIndicator {
public:
    void busyBegin() override { QApplication::setOverrideCursor(Qt::WaitCursor); }
    void busyEnd() override { QApplication::restoreOverrideCursor(); }
};

}  // namespace

// Ignores GET Sales, SEND, UPDATE and RETRV while one of them runs (a click
// can arrive through the pending events that AddToLog handles).
class TfrmKelvora::RunGuard {
public:
    explicit RunGuard(TfrmKelvora& w) : w_(w), entered_(!w.operationRunning_) {
        if (entered_) w_.operationRunning_ = true;
    }
    ~RunGuard() {
        if (!entered_) return;
        w_.operationRunning_ = false;
        if (w_.closePending_) {
            w_.closePending_ = false;
            QMetaObject::invokeMethod(&w_, &QWidget::close, Qt::QueuedConnection);
        }
    }
    explicit operator bool() const { return entered_; }

private:
    TfrmKelvora& w_;
    bool entered_;
};

class TfrmKelvora::GetSalesView final : public salesdb::IGetSalesView {
public:
    explicit GetSalesView(TfrmKelvora& w) : w_(w) {}
    void addToLog(const std::string& text) override { w_.AddToLog(text); }
    void errorBox(const std::string& text) override { w_.services_.boxes->errorBox(text); }
    void setTransactionDateField(const std::string& text) override {
        w_.parameterFields_.front()->setText(fromLatin1(text));
    }
    void setParameterField(std::size_t category, const std::string& text) override {
        w_.parameterFields_.at(1 + category)->setText(fromLatin1(text));
    }
    void enableSend() override { w_.BitBtnSEND->setEnabled(true); }

private:
    TfrmKelvora& w_;
};

// Every insertion makes the list lay out and paint all its rows again, so
// rows added one by one cost time growing with the square of their number
// (minutes for a long journal). The rows reach the list in batches instead:
// at least kListingBatchMs apart, faster than the eye follows, and each at
// least an eighth of the rows already listed, so the layouts add up to a few
// times the number of rows. Events are still handled after every row.
class TfrmKelvora::ListingView final : public salesdb::IJournalListingView {
public:
    explicit ListingView(TfrmKelvora& w) : w_(w) { sinceFlush_.start(); }
    void clearList() override {
        pending_.clear();
        w_.ListBox_GETLog->clear();
    }
    void appendLine(const std::string& line) override {
        pending_.append(fromLatin1(line));
        if (sinceFlush_.elapsed() >= kListingBatchMs && pending_.size() * 8 >= w_.ListBox_GETLog->count()) flush();
    }
    void processPendingEvents() override { QApplication::processEvents(); }
    void plainBox(const std::string& text) override {
        flush();  // the lines read so far stand in the list behind the box
        w_.services_.boxes->plainBox(text);
    }
    void flush() {
        if (pending_.isEmpty()) return;
        w_.ListBox_GETLog->addItems(pending_);
        pending_.clear();
        sinceFlush_.restart();
    }

private:
    static constexpr qint64 kListingBatchMs = 40;
    TfrmKelvora& w_;
    QStringList pending_;
    QElapsedTimer sinceFlush_;
};

class TfrmKelvora::SendView final : public submit::ISendView {
public:
    explicit SendView(TfrmKelvora& w) : w_(w) {}
    void addToLog(const std::string& text) override { w_.AddToLog(text); }
    void clearLog() override { w_.clearLog(); }
    bool ignoreDateFound() const override { return w_.CheckBoxIGNORE->isChecked(); }
    void disableSend() override { w_.BitBtnSEND->setEnabled(false); }

private:
    TfrmKelvora& w_;
};

TfrmKelvora::TfrmKelvora(WindowServices services, QWidget* parent)
    : QWidget(parent),
      services_(std::move(services)),
      SQLConnKelvora(std::move(services_.client)),
      TmpSQL(SQLConnKelvora),
      SQL_GetLog(SQLConnKelvora),
      tblPeriodCLOSE_INSERT(SQLConnKelvora, journalInsert()),
      busyPointer_(std::make_unique<BusyPointer>()) {
    if (!services_.readRegional) services_.readRegional = [] { return readRegionalSettings(); };
    regional_ = services_.readRegional();

    setObjectName(QStringLiteral("frmKelvora"));
    setWindowTitle(QStringLiteral("Kelvora - Non Active"));
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    font.setStyleHint(QFont::SansSerif);
    setFont(font);
    resize(kClientSize);
    move(120, 80);

    createBanner();
    pages_ = new QTabWidget(this);
    pages_->setObjectName(QStringLiteral("PageControl1"));
    pages_->setDocumentMode(true);
    pages_->setGeometry(0, kBannerHeight, kClientSize.width(), kPageSize.height());
    mainPage_ = createMainPage();
    settingsPage_ = createSettingsPage();
    logPage_ = createLogPage();
    pages_->addTab(mainPage_, QStringLiteral("MainPage"));
    pages_->addTab(settingsPage_, QStringLiteral("Settings"));
    pages_->addTab(logPage_, QStringLiteral("GETLog"));
    setTabOrders();
    applyRegionalSettings();

    // Created locked, without running cbLockClick.
    cbLock->setChecked(true);
    applyLock(true);
    BitBtnSEND->setEnabled(false);

    wire(BitBtnGET, &QPushButton::clicked, &TfrmKelvora::BitBtnGETClick);
    wire(BitBtnSEND, &QPushButton::clicked, &TfrmKelvora::BitBtnSENDClick);
    wire(BitBtnCLOSE, &QPushButton::clicked, &TfrmKelvora::BitBtnCLOSEClick);
    wire(BitBtnUPDATE, &QPushButton::clicked, &TfrmKelvora::BitBtnUPDATEClick);
    wire(BitBtnRETR, &QPushButton::clicked, &TfrmKelvora::BitBtnRETRClick);
    wire(BitBtnCONNECT, &QPushButton::clicked, &TfrmKelvora::BitBtnCONNECTClick);
    wire(cbLock, &QCheckBox::stateChanged, &TfrmKelvora::cbLockClick);
    for (LinkLabel* link : links_) wire(link, &LinkLabel::clicked, &TfrmKelvora::LabelTab1Click);

    SQLConnKelvora.setBusyIndicator(busyPointer_.get());
    SQLConnKelvora.afterConnect = [this] { SQLConnKelvoraAfterConnect(this); };
    SQLConnKelvora.afterDisconnect = [this] { SQLConnKelvoraAfterDisconnect(this); };
    SQLConnKelvora.setParameterList(services_.builtInParameterList);
    // All components exist: open with the built-in list. A failure leaves the
    // connection closed; every statement opens it on demand.
    try {
        SQLConnKelvora.open();
    } catch (const std::exception&) {
    }
}

TfrmKelvora::~TfrmKelvora() {
    SQLConnKelvora.afterConnect = nullptr;
    SQLConnKelvora.afterDisconnect = nullptr;
    TmpSQL.close();
    SQL_GetLog.close();
    SQLConnKelvora.close();
    if (frmKelvora == this) frmKelvora = nullptr;
}

template <typename Widget, typename Signal>
void TfrmKelvora::wire(Widget* source, Signal signal, void (TfrmKelvora::*handler)(QObject*)) {
    connect(source, signal, this, [this, source, handler] { runHandler([&] { (this->*handler)(source); }); });
}

void TfrmKelvora::runHandler(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        services_.boxes->unhandledFailureBox(e.what());
    } catch (...) {
        services_.boxes->unhandledFailureBox("Unknown failure");
    }
}

void TfrmKelvora::createBanner() {
    bannerImage_ = new QLabel(this);
    bannerImage_->setObjectName(QStringLiteral("ImageBanner"));
    bannerImage_->setPixmap(bannerBitmap());
    bannerImage_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    bannerImage_->setScaledContents(false);
    bannerImage_->setGeometry(0, 0, kClientSize.width(), kBannerHeight);

    versionLabel_ = new QLabel(QStringLiteral("v" KELVORA_VERSION), this);
    versionLabel_->setObjectName(QStringLiteral("LabelVersion"));
    versionLabel_->setStyleSheet(QStringLiteral("color: white; background: transparent;"));
    versionLabel_->setGeometry(8, 10, 80, 16);

    const char* names[] = {"MainPage", "Settings", "GETLog"};
    int x = 300;
    for (int i = 0; i < 3; ++i) {
        auto* link = new LinkLabel(QString::fromLatin1(names[i]), this);
        link->setObjectName(QStringLiteral("LabelTab%1").arg(i + 1));
        link->setFocusPolicy(Qt::TabFocus);
        link->adjustSize();
        link->move(x, 10);
        x += link->width() + 18;
        links_.push_back(link);
    }
}

QWidget* TfrmKelvora::createMainPage() {
    auto* page = new AnchoredPage(kPageSize);
    page->setObjectName(QStringLiteral("TabSheetMain"));

    auto* band = new QFrame;
    band->setObjectName(QStringLiteral("PanelSalesDate"));
    band->setFrameShape(QFrame::Box);
    page->place(band, {0, 0, kPageSize.width(), kBandHeight}, Anchor::Right);

    wwDBDateTimePicker1 = new DatePicker;
    wwDBDateTimePicker1->setObjectName(QStringLiteral("wwDBDateTimePicker1"));
    page->place(label(QStringLiteral("Sales Date"), wwDBDateTimePicker1), {12, 8, 120, 16});
    page->place(wwDBDateTimePicker1, {12, 26, 121, 22});
    CheckBoxIGNORE = new QCheckBox(QStringLiteral("Ignore date found"));
    CheckBoxIGNORE->setObjectName(QStringLiteral("CheckBoxIGNORE"));
    CheckBoxIGNORE->setAccessibleName(CheckBoxIGNORE->text());
    page->place(CheckBoxIGNORE, {148, 28, 160, 18});
    BitBtnGET = new QPushButton(QStringLiteral("GET Sales"));
    BitBtnGET->setObjectName(QStringLiteral("BitBtnGET"));
    page->place(BitBtnGET, {12, 56, 121, 30});

    // The seven parameter fields: submission fields 4..10.
    int y = kBandHeight + 8;
    const auto& record = submissionFields();
    for (std::size_t i = kFirstParameterField; i < record.size(); ++i, y += 26) {
        QLineEdit* e = lineEdit(record[i].windowField);
        fields_.emplace(std::string(record[i].windowField), e);
        parameterFields_.push_back(e);
        page->place(label(fromLatin1(std::string(record[i].label)), e), {12, y + 3, 128, 16});
        page->place(e, {144, y, 340, 21});
    }
    BitBtnSEND = new QPushButton(QStringLiteral("SEND"));
    BitBtnSEND->setObjectName(QStringLiteral("BitBtnSEND"));
    page->place(BitBtnSEND, {144, y + 4, 121, 30});
    BitBtnCLOSE = new QPushButton(QStringLiteral("Close"));
    BitBtnCLOSE->setObjectName(QStringLiteral("BitBtnCLOSE"));
    page->place(BitBtnCLOSE, {273, y + 4, 121, 30});

    Memo_Log = new QPlainTextEdit;
    Memo_Log->setObjectName(QStringLiteral("Memo_Log"));
    Memo_Log->setAccessibleName(QStringLiteral("Activity log"));
    Memo_Log->setFrameShape(QFrame::NoFrame);
    Memo_Log->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo_Log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo_Log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Memo_Log->setTabChangesFocus(true);
    page->place(Memo_Log, {0, kPageSize.height() - kLogHeight, kPageSize.width(), kLogHeight},
                Anchor::Right | Anchor::Bottom);
    return page;
}

QWidget* TfrmKelvora::createSettingsPage() {
    auto* page = new AnchoredPage(kPageSize);
    page->setObjectName(QStringLiteral("TabSheetSettings"));

    struct Row {
        std::string_view field;
        const char* label;
        int width;
    };
    const auto& record = submissionFields();
    const Row rows[] = {
        {record[0].windowField, "Webservice URL", 270},
        {record[1].windowField, "UserName", 200},
        {record[2].windowField, "Password", 200},
        {kFieldSalesFile, "- FDB Sales File", 270},
        {kFieldStore, "- Sales Location Code", 60},
    };
    int y = 8;
    for (const Row& row : rows) {
        QLineEdit* e = lineEdit(row.field);
        fields_.emplace(std::string(row.field), e);
        page->place(label(QString::fromLatin1(row.label), e), {12, y + 3, 130, 16});
        page->place(e, {146, y, row.width, 21});
        y += 26;
    }
    BitBtnUPDATE = new QPushButton(QStringLiteral("UPDATE"));
    BitBtnUPDATE->setObjectName(QStringLiteral("BitBtnUPDATE"));
    page->place(BitBtnUPDATE, {424, 6, 78, 25});
    // The connect operation has no control the operator can reach.
    BitBtnCONNECT = new QPushButton(QStringLiteral("CONNECT"));
    BitBtnCONNECT->setObjectName(QStringLiteral("BitBtnCONNECT"));
    page->place(BitBtnCONNECT, {424, 34, 78, 25});
    BitBtnCONNECT->hide();

    auto* heading = new QLabel(QStringLiteral("- Filter Criteria"));
    heading->setObjectName(QStringLiteral("LabelFilterCriteria"));
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    page->place(heading, {12, y + 4, 200, 16});
    y += 26;
    for (const PaymentCategory& c : paymentCategories()) {
        QLineEdit* e = lineEdit(c.filterField);
        fields_.emplace(std::string(c.filterField), e);
        setBase(e, kLightYellow);
        page->place(label(fromLatin1(std::string(c.label)), e), {12, y + 3, 130, 16});
        page->place(e, {146, y, 356, 21});
        y += 26;
    }
    cbLock = new QCheckBox(QStringLiteral("Lock Kelvora"));
    cbLock->setObjectName(QStringLiteral("cbLock"));
    cbLock->setAccessibleName(cbLock->text());
    page->place(cbLock, {12, y + 10, 140, 18});
    return page;
}

QWidget* TfrmKelvora::createLogPage() {
    auto* page = new AnchoredPage(kPageSize);
    page->setObjectName(QStringLiteral("TabSheetLog"));
    auto* band = new QFrame;
    band->setObjectName(QStringLiteral("PanelLogRange"));
    band->setFrameShape(QFrame::Box);
    page->place(band, {0, 0, kPageSize.width(), kBandHeight}, Anchor::Right);

    wwDBDateTimePicker2 = new DatePicker;
    wwDBDateTimePicker2->setObjectName(QStringLiteral("wwDBDateTimePicker2"));
    wwDBDateTimePicker3 = new DatePicker;
    wwDBDateTimePicker3->setObjectName(QStringLiteral("wwDBDateTimePicker3"));
    page->place(label(QStringLiteral("Kelvora Date From"), wwDBDateTimePicker2), {12, 4, 140, 16});
    page->place(wwDBDateTimePicker2, {12, 21, 121, 22});
    page->place(label(QStringLiteral("Kelvora Date To"), wwDBDateTimePicker3), {12, 48, 140, 16});
    page->place(wwDBDateTimePicker3, {12, 65, 121, 22});
    BitBtnRETR = new QPushButton(QStringLiteral("RETRV"));
    BitBtnRETR->setObjectName(QStringLiteral("BitBtnRETR"));
    page->place(BitBtnRETR, {400, 33, 100, 30});

    ListBox_GETLog = new QListWidget;
    ListBox_GETLog->setObjectName(QStringLiteral("ListBox_GETLog"));
    ListBox_GETLog->setAccessibleName(QStringLiteral("GETLog"));
    ListBox_GETLog->setFrameShape(QFrame::NoFrame);
    QFont tahoma(QStringLiteral("Tahoma"), 10);
    tahoma.setStyleHint(QFont::SansSerif);
    tahoma.setBold(true);
    ListBox_GETLog->setFont(tahoma);
    // Every line has the listing's one layout, so one row's size serves for
    // all: laying out a long journal then needs no text measuring per row.
    ListBox_GETLog->setUniformItemSizes(true);
    page->place(ListBox_GETLog, {0, kBandHeight, kPageSize.width(), kPageSize.height() - kBandHeight},
                Anchor::Right | Anchor::Bottom | Anchor::TopFixed);
    return page;
}

void TfrmKelvora::setTabOrders() {
    auto chain = [](const std::vector<QWidget*>& order) {
        for (std::size_t i = 1; i < order.size(); ++i) QWidget::setTabOrder(order[i - 1], order[i]);
    };
    std::vector<QWidget*> main{wwDBDateTimePicker1, BitBtnGET};
    for (QLineEdit* e : parameterFields_) main.push_back(e);
    main.insert(main.end(), {BitBtnSEND, BitBtnCLOSE, Memo_Log, CheckBoxIGNORE});
    chain(main);

    std::vector<QWidget*> settings;
    for (std::size_t i = 0; i < kFirstParameterField; ++i) settings.push_back(field(submissionFields()[i].windowField));
    settings.insert(settings.end(), {field(kFieldSalesFile), field(kFieldStore), BitBtnUPDATE});
    for (const PaymentCategory& c : paymentCategories()) settings.push_back(field(c.filterField));
    settings.push_back(cbLock);
    chain(settings);

    chain({wwDBDateTimePicker2, wwDBDateTimePicker3, BitBtnRETR, ListBox_GETLog});
}

void TfrmKelvora::applyRegionalSettings() {
    for (DatePicker* p : {wwDBDateTimePicker1, wwDBDateTimePicker2, wwDBDateTimePicker3})
        p->setDateSeparator(regional_.dateSeparator);
}

QLineEdit* TfrmKelvora::field(std::string_view windowField) const {
    const auto it = fields_.find(windowField);
    Q_ASSERT(it != fields_.end());
    return it->second;
}

std::string TfrmKelvora::fieldText(std::string_view windowField) const {
    return toLatin1(field(windowField)->text());
}

void TfrmKelvora::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LocaleChange) {
        regional_ = services_.readRegional();
        applyRegionalSettings();
    }
    QWidget::changeEvent(event);
}

// The banner strip and the page area follow the window; each page moves its
// own anchored children.
void TfrmKelvora::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!bannerImage_ || !pages_) return;  // still being built
    bannerImage_->setGeometry(0, 0, width(), kBannerHeight);
    pages_->setGeometry(0, kBannerHeight, width(), std::max(0, height() - kBannerHeight));
}

// Start-up, after every component exists and before the window is shown.
void TfrmKelvora::FormCreate(QObject*) {
    settingsFile_ = std::make_unique<ProfileFile>(settingsFilePathFor(services_.executablePath));
    clearLog();
    ListBox_GETLog->clear();
    pages_->tabBar()->hide();
    pages_->setCurrentWidget(mainPage_);
    const CalendarDate today = services_.clock->today();
    wwDBDateTimePicker1->setCalendarDate(previousDay(today));
    wwDBDateTimePicker2->setCalendarDate(today);
    wwDBDateTimePicker3->setCalendarDate(today);
    LoadSettings();
    if (!field(kFieldSalesFile)->text().isEmpty()) BitBtnCONNECTClick(this);
}

void TfrmKelvora::closeEvent(QCloseEvent* event) {
    // A close asked for while an operation runs (through AddToLog's pending
    // events) waits until that operation ends; it is never refused.
    if (operationRunning_) {
        closePending_ = true;
        event->ignore();
        return;
    }
    CloseAction action = CloseAction::Hide;
    runHandler([&] { FormClose(this, action); });
    event->accept();
    if (action == CloseAction::Free) deleteLater();
}

void TfrmKelvora::FormClose(QObject*, CloseAction& action) {
    if (SQLConnKelvora.connected()) SQLConnKelvora.close();
    settingsFile_.reset();
    action = CloseAction::Free;
    if (frmKelvora == this) frmKelvora = nullptr;
}

void TfrmKelvora::BitBtnCLOSEClick(QObject*) { close(); }

void TfrmKelvora::LabelTab1Click(QObject* sender) {
    QWidget* targets[] = {mainPage_, settingsPage_, logPage_};
    for (std::size_t i = 0; i < links_.size(); ++i) {
        if (sender != links_[i]) continue;
        QWidget* leaving = pages_->currentWidget();
        QWidget* focused = QApplication::focusWidget();
        const bool focusOnLeavingPage = focused && leaving->isAncestorOf(focused);
        pages_->setCurrentWidget(targets[i]);
        if (focusOnLeavingPage && targets[i] != leaving) {
            QWidget* first[] = {wwDBDateTimePicker1, field(submissionFields()[0].windowField), wwDBDateTimePicker2};
            first[i]->setFocus(Qt::OtherFocusReason);
        }
        return;
    }
}

void TfrmKelvora::cbLockClick(QObject*) { applyLock(cbLock->isChecked()); }

void TfrmKelvora::applyLock(bool locked) {
    for (QLineEdit* e : parameterFields_) e->setReadOnly(locked);
    const QColor colour = QApplication::palette().color(locked ? QPalette::Button : QPalette::Base);
    for (QLineEdit* e : parameterFields_) setBase(e, colour);
}

void TfrmKelvora::clearLog() {
    Memo_Log->clear();
    logEmpty_ = true;
}

void TfrmKelvora::AddToLog(const std::string& text) {
    for (const std::string& line : entryLines(text)) Memo_Log->appendPlainText(fromLatin1(line));
    logEmpty_ = false;
    Memo_Log->verticalScrollBar()->setValue(Memo_Log->verticalScrollBar()->maximum());
    QApplication::processEvents();
}

std::string TfrmKelvora::logText() const {
    if (logEmpty_ && Memo_Log->document()->isEmpty()) return {};
    std::string text;
    for (QTextBlock b = Memo_Log->document()->begin(); b.isValid(); b = b.next())
        text += toLatin1(b.text()) + "\r\n";
    return text;
}

void TfrmKelvora::LoadSettings() {
    for (const SettingsKey& k : settingsKeys())
        field(k.windowField)->setText(fromLatin1(settingsFile_->readString(k.section, k.key, k.defaultText)));
}

void TfrmKelvora::BitBtnUPDATEClick(QObject*) {
    RunGuard guard(*this);
    if (!guard) return;
    std::vector<const SettingsKey*> written;
    for (const SettingsKey& k : settingsKeys())
        if (k.updateOrder > 0) written.push_back(&k);
    std::sort(written.begin(), written.end(),
              [](const SettingsKey* a, const SettingsKey* b) { return a->updateOrder < b->updateOrder; });
    // A refused write throws and ends UPDATE here, reaching the unhandled-failure box.
    for (const SettingsKey* k : written) settingsFile_->writeString(k->section, k->key, fieldText(k->windowField));
    if (!field(kFieldSalesFile)->text().isEmpty()) BitBtnCONNECTClick(this);
    services_.boxes->plainBox("UPDATE Done.");
    LoadSettings();
}

void TfrmKelvora::BitBtnCONNECTClick(QObject*) {
    if (SQLConnKelvora.connected()) SQLConnKelvora.close();
    const std::string location = fieldText(kFieldSalesFile);
    SQLConnKelvora.setParameterList(salesdb::connectParameterList(location));
    try {
        SQLConnKelvora.open();
    } catch (const std::exception&) {
        services_.boxes->plainBox("SQLConnKelvora Connection Error\r" + SQLConnKelvora.parameterList().at(1));
    }
}

void TfrmKelvora::SQLConnKelvoraAfterConnect(QObject*) { setWindowTitle(QStringLiteral("Kelvora - Active")); }

void TfrmKelvora::SQLConnKelvoraAfterDisconnect(QObject*) {
    setWindowTitle(QStringLiteral("Kelvora - Non Active"));
}

void TfrmKelvora::BitBtnGETClick(QObject*) {
    RunGuard guard(*this);
    if (!guard) return;
    salesdb::GetSalesInput input;
    input.salesDate = wwDBDateTimePicker1->calendarDate();
    input.store = fieldText(kFieldStore);
    for (std::size_t i = 0; i < kCategoryCount; ++i) input.filters[i] = fieldText(paymentCategories()[i].filterField);
    input.ignoreDateFound = CheckBoxIGNORE->isChecked();
    GetSalesView view(*this);
    if (salesdb::runGetSales(TmpSQL, input, view, regional_, *services_.clock) == salesdb::GetSalesOutcome::Completed)
        lastRun_ = CompletedRun{input.salesDate, input.store};
}

void TfrmKelvora::BitBtnSENDClick(QObject*) {
    RunGuard guard(*this);
    if (!guard) return;
    submit::SendInput input;
    const auto& record = submissionFields();
    for (std::size_t i = 0; i < record.size(); ++i) input.fields[i] = fieldText(record[i].windowField);
    input.salesDate = lastRun_ ? lastRun_->salesDate : wwDBDateTimePicker1->calendarDate();
    input.store = lastRun_ ? lastRun_->store : fieldText(kFieldStore);
    SendView view(*this);
    submit::runSend(tblPeriodCLOSE_INSERT, input, view, *services_.launcher, regional_, *services_.clock);
}

void TfrmKelvora::BitBtnRETRClick(QObject*) {
    RunGuard guard(*this);
    if (!guard) return;
    ListingView view(*this);
    salesdb::runJournalListing(SQL_GetLog, fieldText(kFieldStore), wwDBDateTimePicker2->calendarDate(),
                               wwDBDateTimePicker3->calendarDate(), view, regional_);
    view.flush();
}

}  // namespace kelvora
