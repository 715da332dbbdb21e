#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <string>

// Desktop notifications (org.freedesktop.Notifications on the session bus): a notice with at most
// one action, offered only where the server says it shows actions. A session without a notification
// server shows nothing and loses nothing else.
namespace widgethost::desktop {

class Notifications {
public:
    struct Action {
        std::string key;
        std::string label;
        std::function<void()> chosen;  // runs at most once, when the user chooses the action
    };

    /// `bus` is attached to the caller's event loop; null makes every notice a no-op.
    explicit Notifications(sd_bus* bus);
    Notifications(const Notifications&) = delete;
    Notifications& operator=(const Notifications&) = delete;
    ~Notifications();

    /// Shows a notice without waiting for the server; its action is forgotten when the notice closes.
    void notify(const std::string& summary, const std::string& body, std::optional<Action> action);

private:
    struct Notice;
    static int onCapabilities(sd_bus_message* reply, void* notice, sd_bus_error*);
    static int onNotified(sd_bus_message* reply, void* notice, sd_bus_error*);
    static int onActionInvoked(sd_bus_message* signal, void* self, sd_bus_error*);
    static int onClosed(sd_bus_message* signal, void* self, sd_bus_error*);
    void send(Notice& notice, bool withAction);
    void giveUp(Notice& notice, const std::string& why);
    void finish(Notice& notice);

    sd_bus* bus_ = nullptr;
    sd_bus_slot* invokedMatch_ = nullptr;
    sd_bus_slot* closedMatch_ = nullptr;
    std::list<std::unique_ptr<Notice>> sending_;  // asked for, not yet shown
    std::map<std::uint32_t, Action> shown_;       // by notification id, while their action may come
};

}  // namespace widgethost::desktop
