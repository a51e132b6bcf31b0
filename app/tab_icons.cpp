#include "app/tab_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QtMath>

namespace orvelo {

namespace {

constexpr int kSize = 16;

QPixmap blankPixmap() {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

QIcon terminalIcon() {
    QPixmap pixmap = blankPixmap();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(60, 60, 70), 1));
    p.setBrush(QColor(150, 155, 165));
    p.drawRoundedRect(QRectF(2.5, 0.5, 11, 15), 2, 2);
    p.setBrush(QColor(70, 150, 220));
    p.drawRect(QRectF(4.5, 2.5, 7, 4));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 50));
    for (int row = 0; row < 3; ++row)
        for (int column = 0; column < 3; ++column)
            p.drawRect(QRectF(4.5 + column * 2.5, 8.5 + row * 2, 1.5, 1.2));
    return QIcon(pixmap);
}

QIcon collectionIcon() {
    QPixmap pixmap = blankPixmap();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(90, 70, 40), 1));
    p.setBrush(QColor(230, 190, 110));
    QPainterPath tray;
    tray.moveTo(1.5, 9.5);
    tray.lineTo(4.5, 9.5);
    tray.lineTo(5.5, 11.5);
    tray.lineTo(10.5, 11.5);
    tray.lineTo(11.5, 9.5);
    tray.lineTo(14.5, 9.5);
    tray.lineTo(14.5, 14.5);
    tray.lineTo(1.5, 14.5);
    tray.closeSubpath();
    p.drawPath(tray);
    p.setPen(QPen(QColor(20, 110, 40), 1));
    p.setBrush(QColor(60, 180, 80));
    QPainterPath arrow;
    arrow.moveTo(6.5, 0.5);
    arrow.lineTo(9.5, 0.5);
    arrow.lineTo(9.5, 5.5);
    arrow.lineTo(12.5, 5.5);
    arrow.lineTo(8, 10);
    arrow.lineTo(3.5, 5.5);
    arrow.lineTo(6.5, 5.5);
    arrow.closeSubpath();
    p.drawPath(arrow);
    return QIcon(pixmap);
}

QIcon personIcon() {
    QPixmap pixmap = blankPixmap();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(30, 60, 120), 1));
    p.setBrush(QColor(90, 140, 220));
    p.drawEllipse(QRectF(4.5, 0.5, 7, 7));
    QPainterPath body;
    body.moveTo(1.5, 15.5);
    body.cubicTo(1.5, 9.5, 14.5, 9.5, 14.5, 15.5);
    body.closeSubpath();
    p.drawPath(body);
    return QIcon(pixmap);
}

QIcon cogIcon() {
    QPixmap pixmap = blankPixmap();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF centre(8, 8);
    QPainterPath wheel;
    constexpr int kTeeth = 8;
    for (int i = 0; i < kTeeth * 2; ++i) {
        const double angle = M_PI * i / kTeeth;
        const double radius = (i % 2 == 0) ? 7.5 : 5.5;
        for (double step : {-0.18, 0.18}) {
            const QPointF point = centre + QPointF(radius * qCos(angle + step), radius * qSin(angle + step));
            if (wheel.elementCount() == 0)
                wheel.moveTo(point);
            else
                wheel.lineTo(point);
        }
    }
    wheel.closeSubpath();
    wheel.addEllipse(centre, 2.5, 2.5);
    wheel.setFillRule(Qt::OddEvenFill);
    p.setPen(QPen(QColor(70, 70, 70), 1));
    p.setBrush(QColor(170, 170, 170));
    p.drawPath(wheel);
    return QIcon(pixmap);
}

}  // namespace

QList<QIcon> pageIcons() {
    return {terminalIcon(), collectionIcon(), personIcon(), cogIcon()};
}

}  // namespace orvelo
