#pragma once

#include "core/ports.h"

namespace orvelo::test {

// The connection panel as a test sets it; starts with the window's initial texts.
class FakeConnectionPanel : public ConnectionPanel {
public:
    ConnectionPanelState panel;
    ConnectionPanelState state() const override { return panel; }

    void chooseUsb() { panel.usbChecked = true, panel.rs232Checked = false, panel.tcpIpChecked = false; }
    void chooseSerial() { panel.usbChecked = false, panel.rs232Checked = true, panel.tcpIpChecked = false; }
    void chooseTcpIp() { panel.usbChecked = false, panel.rs232Checked = false, panel.tcpIpChecked = true; }
};

}  // namespace orvelo::test
