#include "app/panel_sizing_bar.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

namespace orvelo {

PanelSizingBar::PanelSizingBar(QWidget* panel) : QFrame(panel), m_panel(panel) {
    setMouseTracking(true);
    setCursor(Qt::SplitVCursor);
}

QRect PanelSizingBar::hotSpot() const {
    return QRect((width() - kHotSpotWidth) / 2, 0, kHotSpotWidth, height());
}

int PanelSizingBar::largestHeight() const {
    const QWidget* area = m_panel->parentWidget();
    if (!area || area->height() <= 0) return QWIDGETSIZE_MAX;
    return std::max(height(), area->height() - kRoomAbove);
}

void PanelSizingBar::setPanelHeight(int panelHeight) {
    m_panel->setFixedHeight(std::clamp(panelHeight, height(), std::max(height(), largestHeight())));
}

void PanelSizingBar::setCollapsed(bool collapsed) {
    if (collapsed == m_collapsed) return;
    m_collapsed = collapsed;
    if (collapsed) m_restoredHeight = m_panel->height();
    // Everything in the panel but the bar disappears while it is collapsed.
    for (QWidget* child : m_panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child != this) child->setVisible(!collapsed);
    setPanelHeight(collapsed ? height() : m_restoredHeight);
    update();
}

void PanelSizingBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mousePressEvent(event);
    m_pressedOnHotSpot = hotSpot().contains(event->position().toPoint());
    m_dragging = !m_pressedOnHotSpot;
    m_dragStartY = int(event->globalPosition().y());
    m_dragStartHeight = m_panel->height();
}

void PanelSizingBar::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragging) {
        setCursor(hotSpot().contains(event->position().toPoint()) ? Qt::PointingHandCursor
                                                                  : Qt::SplitVCursor);
        return;
    }
    const int wanted = m_dragStartHeight + (m_dragStartY - int(event->globalPosition().y()));
    if (m_collapsed && wanted > height()) {
        // Dragging a collapsed panel open shows its contents again.
        m_collapsed = false;
        for (QWidget* child : m_panel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (child != this) child->show();
        update();
    }
    setPanelHeight(wanted);
}

void PanelSizingBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QFrame::mouseReleaseEvent(event);
    if (m_pressedOnHotSpot && hotSpot().contains(event->position().toPoint())) setCollapsed(!m_collapsed);
    m_dragging = false;
    m_pressedOnHotSpot = false;
}

void PanelSizingBar::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    // The hot spot: a small triangle pointing where a click moves the panel's edge.
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(palette().color(QPalette::ButtonText));
    const QRectF spot = hotSpot();
    const qreal cx = spot.center().x();
    const qreal top = 1.5;
    const qreal bottom = height() - 1.5;
    const QPolygonF triangle = m_collapsed ? QPolygonF{{cx - 4, bottom}, {cx + 4, bottom}, {cx, top}}
                                           : QPolygonF{{cx - 4, top}, {cx + 4, top}, {cx, bottom}};
    painter.drawPolygon(triangle);
}

}  // namespace orvelo
