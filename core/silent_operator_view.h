#pragma once

#include <QString>
#include <optional>

#include "core/ports.h"

namespace orvelo {

// An OperatorView that shows nothing, for a command run with nobody to close its boxes or read
// its memo (the live watch's collection, the benchmarks), where the outcome is what counts. It
// keeps the text of the last box and of the last error box for a caller that wants to say what
// happened, and answers the file dialog with `nextFile` (none: the dialog was cancelled).
class SilentOperatorView final : public OperatorView {
public:
    void appendLog(LogPane, const QString&) override {}
    void setStatusText(const QString&) override {}
    void setProgress(int, bool) override {}
    void messageBox(const QString& text, const QString&, BoxIcon) override { lastBox = text; }
    void errorBox(const QString& text) override { lastError = text; }
    void setFileDialogFilter(const QString&) override {}
    void setFileDialogFolder(const QString&) override {}
    std::optional<QString> chooseFile() override { return nextFile; }

    QString lastBox;
    QString lastError;
    std::optional<QString> nextFile;
};

}  // namespace orvelo
