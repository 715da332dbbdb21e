#include "Host/WidgetHost/BusService.hpp"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/ExtensionCatalog.hpp"
#include "Host/WidgetHost/Host.hpp"
#include "Host/WidgetHost/Log.hpp"
#include "Host/WidgetHost/dbus/Control1.hpp"
#include "Host/WidgetHost/dbus/OutgoingMessage.hpp"

namespace widgethost {
namespace {

// Every handler gets the service as its one context, checks its arguments first and answers
// failures with a named error. Every answer is built with OutgoingMessage, which makes its strings
// sendable and answers with an error when it still cannot be sent.

namespace host1 = platform::host1::method;
namespace control = control1::method;

constexpr const char* hostInterface = platform::host1::interfaceName;
constexpr const char* controlInterface = control1::interfaceName;
constexpr const char* hostInvalidArgument = platform::host1::errorInvalidArgument;

const char* errorName(HostError::Code code) {
    namespace error = control1::error;
    switch (code) {
    case HostError::Code::invalidArgument: return error::invalidArgument;
    case HostError::Code::unknownWidget: return error::unknownWidget;
    case HostError::Code::unknownKind: return error::unknownKind;
    case HostError::Code::unsupportedFamily: return error::unsupportedFamily;
    case HostError::Code::unknownLabel: return error::unknownLabel;
    case HostError::Code::disabled: return error::disabled;
    case HostError::Code::nothingToShow: return error::nothingToShow;
    case HostError::Code::unavailable: return error::unavailable;
    case HostError::Code::failed: return error::failed;
    }
    return error::failed;
}

using bus::OutgoingMessage;
using bus::replyError;

int replyError(sd_bus_message* m, const HostError& error) { return replyError(m, errorName(error.code), error.message); }

OutgoingMessage controlReply(sd_bus_message* m) { return OutgoingMessage::reply(m, control1::error::failed); }

Host& hostOf(void* userdata) { return static_cast<BusService*>(userdata)->host(); }

// A method call answered later, from the loop; the reference keeps the message alive until then.
using HeldCall = std::shared_ptr<sd_bus_message>;
HeldCall hold(sd_bus_message* m) { return HeldCall(sd_bus_message_ref(m), sd_bus_message_unref); }

// net.widgethost.Host1 ---------------------------------------------------------------------------

int refuseApplicationId(sd_bus_message* m, const char* id) {
    return replyError(m, hostInvalidArgument, std::string("not an application id: \"") + id + "\"");
}

int reloadAllTimelines(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* id = nullptr;
    if (int r = sd_bus_message_read(m, host1::reloadAllTimelines.in, &id); r < 0) return r;
    if (!isValidApplicationId(id)) return refuseApplicationId(m, id);
    hostOf(userdata).reloadApplication(id);
    return sd_bus_reply_method_return(m, "");
}

int getCurrentConfigurations(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* id = nullptr;
    if (int r = sd_bus_message_read(m, host1::getCurrentConfigurations.in, &id); r < 0) return r;
    if (!isValidApplicationId(id)) return refuseApplicationId(m, id);
    auto reply = OutgoingMessage::reply(m, platform::host1::errorFailed);
    reply.open('a', "(sss)");
    for (const auto& widget : hostOf(userdata).configurations(id))
        reply.open('r', "sss").text(widget.id).text(widget.kind).text(platform::toString(widget.family)).close();
    reply.close().send();
    return 1;
}

// net.widgethost.Control1 ------------------------------------------------------------------------

HostError unknownFamily(const char* name) {
    return {HostError::Code::invalidArgument, std::string("unknown family \"") + name + "\"; use systemSmall or systemMedium"};
}

// Answers with the new widget's id once the host has placed it.
std::function<void(HostResult<std::string>)> replyPlaced(sd_bus_message* m) {
    return [call = hold(m)](HostResult<std::string> result) {
        if (!result)
            replyError(call.get(), result.error());
        else
            controlReply(call.get()).text(*result).send();
    };
}

// Answers with nothing once the host is done.
std::function<void(HostResult<Done>)> replyDone(sd_bus_message* m) {
    return [call = hold(m)](HostResult<Done> result) {
        if (!result)
            replyError(call.get(), result.error());
        else
            sd_bus_reply_method_return(call.get(), "");
    };
}

std::optional<platform::views::Appearance> appearanceNamed(const char* name) {
    if (std::strcmp(name, "dark") == 0) return platform::views::Appearance::dark;
    if (std::strcmp(name, "light") == 0) return platform::views::Appearance::light;
    return std::nullopt;
}

int placeWidget(sd_bus_message* m, void* userdata, const char* kind, const char* familyName,
                std::optional<WidgetPosition> position) {
    auto family = platform::widgetFamilyFromString(familyName);
    if (!family) return replyError(m, unknownFamily(familyName));
    hostOf(userdata).place(kind, *family, position, replyPlaced(m));
    return 1;
}

int place(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *kind = nullptr, *familyName = nullptr;
    if (int r = sd_bus_message_read(m, control::place.in, &kind, &familyName); r < 0) return r;
    return placeWidget(m, userdata, kind, familyName, std::nullopt);
}

int placeAt(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *kind = nullptr, *familyName = nullptr;
    int x = 0, y = 0;
    if (int r = sd_bus_message_read(m, control::placeAt.in, &kind, &familyName, &x, &y); r < 0) return r;
    return placeWidget(m, userdata, kind, familyName, WidgetPosition{x, y});
}

int placeNearPointer(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *kind = nullptr, *familyName = nullptr;
    if (int r = sd_bus_message_read(m, control::placeNearPointer.in, &kind, &familyName); r < 0) return r;
    auto family = platform::widgetFamilyFromString(familyName);
    if (!family) return replyError(m, unknownFamily(familyName));
    hostOf(userdata).placeNearPointer(kind, *family, replyPlaced(m));
    return 1;
}

int placeClearOf(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *kind = nullptr, *familyName = nullptr;
    DesktopArea window;
    if (int r = sd_bus_message_read(m, control::placeClearOf.in, &kind, &familyName, &window.x, &window.y,
                                    &window.width, &window.height);
        r < 0)
        return r;
    auto family = platform::widgetFamilyFromString(familyName);
    if (!family) return replyError(m, unknownFamily(familyName));
    auto* service = static_cast<BusService*>(userdata);
    auto avoid = window.width > 0 && window.height > 0 ? std::optional(window) : std::nullopt;
    hostOf(userdata).placeNearPointer(kind, *family, [service, call = hold(m)](HostResult<std::string> result) {
        if (!result) return void(replyError(call.get(), result.error()));
        auto details = service->host().details(*result);
        auto at = details ? details->placed.position.value_or(WidgetPosition{}) : WidgetPosition{};
        controlReply(call.get()).text(*result).integer(at.x).integer(at.y).send();
    }, avoid);
    return 1;
}

int move(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* id = nullptr;
    int x = 0, y = 0;
    if (int r = sd_bus_message_read(m, control::move.in, &id, &x, &y); r < 0) return r;
    auto result = hostOf(userdata).move(id, {x, y}, MoveOrigin::request);
    if (!result) return replyError(m, result.error());
    return sd_bus_reply_method_return(m, "");
}

HostError unknownWidget(const char* id) {
    return {HostError::Code::unknownWidget, std::string("no widget has the id \"") + id + "\""};
}

// Geometry's answer: the widget's position, its buttons' frames and its output.
void appendGeometry(OutgoingMessage& reply, const WidgetDetails& details) {
    auto position = details.placed.position.value_or(WidgetPosition{});
    reply.integer(position.x).integer(position.y).open('a', "(sdddd)");
    for (const auto& button : details.buttons)
        reply.open('r', "sdddd")
            .text(button.label)
            .number(button.frame.x)
            .number(button.frame.y)
            .number(button.frame.width)
            .number(button.frame.height)
            .close();
    reply.close().text(position.output);
}

int geometry(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* id = nullptr;
    if (int r = sd_bus_message_read(m, control::geometry.in, &id); r < 0) return r;
    auto details = hostOf(userdata).details(id);
    if (!details) return replyError(m, unknownWidget(id));
    auto reply = controlReply(m);
    appendGeometry(reply, *details);
    reply.send();
    return 1;
}

int geometries(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto reply = controlReply(m);
    reply.open('a', "(siia(sdddd)s)");
    for (const auto& details : hostOf(userdata).list()) {
        reply.open('r', "siia(sdddd)s").text(details.placed.id);
        appendGeometry(reply, details);
        reply.close();
    }
    reply.close().send();
    return 1;
}

int remove(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* id = nullptr;
    if (int r = sd_bus_message_read(m, control::remove.in, &id); r < 0) return r;
    auto result = hostOf(userdata).remove(id);
    if (!result) return replyError(m, result.error());
    return sd_bus_reply_method_return(m, "");
}

int resize(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *id = nullptr, *familyName = nullptr;
    if (int r = sd_bus_message_read(m, control::resize.in, &id, &familyName); r < 0) return r;
    auto family = platform::widgetFamilyFromString(familyName);
    if (!family) return replyError(m, unknownFamily(familyName));
    auto result = hostOf(userdata).resize(id, *family);
    if (!result) return replyError(m, result.error());
    return sd_bus_reply_method_return(m, "");
}

void appendDetails(OutgoingMessage& reply, const WidgetDetails& details) {
    reply.open('r', "ssssdasa(sbs)ss")
        .text(details.placed.id)
        .text(details.placed.kind)
        .text(platform::toString(details.placed.family))
        .text(details.placed.extension)
        .number(details.entryDate)
        .open('a', "s");
    for (const auto& text : details.texts) reply.text(text);
    reply.close().open('a', "(sbs)");
    for (const auto& button : details.buttons)
        reply.open('r', "sbs").text(button.label).boolean(button.enabled).text(button.intent).close();
    reply.close().text(details.picture).text(details.status).close();
}

int list(sd_bus_message* m, void* userdata, sd_bus_error*) {
    auto reply = controlReply(m);
    reply.open('a', "(ssssdasa(sbs)ss)");
    for (const auto& details : hostOf(userdata).list()) appendDetails(reply, details);
    reply.close().send();
    return 1;
}

int render(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *id = nullptr, *path = nullptr, *appearance = nullptr, *mode = nullptr;
    double scale = 0;
    if (int r = sd_bus_message_read(m, control::render.in, &id, &path, &scale, &appearance, &mode); r < 0) return r;
    auto parsedAppearance = appearanceNamed(appearance);
    if (!parsedAppearance)
        return replyError(m, {HostError::Code::invalidArgument, std::string("unknown appearance \"") + appearance + "\""});
    auto parsedMode = platform::widgetRenderingModeFromString(mode);
    if (!parsedMode) return replyError(m, {HostError::Code::invalidArgument, std::string("unknown mode \"") + mode + "\""});
    hostOf(userdata).render({id, path, scale, *parsedAppearance, *parsedMode}, replyDone(m));
    return 1;
}

int kinds(sd_bus_message* m, void* userdata, sd_bus_error*) {
    hostOf(userdata).kinds([call = hold(m)](const std::vector<KindDetails>& kinds) {
        auto reply = controlReply(call.get());
        reply.open('a', "(ssssas)");
        for (const auto& kind : kinds) {
            reply.open('r', "ssssas").text(kind.extension).text(kind.kind).text(kind.displayName).text(kind.description);
            reply.open('a', "s");
            for (auto family : kind.families) reply.text(platform::toString(family));
            reply.close().close();
        }
        if (int r = reply.close().send(); r < 0) log(LogLevel::warning, "cannot answer Kinds: ", std::strerror(-r));
    });
    return 1;
}

int preview(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *kind = nullptr, *familyName = nullptr, *appearance = nullptr, *path = nullptr;
    double scale = 0;
    if (int r = sd_bus_message_read(m, control::preview.in, &kind, &familyName, &scale, &appearance, &path); r < 0) return r;
    auto family = platform::widgetFamilyFromString(familyName);
    if (!family) return replyError(m, unknownFamily(familyName));
    auto parsedAppearance = appearanceNamed(appearance);
    if (!parsedAppearance)
        return replyError(m, {HostError::Code::invalidArgument, std::string("unknown appearance \"") + appearance + "\""});
    hostOf(userdata).preview({kind, *family, path, scale, *parsedAppearance}, replyDone(m));
    return 1;
}

int previewEntry(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *kind = nullptr, *familyName = nullptr;
    if (int r = sd_bus_message_read(m, control::previewEntry.in, &kind, &familyName); r < 0) return r;
    auto family = platform::widgetFamilyFromString(familyName);
    if (!family) return replyError(m, unknownFamily(familyName));
    hostOf(userdata).previewEntry(kind, *family, [call = hold(m)](HostResult<PreviewEntry> result) {
        if (!result) return static_cast<void>(replyError(call.get(), result.error()));
        const auto& entry = *result;
        controlReply(call.get())
            .number(entry.date.millisecondsSince1970)
            .text(entry.tree->dump())
            .text(platform::toString(entry.renderingMode))
            .send();
    });
    return 1;
}

int press(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char *id = nullptr, *label = nullptr;
    if (int r = sd_bus_message_read(m, control::press.in, &id, &label); r < 0) return r;
    auto result = hostOf(userdata).press(id, label);
    if (!result) return replyError(m, result.error());
    controlReply(m).text(*result).send();
    return 1;
}

int pressAt(sd_bus_message* m, void* userdata, sd_bus_error*) {
    const char* id = nullptr;
    double x = 0, y = 0;
    if (int r = sd_bus_message_read(m, control::pressAt.in, &id, &x, &y); r < 0) return r;
    auto result = hostOf(userdata).pressAt(id, x, y);
    if (!result) return replyError(m, result.error());
    const auto& pressed = *result;
    const char* action = pressed.action == PressResult::Action::perform ? "perform"
                         : pressed.action == PressResult::Action::open  ? "open"
                                                                        : "none";
    controlReply(m).text(action).text(pressed.target).send();
    return 1;
}

int reload(sd_bus_message* m, void* userdata, sd_bus_error*) {
    hostOf(userdata).reloadAll();
    return sd_bus_reply_method_return(m, "");
}

// The names and signatures come from the interfaces' tables; only the argument names are here.
#define KELVO_METHOD(table, in_names, out_names, handler)                                                   \
    SD_BUS_METHOD_WITH_NAMES(table.name, table.in, in_names, table.out, out_names, handler, SD_BUS_VTABLE_UNPRIVILEGED)

const sd_bus_vtable hostVtable[] = {
    SD_BUS_VTABLE_START(0),
    KELVO_METHOD(host1::reloadAllTimelines, SD_BUS_PARAM(application_id), , reloadAllTimelines),
    KELVO_METHOD(host1::getCurrentConfigurations, SD_BUS_PARAM(application_id), SD_BUS_PARAM(widgets),
                 getCurrentConfigurations),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable controlVtable[] = {
    SD_BUS_VTABLE_START(0),
    KELVO_METHOD(control::place, SD_BUS_PARAM(kind) SD_BUS_PARAM(family), SD_BUS_PARAM(id), place),
    KELVO_METHOD(control::placeAt, SD_BUS_PARAM(kind) SD_BUS_PARAM(family) SD_BUS_PARAM(x) SD_BUS_PARAM(y),
                 SD_BUS_PARAM(id), placeAt),
    KELVO_METHOD(control::move, SD_BUS_PARAM(id) SD_BUS_PARAM(x) SD_BUS_PARAM(y), , move),
    KELVO_METHOD(control::geometry, SD_BUS_PARAM(id),
                 SD_BUS_PARAM(x) SD_BUS_PARAM(y) SD_BUS_PARAM(buttons) SD_BUS_PARAM(output), geometry),
    KELVO_METHOD(control::geometries, , SD_BUS_PARAM(widgets), geometries),
    KELVO_METHOD(control::remove, SD_BUS_PARAM(id), , remove),
    KELVO_METHOD(control::resize, SD_BUS_PARAM(id) SD_BUS_PARAM(family), , resize),
    KELVO_METHOD(control::list, , SD_BUS_PARAM(widgets), list),
    KELVO_METHOD(control::render,
                 SD_BUS_PARAM(id) SD_BUS_PARAM(path) SD_BUS_PARAM(scale) SD_BUS_PARAM(appearance) SD_BUS_PARAM(mode), ,
                 render),
    KELVO_METHOD(control::press, SD_BUS_PARAM(id) SD_BUS_PARAM(label), SD_BUS_PARAM(intent), press),
    KELVO_METHOD(control::pressAt, SD_BUS_PARAM(id) SD_BUS_PARAM(x) SD_BUS_PARAM(y),
                 SD_BUS_PARAM(action) SD_BUS_PARAM(target), pressAt),
    SD_BUS_METHOD(control::reload.name, control::reload.in, control::reload.out, reload, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_SIGNAL_WITH_NAMES(control1::signal::drawn.name, control1::signal::drawn.signature,
                             SD_BUS_PARAM(id) SD_BUS_PARAM(picture), 0),
    KELVO_METHOD(control::kinds, , SD_BUS_PARAM(kinds), kinds),
    KELVO_METHOD(control::preview,
                 SD_BUS_PARAM(kind) SD_BUS_PARAM(family) SD_BUS_PARAM(scale) SD_BUS_PARAM(appearance) SD_BUS_PARAM(path),
                 , preview),
    KELVO_METHOD(control::previewEntry, SD_BUS_PARAM(kind) SD_BUS_PARAM(family),
                 SD_BUS_PARAM(date) SD_BUS_PARAM(view) SD_BUS_PARAM(mode), previewEntry),
    KELVO_METHOD(control::placeNearPointer, SD_BUS_PARAM(kind) SD_BUS_PARAM(family), SD_BUS_PARAM(id),
                 placeNearPointer),
    KELVO_METHOD(control::placeClearOf,
                 SD_BUS_PARAM(kind) SD_BUS_PARAM(family) SD_BUS_PARAM(x) SD_BUS_PARAM(y) SD_BUS_PARAM(width)
                     SD_BUS_PARAM(height),
                 SD_BUS_PARAM(id) SD_BUS_PARAM(placedX) SD_BUS_PARAM(placedY), placeClearOf),
    SD_BUS_SIGNAL(control1::signal::kindsChanged.name, control1::signal::kindsChanged.signature, 0),
    SD_BUS_VTABLE_END,
};

#undef KELVO_METHOD

}  // namespace

BusService::~BusService() {
    sd_bus_slot_unref(hostSlot_);
    sd_bus_slot_unref(controlSlot_);
}

platform::Status<> BusService::start() {
    int r = sd_bus_add_object_vtable(bus_, &hostSlot_, control1::objectPath, hostInterface, hostVtable, this);
    if (r >= 0) r = sd_bus_add_object_vtable(bus_, &controlSlot_, control1::objectPath, controlInterface, controlVtable, this);
    if (r < 0) return platform::Error{std::string("cannot serve the interfaces: ") + std::strerror(-r), -r};
    r = sd_bus_request_name(bus_, control1::busName, 0);
    if (r < 0)
        return platform::Error{r == -EEXIST ? std::string("another widget host already owns ") + control1::busName
                                            : std::string("cannot own ") + control1::busName + ": " + std::strerror(-r),
                               -r};
    return platform::Done{};
}

void BusService::emitKindsChanged() {
    const auto& changed = control1::signal::kindsChanged;
    sd_bus_emit_signal(bus_, control1::objectPath, controlInterface, changed.name, changed.signature);
}

void BusService::emitDrawn(const std::string& id, const std::string& picture) {
    OutgoingMessage::signal(bus_, control1::objectPath, controlInterface, control1::signal::drawn.name)
        .text(id)
        .text(picture)
        .send();
}

}  // namespace widgethost
