// The extension (live events, the clock read) is resolved on its own: a library without it serves
// the nineteen.
#include <gtest/gtest.h>

#include <QDir>

#include "access/loaded_terminal_library.h"
#include "core/errors.h"
#include "tests/support/emulator_process.h"

namespace orvelo::test {
namespace {

TEST(TerminalLibraryLoaderExtension, ALibraryWithoutTheExtensionLoadsAndFailsOnlyItsCalls) {
    const QString folder = QDir(EmulatorProcess::binFolder()).filePath(QStringLiteral("core-only"));
    const auto library = loadTerminalLibrary(folder);
    ASSERT_TRUE(library);
    // The stand-in answers 0 to everything of the nineteen.
    EXPECT_EQ(library->FK_DisConnect(1), 0);

    struct Call {
        const char* name;
        std::function<void()> call;
    };
    std::int32_t enroll = 0, mode = 0, position = 0;
    double time = 0;
    const Call calls[] = {
        {"FK_SubscribeEvents", [&] { library->FK_SubscribeEvents(1); }},
        {"FK_WaitEvent", [&] { library->FK_WaitEvent(1, 0, &enroll, &mode, &time, &position); }},
        {"FK_UnsubscribeEvents", [&] { library->FK_UnsubscribeEvents(1); }},
        {"FK_GetDeviceTime", [&] { library->FK_GetDeviceTime(1, &time); }},
    };
    for (const Call& c : calls) {
        try {
            c.call();
            ADD_FAILURE() << c.name << " did not fail";
        } catch (const LibraryError& e) {
            EXPECT_TRUE(e.text().contains(QString::fromLatin1(c.name))) << e.text().toStdString();
            EXPECT_TRUE(e.text().contains(folder)) << e.text().toStdString();
        }
    }
}

TEST(TerminalLibraryLoaderExtension, TheRealLibraryHasTheExtension) {
    const auto library = loadTerminalLibrary(EmulatorProcess::binFolder());
    std::int32_t enroll = 0, mode = 0, position = 0;
    double time = 0;
    // Nothing is open: the calls reach the real library and say so.
    EXPECT_EQ(library->FK_SubscribeEvents(54321), -1);
    EXPECT_EQ(library->FK_WaitEvent(54321, 0, &enroll, &mode, &time, &position), -1);
    EXPECT_EQ(library->FK_UnsubscribeEvents(54321), -1);
    EXPECT_EQ(library->FK_GetDeviceTime(54321, &time), -1);
}

TEST(TerminalLibraryLoaderExtension, LazyLibraryPassesTheExtensionOn) {
    LazyTerminalLibrary present(EmulatorProcess::binFolder());
    EXPECT_EQ(present.FK_SubscribeEvents(54321), -1);
}

}  // namespace
}  // namespace orvelo::test
