#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace widgetrender {

/// Thrown with a message for the user when the extension cannot be asked or answers badly.
struct CallError {
    std::string message;
};

/// Starts the extension program, sends it one JSON-RPC request on its standard input, closes
/// it, and returns the `result` of the first answer line. Fails on an error answer, on output
/// that is not one JSON object, on a non-zero exit, and after `timeout` (the program is killed).
nlohmann::json callExtension(const std::filesystem::path& program, std::string_view method,
                             const nlohmann::json& params, std::chrono::milliseconds timeout);

}  // namespace widgetrender
