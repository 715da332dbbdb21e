// The widget center over D-Bus: a client of the widget host's net.widgethost.Host1 interface
// (Platform/Widgets/dbus/net.widgethost.Host1.xml).
//
// The application is named by the main bundle's identifier. A process without one (or with one the
// host would refuse) has no extensions the host could name: a reload is dropped and a
// configuration query reports failure, without touching the bus.
#include <memory>

#include "Platform/System/detail/Bus.hpp"
#include "Platform/Widgets/WidgetCenter.hpp"
#include "Platform/Widgets/dbus/Host1.hpp"

namespace platform::WidgetCenterClient {
namespace {

namespace sdbus = detail::sdbus;

// A connection serves one call and is closed after it, so a call that timed out leaves nothing
// behind: no thread, no descriptor, no answer that could arrive later on a shared connection.
struct BusClose {
    void operator()(sd_bus* bus) const { sdbus::close_unref(bus); }
};
using CallBus = std::unique_ptr<sd_bus, BusClose>;

std::optional<std::string> applicationId() {
    const auto& id = services().mainBundle().bundleIdentifier;
    if (!id || !host1::isValidApplicationId(*id)) return std::nullopt;
    return id;
}

// Both methods take the application id alone.
int newHostCall(sd_bus* bus, const bus::Method& method, const std::string& app, detail::BusMessage& call) {
    int r = sdbus::message_new_method_call(bus, call.out(), host1::busName, host1::objectPath,
                                           host1::interfaceName, method.name);
    if (r < 0) return r;
    return sdbus::message_append(call.get(), method.in, app.c_str());
}

int readWidgets(sd_bus_message* reply, std::vector<WidgetInfo>& widgets) {
    // The answer is an array of (id, kind, family) records.
    const char* record = host1::method::getCurrentConfigurations.out + 1;
    int r = sdbus::message_enter_container(reply, SD_BUS_TYPE_ARRAY, record);
    if (r < 0) return r;
    for (;;) {
        const char* id = nullptr;
        const char* kind = nullptr;
        const char* family = nullptr;
        r = sdbus::message_read(reply, record, &id, &kind, &family);
        if (r < 0) return r;
        if (r == 0) break;
        widgets.push_back(WidgetInfo{kind, family});
    }
    return sdbus::message_exit_container(reply);
}

}  // namespace

void reloadAllTimelines() {
    try {
        auto app = applicationId();
        if (!app) return;
        // Sent without expecting a reply: the caller never waits for the host, and a missing or
        // failing host costs nothing beyond the write.
        auto bus = detail::openUserBus();
        if (!bus) return;
        detail::BusMessage call;
        if (newHostCall(bus.get(), host1::method::reloadAllTimelines, *app, call) < 0) return;
        if (sdbus::message_set_expect_reply(call.get(), 0) < 0) return;
        sdbus::send(bus.get(), call.get(), nullptr);
    } catch (...) {
    }
}

std::optional<std::vector<WidgetInfo>> getCurrentConfigurations(std::chrono::milliseconds timeout) {
    if (timeout <= std::chrono::milliseconds::zero()) return std::nullopt;
    try {
        auto app = applicationId();
        if (!app) return std::nullopt;
        sd_bus* opened = nullptr;
        // Connecting does not block: authentication and the bus's greeting run inside the call's
        // deadline below.
        if (sdbus::open_user(&opened) < 0) return std::nullopt;
        CallBus bus{opened};
        detail::BusMessage call;
        if (newHostCall(bus.get(), host1::method::getCurrentConfigurations, *app, call) < 0) return std::nullopt;
        detail::BusError error;
        detail::BusMessage reply;
        auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(timeout).count();
        if (sdbus::call(bus.get(), call.get(), static_cast<std::uint64_t>(microseconds), &error.value, reply.out()) < 0)
            return std::nullopt;
        std::vector<WidgetInfo> widgets;
        if (readWidgets(reply.get(), widgets) < 0) return std::nullopt;
        return widgets;
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace platform::WidgetCenterClient
