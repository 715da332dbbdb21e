#pragma once

#include <string>

#include "Platform/System/Localization.hpp"

/// The widget's built-in texts: a catalog key and the English text used when the catalog has none.
namespace kelvo::strings {

struct Key {
    const char* key;
    const char* defaultValue;
};

/// The text for the user's language, looked up afresh at each call.
inline std::string text(Key k) { return platform::localizedString(k.key, k.defaultValue); }

inline constexpr Key startTracking{"widgetStartTracking", "Start tracking"};
inline constexpr Key stopTracking{"widgetStopTracking", "Stop tracking"};
inline constexpr Key today{"widgetToday", "Today"};
inline constexpr Key recent{"widgetRecent", "Recent"};
inline constexpr Key noRecent{"widgetNoRecent", "Your recent tracking shows up here"};
inline constexpr Key notTracking{"widgetNotTracking", "Not tracking"};
inline constexpr Key noDescription{"widgetNoDescription", "No description"};
inline constexpr Key openApp{"widgetOpenApp", "Open Kelvo to see your timer"};
inline constexpr Key loggedOut{"widgetLoggedOut", "Log in to Kelvo to start tracking"};
inline constexpr Key offline{"widgetOffline", "Offline"};

inline constexpr Key galleryName{"widgetGalleryName", "Timer"};
inline constexpr Key galleryDescription{"widgetGalleryDescription",
                                        "See your running timer and start tracking from your desktop."};
inline constexpr Key sampleEntry{"widgetSampleEntry", "Design review"};
inline constexpr Key sampleProject{"widgetSampleProject", "Website redesign"};
inline constexpr Key sampleRecentFirst{"widgetSampleRecentFirst", "Sprint planning"};
inline constexpr Key sampleRecentFirstProject{"widgetSampleRecentFirstProject", "Mobile app"};
inline constexpr Key sampleRecentSecond{"widgetSampleRecentSecond", "Customer interviews"};
inline constexpr Key sampleRecentSecondProject{"widgetSampleRecentSecondProject", "Research"};
inline constexpr Key sampleRecentThird{"widgetSampleRecentThird", "Weekly sync"};

inline constexpr Key startRecent{"widgetStartRecent", "Start recent tracking"};
inline constexpr Key fieldName{"widgetFieldName", "Name"};
inline constexpr Key fieldProject{"widgetFieldProject", "Project"};

}  // namespace kelvo::strings
