#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <chrono>
#include <list>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "emulator/punches.h"
#include "emulator/terminal_service.h"
#include "terminal/frame.h"

namespace orvelo::emulator {

struct Endpoint {
    std::string host = "127.0.0.1";
    int port = 0;
};

// "[HOST:]PORT" with a numeric IPv4 host; nullopt when it is not one.
std::optional<Endpoint> parseEndpoint(const std::string& text);

struct ServerConfig {
    std::optional<Endpoint> tcp;
    std::optional<Endpoint> udp;
    bool serialPty = false;
    bool usb = false;
    // A UDP or serial session that sends nothing for this long is taken as gone; a TCP or USB
    // session ends when its connection closes.
    int idleTimeoutMs = 60'000;
    // Live events: a subscribed connection hears from the terminal at least this often.
    int heartbeatMs = 1000;
    // --punch-every-ms, --punch-seed: 0 makes no punches of its own.
    int punchEveryMs = 0;
    std::uint64_t punchSeed = 1;
};

// Serves the terminal on every configured link from one thread: one request at a time, each
// answered before the next one is read.
class Server {
public:
    Server(TerminalService& service, ServerConfig config);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Binds every link; false with a message in `error` when one cannot be bound.
    bool open(std::string& error);
    // "listening tcp=HOST:PORT udp=HOST:PORT pty=PATH usb=PATH", "-" for a link not served.
    std::string listeningLine() const;
    // Serves until `stopFd` becomes readable, then ends every session.
    void run(int stopFd);

private:
    using Clock = std::chrono::steady_clock;

    // The pieces of open(), one link each.
    bool openSerialPty(std::string& error);
    bool openUsbSocket(std::string& error);
    std::optional<std::string> usbSocketPath(std::string& error) const;
    bool removeStaleSocket(const sockaddr_un& addr, std::string& error);

    struct Channel {
        int fd = -1;
        Session session;
        terminal::FrameDecoder decoder;
        std::vector<std::uint8_t> out;
        std::size_t outOffset = 0;
        bool dropped = false;  // after drop-after: silent until the next connect (serial)
        bool closing = false;
        Clock::time_point lastActivity;
        bool subscribed = false;  // live events go out on it
        Clock::time_point lastSent;
    };
    struct UdpPeer {
        sockaddr_storage address{};
        socklen_t length = 0;
        Session session;
        bool dropped = false;
        bool hasLast = false;
        std::uint32_t lastSeq = 0;
        std::vector<std::uint8_t> lastReply;  // sent again, unchanged, for a repeated request
        Clock::time_point lastActivity;
    };

    void acceptOn(int listener, LinkKind kind);
    void readChannel(Channel& channel);
    void flushChannel(Channel& channel);
    void processStream(Channel& channel, const terminal::Frame& request);
    void readUdp();
    void expireIdleSessions();
    void startSession(Session& session, LinkKind kind);
    // Applies delay and corruption, counts the reply; returns the bytes to send.
    std::vector<std::uint8_t> wireBytes(Session& session, const std::vector<std::uint8_t>& clean);
    bool dropDue(const Session& session) const;
    void closeChannel(Channel& channel);

    // Live events (server_live.cpp). Answers Subscribe, Unsubscribe and Punch, which the server
    // handles itself since they concern its connections; false for any other request.
    // `subscribed` is null for a UDP peer, which cannot subscribe.
    bool answerLive(Session& session, const terminal::Frame& request, bool* subscribed,
                    terminal::Frame& reply);
    // Sends the punches answerLive recorded to every subscribed connection.
    void broadcastPunches();
    // Random punches and heartbeats that are due; how long until the next one (ms).
    void runLive(Clock::time_point now);
    int msUntilLive(Clock::time_point now) const;

    TerminalService& m_service;
    ServerConfig m_config;
    int m_tcpListener = -1;
    int m_udpSocket = -1;
    int m_usbListener = -1;
    int m_ptyMaster = -1;
    int m_ptySlave = -1;
    std::string m_tcpText = "-";
    std::string m_udpText = "-";
    std::string m_ptyPath;
    std::string m_usbPath;
    std::list<Channel> m_channels;  // TCP and USB connections, and the serial line
    std::map<std::string, UdpPeer> m_udpPeers;
    RandomPuncher m_puncher;
    std::vector<terminal::EventRecord> m_punches;  // recorded, not yet sent
};

}  // namespace orvelo::emulator
