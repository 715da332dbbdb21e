// A stand-in widget host for tests: owns net.widgethost.Host1 on the session bus and serves the
// Host1 interface and the gallery's part of Control1 (Kinds, PreviewEntry) from a JSON
// description, so that clients can be tested without the real daemon.
//
//   kelvo_fake_widget_host --json '<description>'
//   kelvo_fake_widget_host --config <file>
//
// Description:
//   {
//     "widgets": [ {"id": "w1", "extension": "com.example.app.widget",
//                   "kind": "TimerWidget", "family": "systemSmall"} ],
//     "mode": "answer" | "fail" | "delay",   (default "answer")
//     "delayMs": 300,                         (for "delay": how late every Host1 call is answered)
//     "kinds": [ {"extension": "com.example.app.widget", "kind": "TimerWidget", "displayName": "Timer",
//                 "description": "", "families": ["systemSmall"]} ],
//     "preview": {<view tree>},               (every PreviewEntry's view; none: Failed)
//     "control": "answer" | "silent"          (silent: Control1 calls are taken and never answered)
//   }
//
// It also serves net.widgethost.FakeHost1 on the same object, for the tests' own checks:
//   ReloadRequests() -> as   the application ids of every ReloadAllTimelines received, in order
//   QueryCount() -> u        how many GetCurrentConfigurations calls arrived
//   CallCount(s) -> u        how many calls of a Control1 method arrived
//   LateAnswers() -> u       how many Host1 answers held by "delay" were sent
//
// Prints "ready" on standard output once it owns the name; stops on SIGTERM or SIGINT.
#include <systemd/sd-bus.h>
#include <systemd/sd-event.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/dbus/Control1.hpp"
#include "Platform/Widgets/dbus/Host1.hpp"
#include "tests/support/FakeHost.hpp"

namespace {

namespace host1 = platform::host1;
namespace control1 = widgethost::control1;

enum class Mode { answer, fail, delay };

struct PlacedWidget {
    std::string id, extension, kind, family;
};

// The one context every handler receives.
struct Context {
    sd_event* event = nullptr;
    std::vector<PlacedWidget> widgets;
    Mode mode = Mode::answer;
    std::uint64_t delayMicroseconds = 0;
    std::vector<std::string> reloadRequests;
    std::uint32_t queryCount = 0;
    std::uint32_t lateAnswers = 0;
    nlohmann::json kinds = nlohmann::json::array();
    nlohmann::json preview;
    bool silent = false;
    std::vector<sd_bus_message*> unanswered;  // held by a silent host until it ends
    std::map<std::string, std::uint32_t> calls;
};

bool parseDescription(const std::string& text, Context& context, std::string& problem) {
    auto doc = nlohmann::json::parse(text, nullptr, false);
    if (!doc.is_object()) {
        problem = "the description is not a JSON object";
        return false;
    }
    try {
        for (const auto& w : doc.value("widgets", nlohmann::json::array()))
            context.widgets.push_back(PlacedWidget{w.at("id").get<std::string>(), w.at("extension").get<std::string>(),
                                                   w.at("kind").get<std::string>(), w.at("family").get<std::string>()});
        auto mode = doc.value("mode", std::string("answer"));
        if (mode == "answer") context.mode = Mode::answer;
        else if (mode == "fail") context.mode = Mode::fail;
        else if (mode == "delay") context.mode = Mode::delay;
        else {
            problem = "unknown mode " + mode;
            return false;
        }
        context.delayMicroseconds = doc.value("delayMs", std::uint64_t{0}) * 1000;
        context.kinds = doc.value("kinds", nlohmann::json::array());
        context.preview = doc.value("preview", nlohmann::json());
        context.silent = doc.value("control", std::string("answer")) == "silent";
    } catch (const nlohmann::json::exception& e) {
        problem = e.what();
        return false;
    }
    return true;
}

// Reads and checks the application id argument; on failure the error reply is already sent.
const char* applicationIdArgument(sd_bus_message* m, int& r) {
    const char* app = nullptr;
    r = sd_bus_message_read(m, "s", &app);
    if (r < 0) return nullptr;
    if (!host1::isValidApplicationId(app)) {
        r = sd_bus_reply_method_errorf(m, host1::errorInvalidArgument, "Invalid application id \"%s\"", app);
        return nullptr;
    }
    return app;
}

int replyWithWidgets(sd_bus_message* call, const Context& context, const std::string& app) {
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(call, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "(sss)");
    for (const auto& w : context.widgets) {
        if (r < 0) break;
        if (host1::isExtensionOf(w.extension, app))
            r = sd_bus_message_append(reply, "(sss)", w.id.c_str(), w.kind.c_str(), w.family.c_str());
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

struct DelayedReply {
    sd_bus_message* call;
    Context* context;
    std::string app;
    bool withWidgets;
};

int sendDelayedReply(sd_event_source*, std::uint64_t, void* userdata) {
    auto* delayed = static_cast<DelayedReply*>(userdata);
    if (delayed->withWidgets) replyWithWidgets(delayed->call, *delayed->context, delayed->app);
    else sd_bus_reply_method_return(delayed->call, "");
    ++delayed->context->lateAnswers;
    sd_bus_message_unref(delayed->call);
    delete delayed;
    return 0;
}

// Answers `m` after the configured delay, from the event loop, so that the host keeps serving
// other calls meanwhile.
int replyLater(sd_bus_message* m, Context& context, const std::string& app, bool withWidgets) {
    auto* delayed = new DelayedReply{sd_bus_message_ref(m), &context, app, withWidgets};
    int r = sd_event_add_time_relative(context.event, nullptr, CLOCK_MONOTONIC, context.delayMicroseconds, 0,
                                       sendDelayedReply, delayed);
    if (r < 0) {
        sd_bus_message_unref(delayed->call);
        delete delayed;
        return r;
    }
    return 1;
}

int reloadAllTimelines(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& context = *static_cast<Context*>(userdata);
    int r = 0;
    const char* app = applicationIdArgument(m, r);
    if (!app) return r;
    context.reloadRequests.emplace_back(app);
    if (context.mode == Mode::fail) return sd_bus_reply_method_errorf(m, host1::errorFailed, "Failing on purpose");
    if (context.mode == Mode::delay) return replyLater(m, context, app, false);
    return sd_bus_reply_method_return(m, "");
}

int getCurrentConfigurations(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& context = *static_cast<Context*>(userdata);
    ++context.queryCount;
    int r = 0;
    const char* app = applicationIdArgument(m, r);
    if (!app) return r;
    switch (context.mode) {
    case Mode::answer: return replyWithWidgets(m, context, app);
    case Mode::fail: return sd_bus_reply_method_errorf(m, host1::errorFailed, "Failing on purpose");
    case Mode::delay: return replyLater(m, context, app, true);
    }
    return 0;
}

// Counts the call; true when a silent host keeps it unanswered.
bool heldSilently(sd_bus_message* m, Context& context) {
    ++context.calls[sd_bus_message_get_member(m)];
    if (!context.silent) return false;
    context.unanswered.push_back(sd_bus_message_ref(m));
    return true;
}

int kinds(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& context = *static_cast<Context*>(userdata);
    if (heldSilently(m, context)) return 1;
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', control1::method::kinds.out + 1);
    try {
        for (const auto& k : context.kinds) {
            if (r >= 0) r = sd_bus_message_open_container(reply, 'r', "ssssas");
            if (r >= 0)
                r = sd_bus_message_append(reply, "ssss", k.at("extension").get<std::string>().c_str(),
                                          k.at("kind").get<std::string>().c_str(),
                                          k.at("displayName").get<std::string>().c_str(),
                                          k.value("description", std::string()).c_str());
            if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "s");
            for (const auto& family : k.at("families"))
                if (r >= 0) r = sd_bus_message_append(reply, "s", family.get<std::string>().c_str());
            if (r >= 0) r = sd_bus_message_close_container(reply);
            if (r >= 0) r = sd_bus_message_close_container(reply);
        }
    } catch (const nlohmann::json::exception& e) {
        sd_bus_message_unref(reply);
        return sd_bus_reply_method_errorf(m, control1::error::failed, "bad kinds: %s", e.what());
    }
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int previewEntry(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& context = *static_cast<Context*>(userdata);
    if (heldSilently(m, context)) return 1;
    if (context.preview.is_null()) return sd_bus_reply_method_errorf(m, control1::error::failed, "no preview");
    return sd_bus_reply_method_return(m, control1::method::previewEntry.out, 0.0, context.preview.dump().c_str(),
                                      "fullColor");
}

int callCount(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* method = nullptr;
    if (int r = sd_bus_message_read(m, "s", &method); r < 0) return r;
    return sd_bus_reply_method_return(m, "u", static_cast<Context*>(userdata)->calls[method]);
}

int reloadRequests(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto& context = *static_cast<Context*>(userdata);
    sd_bus_message* reply = nullptr;
    int r = sd_bus_message_new_method_return(m, &reply);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'a', "s");
    for (const auto& app : context.reloadRequests)
        if (r >= 0) r = sd_bus_message_append(reply, "s", app.c_str());
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_send(nullptr, reply, nullptr);
    sd_bus_message_unref(reply);
    return r;
}

int queryCount(sd_bus_message* m, void* userdata, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "u", static_cast<Context*>(userdata)->queryCount);
}

int lateAnswers(sd_bus_message* m, void* userdata, sd_bus_error*) {
    return sd_bus_reply_method_return(m, "u", static_cast<Context*>(userdata)->lateAnswers);
}

#define FAKE_METHOD(table, handler) SD_BUS_METHOD(table.name, table.in, table.out, handler, SD_BUS_VTABLE_UNPRIVILEGED)

const sd_bus_vtable host1Table[] = {
    SD_BUS_VTABLE_START(0),
    FAKE_METHOD(host1::method::reloadAllTimelines, reloadAllTimelines),
    FAKE_METHOD(host1::method::getCurrentConfigurations, getCurrentConfigurations),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable control1Table[] = {
    SD_BUS_VTABLE_START(0),
    FAKE_METHOD(control1::method::kinds, kinds),
    FAKE_METHOD(control1::method::previewEntry, previewEntry),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable fakeTable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("ReloadRequests", "", "as", reloadRequests, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("QueryCount", "", "u", queryCount, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("LateAnswers", "", "u", lateAnswers, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("CallCount", "s", "u", callCount, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

int fail(const std::string& what, int r = 0) {
    std::cerr << "kelvo_fake_widget_host: " << what;
    if (r < 0) std::cerr << ": " << std::strerror(-r);
    std::cerr << '\n';
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::string description;
    if (argc == 3 && std::string(argv[1]) == "--json") {
        description = argv[2];
    } else if (argc == 3 && std::string(argv[1]) == "--config") {
        std::ifstream in(argv[2]);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) return fail(std::string("cannot read ") + argv[2]);
        description = text.str();
    } else {
        return fail("usage: kelvo_fake_widget_host --json <description> | --config <file>");
    }

    Context context;
    std::string problem;
    if (!parseDescription(description, context, problem)) return fail(problem);

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigprocmask(SIG_BLOCK, &stopSignals, nullptr);

    sd_event* event = nullptr;
    int r = sd_event_default(&event);
    if (r < 0) return fail("no event loop", r);
    context.event = event;
    sd_event_add_signal(event, nullptr, SIGTERM, nullptr, nullptr);
    sd_event_add_signal(event, nullptr, SIGINT, nullptr, nullptr);

    sd_bus* bus = nullptr;
    r = sd_bus_open_user(&bus);
    if (r < 0) return fail("no session bus", r);
    r = sd_bus_add_object_vtable(bus, nullptr, host1::objectPath, host1::interfaceName, host1Table, &context);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, host1::objectPath, control1::interfaceName, control1Table, &context);
    if (r >= 0)
        r = sd_bus_add_object_vtable(bus, nullptr, host1::objectPath, platform::test::fakeHostInterface, fakeTable, &context);
    if (r < 0) return fail("cannot serve the object", r);
    r = sd_bus_request_name(bus, host1::busName, 0);
    if (r < 0) return fail(std::string("cannot own ") + host1::busName, r);
    r = sd_bus_attach_event(bus, event, SD_EVENT_PRIORITY_NORMAL);
    if (r < 0) return fail("cannot attach the bus", r);

    std::cout << "ready" << std::endl;
    r = sd_event_loop(event);
    for (auto* call : context.unanswered) sd_bus_message_unref(call);
    sd_bus_flush_close_unref(bus);
    sd_event_unref(event);
    return r < 0 ? fail("event loop", r) : 0;
}
