#pragma once

#include <gtest/gtest.h>

#include <QVariantMap>
#include <vector>

#include "access/connection.h"
#include "context/command_context.h"
#include "core/ports.h"
#include "tests/support/call_log.h"
#include "tests/support/fixed_clock.h"
#include "tests/support/link_failing_terminal.h"
#include "tests/support/recording_operator_view.h"
#include "tests/support/scripted_terminal_library.h"
#include "tests/support/test_database.h"

namespace orvelo::test {

// The selected rows of a shown grid, already in list order; every move of the current row is
// written into the call log as "current: <i>", so a test sees it among the terminal calls.
class TestEmployeeSelection : public EmployeeSelection {
public:
    explicit TestEmployeeSelection(CallLog& log) : m_log(log) {}

    std::vector<QVariantMap> rows;

    void add(const QVariant& emplid, const QVariant& cardid, const QVariant& name = {}) {
        rows.push_back({{QStringLiteral("人员编号"), emplid},
                        {QStringLiteral("登记号码"), cardid},
                        {QStringLiteral("姓名"), name}});
    }

    int count() const override { return int(rows.size()); }
    void makeCurrent(int i) override {
        m_current = i;
        m_log.add(QStringLiteral("current: %1").arg(i));
    }
    QVariant value(const QString& column) const override {
        const QVariantMap& row = rows.at(std::size_t(m_current));
        EXPECT_TRUE(row.contains(column)) << column.toStdString();
        return row.value(column);
    }

private:
    CallLog& m_log;
    int m_current = -1;
};

// A command run against the scripted terminal and an embedded database, the view and the
// terminal writing into one call log.
class EnrollmentCommandTest : public testing::Test {
protected:
    CallLog log;
    RecordingOperatorView view{log};
    ConnectionSettings settings;
    // Scripted answers, and a link that fails where a test says so.
    LinkFailingTerminal terminal{log};
    TestDatabase db;
    FixedClock clock = FixedClock::at(QStringLiteral("2024-05-06 07:08:09"));
    TestEmployeeSelection selection{log};
    CommandContext ctx{view, {}, settings, terminal, db.data(), clock, db.appDir(), &selection};
    ConnectionPanelState& panel = ctx.panel;  // the panel as the test sets it

    // The entries logged from `from` on.
    QStringList entriesFrom(qsizetype from) const { return log.entries.mid(from); }

    // A template of `count` values that differ from one enrollment to the next.
    static std::vector<std::int32_t> sampleTemplate(int seed, int count = 458) {
        std::vector<std::int32_t> values(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i) values[std::size_t(i)] = (i % 3 == 0 ? -1 : 1) * (seed * 1000 + i);
        return values;
    }
};

// "FK_GetEnrollData(h,enroll,0)" ... "FK_GetEnrollData(h,enroll,10)".
inline QStringList enrollReads(int handle, int enroll) {
    QStringList calls;
    for (int b = 0; b <= 10; ++b)
        calls << QStringLiteral("FK_GetEnrollData(%1,%2,%3)").arg(handle).arg(enroll).arg(b);
    return calls;
}

inline QString boxEntry(const QString& caption, const QString& text, const QString& icon) {
    return QStringLiteral("box: ") + caption + QStringLiteral(" | ") + text + QStringLiteral(" | ") + icon;
}

}  // namespace orvelo::test
