#include "Host/WidgetHost/Desktop/AppearanceSource.hpp"

#include <gio/gio.h>

#include <cstring>

namespace widgethost::desktop {
namespace {

using platform::views::Appearance;

constexpr const char* portalName = "org.freedesktop.portal.Desktop";
constexpr const char* portalPath = "/org/freedesktop/portal/desktop";
constexpr const char* settingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* appearanceNamespace = "org.freedesktop.appearance";
constexpr const char* colorSchemeKey = "color-scheme";
constexpr const char* gnomeInterfaceSchema = "org.gnome.desktop.interface";

}  // namespace

std::optional<Appearance> appearanceFromColorScheme(std::uint32_t value) {
    switch (value) {
    case 0:
    case 2: return Appearance::light;
    case 1: return Appearance::dark;
    }
    return std::nullopt;
}

Appearance appearanceFromGSettings(const char* value) {
    return value && std::strcmp(value, "prefer-dark") == 0 ? Appearance::dark : Appearance::light;
}

std::optional<std::uint32_t> readColorScheme(sd_bus_message* message) {
    // At most two variants deep; anything deeper is not an answer the portal gives.
    int entered = 0;
    std::optional<std::uint32_t> value;
    for (int depth = 0; depth < 2; ++depth) {
        const char* contents = nullptr;
        if (sd_bus_message_peek_type(message, nullptr, &contents) <= 0 || !contents) break;
        if (sd_bus_message_enter_container(message, SD_BUS_TYPE_VARIANT, contents) < 0) break;
        ++entered;
        if (std::strcmp(contents, "u") == 0) {
            std::uint32_t number = 0;
            if (sd_bus_message_read_basic(message, SD_BUS_TYPE_UINT32, &number) > 0) value = number;
            break;
        }
        if (std::strcmp(contents, "v") != 0) break;
    }
    while (entered-- > 0) sd_bus_message_exit_container(message);
    return value;
}

AppearanceSource::AppearanceSource(Appearance fallback, std::function<void(Appearance)> changed)
    : fallback_(fallback), current_(fallback), changed_(std::move(changed)) {}

AppearanceSource::~AppearanceSource() {
    sd_bus_slot_unref(call_);
    sd_bus_slot_unref(match_);
    sd_bus_unref(bus_);
    if (settings_) {
        g_signal_handlers_disconnect_by_data(settings_, this);
        g_object_unref(settings_);
    }
}

void AppearanceSource::set(Appearance appearance, AppearanceOrigin origin) {
    origin_ = origin;
    if (appearance == current_) return;
    current_ = appearance;
    if (changed_) changed_(appearance);
}

void AppearanceSource::start(sd_bus* bus) {
    if (!bus) {
        useGSettings();
        return;
    }
    bus_ = sd_bus_ref(bus);
    // Listening first, so that a change made while the first answer is on its way is not lost.
    sd_bus_match_signal_async(bus_, &match_, portalName, portalPath, settingsInterface, "SettingChanged",
                              onSettingChanged, nullptr, this);
    askPortal("ReadOne", onReadOne);
}

void AppearanceSource::askPortal(const char* method, sd_bus_message_handler_t handler) {
    sd_bus_slot_unref(call_);
    call_ = nullptr;
    if (sd_bus_call_method_async(bus_, &call_, portalName, portalPath, settingsInterface, method, handler, this, "ss",
                                 appearanceNamespace, colorSchemeKey) < 0)
        useGSettings();
}

int AppearanceSource::onReadOne(sd_bus_message* reply, void* self, sd_bus_error*) {
    auto* source = static_cast<AppearanceSource*>(self);
    if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
        // Portals before 1.18 know only Read.
        if (sd_bus_error_has_name(error, SD_BUS_ERROR_UNKNOWN_METHOD)) {
            source->askPortal("Read", onRead);
            return 0;
        }
        source->useGSettings();
        return 0;
    }
    source->takePortalAnswer(reply);
    return 0;
}

void AppearanceSource::takePortalAnswer(sd_bus_message* reply) {
    auto value = readColorScheme(reply);
    auto appearance = value ? appearanceFromColorScheme(*value) : std::nullopt;
    if (appearance)
        set(*appearance, AppearanceOrigin::portal);
    else
        useGSettings();
}

int AppearanceSource::onRead(sd_bus_message* reply, void* self, sd_bus_error*) {
    // The same answer as ReadOne's, only wrapped once more, which readColorScheme undoes.
    auto* source = static_cast<AppearanceSource*>(self);
    if (sd_bus_message_is_method_error(reply, nullptr)) {
        source->useGSettings();
        return 0;
    }
    source->takePortalAnswer(reply);
    return 0;
}

int AppearanceSource::onSettingChanged(sd_bus_message* signal, void* self, sd_bus_error*) {
    auto* source = static_cast<AppearanceSource*>(self);
    const char* space = nullptr;
    const char* key = nullptr;
    if (sd_bus_message_read(signal, "ss", &space, &key) < 0) return 0;
    if (std::strcmp(space, appearanceNamespace) != 0 || std::strcmp(key, colorSchemeKey) != 0) return 0;
    auto value = readColorScheme(signal);
    if (auto appearance = value ? appearanceFromColorScheme(*value) : std::nullopt)
        source->set(*appearance, AppearanceOrigin::portal);
    return 0;
}

void AppearanceSource::useGSettings() {
    if (settings_) return;
    GSettingsSchemaSource* schemas = g_settings_schema_source_get_default();
    GSettingsSchema* schema = schemas ? g_settings_schema_source_lookup(schemas, gnomeInterfaceSchema, TRUE) : nullptr;
    bool usable = schema && g_settings_schema_has_key(schema, colorSchemeKey);
    if (schema) g_settings_schema_unref(schema);
    GSettings* settings = usable ? g_settings_new(gnomeInterfaceSchema) : nullptr;
    if (settings) {
        // Without a real backend (dconf) GSettings only echoes its defaults, which say nothing about
        // the desktop.
        GObject* backend = nullptr;
        g_object_get(settings, "backend", &backend, nullptr);
        usable = backend && std::strcmp(G_OBJECT_TYPE_NAME(backend), "GMemorySettingsBackend") != 0;
        if (backend) g_object_unref(backend);
    }
    if (!usable) {
        if (settings) g_object_unref(settings);
        set(fallback_, AppearanceOrigin::fallback);
        return;
    }
    settings_ = settings;
    g_signal_connect(settings, "changed::color-scheme", G_CALLBACK(onGSettingsChanged), this);
    onGSettingsChanged(settings, colorSchemeKey, this);
}

void AppearanceSource::onGSettingsChanged(void* settings, const char*, void* self) {
    auto* source = static_cast<AppearanceSource*>(self);
    // Once the portal has spoken, it stays the authority.
    if (source->origin_ == AppearanceOrigin::portal) return;
    gchar* value = g_settings_get_string(static_cast<GSettings*>(settings), colorSchemeKey);
    source->set(appearanceFromGSettings(value), AppearanceOrigin::gsettings);
    g_free(value);
}

}  // namespace widgethost::desktop
