#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "Platform/System/Result.hpp"

namespace kelvo::app {

/// An inotify watch on the commands directory that says when a command file may have arrived.
class CommandWatch {
public:
    /// Creates the directory when missing and starts watching it. Nothing, with the reason in
    /// `why`, when either fails.
    static platform::Result<CommandWatch> open(const std::filesystem::path& directory);

    CommandWatch(CommandWatch&& other) noexcept;
    CommandWatch& operator=(CommandWatch&&) = delete;
    CommandWatch(const CommandWatch&) = delete;
    CommandWatch& operator=(const CommandWatch&) = delete;
    ~CommandWatch();

    /// The descriptor to poll for reading.
    int fd() const { return fd_; }

    /// Reads the pending events. True when the directory is due for a pass: a "*.json" file was
    /// renamed into it or closed after writing, events were lost, or the directory was replaced (it
    /// is then made and watched again).
    bool readEvents();

private:
    CommandWatch(int fd, std::filesystem::path directory) : fd_(fd), directory_(std::move(directory)) {}
    bool addWatch();

    int fd_ = -1;
    int watch_ = -1;
    std::filesystem::path directory_;
};

}  // namespace kelvo::app
