// kelvo-app: the stand-in Kelvo desktop application that the widget talks to.

#include <cstdio>

#include "Host/CommandLine/CommandLine.hpp"
#include "Host/KelvoApp/AppActivation.hpp"
#include "Host/KelvoApp/KelvoApp.hpp"
#include "Host/KelvoApp/Log.hpp"
#include "Platform/System/Utf8.hpp"

int main(int argc, char** argv) {
    kelvo::app::AppOptions options;
    options.ledgerFile = kelvo::app::defaultLedgerFile();
    bool loggedOut = false;
    std::string ledger = options.ledgerFile.string();
    std::string container;
    std::string bridge;
    std::vector<std::string> links;

    CLI::App cli{"Kelvo stand-in application: keeps a ledger of time entries, writes the widget's "
                 "state.json and carries out the widget's commands."};
    cli.add_option("--ledger", ledger, "SQLite file of the time entries")
        ->default_str("$XDG_DATA_HOME/kelvo-app/ledger.sqlite");
    cli.add_option("--container", container,
                   "root of the shared container, instead of asking the widget bridge (then the bridge is optional)");
    cli.add_option("--bridge", bridge, "the widget bridge library to load (also: KELVO_WIDGET_BRIDGE_LIBRARY)");
    cli.add_flag("--demo", options.demo, "seed an empty ledger with a few entries of today");
    cli.add_flag("--logged-out", loggedOut, "show the widget a logged-out user");
    cli.add_flag("--offline", options.account.offline, "show the widget an application without connection");
    cli.add_flag("--tracking-disabled", options.account.trackingDisabled, "say that tracking is not possible now");
    cli.add_option("links", links, "kelvo: links to open, as the desktop passes them (x-scheme-handler/kelvo)");
    if (auto status = widgethost::parseCommandLine(cli, "kelvo-app", argc, argv)) return *status;

    // Links come from outside: logged through logEvent, which escapes their control characters.
    using platform::LogPriority;
    for (const auto& link : links) {
        if (!link.starts_with("kelvo:")) {
            kelvo::app::logEvent("not a kelvo: link: " + link, LogPriority::error);
            return 2;
        }
        // D-Bus carries UTF-8 only: such a link could not be passed to a running instance.
        if (!platform::isValidUtf8(link)) {
            kelvo::app::logEvent("a link must be UTF-8 text: " + link, LogPriority::error);
            return 2;
        }
    }
    if (!links.empty()) {
        // Opened through a link: a running instance comes forward instead of a second copy starting.
        auto forwarded = kelvo::app::forwardToRunningInstance(kelvo::app::bundleIdentifier, links);
        if (!forwarded) {
            kelvo::app::logEvent(forwarded.error().message, LogPriority::error);
            return 1;
        }
        if (*forwarded == kelvo::app::Forwarded::toRunningInstance) {
            kelvo::app::logEvent("asked the running instance to open " + links.front());
            return 0;
        }
        options.openLinks = links;
    }

    options.account.loggedIn = !loggedOut;
    if (ledger.empty()) {
        // An empty name would make SQLite keep the ledger in a temporary file that vanishes.
        std::fprintf(stderr, "kelvo-app: no home directory to keep the ledger in; pass --ledger FILE\n");
        return 2;
    }
    options.ledgerFile = ledger;
    if (!container.empty()) options.containerRoot = container;
    if (!bridge.empty()) options.bridgeLibrary = bridge;
    return kelvo::app::runApp(options);
}
