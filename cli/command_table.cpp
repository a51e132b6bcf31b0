#include "cli/command_table.h"

#include <QtGlobal>
#include <algorithm>
#include <utility>

namespace orvelo::cli {

CommandInvocation::CommandInvocation(CommandContext& context, ConsoleOperatorView& console,
                                     const QStringList& setOptions,
                                     std::function<QString(const QString&)> valueOf, QStringList arguments)
    : m_context(context),
      m_console(console),
      m_setOptions(setOptions),
      m_valueOf(std::move(valueOf)),
      m_arguments(std::move(arguments)) {}

bool CommandInvocation::isSet(const QString& name) const {
    return m_setOptions.contains(name);
}

QString CommandInvocation::value(const QString& name) const {
    return m_valueOf(name);
}

void CommandTable::add(CommandDefinition command) {
    if (find(command.name))
        qFatal("orveloctl: the command %s is registered twice", qUtf8Printable(command.name));
    m_commands.push_back(std::move(command));
}

const CommandDefinition* CommandTable::find(const QString& name) const {
    const auto it = std::find_if(m_commands.begin(), m_commands.end(),
                                 [&](const CommandDefinition& command) { return command.name == name; });
    return it == m_commands.end() ? nullptr : &*it;
}

std::vector<const CommandDefinition*> CommandTable::sorted() const {
    std::vector<const CommandDefinition*> result;
    for (const CommandDefinition& command : m_commands) result.push_back(&command);
    std::sort(result.begin(), result.end(),
              [](const CommandDefinition* a, const CommandDefinition* b) { return a->name < b->name; });
    return result;
}

CommandTable& commandTable() {
    static CommandTable table;
    return table;
}

}  // namespace orvelo::cli
