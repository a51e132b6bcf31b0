// Replays the hand-written seed inputs of the fuzz targets (a frame stream with leading noise,
// a stream of frames, USB-disk files with CRLF line ends and with two records) through the same
// checks the fuzzers run, so those checks run in every test build, not only in fuzzing builds.
// An input a fuzzer finds a fault with is added to these folders.
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
