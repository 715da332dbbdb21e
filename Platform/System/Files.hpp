#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

/// Reads a whole regular file. Anything else (missing, a directory, a FIFO, a device, a file
/// larger than maxBytes, a read error) gives nothing, and the call never blocks on a FIFO.
std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::uintmax_t maxBytes);

/// Writes all of `bytes` to `fd`, again after interruptions and short writes. False on an error.
bool writeAll(int fd, std::string_view bytes);

/// How much a log line matters, numbered as syslog and the journal number their priorities.
enum class LogPriority { error = 3, warning = 4, info = 6, debug = 7 };

/// Writes "<N>", `prefix`, `line` (its control characters escaped, as \n or \x1b) and a newline to standard error in one write, so that the lines of
/// processes sharing it never interleave. The journal reads the "<N>" as the line's priority
/// (sd-daemon(3)), so `journalctl -p warning` finds the warnings. The one way this system's programs log.
void logLine(LogPriority priority, std::string_view prefix, std::string_view line);

/// Replaces `path` with `bytes` in one step: the bytes go to a temporary file in the same directory
/// (its name never ends in ".json"), which is then renamed over the target. On failure the target is
/// untouched and the temporary file is removed. No directory is created.
bool writeAtomically(const std::filesystem::path& path, std::string_view bytes);

/// Removes the temporary files of writeAtomically in `directory` that a killed writer left behind:
/// those last written at least `minimumAge` ago, far longer than any write takes.
void removeStaleTemporaryFiles(const std::filesystem::path& directory, std::chrono::seconds minimumAge);

/// Leaves an empty regular file at `path` with a new modification time. An empty file has no
/// partial state, so truncating in place is as safe as replacing it, and much cheaper; anything that
/// is not a plain file of its own (a link, a FIFO, a file with other names) is replaced instead.
/// No directory is created.
bool touchEmptyFile(const std::filesystem::path& path);

/// Creates a directory and its missing parents; an existing directory is no failure.
bool createDirectories(const std::filesystem::path& path);

}  // namespace platform
