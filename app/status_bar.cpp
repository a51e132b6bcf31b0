#include "app/status_bar.h"

#include <qdrawutil.h>

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <algorithm>

#include "core/datetime.h"

using namespace Qt::StringLiterals;

namespace orvelo {

namespace {

constexpr int kStatusBarHeight = 19;
constexpr int kStatusTextWidth = 273;
constexpr int kClockWidth = 124;
constexpr int kOperatorWidth = 112;
constexpr int kClockIntervalMs = 500;

QLabel* makeTextPane(QWidget* parent, const QString& name, int width) {
    auto* pane = new QLabel(parent);
    pane->setObjectName(name);
    pane->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    pane->setIndent(2);
    if (width > 0) pane->setFixedWidth(width);
    return pane;
}

}  // namespace

ProgressPane::ProgressPane(QWidget* parent) : QWidget(parent) {
    setObjectName(u"rzprgrsts_1"_s);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
}

void ProgressPane::setProgress(int percent, bool showNumber) {
    m_percent = percent;
    m_showNumber = showNumber;
}

int ProgressPane::filledWidth(int width) const {
    const int clamped = std::clamp(m_percent, 0, 100);
    return static_cast<int>(static_cast<qint64>(width) * clamped / 100);
}

QString ProgressPane::numberText() const {
    return m_showNumber ? QString::number(m_percent) + u'%' : QString();
}

void ProgressPane::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), true, 1);

    const QRect inner = rect().adjusted(2, 2, -2, -2);
    const int filled = filledWidth(inner.width());
    if (filled > 0)
        painter.fillRect(QRect(inner.left(), inner.top(), filled, inner.height()), palette().highlight());
    const QString number = numberText();
    if (!number.isEmpty()) {
        // The number stays readable over the filled and the empty part alike.
        painter.setPen(palette().color(QPalette::WindowText));
        painter.setClipRect(
            QRect(inner.left() + filled, inner.top(), inner.width() - filled, inner.height()));
        painter.drawText(inner, Qt::AlignCenter, number);
        painter.setPen(palette().color(QPalette::HighlightedText));
        painter.setClipRect(QRect(inner.left(), inner.top(), filled, inner.height()));
        painter.drawText(inner, Qt::AlignCenter, number);
    }
}

StatusBar::StatusBar(const Clock& clock, QWidget* parent) : QWidget(parent), m_clock(clock) {
    setObjectName(u"rzstsbr_1"_s);
    setFixedHeight(kStatusBarHeight);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 1, 0, 0);
    layout->setSpacing(1);

    rzstspn_1 = makeTextPane(this, u"rzstspn_1"_s, kStatusTextWidth);
    rzprgrsts_1 = new ProgressPane(this);
    rzclcksts_1 = makeTextPane(this, u"rzclcksts_1"_s, kClockWidth);
    rzclcksts_1->setAlignment(Qt::AlignCenter);
    rzstspn_2 = makeTextPane(this, u"rzstspn_2"_s, kOperatorWidth);
    rzstspn_2->setText(u"操作员：sa"_s);
    btn_Cancel = new QPushButton(u"取消"_s, this);
    btn_Cancel->setObjectName(u"btn_Cancel"_s);
    btn_Cancel->setFixedHeight(kStatusBarHeight - 1);
    btn_Cancel->setFocusPolicy(Qt::NoFocus);
    btn_Cancel->hide();

    layout->addWidget(rzstspn_1);
    layout->addWidget(rzprgrsts_1, 1);
    layout->addWidget(btn_Cancel);
    layout->addWidget(rzclcksts_1);
    layout->addWidget(rzstspn_2);

    m_clockTimer = new QTimer(this);
    m_clockTimer->setInterval(kClockIntervalMs);
    connect(m_clockTimer, &QTimer::timeout, this, &StatusBar::showTime);
    m_clockTimer->start();
    showTime();
}

void StatusBar::showTime() {
    rzclcksts_1->setText(dateTimeText(m_clock.now()));
}

}  // namespace orvelo
