#include "app/command_worker.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>

#include "core/errors.h"

namespace orvelo {

// The thread's connection: made and opened on the thread itself, re-opened when the window's
// database changed since the last command.
class CommandWorker::ThreadDatabase final : public CommandWorker::Database {
public:
    void prepare(const std::optional<DatabaseTarget>& target, const CommitGroupLimits& limits) {
        m_wanted = target;
        m_limits = limits;
    }

    DataModule& data() override {
        if (!m_wanted)
            throw DatabaseError(QStringLiteral("The window has no database connection."),
                                DatabaseErrorKind::ConnectionLost);
        if (!m_data || !m_opened || !sameTarget(*m_opened, *m_wanted) || !m_data->isConnected()) {
            m_opened.reset();
            if (!m_data) m_data = std::make_unique<DataModule>();
            m_data->openConnection(*m_wanted);
            m_opened = m_wanted;
        }
        m_data->setCommitGroupLimits(m_limits);
        return *m_data;
    }

private:
    static bool sameTarget(const DatabaseTarget& a, const DatabaseTarget& b) {
        return a.dialect == b.dialect && a.odbcConnectionString == b.odbcConnectionString &&
               a.sqliteFile == b.sqliteFile && a.loginTimeoutSeconds == b.loginTimeoutSeconds &&
               a.sqliteBusyTimeout == b.sqliteBusyTimeout;
    }

    std::unique_ptr<DataModule> m_data;
    std::optional<DatabaseTarget> m_wanted;
    std::optional<DatabaseTarget> m_opened;
    CommitGroupLimits m_limits;
};

CommandWorker::CommandWorker(DataModule& windowData, QObject* parent)
    : QObject(parent), m_windowData(windowData), m_thread([this] { threadMain(); }) {}

CommandWorker::~CommandWorker() {
    if (m_busy) {
        m_cancellation.request();
        waitUntilIdle();
    }
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

bool CommandWorker::start(Job job) {
    if (m_busy) return false;
    m_busy = true;
    m_cancellation.reset();
    {
        const std::lock_guard lock(m_mutex);
        m_request = Request{std::move(job), m_windowData.target(), m_windowData.commitGroupLimits()};
    }
    m_wake.notify_one();
    return true;
}

void CommandWorker::waitUntilIdle() {
    if (!m_busy) return;
    QEventLoop loop;
    const QMetaObject::Connection done = connect(this, &CommandWorker::finished, &loop, &QEventLoop::quit);
    // The boxes a command shows need the loop; a nested one shows them as the main loop would.
    if (m_busy) loop.exec();
    disconnect(done);
}

void CommandWorker::threadMain() {
    // Made on this thread, so that its connection belongs to it; ends with it.
    ThreadDatabase database;
    for (;;) {
        Request request;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || m_request.has_value(); });
            if (m_stopping) return;
            request = std::move(*m_request);
            m_request.reset();
        }
        database.prepare(request.target, request.limits);
        // The job runs its command inside the window's error guard; nothing may escape a thread.
        try {
            request.job(database);
        } catch (...) {
        }
        request.job = nullptr;
        QMetaObject::invokeMethod(
            this,
            [this] {
                m_busy = false;
                emit finished();
            },
            Qt::QueuedConnection);
    }
}

}  // namespace orvelo
