#include "shell/panel_defaults.h"

using namespace Qt::StringLiterals;

namespace orvelo {

QString initialIpAddress() {
    return u"192.168.1.201"_s;
}

ConnectionPanelState initialPanelState() {
    ConnectionPanelState state;
    state.ipAddress = initialIpAddress();
    return state;
}

}  // namespace orvelo
