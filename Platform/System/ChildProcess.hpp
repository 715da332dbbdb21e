#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Platform/System/Result.hpp"

// Starting another program: one place that forks, prepares the child and reports a failed exec.
namespace platform {

struct ChildOptions {
    int input = -1;   // becomes the child's standard input; -1: /dev/null
    int output = -1;  // becomes its standard output; -1: the parent's
    int error = -1;   // becomes its standard error; -1: the parent's
    bool ownProcessGroup = false;  // so that the parent can end the child with all it starts
    bool ownSession = false;       // detached from the parent's terminal and group
    bool endWithParent = false;    // SIGTERM when the parent dies
    std::uint64_t addressSpaceBytes = 0;  // RLIMIT_AS; 0 for none
    // The child's environment, "NAME=value" each; nothing: the parent's as it is at the start.
    std::optional<std::vector<std::string>> environment;
};

/// The calling process's environment as it is now, "NAME=value" each: taken at the start of a
/// program, before it tunes its own, it is what the programs it starts should get.
std::vector<std::string> currentEnvironment();

/// Starts `arguments[0]` (a path, run as it is, or a name looked up in PATH) with `arguments`. A
/// path to a file that is no program, such as a script without "#!", is refused. The child starts
/// with no signal blocked and SIGPIPE at its default, as from a shell. The error says why it
/// cannot be started, an exec that fails included.
Result<pid_t> startChild(const std::vector<std::string>& arguments, const ChildOptions& options = {});

}  // namespace platform
