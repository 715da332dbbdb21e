#pragma once

#include <optional>
#include <stop_token>
#include <string>

#include "Platform/Intents/Intent.hpp"

namespace kelvo {

/// Asks the Kelvo application to start a new timer.
struct StartTrackingIntent {
    static constexpr const char* typeName = "StartTrackingIntent";
    static std::string title();
    static std::optional<StartTrackingIntent> fromValue(const platform::IntentValue& value);
    platform::IntentValue value() const;
    void perform(std::stop_token stop = {}) const;
};

/// Asks the Kelvo application to stop the running timer.
struct StopTrackingIntent {
    static constexpr const char* typeName = "StopTrackingIntent";
    static std::string title();
    static std::optional<StopTrackingIntent> fromValue(const platform::IntentValue& value);
    platform::IntentValue value() const;
    void perform(std::stop_token stop = {}) const;
};

/// Asks the Kelvo application to start a timer with a recent entry's name and project.
struct StartRecentIntent {
    static constexpr const char* typeName = "StartRecentIntent";
    static std::string title();
    static std::string nameTitle();
    static std::string projectTitle();

    StartRecentIntent() = default;
    StartRecentIntent(std::string name, std::optional<std::string> project);

    std::optional<std::string> name;     // required before performing
    std::optional<std::string> project;

    static std::optional<StartRecentIntent> fromValue(const platform::IntentValue& value);
    platform::IntentValue value() const;
    void perform(std::stop_token stop = {}) const;
};

/// Registers the three intents with a program's registry.
void registerTimerIntents(platform::IntentRegistry& registry);

}  // namespace kelvo
