#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTimer;

namespace orvelo {

class Clock;

// rzprgrsts_1: a bar for a percentage from 0 to 100, with or without its number. Drawn by hand
// because QProgressBar refuses a value above its maximum, while several commands report more
// than 100 %: such a value shows a full bar and its own number.
class ProgressPane : public QWidget {
    Q_OBJECT

public:
    explicit ProgressPane(QWidget* parent = nullptr);

    void setProgress(int percent, bool showNumber);
    int percent() const { return m_percent; }
    bool numberShown() const { return m_showNumber; }

    // What the pane draws: the filled part of `width` pixels and the number's text ("" when hidden).
    int filledWidth(int width) const;
    QString numberText() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_percent = 0;
    bool m_showNumber = false;
};

// rzstsbr_1, 19 pixels high: the status text (273), the progress (the rest), the 取消 button while
// a command runs, the clock (124) and the operator (112).
class StatusBar : public QWidget {
    Q_OBJECT

public:
    StatusBar(const Clock& clock, QWidget* parent = nullptr);

    QLabel* rzstspn_1;
    ProgressPane* rzprgrsts_1;
    QLabel* rzclcksts_1;
    QLabel* rzstspn_2;
    // Stops the running command at its next record or user; shown only while one runs.
    QPushButton* btn_Cancel;

private:
    void showTime();

    const Clock& m_clock;
    QTimer* m_clockTimer;
};

}  // namespace orvelo
