#include "emulator/seed.h"

#include <array>
#include <string_view>

#include "terminal/text_utils.h"

namespace orvelo::emulator {

namespace {

// splitmix64: tiny, fast and the same on every platform, unlike the standard distributions.
class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>(next() % bound); }

private:
    std::uint64_t m_state;
};

constexpr std::array<std::string_view, 20> kFamilyNames = {"王", "李", "张", "刘", "陈", "杨", "黄",
                                                           "赵", "吴", "周", "徐", "孙", "马", "朱",
                                                           "胡", "郭", "何", "高", "林", "罗"};
constexpr std::array<std::string_view, 24> kGivenNames = {"伟", "芳", "娜", "敏", "静", "丽", "强", "磊",
                                                          "军", "洋", "勇", "艳", "杰", "娟", "涛", "明",
                                                          "超", "秀", "霞", "平", "刚", "桂", "英", "华"};

}  // namespace

TerminalState seedState(const SeedOptions& options) {
    Random random(options.seed);
    TerminalState state;
    state.machine = 1;
    state.password = 0;
    for (int enroll = 1; enroll <= options.users; ++enroll) {
        User user;
        user.name = kFamilyNames[random.below(kFamilyNames.size())];
        const int given = 1 + static_cast<int>(random.below(2));
        for (int i = 0; i < given; ++i) user.name += kGivenNames[random.below(kGivenNames.size())];
        for (int backup = 0; backup < options.enrollments && backup <= FK_BACKUP_LAST; ++backup) {
            Enrollment e;
            e.privilege = enroll == 1 ? 1 : 0;
            if (backup == FK_BACKUP_CARD) {
                e.password = 1'000'000 + enroll;  // the card number
            } else if (backup == FK_BACKUP_PASSWORD) {
                e.password = static_cast<std::int32_t>(1000 + random.below(9000));
            } else {
                e.templateValues.resize(458);
                for (auto& v : e.templateValues) v = static_cast<std::int32_t>(random.below(65536)) - 32768;
            }
            user.enrollments.emplace(backup, std::move(e));
        }
        state.users.emplace(enroll, std::move(user));
    }
    // Record i lies in minute i after the start, so every user's records are whole minutes apart
    // and none is a duplicate of another in the attendance store.
    const double firstDay = *terminal::toDays({2026, 1, 1, 0, 0, 0, 0});
    state.logs.reserve(static_cast<std::size_t>(options.logs));
    for (int i = 0; i < options.logs; ++i) {
        LogRecord r;
        r.enroll = options.users > 0 ? 1 + i % options.users : 1;
        r.mode = 1 + i % 10;
        const std::int64_t seconds = 8 * 3600 + 60LL * i + random.below(60);
        // Day and time of day computed apart, as parsing the time text does, so that the value
        // survives the state file unchanged.
        r.time = (firstDay + static_cast<double>(seconds / 86400)) +
                 static_cast<double>((seconds % 86400) * 1000) / 86'400'000.0;
        state.logs.push_back(r);
    }
    return state;
}

}  // namespace orvelo::emulator
