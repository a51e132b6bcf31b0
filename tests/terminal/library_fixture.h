#pragma once

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <memory>
#include <ostream>
#include <string>

#include "fkattend.h"
#include "tests/support/emulator_process.h"

namespace orvelo::test {

enum class Link { Tcp, Udp, Serial, Usb };

inline const char* linkName(Link link) {
    switch (link) {
        case Link::Tcp:
            return "Tcp";
        case Link::Udp:
            return "Udp";
        case Link::Serial:
            return "Serial";
        case Link::Usb:
            return "Usb";
    }
    return "?";
}

inline void PrintTo(Link link, std::ostream* os) {
    *os << linkName(link);
}

// The COM port number the tests map to the emulator's pseudo-terminal through FK_COM<n>.
constexpr int kTestComPort = 7;

inline EmulatorProcess::Options withFaults(const QStringList& faults) {
    EmulatorProcess::Options options;
    options.faults = faults;
    return options;
}

inline EmulatorProcess::Options withMachine(int machine) {
    EmulatorProcess::Options options;
    options.machine = machine;
    return options;
}

inline EmulatorProcess::Options withPassword(int password) {
    EmulatorProcess::Options options;
    options.password = password;
    return options;
}

inline QJsonObject parseJson(const char* text) {
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

// A terminal with an administrator (two fingerprints, one of them privileged), a user with a card
// and a password, and three log records of which one is collected.
inline QJsonObject smallTerminal() {
    return parseJson(R"({"machine": 1, "password": 0, "management_log": {"new": 2, "all": 5},
      "users": [
        {"enroll": 123, "name": "张三", "enrollments": [
            {"backup": 0, "privilege": 1, "password": 0, "template": [12, -3, 0]},
            {"backup": 1, "privilege": 0, "password": 0, "template": [7, 8]}]},
        {"enroll": 456, "name": "Li Si", "enrollments": [
            {"backup": 9, "privilege": 0, "password": 5001, "template": []},
            {"backup": 10, "privilege": 0, "password": 1234, "template": []}]}],
      "logs": [
        {"enroll": 123, "mode": 1, "time": "2005-03-07 08:15:40", "collected": true},
        {"enroll": 123, "mode": 2, "time": "2005-03-07 17:30:05", "collected": false},
        {"enroll": 456, "mode": 3, "time": "2005-03-08 08:01:00", "collected": false}]})");
}

// One emulator in a temporary folder, and connects to it through the real library.
class TerminalFixture {
public:
    TerminalFixture()
        : m_statePath(m_dir.filePath(QStringLiteral("terminal.json"))), m_emulator(m_statePath) {}

    QString path(const QString& name) const { return m_dir.filePath(name); }
    const QString& statePath() const { return m_statePath; }
    EmulatorProcess& emulator() { return m_emulator; }

    void write(const QJsonObject& state) { EmulatorProcess::writeState(m_statePath, state); }
    void seed(int users, int enrollments, int logs) {
        EmulatorProcess::seed(m_statePath, users, enrollments, logs);
    }

    void start(Link link, EmulatorProcess::Options options = {}) {
        m_link = link;
        options.tcp = link == Link::Tcp;
        options.udp = link == Link::Udp;
        options.serialPty = link == Link::Serial;
        options.usb = link == Link::Usb;
        m_emulator.start(options);
        if (link == Link::Serial) m_emulator.exportComPort(kTestComPort);
    }

    std::int32_t connect(int machine = 1, int password = 0, int timeoutMs = 3000) {
        switch (m_link) {
            case Link::Tcp:
                return FK_ConnectNet(machine, "127.0.0.1", m_emulator.tcpPort(), timeoutMs, 0, password);
            case Link::Udp:
                return FK_ConnectNet(machine, "127.0.0.1", m_emulator.udpPort(), timeoutMs, 1, password);
            case Link::Serial:
                return FK_ConnectComm(machine, kTestComPort, 115200, nullptr, 0);
            case Link::Usb:
                return FK_ConnectUSB(machine);
        }
        return 0;
    }

private:
    QTemporaryDir m_dir;
    QString m_statePath;
    EmulatorProcess m_emulator;
    Link m_link = Link::Tcp;
};

inline QJsonObject userOf(const QJsonObject& state, int enroll) {
    for (const auto& u : state[QStringLiteral("users")].toArray())
        if (u[QStringLiteral("enroll")].toInt() == enroll) return u.toObject();
    return {};
}

inline QJsonObject enrollmentOf(const QJsonObject& state, int enroll, int backup) {
    for (const auto& e : userOf(state, enroll)[QStringLiteral("enrollments")].toArray())
        if (e[QStringLiteral("backup")].toInt() == backup) return e.toObject();
    return {};
}

inline int collectedCount(const QJsonObject& state) {
    int n = 0;
    for (const auto& r : state[QStringLiteral("logs")].toArray())
        n += r[QStringLiteral("collected")].toBool() ? 1 : 0;
    return n;
}

}  // namespace orvelo::test
