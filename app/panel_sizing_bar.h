#pragma once

#include <QFrame>

namespace orvelo {

// The sizing bar at the top of a panel whose height the operator drags (rzszpnl_1): dragging
// the bar up makes the panel taller, down makes it shorter. The hot spot in the middle of the
// bar collapses the panel to the bar alone and, clicked again, restores the height it had.
class PanelSizingBar : public QFrame {
    Q_OBJECT

public:
    static constexpr int kHotSpotWidth = 40;
    // What a drag leaves to the widgets above the panel.
    static constexpr int kRoomAbove = 60;

    // `panel` is the widget whose fixed height the bar changes; the bar is its child.
    explicit PanelSizingBar(QWidget* panel);

    bool isCollapsed() const { return m_collapsed; }
    void setCollapsed(bool collapsed);
    QRect hotSpot() const;
    // The panel's height before the last collapse.
    int restoredHeight() const { return m_restoredHeight; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setPanelHeight(int height);
    int largestHeight() const;

    QWidget* m_panel;
    bool m_collapsed = false;
    int m_restoredHeight = 0;
    bool m_dragging = false;
    bool m_pressedOnHotSpot = false;
    int m_dragStartY = 0;
    int m_dragStartHeight = 0;
};

}  // namespace orvelo
