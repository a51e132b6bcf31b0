#pragma once

// Replays the inputs kept for a fuzz target (its seeds, and any input a fuzzer found a fault
// with) through the target's own checks, so those checks run in every test build, not only in
// fuzzing builds.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <cstddef>
#include <cstdint>

namespace orvelo::test {

inline void replayFuzzInputs(const QString& folder, void (*check)(const std::uint8_t*, std::size_t)) {
    const QDir dir(folder);
    const auto files = dir.entryInfoList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << "no inputs in " << dir.path().toStdString();
    for (const auto& info : files) {
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << info.filePath().toStdString();
        const QByteArray data = file.readAll();
        SCOPED_TRACE(info.fileName().toStdString());
        check(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
    }
}

}  // namespace orvelo::test
