// Inputs the fuzzers once found faults with, kept so that the faults stay fixed.
#include "terminal/fuzz/fuzz_checks.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {

void replay(const char* kind, void (*check)(const std::uint8_t*, std::size_t))
{
    const QDir dir(QStringLiteral(ORVELO_FUZZ_INPUTS) + QLatin1Char('/') + QLatin1String(kind));
    const auto files = dir.entryInfoList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << "no inputs in " << dir.path().toStdString();
    for (const auto& info : files) {
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        SCOPED_TRACE(info.fileName().toStdString());
        check(reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size()));
    }
}

TEST(FuzzInputs, FrameDecoderInputs) { replay("frame", orvelo::terminal::checkFrameInput); }

TEST(FuzzInputs, UsbLogFileInputs) { replay("usb_log", orvelo::terminal::checkUsbLogInput); }

}  // namespace
