#pragma once

#include <cstdint>

#include "access/terminal_library.h"

namespace orvelo {

// The one guard for a terminal session that a command holds after its connect call: it knows
// whether the terminal owes an enable and makes sure the session ends with that enable and one
// disconnect, however the command leaves. The normal path calls close(); the destructor is only
// the safety net for an exception and never throws itself.
class DeviceSession {
public:
    enum class Start {
        Disable,      // disabled at once, so the operator cannot use it while the PC works with it
        KeepEnabled,  // left as it is, but enabled again at the end all the same
        Untouched,    // left as it is; enabled at the end only after disable()
    };

    // `handle` is the result of the connect call (also a failed one: the library may keep
    // something for the handle it returned).
    DeviceSession(TerminalLibrary& terminal, std::int32_t handle, Start start)
        : m_terminal(terminal), m_handle(handle), m_enableOwed(start != Start::Untouched) {
        if (start == Start::Disable) m_terminal.FK_EnableDevice(m_handle, 0);
    }

    ~DeviceSession() {
        try {
            close();
        } catch (...) {
            // Already leaving by an exception or past the command's end: nothing left to tell.
        }
    }

    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    void disable() {
        m_terminal.FK_EnableDevice(m_handle, 0);
        m_enableOwed = true;
    }

    // Enables the terminal now if an enable is owed; the end of the session then owes none.
    void enable() {
        if (!m_enableOwed) return;
        m_enableOwed = false;
        m_terminal.FK_EnableDevice(m_handle, 1);
    }

    // Enables if owed and disconnects, once. The results say nothing the command could act on.
    void close() {
        if (m_closed) return;
        m_closed = true;
        enable();
        m_terminal.FK_DisConnect(m_handle);
    }

    std::int32_t handle() const { return m_handle; }

private:
    TerminalLibrary& m_terminal;
    std::int32_t m_handle;
    bool m_enableOwed;
    bool m_closed = false;
};

}  // namespace orvelo
