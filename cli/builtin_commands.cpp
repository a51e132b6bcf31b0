// Commands of orveloctl's own.
#include "cli/command_table.h"

using namespace Qt::StringLiterals;

namespace orvelo::cli {

namespace {

// Start-up has run when a command runs: this one stops there.
const CommandRegistration kCheckDatabase{{
    .name = u"check-database"_s,
    .summary = u"runs the start-up only: hv.ini, the database (an embedded one is created) and the lists"_s,
    .run = [](CommandInvocation&) {},
}};

}  // namespace

}  // namespace orvelo::cli
