#include "banner.h"

#include <QAccessibleWidget>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kelvora {

namespace {

// A screen reader hears a link it can press, not a plain text.
class LinkLabelAccessible final : public QAccessibleWidget {
public:
    explicit LinkLabelAccessible(LinkLabel* link) : QAccessibleWidget(link, QAccessible::Link) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty())
            return static_cast<const QLabel*>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.linked = true;
        return s;
    }
    QStringList actionNames() const override { return QStringList(pressAction()) + QAccessibleWidget::actionNames(); }
    void doAction(const QString& action) override {
        if (action == pressAction())
            emit static_cast<LinkLabel*>(widget())->clicked();
        else
            QAccessibleWidget::doAction(action);
    }
};

QAccessibleInterface* linkLabelAccessible(const QString& className, QObject* object) {
    if (className == QLatin1String("kelvora::LinkLabel") && object && object->isWidgetType())
        return new LinkLabelAccessible(static_cast<LinkLabel*>(object));
    return nullptr;
}

}  // namespace

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    static const bool accessibleInstalled = (QAccessible::installFactory(linkLabelAccessible), true);
    (void)accessibleInstalled;
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    // The focus mark takes the place of an invisible border, so the text
    // does not move when the link gets the keyboard focus.
    setStyleSheet(QStringLiteral("QLabel { color: white; background: transparent; border: 1px solid transparent; }"
                                 "QLabel:focus { border: 1px dotted white; }"));
    setAccessibleName(text);
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) emit clicked();
    QLabel::mouseReleaseEvent(event);
}

void LinkLabel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter || event->key() == Qt::Key_Space) {
        emit clicked();
        return;
    }
    QLabel::keyPressEvent(event);
}

QPixmap bannerBitmap() {
    QImage image(518, 36, QImage::Format_RGB888);
    image.fill(QColor(47, 62, 70));
    QPainter p(&image);
    p.fillRect(0, 0, 518, 2, QColor(46, 184, 92));
    p.end();
    return QPixmap::fromImage(image);
}

}  // namespace kelvora
