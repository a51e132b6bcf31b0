#include "terminal/client_link.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvelo::terminal {

namespace {

int millisecondsUntil(Deadline deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    if (left.count() <= 0) return 0;
    return left.count() > 1'000'000 ? 1'000'000 : static_cast<int>(left.count());
}

// Waits for `events` on fd; true when ready, false on time-out. A hang-up or error counts as ready,
// so that the following read or write reports it.
bool waitFor(int fd, short events, Deadline deadline) {
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, millisecondsUntil(deadline));
        if (r > 0) return true;
        if (r == 0) return false;
        if (errno != EINTR) return true;
    }
}

bool resolveNumeric(const char* address, int port, int socketType, sockaddr_storage& out, socklen_t& length) {
    if (address == nullptr || *address == '\0' || port <= 0 || port > 65535) return false;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = socketType;
    // Numeric only: the library never asks a name service, so a connect cannot hang in a lookup.
    hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
    addrinfo* result = nullptr;
    const std::string service = std::to_string(port);
    if (::getaddrinfo(address, service.c_str(), &hints, &result) != 0 || result == nullptr) return false;
    std::memcpy(&out, result->ai_addr, result->ai_addrlen);
    length = result->ai_addrlen;
    ::freeaddrinfo(result);
    return true;
}

speed_t speedFor(int baudRate) {
    switch (baudRate) {
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B0;
    }
}

}  // namespace

Link::~Link() {
    ::close(m_fd);
}

bool Link::sendAll(const std::uint8_t* data, std::size_t size, Deadline deadline) {
    std::size_t sent = 0;
    while (sent < size) {
        const ssize_t n = m_socket ? ::send(m_fd, data + sent, size - sent, MSG_NOSIGNAL)
                                   : ::write(m_fd, data + sent, size - sent);
        if (n > 0) {
            if (m_datagram) return static_cast<std::size_t>(n) == size;
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!waitFor(m_fd, POLLOUT, deadline) || SteadyClock::now() >= deadline) return false;
            continue;
        }
        return false;
    }
    return true;
}

long Link::receive(std::uint8_t* buffer, std::size_t capacity, Deadline deadline) {
    for (;;) {
        const ssize_t n = m_socket ? ::recv(m_fd, buffer, capacity, 0) : ::read(m_fd, buffer, capacity);
        if (n > 0) return n;
        // End of stream on a socket is the peer closing; a serial line or a datagram socket just
        // has nothing to give yet.
        if (n == 0 && m_socket && !m_datagram) return -1;
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (SteadyClock::now() >= deadline || !waitFor(m_fd, POLLIN, deadline)) return 0;
    }
}

std::unique_ptr<Link> openTcpLink(const char* address, int port, Deadline deadline) {
    sockaddr_storage addr{};
    socklen_t length = 0;
    if (!resolveNumeric(address, port, SOCK_STREAM, addr, length)) return nullptr;
    const int fd = ::socket(addr.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto link = std::make_unique<Link>(fd, false, true);
    // Requests and replies are small and strictly alternate: Nagle's delay would only slow them.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0) {
        if (errno != EINPROGRESS) return nullptr;
        if (!waitFor(fd, POLLOUT, deadline)) return nullptr;
        int error = 0;
        socklen_t errorLength = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLength) != 0 || error != 0) return nullptr;
    }
    return link;
}

std::unique_ptr<Link> openUdpLink(const char* address, int port) {
    sockaddr_storage addr{};
    socklen_t length = 0;
    if (!resolveNumeric(address, port, SOCK_DGRAM, addr, length)) return nullptr;
    const int fd = ::socket(addr.ss_family, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto link = std::make_unique<Link>(fd, true, true);
    // A connected UDP socket takes datagrams from that peer only and reports an ICMP "port
    // unreachable" as ECONNREFUSED, so nothing listening fails at once instead of timing out.
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), length) != 0) return nullptr;
    return link;
}

std::unique_ptr<Link> openUnixLink(const std::string& path) {
    sockaddr_un addr{};
    if (path.empty() || path.size() > kMaxUnixSocketPath || path.size() >= sizeof addr.sun_path)
        return nullptr;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return nullptr;
    auto link = std::make_unique<Link>(fd, false, true);
    // A local connect completes or fails at once; EAGAIN means the listener's backlog is full.
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return nullptr;
    return link;
}

std::unique_ptr<Link> openSerialLink(const std::string& path, int baudRate) {
    const speed_t speed = speedFor(baudRate);
    if (speed == B0 || path.empty()) return nullptr;
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    auto link = std::make_unique<Link>(fd, false, false);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return nullptr;
    // Raw: a terminal line otherwise echoes bytes back and maps CR to LF, which breaks frames.
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return nullptr;
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return nullptr;
    termios check{};
    if (::tcgetattr(fd, &check) != 0 || ::cfgetospeed(&check) != speed) return nullptr;
    // Bytes left on the line by an earlier conversation are not ours.
    ::tcflush(fd, TCIOFLUSH);
    return link;
}

std::string serialDevicePath(int comPort) {
    if (comPort <= 0) return {};
    const std::string variable = "FK_COM" + std::to_string(comPort);
    if (const char* path = std::getenv(variable.c_str()); path != nullptr && *path != '\0') return path;
    return "/dev/ttyS" + std::to_string(comPort - 1);
}

std::string usbSocketPath(int machine) {
    const char* dir = std::getenv("FK_USB_DIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : kDefaultUsbDir;
    if (path.back() != '/') path += '/';
    path += "terminal-" + std::to_string(machine) + ".sock";
    if (path.size() > kMaxUnixSocketPath) return {};
    return path;
}

}  // namespace orvelo::terminal
