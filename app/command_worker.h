#pragma once

#include <QObject>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "core/cancellation.h"
#include "db/data_module.h"

namespace orvelo {

// The window's command thread: runs one command at a time away from the window's thread, so that
// the window keeps painting and answering while a terminal is slow or silent. A Qt connection to
// a database belongs to the thread that opened it, so the thread has its own connection to the
// window's database, opened at its first command and kept.
class CommandWorker : public QObject {
    Q_OBJECT

public:
    // What a command reaches of the thread: its connection, opened when first asked for (throws
    // DatabaseError when it cannot be opened, inside the command's error guard).
    class Database {
    public:
        virtual ~Database() = default;
        virtual DataModule& data() = 0;
    };
    using Job = std::function<void(Database& database)>;

    // `windowData` is the window's own connection: the thread's connection goes to its target
    // and takes its commit group limits, read when each command starts.
    explicit CommandWorker(DataModule& windowData, QObject* parent = nullptr);
    // Asks a running command to stop and waits for it, still answering the boxes it shows.
    ~CommandWorker() override;

    // Starts `job` on the thread; false (and nothing runs) while another command runs.
    bool start(Job job);
    bool isBusy() const { return m_busy; }
    // The 取消 of the running command; cleared when the next one starts.
    Cancellation& cancellation() { return m_cancellation; }
    // Runs the window's events until no command runs.
    void waitUntilIdle();

signals:
    // On the window's thread, after the command ended whatever happened.
    void finished();

private:
    struct Request {
        Job job;
        std::optional<DatabaseTarget> target;
        CommitGroupLimits limits;
    };
    class ThreadDatabase;

    void threadMain();

    DataModule& m_windowData;
    Cancellation m_cancellation;
    bool m_busy = false;  // read and written on the window's thread only

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::optional<Request> m_request;
    bool m_stopping = false;
    std::thread m_thread;
};

}  // namespace orvelo
