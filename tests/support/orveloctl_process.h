#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

#include "tests/support/emulator_process.h"

namespace orvelo::test {

// What an orveloctl run ended with.
struct OrveloctlOutcome {
    int status = -1;
    QString out;
    QString err;
};

// orveloctl (from the build's bin folder) as a child process, started now and waited for later.
class OrveloctlProcess {
public:
    explicit OrveloctlProcess(const QStringList& arguments) {
        m_process.setProgram(EmulatorProcess::binFolder() + QStringLiteral("/orveloctl"));
        m_process.setArguments(arguments);
        m_process.start();
        EXPECT_TRUE(m_process.waitForStarted());
    }
    OrveloctlOutcome finish() {
        EXPECT_TRUE(m_process.state() == QProcess::NotRunning || m_process.waitForFinished(300000));
        return {m_process.exitCode(), QString::fromUtf8(m_process.readAllStandardOutput()),
                QString::fromUtf8(m_process.readAllStandardError())};
    }
    // Whether it ended within `ms` milliseconds (QProcess notices an end only while it waits).
    bool endsWithin(int ms) {
        return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(ms);
    }
    // Whether the process has `path` open: it holds the lock file, or waits for the lock on it.
    bool hasOpen(const QString& path) const {
        const QString fds = QStringLiteral("/proc/%1/fd/").arg(m_process.processId());
        const QByteArray wanted = QFile::encodeName(QFileInfo(path).canonicalFilePath());
        for (const QString& fd :
             QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[4096];
            const ssize_t length = ::readlink(QFile::encodeName(fds + fd).constData(), target, sizeof target);
            if (length > 0 && QByteArray(target, length) == wanted) return true;
        }
        return false;
    }

private:
    QProcess m_process;
};

inline OrveloctlOutcome runOrveloctlProcess(const QStringList& arguments) {
    return OrveloctlProcess(arguments).finish();
}

// The stored count of a collect's or an import's summary ("其中有效数据记录N条" or "其中有效数据N条");
// -1 when there is none.
inline int storedCountOf(const QString& out) {
    static const QRegularExpression stored(QStringLiteral("其中有效数据(?:记录)?(\\d+)条"));
    const QRegularExpressionMatch match = stored.match(out);
    return match.hasMatch() ? match.captured(1).toInt() : -1;
}

}  // namespace orvelo::test
