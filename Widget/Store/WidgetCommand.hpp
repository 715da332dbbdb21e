#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "Platform/System/Date.hpp"

namespace kelvo {

/// One request of the widget to the Kelvo application, written as one file.
struct WidgetCommand {
    enum class Action { start, stop, startRecent };

    Action action = Action::start;
    std::optional<std::string> name;     // startRecent only
    std::optional<std::string> project;  // startRecent only, when the entry has one
    platform::Date issuedAt;

    /// Compact JSON with "action", "issuedAt" and, when present, "name" and "project".
    std::string encode() const;
    /// Reads a command document: "action" must be one of the three, "issuedAt" a number; "name" and
    /// "project" are optional (null is none); other keys are ignored.
    static std::optional<WidgetCommand> decode(std::string_view document);
};

std::string_view toString(WidgetCommand::Action action);
std::optional<WidgetCommand::Action> actionFromString(std::string_view rawValue);

}  // namespace kelvo
