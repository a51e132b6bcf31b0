#pragma once

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <vector>

#include "core/ports.h"
#include "tests/support/call_log.h"

namespace orvelo::test {

// An OperatorView that records everything and answers the file dialog from a queue.
// CallLog entries:
//   "mmo_1: <line>" / "mmo_2: <line>"
//   "status: <text>"
//   "progress: <percent> shown" / "progress: <percent> hidden"
//   "box: <caption> | <text> | information|warning|error"
//   "error: <text>"
//   "dialog filter: <filter>" / "dialog folder: <folder>" / "dialog open"
class RecordingOperatorView : public OperatorView {
public:
    struct Box {
        QString text;
        QString caption;
        BoxIcon icon;
    };

    explicit RecordingOperatorView(CallLog& log) : m_log(log) {}

    void appendLog(LogPane pane, const QString& line) override;
    void setStatusText(const QString& text) override;
    void setProgress(int percent, bool showNumber) override;
    void messageBox(const QString& text, const QString& caption, BoxIcon icon) override;
    void errorBox(const QString& text) override;
    void setFileDialogFilter(const QString& filter) override;
    void setFileDialogFolder(const QString& folder) override;
    std::optional<QString> chooseFile() override;

    QStringList mmo1;
    QStringList mmo2;
    QStringList statusTexts;                     // every text set, in order
    QString statusText;                          // the text shown now
    std::vector<std::pair<int, bool>> progress;  // every (percent, shown) set, in order
    std::vector<Box> boxes;
    QStringList errors;
    QString dialogFilter;
    QString dialogFolder;
    std::deque<std::optional<QString>> fileAnswers;  // nullopt = cancel; empty queue = cancel

    // Called while a message box is "open", before it returns (e.g. to look at the status text).
    std::function<void(const Box&)> onMessageBox;

    // The percentages set while the number was shown, in order.
    std::vector<int> shownPercentages() const;

private:
    CallLog& m_log;
};

QString iconName(BoxIcon icon);

}  // namespace orvelo::test
