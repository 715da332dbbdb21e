#pragma once

// The command lines of the host's programs, parsed alike: each answers --help and --version, and a
// command line it cannot take ends it with status 2, as with most command-line tools.

#include <optional>

#include <CLI/CLI.hpp>

namespace widgethost {

/// The exit status of a command line the program cannot take.
inline constexpr int usageError = 2;

/// The exit statuses most of the programs have; a program with others sets its own footer.
inline constexpr const char* commonExitStatuses = "Exit status: 0 done, 1 failed, 2 usage error.";

/// Parses `argv` into `app`, after adding --version ("<program> <version>") and, unless the
/// program set one, a footer naming `commonExitStatuses`. Gives the status to exit with now: 0 after
/// --help or --version, `usageError` after saying what is wrong; nothing when the program goes on.
std::optional<int> parseCommandLine(CLI::App& app, const char* program, int argc, char** argv);

}  // namespace widgethost
