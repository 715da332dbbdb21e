#pragma once

#include <filesystem>

namespace platform {

/// An XDG base directory: the variable's value when it is an absolute path, else $HOME joined with
/// the fallback, e.g. xdgBaseDirectory("XDG_DATA_HOME", ".local/share"). Empty when neither is an
/// absolute path, so that nothing lands relative to whatever the working directory is.
std::filesystem::path xdgBaseDirectory(const char* variable, const char* fallbackUnderHome);

/// The running program's own executable; empty when it cannot be told.
std::filesystem::path executablePath();

}  // namespace platform
