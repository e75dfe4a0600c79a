#pragma once
// The banner strip: a bitmap drawn unscaled, the version text and the three
// page links.

#include <QLabel>
#include <QPixmap>

namespace kelvora {

// A clickable, underlined white text with the hand pointer.
class LinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit LinkLabel(const QString& text, QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// 518 x 36, 24-bit: a dark slate band with a thin green stripe along its top.
QPixmap bannerBitmap();

inline constexpr int kBannerHeight = 33;

}  // namespace kelvora
