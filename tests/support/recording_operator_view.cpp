#include "tests/support/recording_operator_view.h"

#include <cstdlib>

#include "tests/support/fixed_clock.h"

namespace orvelo::test {

QStringList CallLog::withPrefix(const QString& prefix) const {
    QStringList out;
    for (const QString& e : entries)
        if (e.startsWith(prefix)) out.append(e);
    return out;
}

qsizetype CallLog::indexOf(const QString& entry, bool prefixOnly) const {
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (prefixOnly ? entries[i].startsWith(entry) : entries[i] == entry) return i;
    return -1;
}

QString iconName(BoxIcon icon) {
    switch (icon) {
        case BoxIcon::Information:
            return QStringLiteral("information");
        case BoxIcon::Warning:
            return QStringLiteral("warning");
        case BoxIcon::Error:
            return QStringLiteral("error");
    }
    return {};
}

void RecordingOperatorView::appendLog(LogPane pane, const QString& line) {
    (pane == LogPane::Mmo1 ? mmo1 : mmo2).append(line);
    m_log.add((pane == LogPane::Mmo1 ? QStringLiteral("mmo_1: ") : QStringLiteral("mmo_2: ")) + line);
}

void RecordingOperatorView::setStatusText(const QString& text) {
    statusText = text;
    statusTexts.append(text);
    m_log.add(QStringLiteral("status: ") + text);
}

void RecordingOperatorView::setProgress(int percent, bool showNumber) {
    progress.emplace_back(percent, showNumber);
    m_log.add(QStringLiteral("progress: %1 %2").arg(percent).arg(showNumber ? u"shown" : u"hidden"));
}

void RecordingOperatorView::messageBox(const QString& text, const QString& caption, BoxIcon icon) {
    Box box{text, caption, icon};
    boxes.push_back(box);
    m_log.add(QStringLiteral("box: ") + caption + QStringLiteral(" | ") + text + QStringLiteral(" | ") +
              iconName(icon));
    if (onMessageBox) onMessageBox(box);
}

void RecordingOperatorView::errorBox(const QString& text) {
    errors.append(text);
    m_log.add(QStringLiteral("error: ") + text);
}

void RecordingOperatorView::setFileDialogFilter(const QString& filter) {
    dialogFilter = filter;
    m_log.add(QStringLiteral("dialog filter: ") + filter);
}

void RecordingOperatorView::setFileDialogFolder(const QString& folder) {
    dialogFolder = folder;
    m_log.add(QStringLiteral("dialog folder: ") + folder);
}

std::optional<QString> RecordingOperatorView::chooseFile() {
    m_log.add(QStringLiteral("dialog open"));
    if (fileAnswers.empty()) return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

std::vector<int> RecordingOperatorView::shownPercentages() const {
    std::vector<int> out;
    for (const auto& [percent, shown] : progress)
        if (shown) out.push_back(percent);
    return out;
}

FixedClock FixedClock::at(const QString& text) {
    const auto value = parseDateTimeText(text);
    if (!value) std::abort();
    return FixedClock(*value);
}

}  // namespace orvelo::test
