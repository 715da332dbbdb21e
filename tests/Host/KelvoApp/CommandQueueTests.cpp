#include "Host/KelvoApp/CommandQueue.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "Platform/System/Files.hpp"
#include "tests/Host/KelvoApp/TestDirectory.hpp"

namespace kelvo::app {
namespace {

constexpr double base = 1717970400;  // some midnight
Date at(double minutes) { return Date::fromSeconds(base + minutes * 60); }

WidgetCommand command(WidgetCommand::Action action, double minutes, std::optional<std::string> name = std::nullopt,
                      std::optional<std::string> project = std::nullopt) {
    return WidgetCommand{action, std::move(name), std::move(project), at(minutes)};
}

class CommandQueueTests : public ::testing::Test {
protected:
    test::TestDirectory directory;
    std::filesystem::path commands = directory / "commands";
    Ledger ledger = Ledger::open(directory / "ledger.sqlite");
    AccountState account;

    void SetUp() override { std::filesystem::create_directory(commands); }

    // As the widget does it: a temporary name first, then a rename.
    void drop(const std::string& fileName, const std::string& bytes) {
        ASSERT_TRUE(platform::writeAtomically(commands / fileName, bytes));
    }
    void drop(const std::string& fileName, const WidgetCommand& c) { drop(fileName, c.encode()); }

    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& item : std::filesystem::directory_iterator(commands)) names.push_back(item.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    DrainReport drain(double nowMinutes = 600) { return drainCommands(commands, ledger, account, at(nowMinutes)); }
};

TEST_F(CommandQueueTests, CarriesCommandsOutInIssueOrderAndRemovesTheirFiles) {
    // The file names sort against the issue order, so that order must come from issuedAt.
    drop("C.json", command(WidgetCommand::Action::start, 10));
    drop("B.json", command(WidgetCommand::Action::stop, 40));
    drop("A.json", command(WidgetCommand::Action::startRecent, 50, "Sprint planning", "Mobile app"));

    auto report = drain();
    EXPECT_EQ(report.carriedOut, 3);
    EXPECT_EQ(report.rejected, 0);
    EXPECT_TRUE(report.changed());
    EXPECT_TRUE(files().empty());

    // start at 10, stopped at 40, then the recent entry from 50 on.
    EXPECT_DOUBLE_EQ(ledger.trackedSeconds(at(0), at(24 * 60)), 30 * 60);
    auto running = ledger.running();
    ASSERT_TRUE(running);
    EXPECT_EQ(running->name, "Sprint planning");
    EXPECT_EQ(running->project, "Mobile app");
    EXPECT_EQ(running->start, at(50));
}

TEST_F(CommandQueueTests, MalformedFilesAreMovedAsideWithoutHoldingUpTheOthers) {
    const std::pair<const char*, std::string> malformed[] = {
        {"not-json.json", "start"},
        {"empty.json", ""},
        {"unknown-action.json", R"({"action":"pause","issuedAt":1})"},
        {"no-time.json", R"({"action":"start"})"},
        {"time-as-text.json", R"({"action":"stop","issuedAt":"1717970400000"})"},
        {"name-as-number.json", R"({"action":"startRecent","name":7,"issuedAt":1})"},
        {"array.json", R"([{"action":"start","issuedAt":1}])"},
        {"huge.json", std::string(200 * 1024, ' ') + R"({"action":"start","issuedAt":1})"},
    };
    for (const auto& [name, bytes] : malformed) drop(name, bytes);
    std::filesystem::create_directory(commands / "folder.json");
    drop("good.json", command(WidgetCommand::Action::start, 5));

    auto report = drain();
    EXPECT_EQ(report.carriedOut, 1);
    EXPECT_EQ(report.rejected, static_cast<int>(std::size(malformed)) + 1);
    EXPECT_TRUE(ledger.running());
    for (const auto& name : files()) EXPECT_TRUE(name.ends_with(rejectedSuffix)) << name;
    EXPECT_EQ(files().size(), std::size(malformed) + 1);

    // Moved aside means out of the way: a second pass finds nothing to do.
    auto again = drain();
    EXPECT_EQ(again.carriedOut + again.rejected + again.failed, 0);
}

TEST_F(CommandQueueTests, OnlyJsonFilesAreCommands) {
    drop("pending.json.tmp", command(WidgetCommand::Action::start, 1).encode());
    drop(".hidden.tmp", command(WidgetCommand::Action::start, 1).encode());
    drop("old.json.rejected", "junk");

    auto report = drain();
    EXPECT_EQ(report.carriedOut + report.rejected, 0);
    EXPECT_FALSE(ledger.running());
    EXPECT_EQ(files().size(), 3u);
}

TEST_F(CommandQueueTests, ACommandIsCarriedOutOnceWhoeverSeesItsFile) {
    // Another application on the same ledger read the files before this one took and removed them,
    // or this one stopped between a commit and a removal: either way the files are seen again.
    Ledger other = Ledger::open(ledger.file());
    drop("A.json", command(WidgetCommand::Action::start, 10));
    drop("B.json", command(WidgetCommand::Action::startRecent, 20, "Review"));
    auto bytes = [&](const char* name) { return *platform::readRegularFile(commands / name, 1 << 16); };
    std::pair<std::string, std::string> seen[] = {{"A.json", bytes("A.json")}, {"B.json", bytes("B.json")}};
    EXPECT_EQ(drain().carriedOut, 2);
    for (const auto& [name, content] : seen) drop(name, content);

    auto report = drainCommands(commands, other, account, at(600));
    EXPECT_EQ(report.carriedOut, 0);
    EXPECT_FALSE(report.changed());
    EXPECT_TRUE(files().empty());
    // Carried out again, the first start would have ended "Review" and begun an entry of its own.
    EXPECT_EQ(ledger.trackedSeconds(at(0), at(24 * 60)), 10 * 60);
    EXPECT_EQ(ledger.running()->name, "Review");

    // Receipts go after a week, long after any file they stand for.
    EXPECT_TRUE(ledger.hasReceipt("A.json"));
    drainCommands(commands, ledger, account, at(8 * 24 * 60));
    EXPECT_FALSE(ledger.hasReceipt("A.json"));
}

TEST_F(CommandQueueTests, ACommandTheLedgerCannotTakeHoldsBackTheLaterOnes) {
    ledger.start("A", std::nullopt, at(0));
    ledger = Ledger::open(ledger.file(), std::chrono::milliseconds(0));
    drop("1.json", command(WidgetCommand::Action::stop, 10));
    drop("2.json", command(WidgetCommand::Action::startRecent, 20, "B"));

    {
        // Another process holds the write lock.
        Ledger locker = Ledger::open(ledger.file());
        locker.transaction([&] {
            auto report = drain();
            EXPECT_EQ(report.carriedOut, 0);
            EXPECT_EQ(report.failed, 1);
            EXPECT_EQ(report.heldBack, 1);
        });
    }
    EXPECT_EQ(drain().carriedOut, 2);
    EXPECT_TRUE(files().empty());
    ASSERT_TRUE(ledger.running());
    EXPECT_EQ(ledger.running()->name, "B");
}

TEST_F(CommandQueueTests, RefusedCommandsAreConsumedAndStillCountAsAnswered) {
    account.loggedIn = false;
    drop("A.json", command(WidgetCommand::Action::start, 10));

    auto report = drain();
    EXPECT_EQ(report.carriedOut, 1);
    EXPECT_TRUE(report.changed());
    EXPECT_TRUE(files().empty());
    EXPECT_FALSE(ledger.running());
}

TEST_F(CommandQueueTests, CommandsWaitingInANewDirectoryAreTakenByAFreshLedger) {
    // Written while the application was down; the next start finds them and the ledger's state.
    drop("1.json", command(WidgetCommand::Action::startRecent, 20, "Weekly sync"));
    drop("2.json", command(WidgetCommand::Action::stop, 65));
    auto file = ledger.file();
    ledger = Ledger::open(directory / "elsewhere.sqlite");
    ledger = Ledger::open(file);

    drain();
    EXPECT_TRUE(files().empty());
    EXPECT_FALSE(ledger.running());
    EXPECT_DOUBLE_EQ(ledger.trackedSeconds(at(0), at(24 * 60)), 45 * 60);
    ASSERT_EQ(ledger.recent(5).size(), 1u);
    EXPECT_EQ(ledger.recent(5)[0].name, "Weekly sync");
}

}  // namespace
}  // namespace kelvo::app
