#pragma once

#include <string>

namespace platform {

/// The text for `key` in the main bundle's catalog for the user's language, or `defaultValue` when
/// the catalog has no entry (or there is no catalog). Looked up afresh at every call.
std::string localizedString(const char* key, const char* defaultValue);

/// Sets up the process locale for messages (LANGUAGE, LC_ALL, LC_MESSAGES, LANG) and their character
/// set; every other category, numbers included, stays "C". Programs call it once at start.
void setUpLocale();
/// `setUpLocale` at the first `localizedString`, for a program that often answers without one: it
/// then starts without reading locale files.
void setUpLocaleOnFirstUse();

}  // namespace platform
