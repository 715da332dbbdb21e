#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/TemporaryDirectory.hpp"

namespace platform::test {

/// A child process for tests: started with its standard output on a pipe and its standard error
/// in a log file; stopped with SIGTERM (then SIGKILL) when the value goes away.
class Process {
public:
    Process(const std::string& program, const std::vector<std::string>& arguments,
            const std::filesystem::path& log);
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();

    /// The next line of standard output, without its newline; throws when none comes in time.
    std::string readLine(std::chrono::milliseconds timeout);
    void stop();
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    int output_ = -1;
    std::string buffered_;
};

/// The text of a file, or "" when it cannot be read.
std::string readText(const std::filesystem::path& file);

}  // namespace platform::test
