#pragma once

#include "device/terminal_library.h"

#include <cstdint>

namespace orvelo {

// An open connection that a command holds: close() enables the device and disconnects, once.
// The destructor closes a session that is still open, so an exception thrown while the command
// works never leaves a terminal disabled or a connection open.
class DeviceSession {
public:
    enum class Start { Disable, KeepEnabled };

    // `handle` is the result of a successful connect. With Start::Disable the device is
    // disabled at once, so the operator cannot use it while the PC works with it.
    DeviceSession(TerminalLibrary& terminal, std::int32_t handle, Start start)
        : m_terminal(terminal), m_handle(handle)
    {
        if (start == Start::Disable) m_terminal.FK_EnableDevice(m_handle, 0);
    }

    ~DeviceSession() { close(); }

    DeviceSession(const DeviceSession&) = delete;
    DeviceSession& operator=(const DeviceSession&) = delete;

    // The results of enabling and disconnecting say nothing the command could act on.
    void close()
    {
        if (m_closed) return;
        m_closed = true;
        m_terminal.FK_EnableDevice(m_handle, 1);
        m_terminal.FK_DisConnect(m_handle);
    }

    std::int32_t handle() const { return m_handle; }

private:
    TerminalLibrary& m_terminal;
    std::int32_t m_handle;
    bool m_closed = false;
};

}  // namespace orvelo
