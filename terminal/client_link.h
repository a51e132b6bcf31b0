#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orvelo::terminal {

using SteadyClock = std::chrono::steady_clock;
using Deadline = SteadyClock::time_point;

// One open link of the library to a terminal: a TCP or Unix stream socket, a connected UDP
// socket or a serial line. Never raises SIGPIPE; never blocks past the deadline it is given.
class Link {
public:
    Link(int fd, bool datagram, bool socket) : m_fd(fd), m_datagram(datagram), m_socket(socket) {}
    ~Link();
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool datagram() const { return m_datagram; }
    // A stream writes everything; a datagram link sends the bytes as one datagram.
    bool sendAll(const std::uint8_t* data, std::size_t size, Deadline deadline);
    // The number of bytes read (> 0), 0 when the deadline passed first, -1 when the link is closed
    // or failed (for UDP also: nothing listens at the address).
    long receive(std::uint8_t* buffer, std::size_t capacity, Deadline deadline);

private:
    int m_fd;
    bool m_datagram;
    bool m_socket;
};

// Each returns nullptr when the link cannot be opened.
std::unique_ptr<Link> openTcpLink(const char* address, int port, Deadline deadline);
std::unique_ptr<Link> openUdpLink(const char* address, int port);
std::unique_ptr<Link> openUnixLink(const std::string& path);
// Raw mode (cfmakeraw), 8 data bits, no parity, one stop bit; nullptr for a baud rate that has no
// termios speed or that the line does not take.
std::unique_ptr<Link> openSerialLink(const std::string& path, int baudRate);

// COMn: the path in the environment variable FK_COM<n> when set, else /dev/ttyS<n-1>.
std::string serialDevicePath(int comPort);
// $FK_USB_DIR/terminal-<machine>.sock, the folder kDefaultUsbDir when FK_USB_DIR is unset or
// empty; empty when the path is longer than a Unix socket address can hold (107 bytes).
std::string usbSocketPath(int machine);
constexpr const char* kDefaultUsbDir = "/tmp/orvelo-usb";
constexpr std::size_t kMaxUnixSocketPath = 107;

}  // namespace orvelo::terminal
