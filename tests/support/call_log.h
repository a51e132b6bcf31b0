#pragma once

#include <QString>
#include <QStringList>
#include <functional>

namespace orvelo::test {

// One sequence into which the recording view and the scripted terminal library both write, so
// a test sees the order of boxes, log lines, status texts and library calls.
struct CallLog {
    QStringList entries;
    // Called with each entry once it is added: a test acts at a chosen point of a command's run.
    std::function<void(const QString&)> onAdd;
    void add(const QString& entry) {
        entries.append(entry);
        if (onAdd) onAdd(entry);
    }
    // The entries that start with `prefix`, in order.
    QStringList withPrefix(const QString& prefix) const;
    // Index of the first entry equal to `entry` (or starting with it when `prefixOnly`), or -1.
    qsizetype indexOf(const QString& entry, bool prefixOnly = false) const;
};

}  // namespace orvelo::test
