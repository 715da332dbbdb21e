#include "Host/KelvoApp/CommandQueue.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "Host/KelvoApp/Log.hpp"
#include "Platform/System/Files.hpp"

namespace kelvo::app {
namespace {

// A command is a few hundred bytes; anything far larger is no command.
constexpr std::uintmax_t maxCommandBytes = 64 * 1024;

struct Waiting {
    std::string fileName;
    WidgetCommand command;
    std::int64_t modifiedNs = 0;
};

bool isCommandFileName(const std::string& name) {
    static constexpr std::string_view suffix = ".json";
    return name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string inQuotes(const std::string& name) { return "\"" + name + "\""; }

std::int64_t modifiedNanoseconds(const std::filesystem::path& file) {
    struct stat info {};
    if (::lstat(file.c_str(), &info) != 0) return 0;
    return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

// Gone already counts as removed: nobody else should be taking our commands, but if they did, the
// command was handled.
bool removeFile(const std::filesystem::path& file) { return ::unlink(file.c_str()) == 0 || errno == ENOENT; }

void moveAside(const std::filesystem::path& file, const std::string& reason) {
    auto aside = file;
    aside += rejectedSuffix;
    if (::rename(file.c_str(), aside.c_str()) == 0) {
        logEvent("rejected command file " + inQuotes(file.filename().string()) + " (" + reason + "), moved to " +
                 inQuotes(aside.filename().string()), platform::LogPriority::warning);
    } else if (removeFile(file)) {
        logEvent("rejected command file " + inQuotes(file.filename().string()) + " (" + reason + "), removed it", platform::LogPriority::warning);
    } else {
        logEvent("rejected command file " + inQuotes(file.filename().string()) + " (" + reason +
                 ") but could neither move nor remove it: " + std::strerror(errno), platform::LogPriority::warning);
    }
}

// Receipts outlive their files by this much, long after any other reader of the directory let go.
constexpr double receiptDays = 7;

void removeHandled(const std::filesystem::path& file) {
    // The receipt stays, so the command is not carried out again; removal is retried next pass.
    if (!removeFile(file))
        logEvent("could not remove handled command file " + inQuotes(file.filename().string()) + ": " +
                 std::strerror(errno), platform::LogPriority::warning);
}

}  // namespace

DrainReport drainCommands(const std::filesystem::path& directory, Ledger& ledger, const AccountState& account, Date now) {
    DrainReport report;

    // Pass 1: collect the waiting files; unreadable or malformed ones are moved aside.
    std::vector<Waiting> waiting;
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(directory, error)) {
        auto name = item.path().filename().string();
        if (!isCommandFileName(name)) continue;
        auto bytes = platform::readRegularFile(item.path(), maxCommandBytes);
        if (!bytes) {
            struct stat info {};
            if (::lstat(item.path().c_str(), &info) != 0 && errno == ENOENT) continue;  // taken away meanwhile
            moveAside(item.path(), "not a readable regular file of at most 64 KiB");
            ++report.rejected;
            continue;
        }
        auto command = WidgetCommand::decode(*bytes);
        if (!command) {
            moveAside(item.path(), "not a valid command document");
            ++report.rejected;
            continue;
        }
        waiting.push_back({name, *command, modifiedNanoseconds(item.path())});
    }
    if (error) logEvent("could not list " + inQuotes(directory.string()) + ": " + error.message(), platform::LogPriority::warning);

    // Pass 2: carry the commands out oldest first. Equal issue times keep the order of arrival. A
    // command the ledger cannot take now holds back the later ones, so they never overtake it.
    std::sort(waiting.begin(), waiting.end(), [](const Waiting& a, const Waiting& b) {
        return std::tie(a.command.issuedAt, a.modifiedNs, a.fileName) < std::tie(b.command.issuedAt, b.modifiedNs, b.fileName);
    });
    for (std::size_t i = 0; i < waiting.size(); ++i) {
        const auto& item = waiting[i];
        std::optional<Outcome> outcome;
        try {
            ledger.transaction([&] {
                if (ledger.claim(item.fileName, now)) outcome = carryOut(ledger, item.command, account, now);
            });
        } catch (const std::exception& failure) {
            // Left in place with the ones after it: the next pass tries again in the same order.
            logEvent("could not carry out " + inQuotes(item.fileName) + ": " + failure.what(), platform::LogPriority::warning);
            ++report.failed;
            report.heldBack = static_cast<int>(waiting.size() - i - 1);
            break;
        }
        if (outcome) {
            ++report.carriedOut;
            logEvent("command " + inQuotes(item.fileName) + " (" + std::string(toString(item.command.action)) +
                     "): " + std::string(describe(*outcome)));
        } else {
            logEvent("removing command file " + inQuotes(item.fileName) + ", already carried out");
        }
        removeHandled(directory / item.fileName);
    }

    try {
        ledger.forgetReceiptsBefore(now.addingSeconds(-receiptDays * 86400));
    } catch (const std::exception& failure) {
        logEvent(std::string("could not drop old receipts: ") + failure.what(), platform::LogPriority::warning);
    }
    return report;
}

}  // namespace kelvo::app
