#include "live/watch_journal.h"

#include <cmath>

#include "collection/raw_record_file.h"

namespace orvelo::live {

WatchJournal::WatchJournal(QString appDir, const Clock& clock, std::chrono::minutes period)
    : m_appDir(std::move(appDir)),
      m_clock(clock),
      m_periodMs(std::chrono::duration_cast<std::chrono::milliseconds>(period).count()) {}

// A journal still open stays a .part: the caller that did not finish it stopped on an error, and
// the next 刷卡文件导入 of that file brings its records.
WatchJournal::~WatchJournal() = default;

void WatchJournal::append(const LogRecord& record) {
    std::lock_guard lock(m_mutex);
    if (!m_open) {
        m_openedAt = m_clock.now();
        m_open = std::make_unique<RawRecordCollector>(m_appDir, m_openedAt);
        m_open->begin();
    }
    m_open->append(FormatRawLine(record));
}

QString WatchJournal::rollOverIfDue() {
    std::lock_guard lock(m_mutex);
    // In whole milliseconds: a day fraction of exactly one hour does not subtract to exactly 1/24.
    if (!m_open || std::llround((m_clock.now() - m_openedAt) * 86400000.0) < m_periodMs) return {};
    return finishLocked();
}

QString WatchJournal::finish() {
    std::lock_guard lock(m_mutex);
    return finishLocked();
}

QString WatchJournal::finishLocked() {
    if (!m_open) return {};
    const QString path = m_open->finish(m_clock.now());
    m_open.reset();
    m_files << path;
    return path;
}

QStringList WatchJournal::files() const {
    std::lock_guard lock(m_mutex);
    return m_files;
}

}  // namespace orvelo::live
