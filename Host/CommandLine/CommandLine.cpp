#include "Host/CommandLine/CommandLine.hpp"

#include <string>

namespace widgethost {

std::optional<int> parseCommandLine(CLI::App& app, const char* program, int argc, char** argv) {
    // Named as installed, not as started: help2man puts the usage lines into the manual pages.
    app.name(program);
    app.set_version_flag("--version", std::string(program) + " " + KELVO_PROJECT_VERSION, "Print the version and exit");
    if (app.get_footer().empty()) app.footer(commonExitStatuses);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& error) {
        // CLI11's own statuses (105, 106, ...) mean nothing to a script; --help and --version are 0.
        return app.exit(error) == 0 ? 0 : usageError;
    }
    return std::nullopt;
}

}  // namespace widgethost
