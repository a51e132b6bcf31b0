#pragma once

#include <functional>

namespace orvelo {

class OperatorView;

// The default-error-box guard around every handler of the window and every orveloctl command:
// an error that the command does not handle stops it and shows its text (with the full-stop
// rule) in the default error box. Nothing of the stopped command is undone. Returns true when
// the command ran to its end.
bool runWithDefaultErrorBox(OperatorView& view, const std::function<void()>& command);

}  // namespace orvelo
