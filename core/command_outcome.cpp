#include "core/command_outcome.h"

using namespace Qt::StringLiterals;

namespace orvelo {

QString resultWord(CommandOutcome::Result result) {
    switch (result) {
        case CommandOutcome::Result::Done:
            return u"done"_s;
        case CommandOutcome::Result::Incomplete:
            return u"incomplete"_s;
        case CommandOutcome::Result::NotReachable:
            return u"not reachable"_s;
        case CommandOutcome::Result::Error:
            return u"error"_s;
    }
    return u"error"_s;
}

std::optional<CommandOutcome::Result> resultFromWord(const QString& word) {
    for (const auto result : {CommandOutcome::Result::Done, CommandOutcome::Result::Incomplete,
                              CommandOutcome::Result::NotReachable, CommandOutcome::Result::Error})
        if (resultWord(result) == word) return result;
    return std::nullopt;
}

}  // namespace orvelo
