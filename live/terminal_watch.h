#pragma once

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>

#include "collection/attendance_store.h"
#include "core/command_outcome.h"
#include "core/ports.h"

namespace orvelo {
class Clock;
class DataModule;
class TerminalLibrary;
}  // namespace orvelo

namespace orvelo::live {

class StopRequest;
class WatchJournal;

// A terminal to watch: its name as the lines show it and the connection panel's texts for it.
struct WatchTerminal {
    QString name;
    ConnectionPanelState panel;
};

struct WatchTuning {
    // The pauses before reconnecting: first, doubled after each failure in a row, up to longest.
    std::chrono::milliseconds firstPause{1000};
    std::chrono::milliseconds longestPause{60000};
    // FK_WaitEvent's time-out: how long a stop may go unnoticed while a terminal is quiet.
    std::int32_t waitSliceMs = 250;
    // How long one attempt to take the application folder's lock waits before it looks at the stop
    // request again (it then tries again: the collection is what makes the watch complete).
    std::chrono::milliseconds lockSlice{1000};
    // How often a terminal that sends no events (UDP, a terminal or library without them) has its
    // new records read instead.
    std::chrono::milliseconds pollPeriod{10000};
};

// The collection of a terminal's new records (采集新数据) over a connection of its own; the
// production one is collectNewRecords.
using Backfill = std::function<CommandOutcome(const WatchTerminal&, DataModule&)>;

// 采集新数据 for `terminal` through the same command function as the window (btn_GetDataClick),
// holding the application folder's lock of `appDir` only while it runs, so that the window's
// commands run between two collections. `program` is noted with the collection (the window's
// 实时监控 says "window watch"). Its boxes and log lines are dropped: the outcome says
// what it came to. NotReachable without running when the stop came while waiting for the lock.
CommandOutcome collectNewRecords(const WatchTerminal& terminal, TerminalLibrary& library, DataModule& data,
                                 const Clock& clock, const QString& appDir, const StopRequest& stop,
                                 std::chrono::milliseconds lockSlice,
                                 const QString& program = QStringLiteral("orveloctl watch"));

// One event as the watch handled it, for an observer (a benchmark, a window page).
struct HandledPunch {
    QString terminal;
    std::int32_t enrollNumber = 0;
    double dateTime = 0;
    std::int32_t logPosition = 0;  // the record's position in the terminal's log; -1 for a polled one
    StoreResult result = StoreResult::Stored;
};
using PunchObserver = std::function<void(const HandledPunch&)>;
// Told each change of a terminal's link, with the word of its line ("connected", "listening",
// "polling", "lost", "reconnect", "not reachable", "stopped", "already watched"), for a window
// page that shows each terminal's state; from the terminals' threads.
using LinkObserver = std::function<void(const QString& terminal, const QString& word)>;

// What one terminal's watch has done so far.
struct WatchCounts {
    int connects = 0;   // event connections opened and subscribed
    int backfills = 0;  // collections that came to Done
    int failures = 0;   // link failures, silent links and failed connects
    int polls = 0;      // reads of the new records that reached the end of the log
    int events = 0;     // events received and records polled
    StoreCounts store;  // what became of them
};

// One terminal's watch, a state machine run by one thread:
//
//   connect -> subscribe -> collect the new records -> listen -+-> (stop) unsubscribe, disconnect
//      ^                                                       |
//      +---- pause (1 s, 2 s, 4 s ... 60 s) <- disconnect <----+  link failed or silent
//
// It subscribes before it collects: a punch made between the collection's end and the
// subscription would otherwise wait for the next reconnection; made during the collection it comes
// twice, and the store's duplicate test keeps one row. A failed collection counts as a link
// failure (what it left on the terminal comes with the next one). Every event goes into the
// journal first, then through StoreLogRecord (serialised with the other terminals by
// `storeMutex`), then to `print` as its punch line. The terminal is never disabled by the event
// connection; the collection enables it again whatever happens.
class TerminalWatch {
public:
    TerminalWatch(WatchTerminal terminal, TerminalLibrary& library, const Clock& clock, WatchJournal& journal,
                  std::mutex& storeMutex, Backfill backfill, std::function<void(const QString&)> print,
                  const StopRequest& stop, WatchTuning tuning = {}, PunchObserver observer = {},
                  LinkObserver linkObserver = {});

    // Runs until the stop request, or until the terminal cannot be served: its settings cannot be
    // used (a conversion error), or it neither sends events nor hands out its log. Either is
    // printed as the "stopped" line with the reason; there is no retry. `data` is this thread's
    // own connection.
    void run(DataModule& data);

    const WatchCounts& counts() const { return m_counts; }
    const WatchTerminal& terminal() const { return m_terminal; }

private:
    // What one connection came to.
    enum class Round {
        Stopped,      // the stop request came
        Failed,       // not reachable, or the link failed: pause and connect again
        Polled,       // a poll read the new records to the end: wait for the next
        CannotServe,  // said why; the watch ends
    };
    Round watchRound(DataModule& data, int& failuresInRow);
    Round pollRound(DataModule& data);
    // Polls on an open connection, then disconnects it.
    Round pollConnected(DataModule& data, std::int32_t handle, std::int32_t machineNo);
    void startPolling(const QString& reason);
    enum class Listened { Stopped, LinkLost };
    Listened listen(DataModule& data, std::int32_t handle, std::int32_t machineNo);
    void storeEvent(DataModule& data, std::int32_t enrollNumber, std::int32_t modeCode, double dateTime,
                    std::int32_t position, std::int32_t machineNo);
    void leave(std::int32_t handle, bool unsubscribe);
    // Pauses before the next attempt; false when the stop came meanwhile.
    bool pauseAfterFailure(int& failuresInRow);
    void say(const QString& word, const QString& detail = {});

    WatchTerminal m_terminal;
    TerminalLibrary& m_library;
    const Clock& m_clock;
    WatchJournal& m_journal;
    std::mutex& m_storeMutex;
    Backfill m_backfill;
    std::function<void(const QString&)> m_print;
    const StopRequest& m_stop;
    WatchTuning m_tuning;
    PunchObserver m_observer;
    LinkObserver m_linkObserver;
    WatchCounts m_counts;
    std::int32_t m_recordCode = 0;
    bool m_polling = false;
};

}  // namespace orvelo::live
