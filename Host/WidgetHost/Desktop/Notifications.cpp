#include "Host/WidgetHost/Desktop/Notifications.hpp"

#include <cstring>
#include <utility>

#include "Host/WidgetHost/Log.hpp"
#include "Platform/Widgets/dbus/BusMember.hpp"

namespace widgethost::desktop {
namespace {

constexpr const char* serverName = "org.freedesktop.Notifications";
constexpr const char* serverPath = "/org/freedesktop/Notifications";
constexpr const char* serverInterface = "org.freedesktop.Notifications";
constexpr platform::bus::Method getCapabilities{"GetCapabilities", "", "as"};
constexpr platform::bus::Method notifyMethod{"Notify", "susssasa{sv}i", "u"};
constexpr platform::bus::Signal actionInvoked{"ActionInvoked", "us"};
constexpr platform::bus::Signal notificationClosed{"NotificationClosed", "uu"};

bool listsActions(sd_bus_message* reply) {
    if (sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "s") < 0) return false;
    bool found = false;
    const char* capability = nullptr;
    while (sd_bus_message_read_basic(reply, SD_BUS_TYPE_STRING, &capability) > 0)
        found = found || std::strcmp(capability, "actions") == 0;
    sd_bus_message_exit_container(reply);
    return found;
}

}  // namespace

struct Notifications::Notice {
    Notifications* owner;
    std::string summary;
    std::string body;
    std::optional<Action> action;
    sd_bus_slot* call = nullptr;
};

Notifications::Notifications(sd_bus* bus) : bus_(bus ? sd_bus_ref(bus) : nullptr) {
    if (!bus_) return;
    sd_bus_match_signal_async(bus_, &invokedMatch_, serverName, serverPath, serverInterface, actionInvoked.name,
                              onActionInvoked, nullptr, this);
    sd_bus_match_signal_async(bus_, &closedMatch_, serverName, serverPath, serverInterface, notificationClosed.name,
                              onClosed, nullptr, this);
}

Notifications::~Notifications() {
    for (auto& notice : sending_) sd_bus_slot_unref(notice->call);
    sd_bus_slot_unref(invokedMatch_);
    sd_bus_slot_unref(closedMatch_);
    sd_bus_unref(bus_);
}

void Notifications::notify(const std::string& summary, const std::string& body, std::optional<Action> action) {
    if (!bus_) return;
    auto& notice = *sending_.emplace_back(new Notice{this, summary, body, std::move(action)});
    // Servers that show no actions would drop the notice's only point, or show a dead button.
    if (!notice.action) return send(notice, false);
    int r = sd_bus_call_method_async(bus_, &notice.call, serverName, serverPath, serverInterface, getCapabilities.name,
                                     onCapabilities, &notice, getCapabilities.in);
    if (r < 0) giveUp(notice, std::strerror(-r));
}

int Notifications::onCapabilities(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto& notice = *static_cast<Notice*>(data);
    sd_bus_slot_unref(std::exchange(notice.call, nullptr));
    if (const sd_bus_error* error = sd_bus_message_get_error(reply))
        notice.owner->giveUp(notice, error->message ? error->message : error->name);
    else
        notice.owner->send(notice, listsActions(reply));
    return 0;
}

void Notifications::send(Notice& notice, bool withAction) {
    if (!withAction) notice.action.reset();
    sd_bus_message* message = nullptr;
    int r = sd_bus_message_new_method_call(bus_, &message, serverName, serverPath, serverInterface, notifyMethod.name);
    if (r >= 0) r = sd_bus_message_append(message, "susss", "widget-host", 0u, "", notice.summary.c_str(), notice.body.c_str());
    if (r >= 0) r = sd_bus_message_open_container(message, SD_BUS_TYPE_ARRAY, "s");
    if (r >= 0 && notice.action)
        r = sd_bus_message_append(message, "ss", notice.action->key.c_str(), notice.action->label.c_str());
    if (r >= 0) r = sd_bus_message_close_container(message);
    // Transient: the notice matters only while its action may still be taken.
    if (r >= 0) r = sd_bus_message_append(message, "a{sv}i", 1, "transient", "b", 1, -1);
    if (r >= 0) r = sd_bus_call_async(bus_, &notice.call, message, onNotified, &notice, 0);
    sd_bus_message_unref(message);
    if (r < 0) giveUp(notice, std::strerror(-r));
}

int Notifications::onNotified(sd_bus_message* reply, void* data, sd_bus_error*) {
    auto& notice = *static_cast<Notice*>(data);
    sd_bus_slot_unref(std::exchange(notice.call, nullptr));
    std::uint32_t id = 0;
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        notice.owner->giveUp(notice, error->message ? error->message : error->name);
        return 0;
    }
    if (sd_bus_message_read(reply, notifyMethod.out, &id) > 0 && notice.action)
        notice.owner->shown_[id] = std::move(*notice.action);
    notice.owner->finish(notice);
    return 0;
}

// No notification server is a normal session (a bare window manager): worth a line, not a warning.
void Notifications::giveUp(Notice& notice, const std::string& why) {
    log(LogLevel::info, "no desktop notification for \"", notice.summary, "\": ", why);
    finish(notice);
}

void Notifications::finish(Notice& notice) {
    sending_.remove_if([&](const auto& held) { return held.get() == &notice; });
}

int Notifications::onActionInvoked(sd_bus_message* signal, void* data, sd_bus_error*) {
    auto* self = static_cast<Notifications*>(data);
    std::uint32_t id = 0;
    const char* key = nullptr;
    if (sd_bus_message_read(signal, actionInvoked.signature, &id, &key) < 0) return 0;
    auto it = self->shown_.find(id);
    if (it == self->shown_.end() || it->second.key != key) return 0;
    // Taken out first: what it runs may notify again.
    auto chosen = std::move(it->second.chosen);
    self->shown_.erase(it);
    if (chosen) chosen();
    return 0;
}

int Notifications::onClosed(sd_bus_message* signal, void* data, sd_bus_error*) {
    auto* self = static_cast<Notifications*>(data);
    std::uint32_t id = 0, reason = 0;
    if (sd_bus_message_read(signal, notificationClosed.signature, &id, &reason) < 0) return 0;
    self->shown_.erase(id);
    return 0;
}

}  // namespace widgethost::desktop
