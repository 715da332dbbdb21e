#include "Widget/Intents/TimerIntents.hpp"

#include "Platform/System/Services.hpp"
#include "Widget/Model/WidgetStrings.hpp"
#include "Widget/Store/WidgetStore.hpp"

namespace kelvo {
namespace {

// Titles are made once per process, as the intents' type-level texts.
std::string onceTitle(platform::ProcessValue<std::string>& cache, strings::Key key) {
    return cache.get([key] { return strings::text(key); });
}

platform::ProcessValue<std::string> startTitle, stopTitle, recentTitle, nameTitleCache, projectTitleCache;

void sendNow(WidgetCommand::Action action, std::optional<std::string> name, std::optional<std::string> project,
             std::stop_token stop) {
    WidgetStore::send(WidgetCommand{action, std::move(name), std::move(project), platform::services().now()}, stop);
}

}  // namespace

std::string StartTrackingIntent::title() { return onceTitle(startTitle, strings::startTracking); }
std::optional<StartTrackingIntent> StartTrackingIntent::fromValue(const platform::IntentValue& value) {
    if (value.type != typeName) return std::nullopt;
    return StartTrackingIntent{};
}
platform::IntentValue StartTrackingIntent::value() const { return {typeName, {}}; }
void StartTrackingIntent::perform(std::stop_token stop) const {
    sendNow(WidgetCommand::Action::start, std::nullopt, std::nullopt, stop);
}

std::string StopTrackingIntent::title() { return onceTitle(stopTitle, strings::stopTracking); }
std::optional<StopTrackingIntent> StopTrackingIntent::fromValue(const platform::IntentValue& value) {
    if (value.type != typeName) return std::nullopt;
    return StopTrackingIntent{};
}
platform::IntentValue StopTrackingIntent::value() const { return {typeName, {}}; }
void StopTrackingIntent::perform(std::stop_token stop) const {
    sendNow(WidgetCommand::Action::stop, std::nullopt, std::nullopt, stop);
}

StartRecentIntent::StartRecentIntent(std::string name_, std::optional<std::string> project_)
    : name(std::move(name_)), project(std::move(project_)) {}

std::string StartRecentIntent::title() { return onceTitle(recentTitle, strings::startRecent); }
std::string StartRecentIntent::nameTitle() { return onceTitle(nameTitleCache, strings::fieldName); }
std::string StartRecentIntent::projectTitle() { return onceTitle(projectTitleCache, strings::fieldProject); }

std::optional<StartRecentIntent> StartRecentIntent::fromValue(const platform::IntentValue& value) {
    if (value.type != typeName) return std::nullopt;
    // The name is required; the project may be missing or have no value.
    auto name = value.parameters.find("name");
    if (name == value.parameters.end() || !name->second) return std::nullopt;
    std::optional<std::string> project;
    if (auto it = value.parameters.find("project"); it != value.parameters.end()) project = it->second;
    return StartRecentIntent{*name->second, project};
}

platform::IntentValue StartRecentIntent::value() const {
    return {typeName, {{"name", name}, {"project", project}}};
}

void StartRecentIntent::perform(std::stop_token stop) const {
    sendNow(WidgetCommand::Action::startRecent, name, project, stop);
}

void registerTimerIntents(platform::IntentRegistry& registry) {
    platform::registerIntent<StartTrackingIntent>(registry);
    platform::registerIntent<StopTrackingIntent>(registry);
    platform::registerIntent<StartRecentIntent>(registry);
}

}  // namespace kelvo
