#include "anchored_page.h"

namespace kelvora {

AnchoredPage::AnchoredPage(QSize designSize, QWidget* parent) : QWidget(parent), design_(designSize) {
    resize(designSize);
}

void AnchoredPage::place(QWidget* child, QRect designRect, Anchors anchors) {
    child->setParent(this);
    placed_.push_back({child, designRect, anchors});
    child->setGeometry(geometryFor(placed_.back()));
}

QRect AnchoredPage::geometryFor(const Placed& p) const {
    QRect r = p.design;
    const int dw = width() - design_.width();
    const int dh = height() - design_.height();
    if (p.anchors & Anchor::Right) r.setWidth(std::max(0, r.width() + dw));
    if (p.anchors & Anchor::Bottom) {
        if (p.anchors & Anchor::TopFixed)
            r.setHeight(std::max(0, r.height() + dh));
        else
            r.moveTop(r.top() + dh);
    }
    return r;
}

void AnchoredPage::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (const Placed& p : placed_) p.widget->setGeometry(geometryFor(p));
}

}  // namespace kelvora
