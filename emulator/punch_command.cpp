#include "emulator/punch_command.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "terminal/client_link.h"
#include "terminal/event_messages.h"
#include "terminal/frame.h"

namespace orvelo::emulator {

using namespace orvelo::terminal;

namespace {

constexpr int kTimeoutMs = 5000;

int fail(const std::string& message) {
    std::fprintf(stderr, "orvelo-terminal: punch: %s\n", message.c_str());
    return 1;
}

// A connected, blocking stream socket; -1 after telling why.
int connectTo(const PunchOptions& options, std::string& error) {
    if (options.tcp) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(static_cast<std::uint16_t>(options.tcp->port));
        ::inet_pton(AF_INET, options.tcp->host.c_str(), &addr.sin_addr);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
        error = options.tcp->host + ":" + std::to_string(options.tcp->port) + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return -1;
    }
    // Where the terminal of that machine number listens: the folder the library also uses.
    const char* dir = std::getenv("FK_USB_DIR");
    std::string path = (dir != nullptr && *dir != '\0') ? dir : kDefaultUsbDir;
    if (path.back() != '/') path += '/';
    path += "terminal-" + std::to_string(options.machine) + ".sock";
    sockaddr_un addr{};
    if (path.empty() || path.size() >= sizeof addr.sun_path) {
        error = "the USB socket path is too long";
        return -1;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.data(), path.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    error = path + ": " + std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return -1;
}

bool sendAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// The reply to `request`, or nullopt after the time-out or the end of the connection.
std::optional<Frame> awaitReply(int fd, const Frame& request) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    FrameDecoder decoder;
    std::vector<std::uint8_t> buffer(kMaxFrameSize);
    for (;;) {
        Frame frame;
        while (decoder.next(frame) == DecodeEvent::Frame)
            if (frame.reply && frame.seq == request.seq && frame.op == request.op) return frame;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) return std::nullopt;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return std::nullopt;
        if (p.revents == 0) continue;
        const ssize_t n = ::recv(fd, buffer.data(), buffer.size(), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return std::nullopt;
        decoder.feed(buffer.data(), static_cast<std::size_t>(n));
    }
}

}  // namespace

int runPunch(const PunchOptions& options) {
    std::string error;
    const int fd = connectTo(options, error);
    if (fd < 0) return fail(error);
    Frame request;
    request.op = static_cast<std::uint16_t>(Op::Punch);
    request.machine = options.machine;
    request.seq = static_cast<std::uint32_t>(std::random_device{}());
    request.payload = encodePunch({options.enroll, options.mode});
    const bool sent = sendAll(fd, encodeFrame(request));
    const auto reply = sent ? awaitReply(fd, request) : std::nullopt;
    ::close(fd);
    if (!reply) return fail("no answer from the terminal");
    const auto position = decodeU32(reply->payload);
    if (reply->status != static_cast<std::uint16_t>(Status::Ok) || !position)
        return fail("the terminal refused the punch (status " + std::to_string(reply->status) + ")");
    std::printf("punched enroll=%d mode=%d position=%u\n", options.enroll, options.mode, *position);
    return 0;
}

}  // namespace orvelo::emulator
