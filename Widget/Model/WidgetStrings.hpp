#pragma once

#include <string>

#include "Platform/System/Localization.hpp"

/// The widget's built-in texts: a catalog key and the English text used when the catalog has none.
/// Written as calls, Key("key", "English"), so that xgettext finds them (the `xgettext` target).
namespace kelvo::strings {

struct Key {
    // A constructor rather than an aggregate: clang 14 cannot initialise aggregates with parentheses.
    constexpr Key(const char* k, const char* d) : key(k), defaultValue(d) {}
    const char* key;
    const char* defaultValue;
};

/// The text for the user's language, looked up afresh at each call.
inline std::string text(Key k) { return platform::localizedString(k.key, k.defaultValue); }

inline constexpr auto startTracking = Key("widgetStartTracking", "Start tracking");
inline constexpr auto stopTracking = Key("widgetStopTracking", "Stop tracking");
inline constexpr auto today = Key("widgetToday", "Today");
inline constexpr auto recent = Key("widgetRecent", "Recent");
inline constexpr auto noRecent = Key("widgetNoRecent", "Your recent tracking shows up here");
inline constexpr auto notTracking = Key("widgetNotTracking", "Not tracking");
inline constexpr auto noDescription = Key("widgetNoDescription", "No description");
inline constexpr auto openApp = Key("widgetOpenApp", "Open Kelvo to see your timer");
inline constexpr auto loggedOut = Key("widgetLoggedOut", "Log in to Kelvo to start tracking");
inline constexpr auto offline = Key("widgetOffline", "Offline");

inline constexpr auto galleryName = Key("widgetGalleryName", "Timer");
inline constexpr auto galleryDescription = Key("widgetGalleryDescription",
                                               "See your running timer and start tracking from your desktop.");
inline constexpr auto sampleEntry = Key("widgetSampleEntry", "Design review");
inline constexpr auto sampleProject = Key("widgetSampleProject", "Website redesign");
inline constexpr auto sampleRecentFirst = Key("widgetSampleRecentFirst", "Sprint planning");
inline constexpr auto sampleRecentFirstProject = Key("widgetSampleRecentFirstProject", "Mobile app");
inline constexpr auto sampleRecentSecond = Key("widgetSampleRecentSecond", "Customer interviews");
inline constexpr auto sampleRecentSecondProject = Key("widgetSampleRecentSecondProject", "Research");
inline constexpr auto sampleRecentThird = Key("widgetSampleRecentThird", "Weekly sync");

inline constexpr auto startRecent = Key("widgetStartRecent", "Start recent tracking");
inline constexpr auto fieldName = Key("widgetFieldName", "Name");
inline constexpr auto fieldProject = Key("widgetFieldProject", "Project");

}  // namespace kelvo::strings
