// The widget center over D-Bus: a client of the widget host's net.widgethost.Host1 interface
// (Platform/Widgets/dbus/net.widgethost.Host1.xml).
//
// The application is named by the main bundle's identifier. A process without one (or with one the
// host would refuse) has no extensions the host could name: a reload is dropped and a
// configuration query reports failure, without touching the bus.
#include <cerrno>
#include <thread>

#include "Platform/System/detail/Bus.hpp"
#include "Platform/Widgets/WidgetCenter.hpp"
#include "Platform/Widgets/dbus/Host1.hpp"

namespace platform::WidgetCenterClient {
namespace {

using Completion = std::function<void(std::optional<std::vector<WidgetInfo>>)>;

// A host that takes longer than this is treated as failing. It also bounds how long a query's
// thread can outlive a caller that stopped waiting for it.
constexpr std::uint64_t callTimeoutMicroseconds = 5'000'000;

std::optional<std::string> applicationId() {
    const auto& id = services().mainBundle().bundleIdentifier;
    if (!id || !host1::isValidApplicationId(*id)) return std::nullopt;
    return id;
}

// Errors that mean the connection itself is gone (a pooled one may have outlived its bus daemon),
// as opposed to an answer or a refusal from the other side.
bool isConnectionLost(int r) {
    return r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE || r == -ESHUTDOWN || r == -ECHILD;
}

// Runs one exchange on a pooled connection, and once more on a fresh one when the pooled
// connection turns out to be dead. `exchange` returns a negative errno on failure.
template <class Exchange>
int withUserBus(Exchange&& exchange) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        // The other idle connections are likely as dead as the first, so the retry opens anew.
        auto bus = attempt == 0 ? detail::borrowUserBus() : detail::openUserBus();
        if (!bus) return -ENOTCONN;
        int r = exchange(bus.get());
        if (r >= 0 || !isConnectionLost(r)) {
            detail::returnUserBus(std::move(bus));
            return r;
        }
    }
    return -ENOTCONN;
}

int newHostCall(sd_bus* bus, const char* member, const std::string& app, detail::BusMessage& call) {
    int r = sd_bus_message_new_method_call(bus, call.out(), host1::busName, host1::objectPath,
                                           host1::interfaceName, member);
    if (r < 0) return r;
    return sd_bus_message_append(call.get(), "s", app.c_str());
}

int readWidgets(sd_bus_message* reply, std::vector<WidgetInfo>& widgets) {
    int r = sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "(sss)");
    if (r < 0) return r;
    for (;;) {
        const char* id = nullptr;
        const char* kind = nullptr;
        const char* family = nullptr;
        r = sd_bus_message_read(reply, "(sss)", &id, &kind, &family);
        if (r < 0) return r;
        if (r == 0) break;
        widgets.push_back(WidgetInfo{kind, family});
    }
    return sd_bus_message_exit_container(reply);
}

std::optional<std::vector<WidgetInfo>> queryHost(const std::string& app) {
    std::vector<WidgetInfo> widgets;
    int status = withUserBus([&](sd_bus* bus) {
        widgets.clear();
        detail::BusMessage call;
        int r = newHostCall(bus, "GetCurrentConfigurations", app, call);
        if (r < 0) return r;
        detail::BusError error;
        detail::BusMessage reply;
        r = sd_bus_call(bus, call.get(), callTimeoutMicroseconds, &error.value, reply.out());
        if (r < 0) return r;
        return readWidgets(reply.get(), widgets);
    });
    if (status < 0) return std::nullopt;
    return widgets;
}

void complete(const Completion& completion, std::optional<std::vector<WidgetInfo>> widgets) {
    // An exception escaping here would end the whole process from a thread nobody waits for.
    try {
        completion(std::move(widgets));
    } catch (...) {
    }
}

}  // namespace

void reloadAllTimelines() {
    try {
        auto app = applicationId();
        if (!app) return;
        // Sent without expecting a reply: the caller never waits for the host, and a missing or
        // failing host costs nothing beyond the write.
        withUserBus([&](sd_bus* bus) {
            detail::BusMessage call;
            int r = newHostCall(bus, "ReloadAllTimelines", *app, call);
            if (r < 0) return r;
            r = sd_bus_message_set_expect_reply(call.get(), 0);
            if (r < 0) return r;
            r = sd_bus_send(bus, call.get(), nullptr);
            if (r < 0) return r;
            return sd_bus_flush(bus);
        });
    } catch (...) {
    }
}

void getCurrentConfigurations(Completion completion) {
    if (!completion) return;
    std::optional<std::string> app;
    try {
        app = applicationId();
    } catch (...) {
    }
    try {
        std::thread([completion, app = std::move(app)] {
            std::optional<std::vector<WidgetInfo>> widgets;
            try {
                if (app) widgets = queryHost(*app);
            } catch (...) {
                widgets.reset();
            }
            complete(completion, std::move(widgets));
        }).detach();
    } catch (...) {
        // No thread to be had: answer here rather than never.
        complete(completion, std::nullopt);
    }
}

}  // namespace platform::WidgetCenterClient
