#pragma once

#include "app/connection_panel_widgets.h"
#include "core/ports.h"

namespace orvelo {

// The connection panel as the commands read it: the texts, ticks and link choice as typed.
class WidgetConnectionPanel final : public ConnectionPanel {
public:
    explicit WidgetConnectionPanel(const ConnectionPanelWidgets& widgets) : m_widgets(widgets) {}
    ConnectionPanelState state() const override;

private:
    ConnectionPanelWidgets m_widgets;
};

}  // namespace orvelo
