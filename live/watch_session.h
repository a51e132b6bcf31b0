#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/file_lock.h"
#include "live/stop_signals.h"
#include "live/terminal_watch.h"
#include "live/watch_journal.h"

namespace orvelo {
class Clock;
class DataModule;
class TerminalLibrary;
}  // namespace orvelo

namespace orvelo::live {

struct WatchSetup {
    TerminalLibrary& library;  // shared: the library serialises its calls, FK_WaitEvent excepted
    const Clock& clock;
    QString appDir;  // ends with "/"
    // Opens a database connection for one terminal's thread (a Qt SQL connection belongs to the
    // thread that made it); throws on failure.
    std::function<std::unique_ptr<DataModule>()> openDatabase;
    // Gets every line; called from the terminals' threads, one call at a time.
    std::function<void(const QString&)> print;
    WatchTuning tuning = {};
    std::chrono::minutes journalPeriod = std::chrono::hours(1);
    // Told of every event once it is stored (or refused), from the terminals' threads; optional.
    PunchObserver observer = {};
    // Empty: collectNewRecords in the application folder.
    Backfill backfill = {};
    // Who runs the watch, noted with each of its collections.
    QString program = QStringLiteral("orveloctl watch");
    // Told each terminal's link changes; optional.
    LinkObserver linkObserver = {};
};

// The lock a terminal's watch holds for as long as it runs, in the application folder's data
// folder: two watches of one folder (orveloctl watch, the window's 实时监控) never both watch one
// terminal. Named after the terminal's address, so two names for one terminal are one lock.
QString terminalWatchLockPath(const QString& appDir, const ConnectionPanelState& panel);

// A watch over several terminals: one thread per terminal, each running its TerminalWatch with a
// database connection of its own. A thread per terminal keeps the design plain: a terminal that
// hangs in a connect time-out or a long collection holds up no other, and each thread blocks in
// FK_WaitEvent, which waits without the library's lock. The writes still go one at a time through
// one mutex around the store, so SQLite never makes a punch wait out its busy time-out; one
// journal takes every terminal's records.
class WatchSession {
public:
    WatchSession(WatchSetup setup, QList<WatchTerminal> terminals);
    // Stops and joins whatever still runs; the journal is finished.
    ~WatchSession();
    WatchSession(const WatchSession&) = delete;
    WatchSession& operator=(const WatchSession&) = delete;

    // Starts a thread for each terminal that no other watch of the application folder watches; the
    // others are told ("already watched") and left alone (alreadyWatched). Throws FileError when a
    // lock file cannot be made.
    void start();
    QStringList alreadyWatched() const { return m_alreadyWatched; }
    // Turns the journal into a raw record file when its period has passed (the controlling
    // thread calls it now and then); the file written or an empty text.
    QString rollOverIfDue();
    // Asks every terminal to end, waits for them (each unsubscribes and disconnects) and finishes
    // the journal. Returns the raw record files written by the watch. Throws FileError when the
    // last one cannot be written (its journal stays a .part).
    QStringList stop();

    const StopRequest& stopRequest() const { return m_stop; }
    // True once every terminal's thread has ended on its own (bad settings, no database).
    bool allEnded() const { return m_ended.load() == int(m_watches.size()); }
    // Each terminal's counts; read them after stop().
    QList<WatchCounts> counts() const;

private:
    void runTerminal(TerminalWatch& watch);
    void print(const QString& line);

    WatchSetup m_setup;
    StopRequest m_stop;
    WatchJournal m_journal;
    std::mutex m_storeMutex;
    std::mutex m_printMutex;
    std::vector<std::unique_ptr<TerminalWatch>> m_watches;
    std::vector<std::thread> m_threads;
    bool m_stopped = false;
    std::atomic<int> m_ended{0};
    std::vector<std::unique_ptr<FileLock>> m_watchLocks;
    QStringList m_alreadyWatched;
};

}  // namespace orvelo::live
