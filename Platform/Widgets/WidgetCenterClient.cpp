// The widget center over D-Bus: a client of the widget host's net.widgethost.Host1 interface
// (Platform/Widgets/dbus/net.widgethost.Host1.xml).
//
// The application is named by the main bundle's identifier. A process without one (or with one the
// host would refuse) has no extensions the host could name: a reload is dropped and a
// configuration query reports failure, without touching the bus.
#include <chrono>
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

// How long a reload may hold its caller to get its message through: a healthy bus takes about a
// millisecond, and one that does not answer must not hold the application.
constexpr auto reloadSendBound = std::chrono::milliseconds(100);

// What the reply handler of one configuration query leaves for the waiting caller.
struct PendingAnswer {
    bool answered = false;
    std::optional<std::vector<WidgetInfo>> widgets;

    static int onReply(sd_bus_message* reply, void* userdata, sd_bus_error*) {
        auto* self = static_cast<PendingAnswer*>(userdata);
        self->answered = true;
        try {  // nothing may unwind through sd-bus
            std::vector<WidgetInfo> widgets;
            if (!sdbus::message_is_method_error(reply, nullptr) && readWidgets(reply, widgets) >= 0)
                self->widgets = std::move(widgets);
        } catch (...) {
        }
        return 0;
    }
};

}  // namespace

void reloadAllTimelines() {
    try {
        auto app = applicationId();
        if (!app) return;
        auto deadline = std::chrono::steady_clock::now() + reloadSendBound;
        sd_bus* opened = nullptr;
        if (sdbus::open_user(&opened) < 0) return;
        CallBus bus{opened};
        // Sent without expecting a reply: the caller never waits for the host. The message still
        // has to get through the connection's greeting, which is given a short bound here, not the
        // unbounded flush of closing.
        detail::BusMessage call;
        if (newHostCall(bus.get(), host1::method::reloadAllTimelines, *app, call) < 0) return;
        if (sdbus::message_set_expect_reply(call.get(), 0) < 0) return;
        if (sdbus::send(bus.get(), call.get(), nullptr) < 0) return;
        detail::processUntil(bus.get(), deadline, [&bus] {
            std::uint64_t queued = 1;
            return sdbus::get_n_queued_write(bus.get(), &queued) >= 0 && queued == 0;
        });
    } catch (...) {
    }
}

std::optional<std::vector<WidgetInfo>> getCurrentConfigurations(std::chrono::milliseconds timeout) {
    if (timeout <= std::chrono::milliseconds::zero()) return std::nullopt;
    // Taken before connecting: connecting, authenticating and the bus's greeting count against it.
    auto deadline = std::chrono::steady_clock::now() + timeout;
    try {
        auto app = applicationId();
        if (!app) return std::nullopt;
        sd_bus* opened = nullptr;
        if (sdbus::open_user(&opened) < 0) return std::nullopt;
        CallBus bus{opened};
        detail::BusMessage call;
        if (newHostCall(bus.get(), host1::method::getCurrentConfigurations, *app, call) < 0) return std::nullopt;
        PendingAnswer answer;
        auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return std::nullopt;
        // The reply handler's slot belongs to the connection and goes with it, so no answer can
        // arrive into `answer` once this call has returned.
        if (sdbus::call_async(bus.get(), nullptr, call.get(), PendingAnswer::onReply, &answer,
                              static_cast<std::uint64_t>(left.count())) < 0)
            return std::nullopt;
        if (!detail::processUntil(bus.get(), deadline, [&answer] { return answer.answered; })) return std::nullopt;
        return std::move(answer.widgets);
    } catch (...) {
        return std::nullopt;
    }
}

}  // namespace platform::WidgetCenterClient
