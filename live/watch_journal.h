#pragma once

#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <mutex>

#include "collection/log_record.h"
#include "core/datetime.h"

namespace orvelo {
class RawRecordCollector;
}

namespace orvelo::live {

// The raw record files of a watch: every punch of every terminal is appended to a journal
// (data/FDataQ5...-N.part) before it goes to the store, so that nothing stored or refused is lost
// even in a crash; every `period` and at the end the journal becomes a raw record file (.hv) that
// 刷卡文件导入 reads. A period without punches leaves no file. Safe to use from several threads.
class WatchJournal {
public:
    WatchJournal(QString appDir, const Clock& clock, std::chrono::minutes period = std::chrono::hours(1));
    ~WatchJournal();
    WatchJournal(const WatchJournal&) = delete;
    WatchJournal& operator=(const WatchJournal&) = delete;

    // Appends the record's raw line to the open journal, starting one when none is open.
    void append(const LogRecord& record);
    // Makes the journal a raw record file once its period has passed; returns the file written,
    // or an empty text. Throws FileError when the file cannot be written (the .part stays).
    QString rollOverIfDue();
    // Makes the open journal a raw record file now (the end of the watch); returns the file
    // written, or an empty text when nothing was journalled since the last one. Throws FileError.
    QString finish();
    // Every raw record file written so far, oldest first.
    QStringList files() const;

private:
    QString finishLocked();

    QString m_appDir;
    const Clock& m_clock;
    long long m_periodMs;
    mutable std::mutex m_mutex;
    std::unique_ptr<RawRecordCollector> m_open;
    DateTimeValue m_openedAt = 0;
    QStringList m_files;
};

}  // namespace orvelo::live
