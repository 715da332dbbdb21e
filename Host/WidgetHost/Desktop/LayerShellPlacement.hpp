#pragma once

#include "Host/WidgetHost/Desktop/Placement.hpp"

// Widget windows on a Wayland compositor with layer-shell: bottom-layer surfaces anchored at an
// output's top-left corner, placed by their margins. Nothing tells a client where a surface is, so
// the host's word is final, and positions count from the corner of the widget's output; the
// compositor keeps the surfaces out of its panels by counting the margins from where they end.
namespace widgethost::desktop {

class LayerShellPlacement final : public Placement {
public:
    /// `frame`: how the compositor reports pointer positions over a surface that moves during a drag.
    explicit LayerShellPlacement(detail::PointerFrame frame = compositorPointerFrame()) : frame_(frame) {}

    /// While the button is held, wlroots compositors (Sway) give pointer positions relative to where
    /// the surface was at the press, KWin relative to where it is now.
    static detail::PointerFrame compositorPointerFrame();

    GtkWidget* makeWindow(const SurfacePosition& corner) const override;
    SurfacePosition onDesktop(SurfacePosition asked, const std::string& currentOutput,
                              const std::vector<detail::OutputArea>& areas) const override;
    void move(GtkWindow* window, const SurfacePosition& corner, const detail::OutputArea* home) const override;
    std::optional<std::pair<int, int>> shownAt(GtkWindow*) const override { return std::nullopt; }
    std::optional<unsigned> settleMilliseconds() const override { return std::nullopt; }
    std::pair<double, double> pointerOrigin(const SurfacePosition& corner, double, double, double,
                                            double) const override {
        return {corner.x, corner.y};
    }
    detail::PointerFrame dragFrame() const override { return frame_; }
    bool closingRemovesWindow() const override { return true; }
    // A layer surface is committed by the frame clock: its repaints wait for the next frame.
    bool paintsAtOnce() const override { return false; }

private:
    detail::PointerFrame frame_;
};

}  // namespace widgethost::desktop
