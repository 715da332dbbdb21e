#pragma once

#include "Host/WidgetHost/Desktop/Placement.hpp"

// Widget windows on X11: a window manager places them, honouring the hints that keep a dock window
// below the others, on every workspace and out of the task bar; without those hints they bypass it.
// Panels tell the window manager what they take, and it publishes what is left as the work area.
namespace widgethost::desktop {

/// How a widget window meets the window manager: through the hints (below, sticky, out of the task
/// bar), or past it as an override-redirect window where it honours none of them.
enum class WindowManagement { hints, bypassed };

class X11Placement final : public Placement {
public:
    explicit X11Placement(WindowManagement management) : management_(management) {}
    X11Placement(const X11Placement&) = delete;
    X11Placement& operator=(const X11Placement&) = delete;
    ~X11Placement() override;

    /// What the running window manager supports, read from the default screen (and logged when it
    /// falls short).
    static WindowManagement windowManagementOfScreen();

    GtkWidget* makeWindow(const SurfacePosition& corner) const override;
    std::vector<detail::OutputArea> outputs(GdkDisplay* display) const override;
    void followWorkArea(GdkDisplay* display, std::function<void()> changed) override;
    SurfacePosition onDesktop(SurfacePosition asked, const std::string&,
                              const std::vector<detail::OutputArea>&) const override {
        return asked;
    }
    void move(GtkWindow* window, const SurfacePosition& corner, const detail::OutputArea*) const override;
    std::optional<std::pair<int, int>> shownAt(GtkWindow* window) const override;
    std::optional<unsigned> settleMilliseconds() const override { return windowManagerSettleMs; }
    std::pair<double, double> pointerOrigin(const SurfacePosition&, double x, double y, double rootX,
                                            double rootY) const override {
        return {rootX - x, rootY - y};
    }
    detail::PointerFrame dragFrame() const override { return detail::PointerFrame::current; }
    bool closingRemovesWindow() const override { return false; }
    bool paintsAtOnce() const override { return true; }

private:
    // How long a window manager may take to carry out a move before the host asks where the window is.
    static constexpr unsigned windowManagerSettleMs = 300;

    DesktopArea workArea(GdkDisplay* display) const;

    WindowManagement management_;
    std::function<void()> workAreaChanged_;
    GdkDisplay* followed_ = nullptr;  // whose root window's work area is followed
    // The followed work area as last read; dropped when the window manager changes it.
    mutable std::optional<DesktopArea> workArea_;
};

}  // namespace widgethost::desktop
