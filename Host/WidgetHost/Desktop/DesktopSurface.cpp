#include "Host/WidgetHost/Desktop/DesktopSurface.hpp"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "Host/WidgetHost/Desktop/Placement.hpp"
#include "Host/WidgetHost/Desktop/detail/KeepOnOutput.hpp"
#include "Host/WidgetHost/Desktop/detail/LiveName.hpp"
#include "Host/WidgetHost/Desktop/detail/PointerGesture.hpp"
#include "Host/WidgetHost/Desktop/detail/ScreenStyle.hpp"
#include "Host/WidgetHost/Desktop/detail/SurfaceContent.hpp"
#include "Host/WidgetHost/Desktop/detail/WindowCanvas.hpp"
#include "Host/WidgetHost/Log.hpp"
#include "Platform/Views/Painter.hpp"
#include "Platform/Views/TextEngine.hpp"

namespace widgethost::desktop {
namespace {

using platform::views::Appearance;
using platform::views::RGBA;
using platform::views::WidgetLayoutInfo;
using platform::views::WidgetView;

// How long a layer surface the compositor closed stays away, so that a compositor closing it again
// at once is not answered in a tight loop.
constexpr guint reopenDelayMs = 500;

constexpr const char* hitTargetClass = "widget-host-hit";
constexpr const char* css = R"css(
window.widget-host-surface { background: transparent; box-shadow: none; }
button.widget-host-hit {
    background: none; border: none; box-shadow: none; outline: none;
    padding: 0; margin: 0; min-width: 0; min-height: 0;
}
)css";

void roundedRectangle(cairo_t* cr, const platform::views::Rect& r, double radius) {
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.x + r.width - radius, r.y + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, r.x + r.width - radius, r.y + r.height - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, r.x + radius, r.y + r.height - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, r.x + radius, r.y + radius, radius, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

}  // namespace

struct DesktopSurface::State {
    explicit State(const Placement& p) : placement(p), gesture(8, p.dragFrame()) {}

    const Placement& placement;
    SurfaceSettings settings;
    SurfaceCallbacks callbacks;
    GtkWidget* window = nullptr;
    GtkWidget* area = nullptr;
    GtkWidget* fixed = nullptr;

    std::optional<WidgetView> view;               // kept so that the next one can be told from it
    std::optional<WidgetLayoutInfo> layout;       // the host's layout: painted, pressed and read
    std::vector<detail::ReadableText> readable;   // of the view, for the accessible text
    std::vector<detail::AccessibleButton> exposed;  // one GTK button each, in the same order
    std::vector<GtkWidget*> buttons;
    std::optional<std::size_t> pressedRegion;

    detail::PointerGesture gesture;
    SurfacePosition pressPosition;

    SurfacePosition position;  // on the desktop, naming the output it is on
    SurfacePosition expected;  // where the host last put the window
    SurfacePosition saved;     // what the host keeps: from the corner of the widget's own output
    std::optional<MoveCause> reportDue;  // the widget settled somewhere else than before, and why
    bool mapped = false;
    guint settleSource = 0;  // reports a position the widget had to take or the window manager gave it
    gulong monitorsChanged = 0;
    guint reopenSource = 0;  // brings back a layer surface the compositor closed
    detail::WindowCanvas canvas;

    const platform::views::Layout* drawn() const { return layout ? layout->placed.get() : nullptr; }
    void showLayout(WidgetLayoutInfo next);
    void updateAccessibleText();
    void queueDraw(const std::vector<platform::views::Rect>& frames);
    void syncButtons();
    void reportPosition(MoveCause cause);
    void settleLater(guint delayMs);
    std::vector<detail::OutputArea> outputs() const { return placement.outputs(gtk_widget_get_display(window)); }
    std::pair<int, int> pixelSize() const {
        auto size = platform::views::widgetSize(settings.family);
        return {static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height))};
    }
    SurfacePosition placeAt(SurfacePosition wanted);
    SurfacePosition asSaved(const SurfacePosition& corner) const;
    void keepOnOutputs();
    bool transparent() const;
    RGBA squareFill() const;
    PressTarget targetAt(double x, double y) const;
    std::pair<double, double> pointerOrigin(double x, double y, double rootX, double rootY) const {
        return placement.pointerOrigin(position, x, y, rootX, rootY);
    }
    void activate(const PressTarget& target) {
        if (callbacks.activated && !std::holds_alternative<NoTarget>(target) &&
            !std::holds_alternative<DisabledButton>(target))
            callbacks.activated(target);
    }

    void paint(cairo_t* cr);
    void repaintNow(const std::vector<platform::views::Rect>& frames);
    static gboolean onDraw(GtkWidget*, cairo_t* cr, gpointer self);
    static gboolean onPress(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean onMotion(GtkWidget*, GdkEventMotion* event, gpointer self);
    static gboolean onRelease(GtkWidget*, GdkEventButton* event, gpointer self);
    static gboolean onMap(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onUnmap(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self);
    static gboolean onSettled(gpointer self);
    static void onMonitorsChanged(GdkScreen*, gpointer self);
    static gboolean onDelete(GtkWidget*, GdkEvent*, gpointer self);
    static gboolean onReopen(gpointer self);
    void reopen();
    static void onButtonClicked(GtkButton* button, gpointer self);
    static void onButtonState(GtkWidget* button, GtkStateFlags previous, gpointer self);
};

// Painting --------------------------------------------------------------------------------------

bool DesktopSurface::State::transparent() const {
    GdkScreen* screen = gtk_widget_get_screen(window);
    return gdk_screen_is_composited(screen) && gtk_widget_get_visual(window) == gdk_screen_get_rgba_visual(screen);
}

// Where nothing composites transparency the window stays square: its corners take the widget's
// background.
RGBA DesktopSurface::State::squareFill() const {
    return drawn()->containerBackground.value_or(platform::views::defaultContainerBackground()).resolved(settings.appearance);
}

gboolean DesktopSurface::State::onDraw(GtkWidget*, cairo_t* cr, gpointer self) {
    static_cast<State*>(self)->paint(cr);
    return TRUE;
}

void DesktopSurface::State::paint(cairo_t* cr) {
    auto* s = this;
    const auto* drawn = s->drawn();
    // A second's repaint lies inside the widget's opaque background, which covers what was there.
    if (!drawn || !platform::views::coversClip(cr, *drawn, s->settings.appearance)) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        if (s->transparent() || !drawn) {
            cairo_set_source_rgba(cr, 0, 0, 0, 0);
        } else {
            RGBA fill = s->squareFill();
            cairo_set_source_rgb(cr, fill.red, fill.green, fill.blue);
        }
        cairo_paint(cr);
        cairo_restore(cr);
    }
    if (!drawn) return;

    // GTK has set the monitor's scale as the surface's device scale, so one unit is one point here
    // and the painter's vectors and text come out sharp at any scale.
    platform::views::paintLayout(cr, *drawn, s->settings.appearance, s->settings.renderingMode);

    if (s->pressedRegion && s->layout && *s->pressedRegion < s->layout->buttons.size()) {
        const auto& frame = s->layout->buttons[*s->pressedRegion].frame;
        RGBA shade = detail::pressedShade(s->settings.appearance);
        cairo_save(cr);
        roundedRectangle(cr, frame, detail::pressedShadeRadius(frame));
        cairo_set_source_rgba(cr, shade.red, shade.green, shade.blue, shade.alpha);
        cairo_fill(cr);
        cairo_restore(cr);
    }
}

// Content ---------------------------------------------------------------------------------------

// The window paints the layout it is handed and lays nothing out: its buttons are those the host
// presses. A layout that differs from the last in its texts alone (a second passing) repaints where
// they changed; one that moved a live timer on, only where its glyphs can be.
void DesktopSurface::State::showLayout(WidgetLayoutInfo next) {
    const auto* before = drawn();
    auto dirty = before && next.placed ? detail::changedTexts(*before, *next.placed) : std::nullopt;
    layout = std::move(next);
    syncButtons();
    updateAccessibleText();
    if (!dirty) {
        gtk_widget_queue_draw(area);
        return;
    }
    if (dirty->empty()) return;
    auto parts = detail::repaintParts(*drawn(), *dirty);
    if (placement.paintsAtOnce()) repaintNow(parts);
    else queueDraw(parts);
}

// The accessible text reads the live timers too, so it changes with them; it is made when read.
void DesktopSurface::State::updateAccessibleText() { detail::liveNameChanged(area); }

namespace {
cairo_rectangle_int_t pixelsCovering(const platform::views::Rect& r) {
    int x = static_cast<int>(std::floor(r.x));
    int y = static_cast<int>(std::floor(r.y));
    return {x, y, static_cast<int>(std::ceil(r.x + r.width)) - x, static_cast<int>(std::ceil(r.y + r.height)) - y};
}
}  // namespace

void DesktopSurface::State::queueDraw(const std::vector<platform::views::Rect>& frames) {
    for (const auto& r : frames) {
        auto p = pixelsCovering(r);
        gtk_widget_queue_draw_area(area, p.x, p.y, p.width, p.height);
    }
}

// A second's timers are painted at once where the display lets a window be drawn on between frames.
void DesktopSurface::State::repaintNow(const std::vector<platform::views::Rect>& frames) {
    int x = 0, y = 0;
    std::vector<cairo_rectangle_int_t> parts;
    if (gtk_widget_translate_coordinates(area, window, 0, 0, &x, &y)) {
        for (const auto& r : frames) {
            auto p = pixelsCovering(r);
            parts.push_back({p.x + x, p.y + y, p.width, p.height});
        }
        bool painted = canvas.paint(gtk_widget_get_window(window), parts, [&](cairo_t* cr) {
            cairo_translate(cr, x, y);
            paint(cr);
        });
        if (painted) return;
    }
    queueDraw(frames);
}

void DesktopSurface::State::syncButtons() {
    auto wanted = layout ? detail::accessibleButtons(layout->buttons) : std::vector<detail::AccessibleButton>{};
    if (wanted == exposed) return;
    for (GtkWidget* button : buttons) gtk_widget_destroy(button);
    buttons.clear();
    pressedRegion.reset();
    exposed = std::move(wanted);
    for (const auto& entry : exposed) {
        GtkWidget* button = gtk_button_new();
        gtk_style_context_add_class(gtk_widget_get_style_context(button), hitTargetClass);
        gtk_button_set_relief(GTK_BUTTON(button), GTK_RELIEF_NONE);
        gtk_widget_set_can_focus(button, FALSE);
        // Invisible: the painter draws the button; this one is only there to be pressed and read.
        gtk_widget_set_opacity(button, 0);
        gtk_widget_set_tooltip_text(button, nullptr);
        gtk_widget_set_size_request(button, static_cast<int>(std::lround(entry.frame.width)),
                                    static_cast<int>(std::lround(entry.frame.height)));
        gtk_widget_set_sensitive(button, entry.enabled);
        atk_object_set_name(gtk_widget_get_accessible(button), entry.name.c_str());
        g_signal_connect(button, "clicked", G_CALLBACK(onButtonClicked), this);
        g_signal_connect(button, "state-flags-changed", G_CALLBACK(onButtonState), this);
        gtk_fixed_put(GTK_FIXED(fixed), button, static_cast<int>(std::lround(entry.frame.x)),
                      static_cast<int>(std::lround(entry.frame.y)));
        gtk_widget_show(button);
        buttons.push_back(button);
    }
}

gboolean DesktopSurface::State::onMap(GtkWidget*, GdkEvent*, gpointer self) {
    auto* s = static_cast<State*>(self);
    s->mapped = true;
    // Where the window manager put the window as it mapped it shows once it is on screen.
    if (auto delay = s->placement.settleMilliseconds()) s->settleLater(*delay);
    return FALSE;
}

gboolean DesktopSurface::State::onUnmap(GtkWidget*, GdkEvent*, gpointer self) {
    auto* s = static_cast<State*>(self);
    s->mapped = false;
    return FALSE;
}

// Pointer ---------------------------------------------------------------------------------------

PressTarget DesktopSurface::State::targetAt(double x, double y) const {
    if (!layout) return NoTarget{};
    return widgethost::pressAt(*layout, x, y);
}

gboolean DesktopSurface::State::onPress(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* s = static_cast<State*>(self);
    if (event->button != GDK_BUTTON_PRIMARY || event->type != GDK_BUTTON_PRESS) return FALSE;
    auto origin = s->pointerOrigin(event->x, event->y, event->x_root, event->y_root);
    // Where the pointer's frame is the desktop's, the press tells where the window really is,
    // whatever configure events said so far.
    s->position.x = static_cast<int>(std::lround(origin.first));
    s->position.y = static_cast<int>(std::lround(origin.second));
    s->pressPosition = s->position;
    s->gesture.press(event->x, event->y, s->targetAt(event->x, event->y), origin.first, origin.second);
    // Buttons hidden from screen readers have no GTK button of their own, so their pressed look is here.
    if (s->gesture.armed() && s->layout) {
        s->pressedRegion = detail::buttonAt(s->layout->buttons, event->x, event->y);
        gtk_widget_queue_draw(s->area);
    }
    return TRUE;
}

gboolean DesktopSurface::State::onMotion(GtkWidget*, GdkEventMotion* event, gpointer self) {
    auto* s = static_cast<State*>(self);
    auto origin = s->pointerOrigin(event->x, event->y, event->x_root, event->y_root);
    auto effect = s->gesture.motion(event->x, event->y, origin.first, origin.second);
    switch (effect.kind) {
    case detail::GestureEffect::Kind::beginDrag:
    case detail::GestureEffect::Kind::dragBy:
        // The host moves the window itself: window managers do not move dock windows.
        s->placeAt({s->pressPosition.x + static_cast<int>(std::lround(effect.dx)),
                    s->pressPosition.y + static_cast<int>(std::lround(effect.dy))});
        return TRUE;
    default: return TRUE;
    }
}

gboolean DesktopSurface::State::onRelease(GtkWidget*, GdkEventButton* event, gpointer self) {
    auto* s = static_cast<State*>(self);
    if (event->button != GDK_BUTTON_PRIMARY) return FALSE;
    if (s->pressedRegion) {
        s->pressedRegion.reset();
        gtk_widget_queue_draw(s->area);
    }
    auto effect = s->gesture.release(event->x, event->y, s->targetAt(event->x, event->y));
    if (effect.kind == detail::GestureEffect::Kind::endDrag) s->reportPosition(MoveCause::user);
    if (effect.kind == detail::GestureEffect::Kind::activate) s->activate(effect.target);
    return TRUE;
}

void DesktopSurface::State::onButtonClicked(GtkButton* button, gpointer self) {
    auto* s = static_cast<State*>(self);
    auto it = std::find(s->buttons.begin(), s->buttons.end(), GTK_WIDGET(button));
    if (it == s->buttons.end() || !s->layout) return;
    std::size_t region = s->exposed[static_cast<std::size_t>(it - s->buttons.begin())].region;
    if (region >= s->layout->buttons.size()) return;
    s->activate(pressOn(s->layout->buttons[region]));
}

void DesktopSurface::State::onButtonState(GtkWidget* button, GtkStateFlags, gpointer self) {
    auto* s = static_cast<State*>(self);
    auto it = std::find(s->buttons.begin(), s->buttons.end(), button);
    if (it == s->buttons.end()) return;
    std::size_t region = s->exposed[static_cast<std::size_t>(it - s->buttons.begin())].region;
    bool down = (gtk_widget_get_state_flags(button) & GTK_STATE_FLAG_ACTIVE) != 0;
    auto before = s->pressedRegion;
    if (down)
        s->pressedRegion = region;
    else if (s->pressedRegion == region)
        s->pressedRegion.reset();
    if (before != s->pressedRegion) gtk_widget_queue_draw(s->area);
}

// Position --------------------------------------------------------------------------------------

SurfacePosition DesktopSurface::State::placeAt(SurfacePosition wanted) {
    auto areas = outputs();
    auto [width, height] = pixelSize();
    position = keptOnOutputs(wanted, width, height, areas);
    expected = position;
    placement.move(GTK_WINDOW(window), position, detail::outputOf(position, width, height, areas));
    // Where a window manager really put it is known once it had time to answer.
    if (auto delay = placement.settleMilliseconds(); delay && mapped && !gesture.dragging()) settleLater(*delay);
    return position;
}

SurfacePosition DesktopSurface::State::asSaved(const SurfacePosition& corner) const {
    auto [width, height] = pixelSize();
    return detail::onOutput(corner, width, height, outputs());
}

void DesktopSurface::State::keepOnOutputs() {
    auto areas = outputs();
    if (areas.empty()) return;  // nothing to place on until an output comes
    auto [width, height] = pixelSize();
    auto before = position;
    placeAt(detail::placeSaved(saved, width, height, areas));
    // Only the user moves a widget for good: one that had to move to stay on screen (its output
    // shrank, a panel came) keeps its place for when there is room again, as one whose output is
    // gone does. Its move is told, but never kept.
    const detail::OutputArea* home = detail::homeOutput(saved.output, areas);
    bool onItsOutput = saved.output.empty() || (home && home->name == saved.output);
    auto at = asSaved(position);
    bool elsewhere = at.x != saved.x || at.y != saved.y;  // a record naming no output means this one
    if (onItsOutput && elsewhere && (position.x != before.x || position.y != before.y)) {
        reportDue = MoveCause::keptOnScreen;
        // Told once the window manager had time to carry the move out, so that it is not taken for
        // the window manager's own.
        settleLater(placement.settleMilliseconds().value_or(0));
    }
}

void DesktopSurface::State::settleLater(guint delayMs) {
    if (settleSource) g_source_remove(settleSource);
    settleSource = g_timeout_add(delayMs, onSettled, this);
}

void DesktopSurface::State::onMonitorsChanged(GdkScreen*, gpointer self) {
    auto* s = static_cast<State*>(self);
    s->keepOnOutputs();
    s->reopen();
}

// Closed from outside --------------------------------------------------------------------------

// A window manager's close action (or a compositor closing a layer surface) asks the window to go.
// A widget leaves only through the host ("Remove widget"), so it stays where it is saved: an X11
// window just stays open; a closed layer surface is made again once there is an output to put it on.
gboolean DesktopSurface::State::onDelete(GtkWidget*, GdkEvent*, gpointer self) {
    auto* s = static_cast<State*>(self);
    if (!s->placement.closingRemovesWindow()) return TRUE;
    log(LogLevel::info, "widget ", s->settings.role, ": the compositor closed its surface; it comes back with an output");
    gtk_widget_hide(s->window);
    if (!s->reopenSource) s->reopenSource = g_timeout_add(reopenDelayMs, onReopen, s);
    return TRUE;
}

gboolean DesktopSurface::State::onReopen(gpointer self) {
    auto* s = static_cast<State*>(self);
    s->reopenSource = 0;
    s->reopen();
    return G_SOURCE_REMOVE;
}

void DesktopSurface::State::reopen() {
    if (!view || gtk_widget_get_visible(window) || reopenSource) return;
    if (gdk_display_get_n_monitors(gtk_widget_get_display(window)) == 0) return;  // again on the next output
    keepOnOutputs();
    gtk_widget_show(window);
}

void DesktopSurface::State::reportPosition(MoveCause cause) {
    reportDue.reset();
    auto at = asSaved(position);
    if (cause == MoveCause::user) saved = at;
    if (callbacks.moved) callbacks.moved(at, cause);
}

gboolean DesktopSurface::State::onConfigure(GtkWidget*, GdkEventConfigure*, gpointer self) {
    auto* s = static_cast<State*>(self);
    // During a drag the window trails the pointer; where the drag put it counts. Before the window
    // is mapped its position is not yet the window manager's.
    if (s->gesture.dragging() || !s->mapped) return FALSE;
    auto shown = s->placement.shownAt(GTK_WINDOW(s->window));
    if (!shown) return FALSE;
    auto [x, y] = *shown;
    s->position.x = x;
    s->position.y = y;
    // A window manager may place the window elsewhere than asked: the host keeps where it really is.
    if (x != s->expected.x || y != s->expected.y) s->settleLater(s->placement.settleMilliseconds().value_or(0));
    return FALSE;
}

gboolean DesktopSurface::State::onSettled(gpointer self) {
    auto* s = static_cast<State*>(self);
    s->settleSource = 0;
    if (s->gesture.dragging()) return G_SOURCE_REMOVE;  // the drag's end reports
    // A move that the window manager ignored sends no configure event: ask where the window is.
    if (auto shown = s->mapped ? s->placement.shownAt(GTK_WINDOW(s->window)) : std::nullopt) {
        auto [x, y] = *shown;
        s->position.x = x;
        s->position.y = y;
        if (x != s->expected.x || y != s->expected.y) s->reportDue = MoveCause::windowManager;
        s->expected = s->position;
    }
    if (s->reportDue) s->reportPosition(*s->reportDue);
    return G_SOURCE_REMOVE;
}

// The surface -----------------------------------------------------------------------------------

DesktopSurface::DesktopSurface(const Placement& placement, SurfaceSettings settings, SurfaceCallbacks callbacks)
    : state_(std::make_unique<State>(placement)) {
    State& s = *state_;
    s.settings = std::move(settings);
    s.callbacks = std::move(callbacks);
    s.saved = s.settings.position;
    s.position = s.saved;
    s.expected = s.saved;
    s.pressPosition = s.position;

    s.window = placement.makeWindow(s.position);
    GtkWindow* window = GTK_WINDOW(s.window);
    GdkScreen* screen = gtk_widget_get_screen(s.window);
    detail::addScreenStyle(screen, css);
    gtk_style_context_add_class(gtk_widget_get_style_context(s.window), "widget-host-surface");
    gtk_window_set_title(window, s.settings.title.c_str());
    if (!s.settings.role.empty()) gtk_window_set_role(window, s.settings.role.c_str());
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_resizable(window, FALSE);
    gtk_widget_set_app_paintable(s.window, TRUE);
    // Rounded corners need a compositor; without one the window stays square.
    if (GdkVisual* rgba = gdk_screen_get_rgba_visual(screen); rgba && gdk_screen_is_composited(screen))
        gtk_widget_set_visual(s.window, rgba);
    g_signal_connect(s.window, "configure-event", G_CALLBACK(State::onConfigure), &s);

    GtkWidget* overlay = gtk_overlay_new();
    s.area = detail::liveNamedArea([&s] { return s.drawn() ? detail::accessibleText(s.readable, *s.drawn()) : ""; });
    auto size = platform::views::widgetSize(s.settings.family);
    // A layer surface takes its size from its content, or it never draws.
    gtk_widget_set_size_request(s.area, static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height)));
    gtk_widget_add_events(s.area, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_BUTTON1_MOTION_MASK);
    g_signal_connect(s.area, "draw", G_CALLBACK(State::onDraw), &s);
    g_signal_connect(s.area, "button-press-event", G_CALLBACK(State::onPress), &s);
    g_signal_connect(s.area, "motion-notify-event", G_CALLBACK(State::onMotion), &s);
    g_signal_connect(s.area, "button-release-event", G_CALLBACK(State::onRelease), &s);
    gtk_container_add(GTK_CONTAINER(overlay), s.area);

    s.fixed = gtk_fixed_new();
    gtk_overlay_add_overlay(GTK_OVERLAY(overlay), s.fixed);
    // Presses between the buttons fall through to the drawing area; the buttons still get theirs.
    gtk_overlay_set_overlay_pass_through(GTK_OVERLAY(overlay), s.fixed, TRUE);
    gtk_container_add(GTK_CONTAINER(s.window), overlay);

    g_signal_connect(s.window, "map-event", G_CALLBACK(State::onMap), &s);
    // The canvas draws on the X window itself, so it lets go before that goes.
    g_signal_connect(s.window, "unrealize", G_CALLBACK(+[](GtkWidget*, gpointer self) {
                         static_cast<State*>(self)->canvas.release();
                     }),
                     &s);
    g_signal_connect(s.window, "unmap-event", G_CALLBACK(State::onUnmap), &s);
    g_signal_connect(s.window, "delete-event", G_CALLBACK(State::onDelete), &s);
    attachWidgetMenu(s.window, s.area, s.callbacks.menu, [&s] {
        // The menu takes the pointer: the press it interrupted never ends here.
        s.gesture.cancel();
        s.pressedRegion.reset();
        gtk_widget_queue_draw(s.area);
    });
    gtk_widget_show_all(overlay);
    // A saved position may lie off the outputs there are now; outputs also come, go and change size.
    s.keepOnOutputs();
    s.monitorsChanged = g_signal_connect(screen, "monitors-changed", G_CALLBACK(State::onMonitorsChanged), &s);
}

DesktopSurface::~DesktopSurface() {
    State& s = *state_;
    s.mapped = false;
    if (s.settleSource) g_source_remove(s.settleSource);
    if (s.reopenSource) g_source_remove(s.reopenSource);
    g_signal_handler_disconnect(gtk_widget_get_screen(s.window), s.monitorsChanged);
    gtk_widget_destroy(s.window);
}

void DesktopSurface::show(const WidgetView* view, const WidgetLayoutInfo* layout) {
    State& s = *state_;
    if (!view || !layout || !layout->placed) {
        s.view.reset();
        s.layout.reset();
        s.readable.clear();
        s.syncButtons();
        gtk_widget_hide(s.window);
        return;
    }
    // Held views keep their trees alive, so a tree at the same address is the same tree.
    if (!s.view || &s.view->root() != &view->root()) {
        s.view = *view;
        s.readable = detail::readableTexts(s.view->root());
    }
    s.showLayout(*layout);
    if (!gtk_widget_get_visible(s.window)) gtk_widget_show(s.window);
}

void DesktopSurface::setAppearance(Appearance appearance) {
    State& s = *state_;
    if (s.settings.appearance == appearance) return;
    s.settings.appearance = appearance;
    gtk_widget_queue_draw(s.area);
}

SurfacePosition DesktopSurface::moveTo(SurfacePosition position) {
    State& s = *state_;
    position = s.placement.onDesktop(std::move(position), s.position.output, s.outputs());
    // The host keeps the position it is given back; anything else the window manager does is reported.
    s.saved = s.asSaved(s.placeAt(position));
    s.reportDue.reset();
    return s.saved;
}

void DesktopSurface::keepOnScreen() { state_->keepOnOutputs(); }

SurfacePosition DesktopSurface::position() const { return state_->asSaved(state_->position); }

platform::WidgetFamily DesktopSurface::family() const { return state_->settings.family; }

bool DesktopSurface::mapped() const { return state_->mapped; }

const WidgetLayoutInfo* DesktopSurface::layout() const { return state_->layout ? &*state_->layout : nullptr; }

}  // namespace widgethost::desktop
