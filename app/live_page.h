#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>
#include <thread>

#include "shell/terminal_list.h"

class QLabel;
class QPushButton;
class QTableWidget;
class QTimer;

namespace orvelo {

class Clock;
class DataModule;
class LogMemo;
class TerminalLibrary;

namespace live {
class WatchSession;
struct HandledPunch;
}  // namespace live

// 实时监控: the punches of the chosen or all terminals as they happen, on the same live watch as
// orveloctl watch (a thread per terminal, reconnection, the backfill by collection, the journal and
// the raw record files), with each terminal's link state and the last 1,000 punches, newest on top.
// A terminal that another watch of the application folder (orveloctl watch, another window)
// already watches is left to it, and the page says so.
class LivePage : public QWidget {
    Q_OBJECT

public:
    // `windowData` gives the database's target (each terminal's thread opens its own connection) and
    // the employees' names; the library is the window's, shared with its commands.
    LivePage(DataModule& windowData, QString appDir, TerminalLibrary& library, const Clock& clock,
             QWidget* parent = nullptr);
    // Stops a running watch and waits for it.
    ~LivePage() override;

    static constexpr int kKeptPunches = 1000;

    // The terminals the page offers (terminals.ini), in the list's order.
    void showTerminals(const QList<TerminalEntry>& terminals);
    // Starts watching `terminals` (all when empty is not meant: the caller chooses); nothing while a
    // watch runs or stops.
    void startWatching(const QList<TerminalEntry>& terminals);
    // Asks the watch to end; it ends on a thread of its own (a running collection finishes first) and
    // the page says so.
    void stopWatching();
    bool isWatching() const { return m_session != nullptr; }
    // Runs the window's events until a stop asked for has ended (tests, closing).
    void waitUntilStopped();
    // The terminals chosen in the page's terminal table, as rows of the list given last.
    QList<int> chosenRows() const;

    QPushButton* btn_WatchAll;
    QPushButton* btn_WatchChosen;
    QPushButton* btn_StopWatch;
    QLabel* lbl_WatchState;
    QTableWidget* tbl_WatchTerminals;  // 终端, 状态
    QTableWidget* tbl_Punches;         // 时间, 终端, 登记号码, 姓名, 结果
    LogMemo* mmo_Watch;                // the watch's own lines, as orveloctl watch prints them

signals:
    void watchingChanged(bool watching);

private:
    void addPunch(const QString& terminal, int enrollNumber, double dateTime, const QString& result);
    void showLinkState(const QString& terminal, const QString& word);
    void stopped();
    void showButtons();

    DataModule& m_windowData;
    QString m_appDir;
    TerminalLibrary& m_library;
    const Clock& m_clock;
    QList<TerminalEntry> m_terminals;
    QHash<int, QString> m_names;  // enroll number -> employee name, read when a watch starts
    std::unique_ptr<live::WatchSession> m_session;
    std::thread m_stopper;
    bool m_stopping = false;
    QTimer* m_rollOver;
};

}  // namespace orvelo
