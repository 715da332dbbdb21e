#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "Host/KelvoApp/Tracking.hpp"

namespace kelvo::app {

inline constexpr const char* bundleIdentifier = "com.kelvo.desktop";
inline constexpr const char* groupIdentifier = "group.com.kelvo.desktop";
inline constexpr const char* widgetKind = "TimerWidget";

struct AppOptions {
    std::filesystem::path ledgerFile;
    /// The shared container's root, instead of asking the bridge library for it. With it the
    /// application also runs without the library (and then requests no reloads).
    std::optional<std::filesystem::path> containerRoot;
    /// The bridge library file, instead of looking in the usual places.
    std::optional<std::filesystem::path> bridgeLibrary;
    bool demo = false;
    AccountState account;
    /// The links the program was started with (from the desktop's scheme handler).
    std::vector<std::string> openLinks;
};

/// ${XDG_DATA_HOME:-$HOME/.local/share}/kelvo-app/ledger.sqlite
std::filesystem::path defaultLedgerFile();

/// Runs the application until SIGINT, SIGTERM or SIGHUP; the exit status.
int runApp(const AppOptions& options);

}  // namespace kelvo::app
