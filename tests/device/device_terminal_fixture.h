#pragma once

// What the end-to-end tests of the device commands share: one emulated terminal with known
// counters, the lines its status report gives, and a loopback port on which nothing listens.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <stdexcept>

#include "core/datetime.h"

namespace orvelo::test {

// A clock a year behind; two administrators (user 1 through two fingerprints, user 3 through a
// password), four users, four fingerprints, one card, one password, management records 2 new of
// 5, attendance records 2 new of 3. The user list walks six entries, three with a privilege.
inline QJsonObject maintenanceTerminalState() {
    const auto enrollment = [](int backup, int privilege) {
        return QJsonObject{{QStringLiteral("backup"), backup}, {QStringLiteral("privilege"), privilege}};
    };
    const auto user = [](int enroll, const QString& name, const QJsonArray& enrollments) {
        return QJsonObject{{QStringLiteral("enroll"), enroll},
                           {QStringLiteral("name"), name},
                           {QStringLiteral("enrollments"), enrollments}};
    };
    const auto record = [](int enroll, const QString& time, bool collected) {
        return QJsonObject{{QStringLiteral("enroll"), enroll},
                           {QStringLiteral("time"), time},
                           {QStringLiteral("collected"), collected}};
    };
    return QJsonObject{
        {QStringLiteral("machine"), 1},
        {QStringLiteral("clock_offset_s"), -365 * 86400},
        {QStringLiteral("management_log"),
         QJsonObject{{QStringLiteral("new"), 2}, {QStringLiteral("all"), 5}}},
        {QStringLiteral("users"),
         QJsonArray{user(1, QStringLiteral("张三"), {enrollment(0, 1), enrollment(1, 1)}),
                    user(2, QStringLiteral("李四"), {enrollment(0, 0), enrollment(9, 0)}),
                    user(3, QStringLiteral("王五"), {enrollment(10, 2)}),
                    user(4, QStringLiteral("赵六"), {enrollment(0, 0)})}},
        {QStringLiteral("logs"), QJsonArray{record(1, QStringLiteral("2024-05-06 08:00:00"), true),
                                            record(2, QStringLiteral("2024-05-06 08:01:00"), false),
                                            record(4, QStringLiteral("2024-05-06 08:02:00"), false)}},
    };
}

// The lines of mmo_1 that the status report writes for maintenanceTerminalState(), separator
// included.
inline QStringList maintenanceStatusLines(const QString& typedMachineNo = QStringLiteral("1")) {
    return {
        QStringLiteral("获取") + typedMachineNo + QStringLiteral("号设备状态："),
        QStringLiteral("  已登记管理员总数：2"),
        QStringLiteral("  已登记用户总数：4"),
        QStringLiteral("  已登记指纹总数：4"),
        QStringLiteral("  已登记卡片总数：1"),
        QStringLiteral("  已登记密码总数：1"),
        QStringLiteral("  新管理记录数：2"),
        QStringLiteral("  管理记录总数：5"),
        QStringLiteral("  新记录数：2"),
        QStringLiteral("  全部记录总数：3"),
        QString(),
    };
}

// Every privilege of every enrollment in a dumped state.
inline QList<int> privileges(const QJsonObject& dumped) {
    QList<int> result;
    for (const QJsonValue& user : dumped.value(QStringLiteral("users")).toArray())
        for (const QJsonValue& e : user.toObject().value(QStringLiteral("enrollments")).toArray())
            result.append(e.toObject().value(QStringLiteral("privilege")).toInt(0));
    return result;
}

// How far the emulated clock is from `expected` now, in seconds: the emulator keeps its clock as
// an offset from the host's local time.
inline double clockDistanceSeconds(const QJsonObject& dumped, DateTimeValue expected) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate d = now.date();
    const QTime t = now.time();
    const DateTimeValue host =
        encodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(), t.msec()})
            .value_or(0);
    const double offset = dumped.value(QStringLiteral("clock_offset_s")).toDouble();
    return (host - expected) * 86400.0 + offset;
}

// A TCP port of 127.0.0.1 on which nothing listens: bound, read and released again.
inline int unusedLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) throw std::runtime_error("socket failed");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        throw std::runtime_error("bind failed");
    }
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace orvelo::test
