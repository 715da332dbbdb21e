#include "Host/ControlClient/ControlClient.hpp"

#include <systemd/sd-bus.h>

#include <cstring>
#include <utility>

#include "Host/WidgetHost/dbus/Control1.hpp"

namespace widgethost::control1 {
namespace {

using platform::bus::Method;
// Placing may wait for extensions to start and describe themselves.
constexpr std::uint64_t callTimeoutUsec = 30'000'000;

template <class T>
using Reader = Result<T> (*)(sd_bus_message*);

ClientError malformed() { return {SD_BUS_ERROR_INVALID_ARGS, "the widget host sent an unexpected answer"}; }

ClientError failure(const sd_bus_error* error, int r) {
    if (error && sd_bus_error_is_set(error)) return {error->name, error->message ? error->message : ""};
    return {SD_BUS_ERROR_FAILED, std::strerror(-r)};
}

// The request for a method, its arguments appended in the order of the method's signature.
template <class... Args>
int newCall(sd_bus* bus, const Method& method, sd_bus_message** request, Args... args) {
    int r = sd_bus_message_new_method_call(bus, request, busName, objectPath, interfaceName, method.name);
    if constexpr (sizeof...(Args) > 0)
        if (r >= 0) r = sd_bus_message_append(*request, method.in, args...);
    return r;
}

// A reply is read only when it carries what the table says the method answers.
template <class T>
Result<T> decode(sd_bus_message* reply, const Method& method, Reader<T> reader) {
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) return failure(error, -EIO);
    if (!sd_bus_message_has_signature(reply, method.out)) return malformed();
    return reader(reply);
}

template <class T, class... Args>
Result<T> call(sd_bus* bus, const Method& method, Reader<T> reader, Args... args) {
    sd_bus_message* request = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    int r = newCall(bus, method, &request, args...);
    if (r >= 0) r = sd_bus_call(bus, request, callTimeoutUsec, &error, &reply);
    Result<T> result = r < 0 ? Result<T>(failure(&error, r)) : decode(reply, method, reader);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(request);
    sd_bus_error_free(&error);
    return result;
}

using Answer = std::function<void(sd_bus_message*)>;

int onAnswer(sd_bus_message* reply, void* answer, sd_bus_error*) {
    (*static_cast<Answer*>(answer))(reply);
    return 0;
}

template <class T, class... Args>
PendingCall callLater(sd_bus* bus, const Method& method, Reader<T> reader, Callback<T> done, Args... args) {
    sd_bus_message* request = nullptr;
    int r = newCall(bus, method, &request, args...);
    auto* answer = new Answer([method, reader, done](sd_bus_message* reply) { done(decode(reply, method, reader)); });
    sd_bus_slot* slot = nullptr;
    if (r >= 0) r = sd_bus_call_async(bus, &slot, request, onAnswer, answer, callTimeoutUsec);
    sd_bus_message_unref(request);
    if (r < 0) {
        delete answer;
        done(failure(nullptr, r));
        return nullptr;
    }
    // The answer lives as long as the slot: sd-bus holds the slot while the callback runs.
    sd_bus_slot_set_destroy_callback(slot, [](void* a) { delete static_cast<Answer*>(a); });
    return PendingCall(slot);
}

Status readNothing(sd_bus_message*) { return platform::Done{}; }

Result<std::string> readString(sd_bus_message* m) {
    const char* text = nullptr;
    if (sd_bus_message_read(m, "s", &text) < 0) return malformed();
    return std::string(text);
}

Result<std::pair<std::string, std::string>> readPair(sd_bus_message* m) {
    const char *first = nullptr, *second = nullptr;
    if (sd_bus_message_read(m, "ss", &first, &second) < 0) return malformed();
    return std::pair<std::string, std::string>(first, second);
}

Result<Placed> readPlaced(sd_bus_message* m) {
    const char* id = nullptr;
    Placed placed;
    if (sd_bus_message_read(m, "sii", &id, &placed.x, &placed.y) < 0) return malformed();
    placed.id = id;
    return placed;
}

// Reads an array of strings into `out`.
int readStrings(sd_bus_message* m, std::vector<std::string>& out) {
    int r = sd_bus_message_enter_container(m, 'a', "s");
    const char* text = nullptr;
    while (r >= 0 && (r = sd_bus_message_read(m, "s", &text)) > 0) out.emplace_back(text);
    return r < 0 ? r : sd_bus_message_exit_container(m);
}

// Reads Geometry's fields, which Geometries repeats per widget.
int readGeometryFields(sd_bus_message* m, Geometry& geometry) {
    int r = sd_bus_message_read(m, "ii", &geometry.x, &geometry.y);
    if (r >= 0) r = sd_bus_message_enter_container(m, 'a', "(sdddd)");
    const char* label = nullptr;
    ButtonFrame frame;
    while (r >= 0 &&
           (r = sd_bus_message_read(m, "(sdddd)", &label, &frame.x, &frame.y, &frame.width, &frame.height)) > 0) {
        frame.label = label;
        geometry.buttons.push_back(frame);
    }
    const char* output = nullptr;
    if (r >= 0) r = sd_bus_message_exit_container(m);
    if (r >= 0) r = sd_bus_message_read(m, "s", &output);
    if (r >= 0) geometry.output = output;
    return r;
}

Result<Geometry> readGeometry(sd_bus_message* m) {
    Geometry geometry;
    if (readGeometryFields(m, geometry) < 0) return malformed();
    return geometry;
}

Result<std::vector<WidgetGeometry>> readGeometries(sd_bus_message* m) {
    std::vector<WidgetGeometry> geometries;
    int r = sd_bus_message_enter_container(m, 'a', "(siia(sdddd)s)");
    while (r > 0 && (r = sd_bus_message_enter_container(m, 'r', "siia(sdddd)s")) > 0) {
        const char* id = nullptr;
        WidgetGeometry read;
        if ((r = sd_bus_message_read(m, "s", &id)) >= 0) r = readGeometryFields(m, read.geometry);
        if (r >= 0) r = sd_bus_message_exit_container(m);
        if (r < 0) break;
        read.id = id;
        geometries.push_back(std::move(read));
    }
    if (r < 0 || sd_bus_message_exit_container(m) < 0) return malformed();
    return geometries;
}

int readWidget(sd_bus_message* m, Widget& widget) {
    const char *id, *kind, *family, *extension, *picture, *status;
    int r = sd_bus_message_enter_container(m, 'r', "ssssdasa(sbs)ss");
    if (r <= 0) return r;
    r = sd_bus_message_read(m, "ssssd", &id, &kind, &family, &extension, &widget.entryDate);
    if (r < 0) return r;
    widget.id = id, widget.kind = kind, widget.family = family, widget.extension = extension;
    if ((r = readStrings(m, widget.texts)) < 0) return r;
    if ((r = sd_bus_message_enter_container(m, 'a', "(sbs)")) < 0) return r;
    const char *label, *intent;
    int enabled;
    while ((r = sd_bus_message_read(m, "(sbs)", &label, &enabled, &intent)) > 0)
        widget.buttons.push_back({label, enabled != 0, intent});
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
    if ((r = sd_bus_message_read(m, "ss", &picture, &status)) < 0) return r;
    widget.picture = picture, widget.status = status;
    if ((r = sd_bus_message_exit_container(m)) < 0) return r;
    return 1;
}

Result<std::vector<Widget>> readWidgets(sd_bus_message* m) {
    std::vector<Widget> widgets;
    if (sd_bus_message_enter_container(m, 'a', "(ssssdasa(sbs)ss)") < 0) return malformed();
    for (;;) {
        Widget widget;
        int r = readWidget(m, widget);
        if (r < 0) return malformed();
        if (r == 0) break;
        widgets.push_back(std::move(widget));
    }
    return widgets;
}

Result<std::vector<Kind>> readKinds(sd_bus_message* m) {
    std::vector<Kind> kinds;
    int r = sd_bus_message_enter_container(m, 'a', "(ssssas)");
    while (r > 0 && (r = sd_bus_message_enter_container(m, 'r', "ssssas")) > 0) {
        const char *extension = nullptr, *kind = nullptr, *name = nullptr, *description = nullptr;
        r = sd_bus_message_read(m, "ssss", &extension, &kind, &name, &description);
        if (r < 0) break;
        Kind read{extension, kind, name, description, {}};
        if ((r = readStrings(m, read.families)) >= 0) r = sd_bus_message_exit_container(m);
        if (r < 0) break;
        kinds.push_back(std::move(read));
    }
    if (r < 0 || sd_bus_message_exit_container(m) < 0) return malformed();
    return kinds;
}

Result<PreviewEntry> readPreviewEntry(sd_bus_message* m) {
    PreviewEntry entry;
    const char *view = nullptr, *mode = nullptr;
    if (sd_bus_message_read(m, method::previewEntry.out, &entry.date, &view, &mode) < 0) return malformed();
    entry.view = view;
    entry.renderingMode = mode;
    return entry;
}

}  // namespace

void SlotRelease::operator()(sd_bus_slot* slot) const { sd_bus_slot_unref(slot); }

Result<ControlClient> ControlClient::connect() {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0)
        return ClientError{SD_BUS_ERROR_NO_SERVER,
                           std::string("no session bus (") + std::strerror(-r) + "); is DBUS_SESSION_BUS_ADDRESS set?"};
    return ControlClient(bus, true);
}

ControlClient::ControlClient(sd_bus* bus) : bus_(sd_bus_ref(bus)), owned_(false) {}

ControlClient::ControlClient(ControlClient&& other) noexcept
    : bus_(std::exchange(other.bus_, nullptr)), owned_(other.owned_) {}

ControlClient::~ControlClient() {
    if (owned_)
        sd_bus_flush_close_unref(bus_);
    else
        sd_bus_unref(bus_);
}

Result<std::string> ControlClient::place(const std::string& kind, const std::string& family, Placement placement) {
    switch (placement.where) {
    case Placement::Where::at:
        return call(bus_, method::placeAt, readString, kind.c_str(), family.c_str(), placement.x, placement.y);
    case Placement::Where::nearPointer:
        return call(bus_, method::placeNearPointer, readString, kind.c_str(), family.c_str());
    case Placement::Where::next: break;
    }
    return call(bus_, method::place, readString, kind.c_str(), family.c_str());
}

Status ControlClient::move(const std::string& id, int x, int y) {
    return call(bus_, method::move, readNothing, id.c_str(), x, y);
}

Result<Geometry> ControlClient::geometry(const std::string& id) {
    return call(bus_, method::geometry, readGeometry, id.c_str());
}

Result<std::vector<WidgetGeometry>> ControlClient::geometries() {
    return call(bus_, method::geometries, readGeometries);
}

Status ControlClient::remove(const std::string& id) { return call(bus_, method::remove, readNothing, id.c_str()); }

Status ControlClient::resize(const std::string& id, const std::string& family) {
    return call(bus_, method::resize, readNothing, id.c_str(), family.c_str());
}

Result<std::vector<Widget>> ControlClient::list() { return call(bus_, method::list, readWidgets); }

Status ControlClient::render(const std::string& id, const std::string& file, double scale,
                             const std::string& appearance, const std::string& mode) {
    return call(bus_, method::render, readNothing, id.c_str(), file.c_str(), scale, appearance.c_str(), mode.c_str());
}

Result<std::string> ControlClient::press(const std::string& id, const std::string& label) {
    return call(bus_, method::press, readString, id.c_str(), label.c_str());
}

Result<std::pair<std::string, std::string>> ControlClient::pressAt(const std::string& id, double x, double y) {
    return call(bus_, method::pressAt, readPair, id.c_str(), x, y);
}

Status ControlClient::reload() { return call(bus_, method::reload, readNothing); }

Status ControlClient::startHost() {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    // A running host needs no service file; the bus would refuse to "start" it without one.
    sd_bus_message* owned = nullptr;
    int running = 0;
    int r = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "NameHasOwner", &error, &owned, "s", busName);
    if (r >= 0) r = sd_bus_message_read(owned, "b", &running);
    sd_bus_message_unref(owned);
    // Otherwise the bus answers once the started host owns its name, or says why it could not start it.
    if (r >= 0 && !running)
        r = sd_bus_call_method(bus_, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                               "StartServiceByName", &error, nullptr, "su", busName, 0u);
    Status started = r < 0 ? Status(failure(&error, r)) : Status(platform::Done{});
    sd_bus_error_free(&error);
    return started;
}

Result<std::vector<Kind>> ControlClient::kinds() { return call(bus_, method::kinds, readKinds); }

Result<PreviewEntry> ControlClient::previewEntry(const std::string& kind, const std::string& family) {
    return call(bus_, method::previewEntry, readPreviewEntry, kind.c_str(), family.c_str());
}

PendingCall ControlClient::kinds(Callback<std::vector<Kind>> done) {
    return callLater(bus_, method::kinds, readKinds, std::move(done));
}

PendingCall ControlClient::previewEntry(const std::string& kind, const std::string& family,
                                        Callback<PreviewEntry> done) {
    return callLater(bus_, method::previewEntry, readPreviewEntry, std::move(done), kind.c_str(), family.c_str());
}

PendingCall ControlClient::place(const std::string& kind, const std::string& family, Placement placement,
                                 Callback<std::string> done) {
    switch (placement.where) {
    case Placement::Where::at:
        return callLater(bus_, method::placeAt, readString, std::move(done), kind.c_str(), family.c_str(), placement.x,
                         placement.y);
    case Placement::Where::nearPointer:
        return callLater(bus_, method::placeNearPointer, readString, std::move(done), kind.c_str(), family.c_str());
    case Placement::Where::next: break;
    }
    return callLater(bus_, method::place, readString, std::move(done), kind.c_str(), family.c_str());
}

PendingCall ControlClient::placeClearOf(const std::string& kind, const std::string& family, WindowFrame window,
                                        Callback<Placed> done) {
    return callLater(bus_, method::placeClearOf, readPlaced, std::move(done), kind.c_str(), family.c_str(), window.x,
                     window.y, window.width, window.height);
}

PendingCall ControlClient::followHost(std::function<void(bool running)> changed) {
    auto* follower = new std::function<void(bool)>(std::move(changed));
    std::string rule = std::string("type='signal',sender='org.freedesktop.DBus',interface='org.freedesktop.DBus',"
                                   "member='NameOwnerChanged',arg0='") + busName + "'";
    auto onChange = [](sd_bus_message* m, void* data, sd_bus_error*) {
        const char *name = nullptr, *before = nullptr, *after = nullptr;
        if (sd_bus_message_read(m, "sss", &name, &before, &after) >= 0)
            (*static_cast<std::function<void(bool)>*>(data))(after && *after);
        return 0;
    };
    sd_bus_slot* slot = nullptr;
    if (sd_bus_add_match(bus_, &slot, rule.c_str(), onChange, follower) < 0) {
        delete follower;
        return nullptr;
    }
    sd_bus_slot_set_destroy_callback(slot, [](void* f) { delete static_cast<std::function<void(bool)>*>(f); });
    return PendingCall(slot);
}

bool isNoHost(const ClientError& error) {
    // The bus could not start the host from its service file: it does not run either.
    if (error.name.starts_with("org.freedesktop.DBus.Error.Spawn.")) return true;
    for (const char* name : {SD_BUS_ERROR_SERVICE_UNKNOWN, SD_BUS_ERROR_NAME_HAS_NO_OWNER, SD_BUS_ERROR_NO_SERVER,
                             SD_BUS_ERROR_UNKNOWN_OBJECT, SD_BUS_ERROR_UNKNOWN_INTERFACE})
        if (error.name == name) return true;
    return false;
}

}  // namespace widgethost::control1
