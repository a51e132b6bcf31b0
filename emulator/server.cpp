#include "emulator/server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "terminal/client_link.h"
#include "terminal/messages.h"
#include "terminal/text_utils.h"

namespace orvelo::emulator {

using namespace orvelo::terminal;

namespace {

constexpr std::size_t kReadChunk = 65536;
constexpr std::size_t kMaxUdpPeers = 256;

std::string errnoText(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool bindInet(int type, const Endpoint& endpoint, int& fd, std::string& text, std::string& error) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(endpoint.port));
    if (::inet_pton(AF_INET, endpoint.host.c_str(), &addr.sin_addr) != 1) {
        error = "not an IPv4 address: " + endpoint.host;
        return false;
    }
    fd = ::socket(AF_INET, type | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errnoText("socket");
        return false;
    }
    const int one = 1;
    if (type == SOCK_STREAM) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error = errnoText("bind " + endpoint.host + ":" + std::to_string(endpoint.port));
        return false;
    }
    if (type == SOCK_STREAM && ::listen(fd, 16) != 0) {
        error = errnoText("listen");
        return false;
    }
    socklen_t length = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    text = endpoint.host + ":" + std::to_string(ntohs(addr.sin_port));
    return true;
}

bool makeDirectories(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos != path.size() && path[pos] != '/') continue;
        const std::string part = path.substr(0, pos);
        if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

// Damages a reply so that its checksum no longer holds while its header stays readable.
void corrupt(std::vector<std::uint8_t>& bytes) {
    if (bytes.size() > kHeaderSize + kTrailerSize)
        bytes[kHeaderSize] ^= 0x5A;
    else if (!bytes.empty())
        bytes.back() ^= 0x5A;
}

std::string peerKey(const sockaddr_storage& address, socklen_t length) {
    return std::string(reinterpret_cast<const char*>(&address), length);
}

}  // namespace

std::optional<Endpoint> parseEndpoint(const std::string& text) {
    Endpoint endpoint;
    std::string port = text;
    if (const auto colon = text.rfind(':'); colon != std::string::npos) {
        endpoint.host = text.substr(0, colon);
        port = text.substr(colon + 1);
        in_addr probe{};
        if (::inet_pton(AF_INET, endpoint.host.c_str(), &probe) != 1) return std::nullopt;
    }
    const auto value = parseInt32(port);
    if (!value || *value < 0 || *value > 65535) return std::nullopt;
    endpoint.port = *value;
    return endpoint;
}

Server::Server(TerminalService& service, ServerConfig config)
    : m_service(service),
      m_config(std::move(config)),
      m_puncher(std::chrono::milliseconds(m_config.punchEveryMs), m_config.punchSeed) {}

Server::~Server() {
    for (auto& channel : m_channels)
        if (channel.fd != m_ptyMaster) ::close(channel.fd);
    for (int fd : {m_tcpListener, m_udpSocket, m_usbListener, m_ptyMaster, m_ptySlave})
        if (fd >= 0) ::close(fd);
    if (!m_usbPath.empty()) ::unlink(m_usbPath.c_str());
}

bool Server::open(std::string& error) {
    if (m_config.tcp && !bindInet(SOCK_STREAM, *m_config.tcp, m_tcpListener, m_tcpText, error)) return false;
    if (m_config.udp && !bindInet(SOCK_DGRAM, *m_config.udp, m_udpSocket, m_udpText, error)) return false;
    if (m_config.serialPty && !openSerialPty(error)) return false;
    if (m_config.usb && !openUsbSocket(error)) return false;
    return true;
}

bool Server::openSerialPty(std::string& error) {
    m_ptyMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_ptyMaster < 0 || ::grantpt(m_ptyMaster) != 0 || ::unlockpt(m_ptyMaster) != 0) {
        error = errnoText("pseudo-terminal");
        return false;
    }
    const char* name = ::ptsname(m_ptyMaster);
    if (name == nullptr) {
        error = errnoText("ptsname");
        return false;
    }
    m_ptyPath = name;
    // Keeping the other end open means a client closing the line is no hang-up for us, and
    // setting it raw here means bytes pass unchanged even before a client sets the line up.
    m_ptySlave = ::open(m_ptyPath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_ptySlave < 0) {
        error = errnoText(m_ptyPath);
        return false;
    }
    termios tio{};
    ::tcgetattr(m_ptySlave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_ptySlave, TCSANOW, &tio);
    ::fcntl(m_ptyMaster, F_SETFL, ::fcntl(m_ptyMaster, F_GETFL) | O_NONBLOCK);
    Channel& channel = m_channels.emplace_back();
    channel.fd = m_ptyMaster;
    channel.session.link = LinkKind::Serial;
    channel.lastActivity = Clock::now();
    return true;
}

std::optional<std::string> Server::usbSocketPath(std::string& error) const {
    const char* dir = std::getenv("FK_USB_DIR");
    const std::string folder = (dir != nullptr && *dir != '\0') ? dir : kDefaultUsbDir;
    if (!makeDirectories(folder)) {
        error = errnoText(folder);
        return std::nullopt;
    }
    return folder + (folder.back() == '/' ? "" : "/") + "terminal-" +
           std::to_string(m_service.state().machine) + ".sock";
}

// A socket file left by a killed emulator is removed; one that still answers, or a file that is
// no socket, is not ours to remove.
bool Server::removeStaleSocket(const sockaddr_un& addr, std::string& error) {
    struct stat info {};
    if (::lstat(m_usbPath.c_str(), &info) != 0) return true;
    const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool alive = ::connect(probe, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
    ::close(probe);
    if (alive || !S_ISSOCK(info.st_mode)) {
        error = m_usbPath + ": in use";
        return false;
    }
    ::unlink(m_usbPath.c_str());
    return true;
}

bool Server::openUsbSocket(std::string& error) {
    const auto path = usbSocketPath(error);
    if (!path) return false;
    m_usbPath = *path;
    if (m_usbPath.size() > kMaxUnixSocketPath) {
        error = "socket path longer than 107 bytes: " + m_usbPath;
        m_usbPath.clear();
        return false;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, m_usbPath.data(), m_usbPath.size());
    m_usbListener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (m_usbListener < 0) {
        error = errnoText("socket");
        return false;
    }
    if (!removeStaleSocket(addr, error)) {
        m_usbPath.clear();
        return false;
    }
    if (::bind(m_usbListener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(m_usbListener, 16) != 0) {
        error = errnoText(m_usbPath);
        m_usbPath.clear();
        return false;
    }
    return true;
}

std::string Server::listeningLine() const {
    return "listening tcp=" + m_tcpText + " udp=" + m_udpText +
           " pty=" + (m_ptyPath.empty() ? "-" : m_ptyPath) + " usb=" + (m_usbPath.empty() ? "-" : m_usbPath);
}

void Server::startSession(Session& session, LinkKind kind) {
    session = Session{};
    session.id = m_service.newSessionId();
    session.link = kind;
}

bool Server::dropDue(const Session& session) const {
    const auto& dropAfter = m_service.faults().dropAfter;
    return dropAfter && session.repliesSent >= *dropAfter;
}

std::vector<std::uint8_t> Server::wireBytes(Session& session, const std::vector<std::uint8_t>& clean) {
    const Faults& faults = m_service.faults();
    if (faults.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(faults.delayMs));
    ++session.repliesSent;
    std::vector<std::uint8_t> bytes = clean;
    if (faults.corruptAfter && session.repliesSent == *faults.corruptAfter + 1) corrupt(bytes);
    return bytes;
}

void Server::closeChannel(Channel& channel) {
    m_service.endSession(channel.session);
    channel.closing = true;
}

void Server::acceptOn(int listener, LinkKind kind) {
    for (;;) {
        const int fd = ::accept4(listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) return;
        if (kind == LinkKind::Tcp) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
        Channel& channel = m_channels.emplace_back();
        channel.fd = fd;
        startSession(channel.session, kind);
        channel.lastActivity = Clock::now();
    }
}

void Server::processStream(Channel& channel, const Frame& request) {
    Session& session = channel.session;
    const bool serial = session.link == LinkKind::Serial;
    if (serial && request.op == static_cast<std::uint16_t>(Op::Connect) && !request.reply &&
        request.machine == m_service.state().machine) {
        // A connect on the serial line starts a new session; the earlier one is over.
        m_service.endSession(session);
        startSession(session, LinkKind::Serial);
        channel.dropped = false;
    }
    if (channel.dropped) return;
    // A session's subscription ends with it.
    if (request.op == static_cast<std::uint16_t>(Op::Connect) ||
        request.op == static_cast<std::uint16_t>(Op::Disconnect))
        channel.subscribed = false;
    if (dropDue(session)) {
        if (serial) {
            m_service.endSession(session);
            channel.dropped = true;
        } else {
            closeChannel(channel);
        }
        return;
    }
    Frame live;
    if (answerLive(session, request, &channel.subscribed, live)) {
        const auto bytes = encodeFrame(live);
        channel.out.insert(channel.out.end(), bytes.begin(), bytes.end());
        channel.lastSent = Clock::now();
        broadcastPunches();  // after the reply, so that a punching connection hears its answer first
        return;
    }
    const auto reply = m_service.handle(session, request);
    if (!reply) return;
    const auto bytes = wireBytes(session, encodeFrame(*reply));
    channel.out.insert(channel.out.end(), bytes.begin(), bytes.end());
}

void Server::readChannel(Channel& channel) {
    std::uint8_t buffer[kReadChunk];
    const bool socket = channel.session.link != LinkKind::Serial;
    const ssize_t n =
        socket ? ::recv(channel.fd, buffer, sizeof buffer, 0) : ::read(channel.fd, buffer, sizeof buffer);
    if (n == 0 && socket) {
        closeChannel(channel);
        return;
    }
    if (n < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || !socket) return;
        closeChannel(channel);
        return;
    }
    channel.lastActivity = Clock::now();
    channel.decoder.feed(buffer, static_cast<std::size_t>(n));
    Frame frame;
    for (;;) {
        const DecodeEvent event = channel.decoder.next(frame);
        if (event == DecodeEvent::NeedMore) break;
        // A damaged request gets no answer: the client's time-out reports it.
        if (event == DecodeEvent::Frame) processStream(channel, frame);
        if (channel.closing) return;
    }
}

void Server::flushChannel(Channel& channel) {
    while (channel.outOffset < channel.out.size()) {
        const bool socket = channel.session.link != LinkKind::Serial;
        const std::uint8_t* data = channel.out.data() + channel.outOffset;
        const std::size_t size = channel.out.size() - channel.outOffset;
        const ssize_t n =
            socket ? ::send(channel.fd, data, size, MSG_NOSIGNAL) : ::write(channel.fd, data, size);
        if (n > 0) {
            channel.outOffset += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        if (socket) closeChannel(channel);
        return;
    }
    channel.out.clear();
    channel.outOffset = 0;
}

void Server::readUdp() {
    std::vector<std::uint8_t> buffer(kReadChunk);
    for (;;) {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const ssize_t n = ::recvfrom(m_udpSocket, buffer.data(), buffer.size(), 0,
                                     reinterpret_cast<sockaddr*>(&address), &length);
        if (n < 0) return;
        Frame request;
        if (decodeDatagram(buffer.data(), static_cast<std::size_t>(n), request) != DatagramResult::Frame ||
            request.reply)
            continue;
        const std::string key = peerKey(address, length);
        auto it = m_udpPeers.find(key);
        const bool connect = request.op == static_cast<std::uint16_t>(Op::Connect);
        if (it == m_udpPeers.end()) {
            if (m_udpPeers.size() >= kMaxUdpPeers) expireIdleSessions();
            if (m_udpPeers.size() >= kMaxUdpPeers) continue;
            it = m_udpPeers.emplace(key, UdpPeer{}).first;
            it->second.address = address;
            it->second.length = length;
            startSession(it->second.session, LinkKind::Udp);
        }
        UdpPeer& peer = it->second;
        peer.lastActivity = Clock::now();
        auto send = [&](const std::vector<std::uint8_t>& bytes) {
            ::sendto(m_udpSocket, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr*>(&peer.address),
                     peer.length);
        };
        if (peer.hasLast && request.seq == peer.lastSeq) {
            // A repeated request: its reply got lost. Send the same reply, never execute twice.
            if (!peer.dropped) send(wireBytes(peer.session, peer.lastReply));
            continue;
        }
        // Older than the last request: a late duplicate. Only a Connect after the session ended
        // may start over with any number.
        const bool older = peer.hasLast && static_cast<std::int32_t>(request.seq - peer.lastSeq) < 0;
        if (older && (!connect || (peer.session.authenticated && !peer.dropped))) continue;
        if (connect && (peer.hasLast || peer.dropped)) {
            m_service.endSession(peer.session);
            startSession(peer.session, LinkKind::Udp);
            peer.dropped = false;
        }
        if (peer.dropped) continue;
        if (dropDue(peer.session)) {
            m_service.endSession(peer.session);
            peer.dropped = true;
            continue;
        }
        Frame live;
        const auto reply = answerLive(peer.session, request, nullptr, live)
                               ? std::optional<Frame>(live)
                               : m_service.handle(peer.session, request);
        if (!reply) continue;
        peer.hasLast = true;
        peer.lastSeq = request.seq;
        peer.lastReply = encodeFrame(*reply);
        send(wireBytes(peer.session, peer.lastReply));
        broadcastPunches();
    }
}

void Server::expireIdleSessions() {
    const auto now = Clock::now();
    const auto idle = std::chrono::milliseconds(m_config.idleTimeoutMs);
    for (auto it = m_udpPeers.begin(); it != m_udpPeers.end();) {
        if (now - it->second.lastActivity > idle) {
            m_service.endSession(it->second.session);
            it = m_udpPeers.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& channel : m_channels) {
        if (channel.session.link == LinkKind::Serial && channel.session.authenticated &&
            now - channel.lastActivity > idle) {
            m_service.endSession(channel.session);
            startSession(channel.session, LinkKind::Serial);
        }
    }
}

void Server::run(int stopFd) {
    for (;;) {
        std::vector<pollfd> fds;
        fds.push_back({stopFd, POLLIN, 0});
        if (m_tcpListener >= 0) fds.push_back({m_tcpListener, POLLIN, 0});
        if (m_usbListener >= 0) fds.push_back({m_usbListener, POLLIN, 0});
        if (m_udpSocket >= 0) fds.push_back({m_udpSocket, POLLIN, 0});
        const std::size_t firstChannel = fds.size();
        for (auto& channel : m_channels) {
            // A client that does not read its replies is not read from either.
            const short events = channel.out.empty() ? POLLIN : POLLOUT;
            fds.push_back({channel.fd, events, 0});
        }
        // Wake up in time to write changes that have waited their longest.
        int timeoutMs = 500;
        if (const auto deadline = m_service.saveDeadline()) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
            timeoutMs = static_cast<int>(std::clamp<std::int64_t>(left, 0, timeoutMs));
        }
        timeoutMs = std::min(timeoutMs, msUntilLive(Clock::now()));
        const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) break;
        if (fds[0].revents != 0) break;
        for (std::size_t i = 1; i < firstChannel; ++i) {
            if (fds[i].revents == 0) continue;
            if (fds[i].fd == m_tcpListener)
                acceptOn(m_tcpListener, LinkKind::Tcp);
            else if (fds[i].fd == m_usbListener)
                acceptOn(m_usbListener, LinkKind::Usb);
            else if (fds[i].fd == m_udpSocket)
                readUdp();
        }
        std::size_t index = firstChannel;
        for (auto it = m_channels.begin(); it != m_channels.end(); ++index) {
            Channel& channel = *it;
            const short revents = index < fds.size() ? fds[index].revents : 0;
            if (revents & POLLOUT)
                flushChannel(channel);
            else if (revents & (POLLIN | POLLHUP | POLLERR))
                readChannel(channel);
            if (!channel.closing && !channel.out.empty()) flushChannel(channel);
            if (channel.closing && channel.fd != m_ptyMaster) {
                ::close(channel.fd);
                it = m_channels.erase(it);
            } else {
                channel.closing = false;
                ++it;
            }
        }
        expireIdleSessions();
        runLive(Clock::now());
        m_service.saveIfDue(Clock::now());
    }
    // What a client is still owed (a reply, the event of a punch made just before the stop) goes
    // out before the links close: a punch in the saved log was also told to its listeners.
    for (auto& channel : m_channels)
        if (!channel.closing && !channel.out.empty()) flushChannel(channel);
    for (auto& channel : m_channels) m_service.endSession(channel.session);
    for (auto& [key, peer] : m_udpPeers) m_service.endSession(peer.session);
    m_service.saveNow();
}

}  // namespace orvelo::emulator
