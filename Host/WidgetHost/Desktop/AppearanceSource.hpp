#pragma once

#include <systemd/sd-bus.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "Platform/Views/Color.hpp"

// Light or dark, as the desktop says: the desktop portal's "org.freedesktop.appearance"
// "color-scheme" (read once, then followed through SettingChanged), else GNOME's
// org.gnome.desktop.interface color-scheme in GSettings, else the host's own setting.
namespace widgethost::desktop {

enum class AppearanceOrigin { fallback, portal, gsettings };

/// The portal's colour scheme: 1 prefers dark; 0 (no preference, what GNOME's "Light" stores) and 2
/// prefer light. Nothing for a value the portal does not define.
std::optional<platform::views::Appearance> appearanceFromColorScheme(std::uint32_t value);

/// GSettings' colour scheme: "prefer-dark" is dark, anything else light.
platform::views::Appearance appearanceFromGSettings(const char* value);

/// Reads a colour scheme from `message`, positioned at a variant: a ReadOne answer or a
/// SettingChanged value holds it once, the older Read answer wraps it in a second variant.
/// Nothing when the value is not an unsigned 32-bit number.
std::optional<std::uint32_t> readColorScheme(sd_bus_message* message);

class AppearanceSource {
public:
    /// `changed` runs whenever the appearance changes after `start`, with the new one.
    AppearanceSource(platform::views::Appearance fallback, std::function<void(platform::views::Appearance)> changed);
    AppearanceSource(const AppearanceSource&) = delete;
    AppearanceSource& operator=(const AppearanceSource&) = delete;
    ~AppearanceSource();

    /// Asks the portal on `bus` (attached to the caller's event loop) without waiting for it;
    /// `current` is the fallback until it answers. GSettings' changes arrive through GLib's main
    /// loop, so they are followed only while one runs. `bus` may be null: GSettings, else fallback.
    void start(sd_bus* bus);

    platform::views::Appearance current() const { return current_; }
    AppearanceOrigin origin() const { return origin_; }

private:
    static int onReadOne(sd_bus_message* reply, void* self, sd_bus_error*);
    static int onRead(sd_bus_message* reply, void* self, sd_bus_error*);
    static int onSettingChanged(sd_bus_message* signal, void* self, sd_bus_error*);
    static void onGSettingsChanged(void* settings, const char* key, void* self);
    void askPortal(const char* method, sd_bus_message_handler_t handler);
    void useGSettings();
    /// Follows a ReadOne or Read answer, or falls back to GSettings when it says nothing usable.
    void takePortalAnswer(sd_bus_message* reply);
    void set(platform::views::Appearance appearance, AppearanceOrigin origin);

    platform::views::Appearance fallback_;
    platform::views::Appearance current_;
    AppearanceOrigin origin_ = AppearanceOrigin::fallback;
    std::function<void(platform::views::Appearance)> changed_;
    sd_bus* bus_ = nullptr;
    sd_bus_slot* call_ = nullptr;
    sd_bus_slot* match_ = nullptr;
    void* settings_ = nullptr;  // GSettings*, kept out of this header
};

}  // namespace widgethost::desktop
