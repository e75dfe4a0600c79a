#include "banner.h"

#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace kelvora {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    setCursor(Qt::PointingHandCursor);
    setStyleSheet(QStringLiteral("color: white; background: transparent;"));
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
