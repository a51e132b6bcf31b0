#include "live/watch_session.h"

#include <QDir>
#include <exception>

#include "core/errors.h"
#include "core/terminal_address.h"
#include "db/data_module.h"
#include "live/punch_lines.h"

namespace orvelo::live {

using namespace Qt::StringLiterals;

WatchSession::WatchSession(WatchSetup setup, QList<WatchTerminal> terminals)
    : m_setup(std::move(setup)), m_journal(m_setup.appDir, m_setup.clock, m_setup.journalPeriod) {
    Backfill backfill = m_setup.backfill;
    if (!backfill) {
        backfill = [this](const WatchTerminal& terminal, DataModule& data) {
            return collectNewRecords(terminal, m_setup.library, data, m_setup.clock, m_setup.appDir, m_stop,
                                     m_setup.tuning.lockSlice, m_setup.program);
        };
    }
    for (const WatchTerminal& terminal : terminals)
        m_watches.push_back(std::make_unique<TerminalWatch>(
            terminal, m_setup.library, m_setup.clock, m_journal, m_storeMutex, backfill,
            [this](const QString& line) { print(line); }, m_stop, m_setup.tuning, m_setup.observer,
            m_setup.linkObserver));
}

WatchSession::~WatchSession() {
    try {
        stop();
    } catch (const std::exception&) {
        // The journal stays a .part: its records are kept all the same.
    }
}

QString terminalWatchLockPath(const QString& appDir, const ConnectionPanelState& panel) {
    // The address's key ("tcp 10.0.4.21:5005 machine 1") made safe for a file name.
    const QByteArray key = parseTerminalAddress(panel).key().toUtf8();
    return appDir + u"data/.watch-"_s + QString::fromLatin1(key.toHex()) + u".lock"_s;
}

void WatchSession::start() {
    // The journal makes the data folder too, but only when the first record comes.
    QDir().mkpath(m_setup.appDir + u"data"_s);
    for (auto& watch : m_watches) {
        auto lock =
            std::make_unique<FileLock>(terminalWatchLockPath(m_setup.appDir, watch->terminal().panel));
        if (!lock->tryLock()) {
            const QString& name = watch->terminal().name;
            m_alreadyWatched << name;
            print(linkLine(m_setup.clock.now(), name, u"already watched"_s, u"by another program"_s));
            if (m_setup.linkObserver) m_setup.linkObserver(name, u"already watched"_s);
            ++m_ended;
            continue;
        }
        m_watchLocks.push_back(std::move(lock));
        m_threads.emplace_back([this, w = watch.get()] { runTerminal(*w); });
    }
}

void WatchSession::runTerminal(TerminalWatch& watch) {
    // Nothing may escape a thread: one terminal's failure ends that terminal only, and says why.
    try {
        const std::unique_ptr<DataModule> data = m_setup.openDatabase();
        watch.run(*data);
    } catch (const Error& error) {
        print(linkLine(m_setup.clock.now(), watch.terminal().name, u"stopped"_s, error.text()));
    } catch (const std::exception& error) {
        print(linkLine(m_setup.clock.now(), watch.terminal().name, u"stopped"_s,
                       QString::fromLocal8Bit(error.what())));
    }
    ++m_ended;
}

void WatchSession::print(const QString& line) {
    std::lock_guard lock(m_printMutex);
    m_setup.print(line);
}

QString WatchSession::rollOverIfDue() {
    return m_journal.rollOverIfDue();
}

QStringList WatchSession::stop() {
    if (m_stopped) return m_journal.files();
    m_stop.request();
    for (std::thread& thread : m_threads)
        if (thread.joinable()) thread.join();
    m_stopped = true;
    m_watchLocks.clear();
    m_journal.finish();
    return m_journal.files();
}

QList<WatchCounts> WatchSession::counts() const {
    QList<WatchCounts> counts;
    for (const auto& watch : m_watches) counts << watch->counts();
    return counts;
}

}  // namespace orvelo::live
