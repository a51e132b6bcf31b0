#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include "access/loaded_terminal_library.h"
#include "core/errors.h"
#include "tests/support/emulator_process.h"

namespace orvelo::test {
namespace {

QString errorText(const std::function<void()>& action) {
    try {
        action();
    } catch (const LibraryError& e) {
        return e.text();
    }
    return {};
}

TEST(TerminalLibraryLoader, ResolvesTheLibraryBesideTheProgram) {
    const auto library = loadTerminalLibrary(EmulatorProcess::binFolder());
    ASSERT_TRUE(library);
    // Nothing is open: the calls reach the real library and say so.
    std::int32_t value = 0;
    EXPECT_EQ(library->FK_GetDeviceStatus(12345, 2, &value), -1);
    EXPECT_EQ(library->FK_ConnectNet(1, nullptr, 4370, 100, 0, 0), 0);
}

TEST(TerminalLibraryLoader, MissingFileIsNamed) {
    QTemporaryDir empty;
    const QString text = errorText([&] { loadTerminalLibrary(empty.path()); });
    EXPECT_TRUE(text.contains(QDir(empty.path()).filePath(QStringLiteral("libfkattend.so"))))
        << text.toStdString();
}

TEST(TerminalLibraryLoader, MissingOperationIsNamed) {
    const QString folder = QDir(EmulatorProcess::binFolder()).filePath(QStringLiteral("incomplete"));
    const QString text = errorText([&] { loadTerminalLibrary(folder); });
    EXPECT_TRUE(text.contains(QStringLiteral("FK_SetUserName"))) << text.toStdString();
}

TEST(TerminalLibraryLoader, LazyLibraryFailsTheCallNotTheStart) {
    QTemporaryDir empty;
    LazyTerminalLibrary missing(empty.path());  // constructing it loads nothing
    EXPECT_THROW(missing.FK_ConnectUSB(1), LibraryError);
    EXPECT_THROW(missing.FK_DisConnect(1), LibraryError);  // tried again, fails again

    LazyTerminalLibrary present(EmulatorProcess::binFolder());
    EXPECT_EQ(present.FK_DisConnect(54321), -1);
}

}  // namespace
}  // namespace orvelo::test
