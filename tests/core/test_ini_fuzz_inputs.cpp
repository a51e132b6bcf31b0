// hv.ini files the fuzzer was seeded with or once found a fault with, kept so that the faults
// stay fixed: each reads by the rules, from the file as from the text.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include "core/fuzz/ini_checks.h"

namespace orvelo {
namespace {

TEST(FuzzInputs, IniInputs) {
    const QDir dir(QStringLiteral(ORVELO_INI_FUZZ_INPUTS));
    const auto files = dir.entryInfoList(QDir::Files);
    ASSERT_FALSE(files.isEmpty()) << "no inputs in " << dir.path().toStdString();
    for (const auto& info : files) {
        QFile file(info.filePath());
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray data = file.readAll();
        SCOPED_TRACE(info.fileName().toStdString());
        checkIniInput(reinterpret_cast<const std::uint8_t*>(data.constData()),
                      static_cast<std::size_t>(data.size()));
    }
}

}  // namespace
}  // namespace orvelo
