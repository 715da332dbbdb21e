#include "Host/KelvoApp/AppActivation.hpp"

#include <cstring>

#include "Platform/System/detail/Bus.hpp"

namespace kelvo::app {
namespace {

constexpr const char* interfaceName = "org.freedesktop.Application";
constexpr uint64_t callTimeoutUs = 5'000'000;

int onActivate(sd_bus_message* m, void* userdata, sd_bus_error*) {
    (*static_cast<ComeForward*>(userdata))({});
    return sd_bus_reply_method_return(m, nullptr);
}

int onOpen(sd_bus_message* m, void* userdata, sd_bus_error* error) {
    char** uris = nullptr;
    int r = sd_bus_message_read_strv(m, &uris);
    if (r < 0) return sd_bus_error_set(error, SD_BUS_ERROR_INVALID_ARGS, "expected a list of URIs");
    std::vector<std::string> links;
    for (char** u = uris; u && *u; ++u) {
        links.emplace_back(*u);
        std::free(*u);
    }
    std::free(uris);
    (*static_cast<ComeForward*>(userdata))(links);
    return sd_bus_reply_method_return(m, nullptr);
}

int onActivateAction(sd_bus_message* m, void* userdata, sd_bus_error*) {
    // The application declares no actions; naming one still brings it forward.
    (*static_cast<ComeForward*>(userdata))({});
    return sd_bus_reply_method_return(m, nullptr);
}

const sd_bus_vtable applicationVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Activate", "a{sv}", "", onActivate, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("Open", "asa{sv}", "", onOpen, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_METHOD("ActivateAction", "sava{sv}", "", onActivateAction, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

}  // namespace

std::string applicationObjectPath(const std::string& busName) {
    std::string path = "/" + busName;
    for (char& c : path)
        if (c == '.') c = '/';
        else if (c == '-') c = '_';
    return path;
}

int serveApplication(sd_bus* bus, const std::string& busName, ComeForward* comeForward) {
    return sd_bus_add_object_vtable(bus, nullptr, applicationObjectPath(busName).c_str(), interfaceName,
                                    applicationVtable, comeForward);
}

platform::Result<Forwarded> forwardToRunningInstance(const std::string& busName, const std::vector<std::string>& links) {
    auto bus = platform::detail::openUserBus();
    if (!bus) return Forwarded::noInstance;
    if (sd_bus_get_name_creds(bus.get(), busName.c_str(), 0, nullptr) < 0) return Forwarded::noInstance;

    sd_bus_message* call = nullptr;
    int r = sd_bus_message_new_method_call(bus.get(), &call, busName.c_str(), applicationObjectPath(busName).c_str(),
                                           interfaceName, links.empty() ? "Activate" : "Open");
    std::vector<const char*> strv;
    for (const auto& link : links) strv.push_back(link.c_str());
    strv.push_back(nullptr);
    if (r >= 0 && !links.empty()) r = sd_bus_message_append_strv(call, const_cast<char**>(strv.data()));
    if (r >= 0) r = sd_bus_message_append(call, "a{sv}", 0);
    if (r < 0) {
        // Never sent, so the running instance was not asked.
        sd_bus_message_unref(call);
        return platform::Error{std::string("cannot ask the running instance: ") + std::strerror(-r), -r};
    }
    sd_bus_error failure = SD_BUS_ERROR_NULL;
    r = sd_bus_call(bus.get(), call, callTimeoutUs, &failure, nullptr);
    sd_bus_message_unref(call);
    if (r >= 0) return Forwarded::toRunningInstance;
    // The owner may have gone between the look-up and the call: then this start takes its place.
    bool gone = sd_bus_error_has_name(&failure, SD_BUS_ERROR_NAME_HAS_NO_OWNER) ||
                sd_bus_error_has_name(&failure, SD_BUS_ERROR_SERVICE_UNKNOWN);
    platform::Error error{std::string("the running instance did not answer: ") +
                              (failure.message ? failure.message : std::strerror(-r)),
                          -r};
    sd_bus_error_free(&failure);
    if (gone) return Forwarded::noInstance;
    return error;
}

}  // namespace kelvo::app
