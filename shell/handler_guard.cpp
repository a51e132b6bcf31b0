#include "shell/handler_guard.h"

#include <exception>

#include "core/errors.h"
#include "core/ports.h"
#include "core/text.h"

namespace orvelo {

bool runWithDefaultErrorBox(OperatorView& view, const std::function<void()>& command) {
    try {
        command();
        return true;
    } catch (const Error& error) {
        view.errorBox(defaultErrorText(error.text()));
    } catch (const std::exception& error) {
        // Anything else thrown below (bad_alloc, a Qt container's out_of_range) must not escape a
        // Qt slot, which would end the process; the operator sees it as any other failure.
        view.errorBox(defaultErrorText(QString::fromLocal8Bit(error.what())));
    }
    return false;
}

}  // namespace orvelo
