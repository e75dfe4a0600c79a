#pragma once
// A page whose children sit at fixed design positions; anchored children
// follow the page's width or stick to its bottom edge when it is resized.

#include <QFlags>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

namespace kelvora {

enum class Anchor { None = 0, Right = 1, Bottom = 2, TopFixed = 4 };
Q_DECLARE_FLAGS(Anchors, Anchor)

class AnchoredPage : public QWidget {
public:
    AnchoredPage(QSize designSize, QWidget* parent = nullptr);

    // Places `child` at `designRect`. Right: its right edge keeps its distance
    // from the page's right edge (the width follows). Bottom: its bottom edge
    // keeps its distance from the page's bottom; with TopFixed the top stays
    // (the height follows), without it the child moves down with its height kept.
    void place(QWidget* child, QRect designRect, Anchors anchors = {});

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    struct Placed {
        QWidget* widget;
        QRect design;
        Anchors anchors;
    };
    QRect geometryFor(const Placed& p) const;

    QSize design_;
    std::vector<Placed> placed_;
};

}  // namespace kelvora

Q_DECLARE_OPERATORS_FOR_FLAGS(kelvora::Anchors)
