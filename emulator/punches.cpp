#include "emulator/punches.h"

#include <array>
#include <cmath>
#include <iterator>

#include "terminal/text_utils.h"

namespace orvelo::emulator {

using namespace orvelo::terminal;

EventRecord TerminalService::recordPunch(std::int32_t enroll, std::int32_t mode) {
    const double time = clockDays();
    m_state.logs.push_back(LogRecord{enroll, mode, time, false});
    m_writer.logsChanged();
    changed();
    return EventRecord{{enroll, mode, time}, static_cast<std::uint32_t>(m_state.logs.size() - 1)};
}

namespace {

constexpr std::array<std::int32_t, 8> kModeCodes{1, 2, 3, 4, 5, 6, 7, 10};

}  // namespace

RandomPuncher::RandomPuncher(std::chrono::milliseconds interval, std::uint64_t seed)
    : m_interval(interval), m_random(seed), m_next(Clock::now() + interval) {}

std::optional<RandomPuncher::Clock::time_point> RandomPuncher::nextDue() const {
    if (m_interval.count() <= 0) return std::nullopt;
    return m_next;
}

std::optional<EventRecord> RandomPuncher::punchIfDue(TerminalService& service, Clock::time_point now) {
    if (m_interval.count() <= 0 || now < m_next) return std::nullopt;
    m_next += m_interval;
    // A loop held up far behind does not make up a burst of punches.
    if (m_next < now) m_next = now + m_interval;
    const auto& users = service.state().users;
    if (users.empty()) return std::nullopt;
    auto user = users.begin();
    std::advance(user, static_cast<std::ptrdiff_t>(m_random() % users.size()));
    const std::int32_t mode = kModeCodes[m_random() % kModeCodes.size()];
    return service.recordPunch(user->first, mode);
}

}  // namespace orvelo::emulator
