#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Platform/System/Result.hpp"

typedef struct sd_bus sd_bus;
typedef struct sd_bus_slot sd_bus_slot;

// The client side of net.widgethost.Control1, shared by widgetctl and the widget gallery: one
// typed call per method, through the interface's method table. widgetctl waits for its answers;
// the gallery's window must not, so what it asks is also offered as a call whose answer comes
// later, from the bus's event loop.
namespace widgethost::control1 {

struct ClientError {
    std::string name;     // the D-Bus error name, e.g. "net.widgethost.Control1.Error.Disabled"
    std::string message;  // for people
};

template <class T>
using Result = platform::Result<T, ClientError>;
using Status = platform::Status<ClientError>;

struct Button {
    std::string label;
    bool enabled = false;
    std::string intent;
};

struct ButtonFrame {
    std::string label;
    double x = 0, y = 0, width = 0, height = 0;  // points from the widget's top-left corner
};

struct Geometry {
    int x = 0, y = 0;  // the widget's top-left corner, from the corner of its output
    std::vector<ButtonFrame> buttons;
    std::string output;  // "" for the primary output
};

struct WidgetGeometry {
    std::string id;
    Geometry geometry;
};

struct Widget {
    std::string id, kind, family, extension;
    double entryDate = 0;
    std::vector<std::string> texts;
    std::vector<Button> buttons;
    std::string picture, status;
};

/// A widget kind an installed extension declares.
struct Kind {
    std::string extension, kind, displayName, description;
    std::vector<std::string> families;
};

/// A kind's preview entry: its date, its view tree as JSON text and the rendering mode it was made for.
struct PreviewEntry {
    double date = 0;
    std::string view;
    std::string renderingMode;
};

/// Where `place` puts a widget: the host's next spot, a free spot near the pointer, or a position.
struct Placement {
    enum class Where { next, nearPointer, at } where = Where::next;
    int x = 0, y = 0;
};

/// A widget just placed: its id and where it went, from the corner of its output.
struct Placed {
    std::string id;
    int x = 0, y = 0;
};

/// A window on the desktop, in desktop pixels; empty where its place is unknown.
struct WindowFrame {
    int x = 0, y = 0, width = 0, height = 0;
};

struct SlotRelease {
    void operator()(sd_bus_slot* slot) const;
};
/// A call whose answer is still to come; dropping it drops the answer and its callback.
using PendingCall = std::unique_ptr<sd_bus_slot, SlotRelease>;

template <class T>
using Callback = std::function<void(Result<T>)>;

class ControlClient {
public:
    /// Connects to the session bus; the reason when there is none.
    static Result<ControlClient> connect();
    /// Uses a bus the caller has opened (and, for answers that come later, attached to its loop).
    explicit ControlClient(sd_bus* bus);
    ControlClient(ControlClient&&) noexcept;
    ControlClient& operator=(ControlClient&&) = delete;
    ~ControlClient();

    Result<std::string> place(const std::string& kind, const std::string& family, Placement placement = {});
    Status move(const std::string& id, int x, int y);
    Result<Geometry> geometry(const std::string& id);
    /// Every placed widget's geometry, in one call.
    Result<std::vector<WidgetGeometry>> geometries();
    Status remove(const std::string& id);
    Status resize(const std::string& id, const std::string& family);
    Result<std::vector<Widget>> list();
    Status render(const std::string& id, const std::string& path, double scale, const std::string& appearance,
                  const std::string& mode);
    Result<std::string> press(const std::string& id, const std::string& label);
    Result<std::pair<std::string, std::string>> pressAt(const std::string& id, double x, double y);
    Status reload();
    /// Starts the host through its D-Bus service file unless it runs; waits until it owns its name.
    Status startHost();
    Result<std::vector<Kind>> kinds();
    Result<PreviewEntry> previewEntry(const std::string& kind, const std::string& family);

    // Answered later, from the bus's event loop.
    PendingCall kinds(Callback<std::vector<Kind>> done);
    PendingCall previewEntry(const std::string& kind, const std::string& family, Callback<PreviewEntry> done);
    PendingCall place(const std::string& kind, const std::string& family, Placement placement,
                      Callback<std::string> done);
    /// Places a widget at a free spot near the pointer that `window` does not cover.
    PendingCall placeClearOf(const std::string& kind, const std::string& family, WindowFrame window,
                             Callback<Placed> done);

    /// Runs `changed` whenever the host's bus name gets an owner (true) or loses it (false), for as
    /// long as the returned slot lives.
    PendingCall followHost(std::function<void(bool running)> changed);

private:
    ControlClient(sd_bus* bus, bool owned) : bus_(bus), owned_(owned) {}
    sd_bus* bus_;
    bool owned_;
};

/// Whether the error means that no widget host answers on the bus.
bool isNoHost(const ClientError& error);

}  // namespace widgethost::control1
