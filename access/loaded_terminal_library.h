#pragma once

#include <QString>
#include <memory>
#include <mutex>

#include "access/terminal_library.h"

namespace orvelo {

// The file name of the terminal library looked for in the executable's folder.
inline constexpr const char* kTerminalLibraryFile = "libfkattend.so";

// Loads the terminal library on the first operation a command calls, not at start-up: without the
// library the client still starts, and each device command fails with the LibraryError of the
// load (tried again on the next call, so a library put in place later is found).
class LazyTerminalLibrary final : public ForwardingTerminalLibrary {
public:
    explicit LazyTerminalLibrary(QString folder);
    ~LazyTerminalLibrary() override;

protected:
    TerminalLibrary& inner() override;

private:
    QString m_folder;
    std::mutex m_loading;
    std::unique_ptr<TerminalLibrary> m_library;
};

}  // namespace orvelo
