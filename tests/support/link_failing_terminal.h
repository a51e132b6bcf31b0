#pragma once

#include <QString>
#include <QStringList>
#include <deque>

#include "tests/support/scripted_terminal_library.h"

namespace orvelo::test {

// The scripted terminal whose link fails at one chosen call: the `failingCall`-th call (from 1)
// of `failingOperation` returns `failure` (FK_LINK_ERROR -2 or FK_BAD_REPLY -3), and so does every
// later call of any operation, as a library does once its connection is gone. Calls are still
// recorded, so a test sees what the command tried after the failure.
class LinkFailingTerminal : public ScriptedTerminalLibrary {
public:
    using ScriptedTerminalLibrary::ScriptedTerminalLibrary;

    QString failingOperation;
    int failingCall = 1;
    std::int32_t failure = -2;

    bool linkDown() const { return m_down; }

#define ORVELO_ARM_THEN_SCRIPT(name, result, parameters, arguments) \
    result name parameters override {                               \
        arm(QStringLiteral(#name));                                 \
        return ScriptedTerminalLibrary::name arguments;             \
    }
    ORVELO_TERMINAL_OPERATIONS(ORVELO_ARM_THEN_SCRIPT)
#undef ORVELO_ARM_THEN_SCRIPT

private:
    // Called before the scripted call records itself and looks at its forced results.
    void arm(const QString& operation) {
        if (m_down || operation != failingOperation || ++m_calls != failingCall) return;
        m_down = true;
        // The connects and FK_DisConnect keep their scripted answers: a lost link does not
        // change what opening or closing a session returns to the command.
#define ORVELO_FAIL_OPERATION(name, result, parameters, arguments)         \
    if (!QStringLiteral(#name).startsWith(QStringLiteral("FK_Connect")) && \
        QStringLiteral(#name) != QStringLiteral("FK_DisConnect"))          \
        forcedResults[QStringLiteral(#name)] = std::deque<std::int32_t>(100000, failure);
        ORVELO_TERMINAL_OPERATIONS(ORVELO_FAIL_OPERATION)
#undef ORVELO_FAIL_OPERATION
    }

    int m_calls = 0;
    bool m_down = false;
};

}  // namespace orvelo::test
