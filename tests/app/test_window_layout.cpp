// What the operator sees and reaches in the real window: the banner, the
// bands, the activity log and the list at their sizes (also after a resize),
// the colours as drawn, every control reachable with the keyboard (the
// banner links included), and what a screen reader is told about each one.

#include <QAccessible>
#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <QtTest>
#include <algorithm>
#include <map>
#include <set>

#include "banner.h"
#include "window_fixture.h"

using namespace kelvora;
using kelvora::test::WindowFixture;

namespace {

const char* const kLinks[] = {"LabelTab1", "LabelTab2", "LabelTab3"};
const char* const kPages[] = {"TabSheetMain", "TabSheetSettings", "TabSheetLog"};

// The controls of each page, as the operator reaches them.
const std::vector<std::vector<const char*>> kPageControls = {
    {"wwDBDateTimePicker1", "BitBtnGET", "edtDate", "edtCASH", "edtCreditCardVISA", "edtCreditCardMASTER",
     "edtCreditCardAMEX", "edtCreditCardOTHER", "edtOther", "BitBtnSEND", "BitBtnCLOSE", "Memo_Log",
     "CheckBoxIGNORE"},
    {"edtURL", "edtUser", "edtPassword", "edtSalesFile", "edtStore", "BitBtnUPDATE", "FilterCASH",
     "FilterCreditCardVISA", "FilterCreditCardMASTER", "FilterCreditCardAMEX", "FilterCreditCardOTHER",
     "FilterOther", "cbLock"},
    {"wwDBDateTimePicker2", "wwDBDateTimePicker3", "BitBtnRETR", "ListBox_GETLog"}};

const char* const kParameterFields[] = {"edtDate", "edtCASH", "edtCreditCardVISA", "edtCreditCardMASTER",
                                        "edtCreditCardAMEX", "edtCreditCardOTHER", "edtOther"};
const char* const kFilterFields[] = {"FilterCASH", "FilterCreditCardVISA", "FilterCreditCardMASTER",
                                     "FilterCreditCardAMEX", "FilterCreditCardOTHER", "FilterOther"};

// A started window, shown and active, on the main page.
struct ShownWindow {
    WindowFixture f;
    TfrmKelvora* w = nullptr;
    ShownWindow() {
        w = &f.start();
        w->show();
        w->activateWindow();
        if (!QTest::qWaitForWindowActive(w)) qFatal("the window did not become active");
    }
    QRect inWindow(const char* name) const {
        QWidget* c = f.find(name);
        return QRect(c->mapTo(w, QPoint(0, 0)), c->size());
    }
    void showPage(int i) const { w->LabelTab1Click(f.find(kLinks[i])); }
};

// The colour most pixels of the widget's inner part have, as drawn.
QColor dominantColour(QWidget* widget) {
    const QImage image = widget->grab().toImage();
    std::map<QRgb, int> count;
    for (int y = 4; y < image.height() - 4; ++y)
        for (int x = 4; x < image.width() - 4; ++x) ++count[image.pixel(x, y) | 0xff000000u];
    return QColor::fromRgb(std::max_element(count.begin(), count.end(), [](auto& a, auto& b) {
                               return a.second < b.second;
                           })->first);
}

// The named component a focused widget belongs to (a date picker's inner
// line edit counts as the picker).
QString componentOf(const QWidget* focused, const std::set<QString>& names) {
    for (const QWidget* w = focused; w; w = w->parentWidget())
        if (names.count(w->objectName())) return w->objectName();
    return focused ? QStringLiteral("<unnamed %1>").arg(QLatin1String(focused->metaObject()->className()))
                   : QStringLiteral("<none>");
}

}  // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT
private slots:
    void sizesAtDesign();
    void bannerBitmapUnscaled();
    void coloursAsDrawn();
    void resizeFollows_data();
    void resizeFollows();
    void everyControlReachedByTab_data();
    void everyControlReachedByTab();
    void linksByKeyboard_data();
    void linksByKeyboard();
    void focusedLinkIsVisible();
    void accessibleNamesAndRoles_data();
    void accessibleNamesAndRoles();
    void accessibleLinkPress();
};

void TestWindowLayout::sizesAtDesign() {
    ShownWindow s;
    QCOMPARE(s.w->size(), QSize(510, 536));
    QCOMPARE(s.inWindow("ImageBanner"), QRect(0, 0, 510, 33));
    QCOMPARE(s.inWindow("PageControl1"), QRect(0, 33, 510, 503));
    for (int page = 0; page < 3; ++page) {
        s.showPage(page);
        QCOMPARE(s.inWindow(kPages[page]), QRect(0, 33, 510, 503));
    }
    s.showPage(0);
    QCOMPARE(s.inWindow("PanelSalesDate"), QRect(0, 33, 510, 97));
    QCOMPARE(s.inWindow("Memo_Log"), QRect(0, 536 - 112, 510, 112));
    s.showPage(2);
    QCOMPARE(s.inWindow("PanelLogRange"), QRect(0, 33, 510, 97));
    QCOMPARE(s.inWindow("ListBox_GETLog"), QRect(0, 33 + 97, 510, 536 - 33 - 97));

    // Links: in the right half of the banner, side by side in order, inside the strip.
    int left = s.w->width() / 2;
    for (const char* link : kLinks) {
        const QRect r = s.inWindow(link);
        QVERIFY2(r.left() >= left, link);
        QVERIFY2(r.right() < s.w->width() && r.top() >= 0 && r.bottom() < kBannerHeight, link);
        left = r.right() + 1;
    }
    const QRect version = s.inWindow("LabelVersion");
    QVERIFY(version.left() < s.w->width() / 2 && version.bottom() < kBannerHeight);
}

void TestWindowLayout::bannerBitmapUnscaled() {
    ShownWindow s;
    const QImage shown = s.w->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage bitmap = bannerBitmap().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(bitmap.size(), QSize(518, 36));
    // Where no text lies on it, the strip shows the bitmap's pixels one to one
    // from its top-left corner, cut off at 33 rows and 510 columns.
    std::vector<QRect> texts{s.inWindow("LabelVersion")};
    for (const char* link : kLinks) texts.push_back(s.inWindow(link));
    int compared = 0;
    for (int y = 0; y < kBannerHeight; ++y)
        for (int x = 0; x < s.w->width(); ++x) {
            if (std::any_of(texts.begin(), texts.end(), [&](const QRect& r) { return r.contains(x, y); })) continue;
            if (shown.pixel(x, y) != bitmap.pixel(x, y))
                QFAIL(qPrintable(QStringLiteral("banner pixel %1,%2 differs").arg(x).arg(y)));
            ++compared;
        }
    QVERIFY(compared > 510 * kBannerHeight / 2);
    // The page area starts right below the strip: its first row is no bitmap row.
    QVERIFY(shown.pixel(200, kBannerHeight) != bitmap.pixel(200, kBannerHeight));
}

void TestWindowLayout::coloursAsDrawn() {
    ShownWindow s;
    const QColor buttonFace = QApplication::palette().color(QPalette::Button);
    const QColor window = QApplication::palette().color(QPalette::Base);
    QVERIFY(buttonFace != window);  // otherwise the lock could not be seen
    for (const char* name : kParameterFields) QCOMPARE(dominantColour(s.f.edit(name)), buttonFace);
    s.f.click("cbLock");
    for (const char* name : kParameterFields) QCOMPARE(dominantColour(s.f.edit(name)), window);
    s.showPage(1);
    for (const char* name : kFilterFields) QCOMPARE(dominantColour(s.f.edit(name)), QColor(255, 255, 128));
}

void TestWindowLayout::resizeFollows_data() {
    QTest::addColumn<QSize>("size");
    QTest::newRow("larger") << QSize(760, 650);
    QTest::newRow("smaller") << QSize(460, 520);
    QTest::newRow("wider only") << QSize(640, 536);
}

void TestWindowLayout::resizeFollows() {
    QFETCH(QSize, size);
    ShownWindow s;
    // Every other control and label of the window and its pages keeps its
    // place and size.
    const std::set<QString> followers{"ImageBanner", "PageControl1",   "TabSheetMain", "TabSheetSettings", "TabSheetLog",
                                      "PanelSalesDate", "PanelLogRange", "Memo_Log", "ListBox_GETLog"};
    std::map<QWidget*, QRect> before;
    for (QWidget* c : s.w->findChildren<QWidget*>()) {
        const QWidget* parent = c->parentWidget();
        const bool control = parent == s.w || parent->objectName().startsWith(QLatin1String("TabSheet"));
        if (control && !followers.count(c->objectName())) before[c] = c->geometry();
    }
    QVERIFY(before.size() > 50);

    s.w->resize(size);
    QTRY_COMPARE(s.w->size(), size);
    const int w = size.width(), h = size.height();
    QCOMPARE(s.inWindow("ImageBanner"), QRect(0, 0, w, 33));
    QCOMPARE(s.inWindow("PageControl1"), QRect(0, 33, w, h - 33));
    QCOMPARE(s.inWindow("PanelSalesDate"), QRect(0, 33, w, 97));
    QCOMPARE(s.inWindow("Memo_Log"), QRect(0, h - 112, w, 112));
    s.showPage(2);
    QCOMPARE(s.inWindow("TabSheetLog"), QRect(0, 33, w, h - 33));
    QCOMPARE(s.inWindow("PanelLogRange"), QRect(0, 33, w, 97));
    QCOMPARE(s.inWindow("ListBox_GETLog"), QRect(0, 33 + 97, w, h - 33 - 97));
    for (const auto& [control, rect] : before) QCOMPARE(control->geometry(), rect);
}

void TestWindowLayout::everyControlReachedByTab_data() {
    QTest::addColumn<int>("page");
    QTest::newRow("main page") << 0;
    QTest::newRow("Settings") << 1;
    QTest::newRow("GETLog") << 2;
}

void TestWindowLayout::everyControlReachedByTab() {
    QFETCH(int, page);
    ShownWindow s;
    s.showPage(page);
    s.f.find("BitBtnSEND")->setEnabled(true);  // as "GET Sales" leaves it; disabled, it takes no focus
    std::set<QString> expected(kLinks, kLinks + 3);
    for (const char* c : kPageControls[page]) expected.insert(QLatin1String(c));
    std::set<QString> known = expected;
    for (const auto& controls : kPageControls)
        for (const char* c : controls) known.insert(QLatin1String(c));
    known.insert(QStringLiteral("BitBtnCONNECT"));

    // Tab from the page's first control round the window, twice over: every
    // control of the page and the three links, nothing of the other pages.
    s.f.find(kPageControls[page].front())->setFocus(Qt::TabFocusReason);
    std::set<QString> reached;
    for (int i = 0; i < 120; ++i) {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused);
        reached.insert(componentOf(focused, known));
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    QCOMPARE(QStringList(reached.begin(), reached.end()).join(' '), QStringList(expected.begin(), expected.end()).join(' '));
}

void TestWindowLayout::linksByKeyboard_data() {
    QTest::addColumn<int>("link");
    QTest::addColumn<int>("key");
    for (int link = 0; link < 3; ++link)
        for (const auto& [key, name] : {std::pair{Qt::Key_Return, "Return"}, std::pair{Qt::Key_Enter, "Enter"},
                                         std::pair{Qt::Key_Space, "Space"}})
            QTest::addRow("%s, %s", kLinks[link], name) << link << int(key);
}

void TestWindowLayout::linksByKeyboard() {
    QFETCH(int, link);
    QFETCH(int, key);
    ShownWindow s;
    s.showPage((link + 1) % 3);
    // Reach the link with Tab, as the operator does.
    QWidget* target = s.f.find(kLinks[link]);
    for (int i = 0; i < 60 && QApplication::focusWidget() != target; ++i)
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : s.w, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), target);
    QTest::keyClick(target, Qt::Key(key));
    QCOMPARE(s.f.find<QTabWidget>("PageControl1")->currentWidget(), s.f.find(kPages[link]));
    QCOMPARE(QApplication::focusWidget(), target);  // the focus stays where the operator put it
}

void TestWindowLayout::focusedLinkIsVisible() {
    ShownWindow s;
    for (const char* name : kLinks) {
        QWidget* link = s.f.find(name);
        s.f.find("BitBtnGET")->setFocus(Qt::TabFocusReason);
        const QImage plain = link->grab().toImage();
        link->setFocus(Qt::TabFocusReason);
        QVERIFY(link->hasFocus());
        const QImage focused = link->grab().toImage();
        QCOMPARE(focused.size(), plain.size());  // the mark does not move the text
        QVERIFY2(focused != plain, name);
    }
}

void TestWindowLayout::accessibleNamesAndRoles_data() {
    QTest::addColumn<QString>("component");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    const auto row = [](const char* component, QAccessible::Role role, const char* name) {
        QTest::newRow(component) << QString::fromLatin1(component) << int(role) << QString::fromLatin1(name);
    };
    // Qt presents a plain top-level widget as a client area named by its caption.
    row("frmKelvora", QAccessible::Client, "Kelvora - Non Active");
    row("LabelVersion", QAccessible::StaticText, "v10.1.2.0");
    row("LabelTab1", QAccessible::Link, "MainPage");
    row("LabelTab2", QAccessible::Link, "Settings");
    row("LabelTab3", QAccessible::Link, "GETLog");
    // Main page.
    row("wwDBDateTimePicker1", QAccessible::SpinBox, "Sales Date");
    row("BitBtnGET", QAccessible::Button, "GET Sales");
    row("edtDate", QAccessible::EditableText, "Transaction Date");
    row("edtCASH", QAccessible::EditableText, "CASH");
    row("edtCreditCardVISA", QAccessible::EditableText, "CreditCardVISA");
    row("edtCreditCardMASTER", QAccessible::EditableText, "CreditCardMASTER");
    row("edtCreditCardAMEX", QAccessible::EditableText, "CreditCardAMEX");
    row("edtCreditCardOTHER", QAccessible::EditableText, "CreditCardOTHER");
    row("edtOther", QAccessible::EditableText, "Others");
    row("BitBtnSEND", QAccessible::Button, "SEND");
    row("BitBtnCLOSE", QAccessible::Button, "Close");
    row("Memo_Log", QAccessible::EditableText, "Activity log");
    row("CheckBoxIGNORE", QAccessible::CheckBox, "Ignore date found");
    // Settings page.
    row("edtURL", QAccessible::EditableText, "Webservice URL");
    row("edtUser", QAccessible::EditableText, "UserName");
    row("edtPassword", QAccessible::EditableText, "Password");
    row("edtSalesFile", QAccessible::EditableText, "- FDB Sales File");
    row("edtStore", QAccessible::EditableText, "- Sales Location Code");
    row("BitBtnUPDATE", QAccessible::Button, "UPDATE");
    row("FilterCASH", QAccessible::EditableText, "CASH");
    row("FilterCreditCardVISA", QAccessible::EditableText, "CreditCardVISA");
    row("FilterCreditCardMASTER", QAccessible::EditableText, "CreditCardMASTER");
    row("FilterCreditCardAMEX", QAccessible::EditableText, "CreditCardAMEX");
    row("FilterCreditCardOTHER", QAccessible::EditableText, "CreditCardOTHER");
    row("FilterOther", QAccessible::EditableText, "Others");
    row("cbLock", QAccessible::CheckBox, "Lock Kelvora");
    // Log page.
    row("wwDBDateTimePicker2", QAccessible::SpinBox, "Kelvora Date From");
    row("wwDBDateTimePicker3", QAccessible::SpinBox, "Kelvora Date To");
    row("BitBtnRETR", QAccessible::Button, "RETRV");
    row("ListBox_GETLog", QAccessible::List, "GETLog");
}

void TestWindowLayout::accessibleNamesAndRoles() {
    QFETCH(QString, component);
    QFETCH(int, role);
    QFETCH(QString, name);
    ShownWindow s;
    QObject* object = component == QLatin1String("frmKelvora") ? static_cast<QObject*>(s.w)
                                                               : s.f.find(qPrintable(component));
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(object);
    QVERIFY(iface && iface->isValid());
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    // A field's label is announced with it: the label points at its field.
    if (role == QAccessible::EditableText || role == QAccessible::SpinBox) {
        const auto labels = iface->relations(QAccessible::Label);
        if (component != QLatin1String("Memo_Log")) {
            QCOMPARE(labels.size(), 1);
            QCOMPARE(labels.front().first->text(QAccessible::Name), name);
        }
    }
}

void TestWindowLayout::accessibleLinkPress() {
    // A screen reader's "press" on a link goes to its page, as a click does.
    ShownWindow s;
    for (int link : {2, 1, 0}) {
        QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(s.f.find(kLinks[link]));
        QVERIFY(iface->actionInterface());
        QVERIFY(iface->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        QVERIFY(iface->state().focusable);
        iface->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QCOMPARE(s.f.find<QTabWidget>("PageControl1")->currentWidget(), s.f.find(kPages[link]));
    }
}

QTEST_MAIN(TestWindowLayout)
#include "test_window_layout.moc"
