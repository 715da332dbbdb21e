#include "Host/widgetctl/ControlClient.hpp"

#include <systemd/sd-bus.h>

#include <cstring>
#include <utility>

#include "Host/WidgetHost/dbus/Control1.hpp"

namespace widgetctl {
namespace {

using widgethost::control1::interfaceName;
using widgethost::control1::objectPath;
constexpr const char* service = widgethost::control1::busName;
// Placing may wait for extensions to start and describe themselves.
constexpr std::uint64_t callTimeoutUsec = 30'000'000;

struct Reply {
    sd_bus_message* message = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    Reply() = default;
    Reply(const Reply&) = delete;
    Reply& operator=(const Reply&) = delete;
    ~Reply() {
        sd_bus_message_unref(message);
        sd_bus_error_free(&error);
    }
    ClientError failure(int r) const {
        if (sd_bus_error_is_set(&error)) return {error.name, error.message ? error.message : ""};
        return {"org.freedesktop.DBus.Error.Failed", std::strerror(-r)};
    }
};

ClientError malformed() { return {"org.freedesktop.DBus.Error.InvalidArgs", "the widget host sent an unexpected answer"}; }

// Calls a method whose arguments are given in the sd-bus append format.
template <class... Args>
int call(sd_bus* bus, Reply& reply, const char* method, const char* signature, Args... args) {
    sd_bus_message* request = nullptr;
    int r = sd_bus_message_new_method_call(bus, &request, service, objectPath, interfaceName, method);
    if (r >= 0 && signature) r = sd_bus_message_append(request, signature, args...);
    if (r >= 0) r = sd_bus_call(bus, request, callTimeoutUsec, &reply.error, &reply.message);
    sd_bus_message_unref(request);
    return r;
}

int readWidget(sd_bus_message* m, Widget& widget) {
    const char *id, *kind, *family, *extension, *picture, *status;
    int r = sd_bus_message_enter_container(m, 'r', "ssssdasa(sbs)ss");
    if (r <= 0) return r;
    r = sd_bus_message_read(m, "ssssd", &id, &kind, &family, &extension, &widget.entryDate);
    if (r < 0) return r;
    widget.id = id, widget.kind = kind, widget.family = family, widget.extension = extension;
    if ((r = sd_bus_message_enter_container(m, 'a', "s")) < 0) return r;
    const char* text;
    while ((r = sd_bus_message_read(m, "s", &text)) > 0) widget.texts.emplace_back(text);
    if (r < 0 || (r = sd_bus_message_exit_container(m)) < 0) return r;
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

}  // namespace

std::variant<ControlClient, ClientError> ControlClient::connect() {
    sd_bus* bus = nullptr;
    int r = sd_bus_open_user(&bus);
    if (r < 0)
        return ClientError{"org.freedesktop.DBus.Error.NoServer",
                           std::string("no session bus (") + std::strerror(-r) + "); is DBUS_SESSION_BUS_ADDRESS set?"};
    return ControlClient(bus);
}

ControlClient::ControlClient(ControlClient&& other) noexcept : bus_(std::exchange(other.bus_, nullptr)) {}

ControlClient::~ControlClient() { sd_bus_flush_close_unref(bus_); }

Result<std::string> ControlClient::place(const std::string& kind, const std::string& family) {
    Reply reply;
    int r = call(bus_, reply, "Place", "ss", kind.c_str(), family.c_str());
    if (r < 0) return reply.failure(r);
    const char* id = nullptr;
    if (sd_bus_message_read(reply.message, "s", &id) < 0) return malformed();
    return std::string(id);
}

Result<std::string> ControlClient::placeAt(const std::string& kind, const std::string& family, int x, int y) {
    Reply reply;
    int r = call(bus_, reply, "PlaceAt", "ssii", kind.c_str(), family.c_str(), x, y);
    if (r < 0) return reply.failure(r);
    const char* id = nullptr;
    if (sd_bus_message_read(reply.message, "s", &id) < 0) return malformed();
    return std::string(id);
}

Result<Nothing> ControlClient::move(const std::string& id, int x, int y) {
    Reply reply;
    if (int r = call(bus_, reply, "Move", "sii", id.c_str(), x, y); r < 0) return reply.failure(r);
    return Nothing{};
}

Result<Geometry> ControlClient::geometry(const std::string& id) {
    Reply reply;
    if (int r = call(bus_, reply, "Geometry", "s", id.c_str()); r < 0) return reply.failure(r);
    Geometry geometry;
    if (sd_bus_message_read(reply.message, "ii", &geometry.x, &geometry.y) < 0 ||
        sd_bus_message_enter_container(reply.message, 'a', "(sdddd)") < 0)
        return malformed();
    const char* label = nullptr;
    ButtonFrame frame;
    int r = 0;
    while ((r = sd_bus_message_read(reply.message, "(sdddd)", &label, &frame.x, &frame.y, &frame.width, &frame.height)) > 0) {
        frame.label = label;
        geometry.buttons.push_back(frame);
    }
    const char* output = nullptr;
    if (r < 0 || sd_bus_message_exit_container(reply.message) < 0 || sd_bus_message_read(reply.message, "s", &output) < 0)
        return malformed();
    geometry.output = output;
    return geometry;
}

Result<Nothing> ControlClient::remove(const std::string& id) {
    Reply reply;
    if (int r = call(bus_, reply, "Remove", "s", id.c_str()); r < 0) return reply.failure(r);
    return Nothing{};
}

Result<std::vector<Widget>> ControlClient::list() {
    Reply reply;
    if (int r = call<>(bus_, reply, "List", nullptr); r < 0) return reply.failure(r);
    std::vector<Widget> widgets;
    if (sd_bus_message_enter_container(reply.message, 'a', "(ssssdasa(sbs)ss)") < 0) return malformed();
    for (;;) {
        Widget widget;
        int r = readWidget(reply.message, widget);
        if (r < 0) return malformed();
        if (r == 0) break;
        widgets.push_back(std::move(widget));
    }
    return widgets;
}

Result<Nothing> ControlClient::render(const std::string& id, const std::string& file, double scale,
                                      const std::string& appearance, const std::string& mode) {
    Reply reply;
    int r = call(bus_, reply, "Render", "ssdss", id.c_str(), file.c_str(), scale, appearance.c_str(), mode.c_str());
    if (r < 0) return reply.failure(r);
    return Nothing{};
}

Result<std::string> ControlClient::press(const std::string& id, const std::string& label) {
    Reply reply;
    int r = call(bus_, reply, "Press", "ss", id.c_str(), label.c_str());
    if (r < 0) return reply.failure(r);
    const char* intent = nullptr;
    if (sd_bus_message_read(reply.message, "s", &intent) < 0) return malformed();
    return std::string(intent);
}

Result<std::pair<std::string, std::string>> ControlClient::pressAt(const std::string& id, double x, double y) {
    Reply reply;
    int r = call(bus_, reply, "PressAt", "sdd", id.c_str(), x, y);
    if (r < 0) return reply.failure(r);
    const char *action = nullptr, *target = nullptr;
    if (sd_bus_message_read(reply.message, "ss", &action, &target) < 0) return malformed();
    return std::pair<std::string, std::string>(action, target);
}

Result<Nothing> ControlClient::reload() {
    Reply reply;
    if (int r = call<>(bus_, reply, "Reload", nullptr); r < 0) return reply.failure(r);
    return Nothing{};
}

bool isNoHost(const ClientError& error) {
    return error.name == "org.freedesktop.DBus.Error.ServiceUnknown" ||
           error.name == "org.freedesktop.DBus.Error.NameHasNoOwner" ||
           error.name == "org.freedesktop.DBus.Error.NoServer" ||
           error.name == "org.freedesktop.DBus.Error.UnknownObject" ||
           error.name == "org.freedesktop.DBus.Error.UnknownInterface";
}

}  // namespace widgetctl
