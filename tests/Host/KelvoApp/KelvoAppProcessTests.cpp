// Starts the real kelvo-app on a private session bus against a temporary data directory.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>

#include "Platform/System/Files.hpp"
#include "Platform/System/RunningApplications.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"
#include "Widget/Store/WidgetCommand.hpp"
#include "tests/Host/KelvoApp/TestDirectory.hpp"
#ifdef KELVO_APP_HAS_BRIDGE
#include "tests/support/FakeHost.hpp"
#endif

extern char** environ;

namespace kelvo::app {
namespace {

using namespace std::chrono_literals;

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 5s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

/// A child process with its standard error in a log file and, if asked, its output on a pipe.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& environment,
          const std::filesystem::path& log, bool pipeOutput = false) {
        int fds[2] = {-1, -1};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (pipeOutput) {
            if (::pipe2(fds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
            posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        } else {
            posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        }
        std::vector<char*> args, env;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        for (const auto& e : environment) env.push_back(const_cast<char*>(e.c_str()));
        env.push_back(nullptr);
        int r = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), env.data());
        posix_spawn_file_actions_destroy(&actions);
        if (pipeOutput) {
            ::close(fds[1]);
            output_ = fds[0];
        }
        if (r != 0) throw std::runtime_error("cannot start " + argv[0]);
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (output_ >= 0) ::close(output_);
    }

    /// The first line of output.
    std::string readLine() {
        std::string line;
        char c;
        while (::read(output_, &c, 1) == 1 && c != '\n') line.push_back(c);
        return line;
    }

    /// The exit status, or nothing when the process still runs after the timeout.
    std::optional<int> wait(std::chrono::milliseconds timeout = 5s) {
        int status = 0;
        bool done = waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!done) return std::nullopt;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    void signal(int s) const { ::kill(pid_, s); }

private:
    pid_t pid_ = -1;
    int output_ = -1;
};

class KelvoAppProcessTests : public ::testing::Test {
protected:
    test::TestDirectory directory;
    std::filesystem::path log = directory / "kelvo-app.log";
    std::filesystem::path groupRoot = directory / "group-containers" / "group.com.kelvo.desktop";
    std::filesystem::path hostDirectory = groupRoot / "com.kelvo.desktop";
    std::unique_ptr<Child> bus;
    std::vector<std::string> environment;

    void SetUp() override {
        // A bus of this test's own: no other test's application can hold the name.
        bus = std::make_unique<Child>(std::vector<std::string>{"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"},
                                      std::vector<std::string>{}, directory / "bus.log", true);
        std::string address = bus->readLine();
        ASSERT_FALSE(address.empty()) << platform::readRegularFile(directory / "bus.log", 1 << 20).value_or("");
        ::setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), 1);
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (!entry.starts_with("XDG_DATA_HOME=") && !entry.starts_with("KELVO_WIDGET_BRIDGE_LIBRARY="))
                environment.push_back(entry);
        }
        environment.push_back("XDG_DATA_HOME=" + directory.path().string());
    }

    void TearDown() override {
        if (HasFailure()) std::cerr << "kelvo-app log:\n" << platform::readRegularFile(log, 1 << 20).value_or("(none)");
    }

    std::unique_ptr<Child> start(std::vector<std::string> arguments = {}, bool pipeOutput = false) {
        arguments.insert(arguments.begin(), KELVO_APP_EXECUTABLE);
#ifndef KELVO_APP_HAS_BRIDGE
        arguments.push_back("--container=" + (directory / "group-containers" / "group.com.kelvo.desktop").string());
#endif
        return std::make_unique<Child>(arguments, environment, log, pipeOutput);
    }

    std::optional<WidgetSnapshot> state() const {
        auto bytes = platform::readRegularFile(hostDirectory / "state.json", 1 << 20);
        return bytes ? WidgetSnapshot::decode(*bytes) : std::nullopt;
    }

    void drop(const std::string& name, WidgetCommand::Action action, double secondsAgo) {
        auto commands = hostDirectory / "commands";
        std::filesystem::create_directories(commands);
        auto issuedAt = std::chrono::duration<double, std::milli>(std::chrono::system_clock::now().time_since_epoch()).count() -
                        secondsAgo * 1000;
        WidgetCommand command{action, std::nullopt, std::nullopt, platform::Date::fromMilliseconds(issuedAt)};
        ASSERT_TRUE(platform::writeAtomically(commands / name, command.encode()));
    }

    bool commandsEmpty() const { return std::filesystem::is_empty(hostDirectory / "commands"); }
};

TEST_F(KelvoAppProcessTests, CarriesOutWaitingAndNewCommandsAndSignsOffOnExit) {
    // Step 1: a command written while the application was not running is taken at start.
    drop("6F1D3C1A-0000-4000-8000-000000000001.json", WidgetCommand::Action::start, 2);
    auto app = start();
    ASSERT_TRUE(waitUntil([&] { auto s = state(); return s && s->appRunning && s->running; }));
    EXPECT_TRUE(commandsEmpty());
    EXPECT_TRUE(platform::RunningApplications::isRunning("com.kelvo.desktop"));

    // Step 2: a command dropped while it runs changes the state with a new updatedAt.
    auto before = state()->updatedAt;
    drop("6F1D3C1A-0000-4000-8000-000000000002.json", WidgetCommand::Action::stop, 0);
    ASSERT_TRUE(waitUntil([&] { auto s = state(); return s && !s->running && s->updatedAt != before; }));
    auto after = state();
    EXPECT_GT(after->updatedAt, before);
    EXPECT_FALSE(after->running);
    ASSERT_TRUE(after->today);
    EXPECT_GT(after->today->baseSeconds, 0);
    EXPECT_TRUE(waitUntil([&] { return commandsEmpty(); }));

    // Step 3: a clean stop says so in the state and gives the name back.
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(), 0);
    auto last = state();
    ASSERT_TRUE(last);
    EXPECT_FALSE(last->appRunning);
    EXPECT_GT(last->updatedAt, after->updatedAt);
    EXPECT_FALSE(platform::RunningApplications::isRunning("com.kelvo.desktop"));
}

TEST_F(KelvoAppProcessTests, TheLedgerSurvivesARestart) {
    auto first = start({"--demo"});
    ASSERT_TRUE(waitUntil([&] { auto s = state(); return s && s->appRunning; }));
    first->signal(SIGINT);
    ASSERT_EQ(first->wait(), 0);
    auto stopped = state()->updatedAt;

    auto second = start();
    ASSERT_TRUE(waitUntil([&] { auto s = state(); return s && s->appRunning; }));
    auto s = state();
    EXPECT_GT(s->updatedAt, stopped);
    ASSERT_EQ(s->recent.size(), 3u);
    EXPECT_EQ(s->recent[0].name, "Design review");
    EXPECT_TRUE(std::filesystem::exists(directory / "kelvo-app" / "ledger.sqlite"));
    second->signal(SIGTERM);
    EXPECT_EQ(second->wait(), 0);
}

TEST_F(KelvoAppProcessTests, ASecondInstanceRefusesToRun) {
    auto first = start();
    ASSERT_TRUE(waitUntil([&] { return platform::RunningApplications::isRunning("com.kelvo.desktop"); }));
    // Same ledger (whatever the bus), or the same bus with a ledger of its own.
    const std::pair<std::vector<std::string>, const char*> seconds[] = {
        {{}, "another kelvo-app uses the ledger"},
        {{"--ledger=" + (directory / "own.sqlite").string()}, "another program owns com.kelvo.desktop"},
    };
    for (const auto& [arguments, message] : seconds) {
        auto second = start(arguments);
        EXPECT_EQ(second->wait(), 1);
        EXPECT_NE(platform::readRegularFile(log, 1 << 20).value_or("").find(message), std::string::npos) << message;
    }
    EXPECT_TRUE(platform::RunningApplications::isRunning("com.kelvo.desktop"));
    first->signal(SIGTERM);
    EXPECT_EQ(first->wait(), 0);
}

#ifdef KELVO_APP_HAS_BRIDGE
TEST_F(KelvoAppProcessTests, ReachesTheWidgetHostThroughTheBridge) {
    platform::test::FakeHost host(R"({"widgets": [
        {"id": "1", "extension": "com.kelvo.desktop.widget", "kind": "TimerWidget", "family": "systemSmall"},
        {"id": "2", "extension": "com.kelvo.desktop.widget", "kind": "TimerWidget", "family": "systemMedium"},
        {"id": "3", "extension": "com.kelvo.desktop.widget", "kind": "OtherWidget", "family": "systemSmall"}]})");
    auto app = start({}, true);
    EXPECT_EQ(app->readLine(), "Placed TimerWidget widgets: 2");
    // The first snapshot was followed by a reload; so is the one after a command.
    EXPECT_EQ(host.waitForReloads(1, 5s), std::vector<std::string>{"com.kelvo.desktop"});
    drop("6F1D3C1A-0000-4000-8000-000000000003.json", WidgetCommand::Action::start, 0);
    EXPECT_EQ(host.waitForReloads(2, 5s).size(), 2u);
    app->signal(SIGTERM);
    EXPECT_EQ(app->wait(), 0);
    EXPECT_EQ(host.waitForReloads(3, 5s).size(), 3u);
}
#endif

// Opened through a kelvo: link (the desktop entry's scheme handler): the running instance comes
// forward and no second copy runs; with none running, the program starts and comes forward itself.
TEST_F(KelvoAppProcessTests, ALinkBringsTheRunningInstanceForward) {
    auto first = start();
    ASSERT_TRUE(waitUntil([&] { return platform::RunningApplications::isRunning("com.kelvo.desktop"); }));
    auto opened = start({"kelvo://timer"});
    EXPECT_EQ(opened->wait(), 0);
    auto text = [&] { return platform::readRegularFile(log, 1 << 20).value_or(""); };
    EXPECT_TRUE(waitUntil([&] { return text().find("brought forward to open kelvo://timer") != std::string::npos; }));
    EXPECT_EQ(text().find("another program owns"), std::string::npos);
    // Refused before anything is asked, saying why.
    const std::pair<const char*, const char*> refused[] = {
        {"https://example.com/", "not a kelvo: link"},
        {"kelvo://timer/\xff", "must be UTF-8"},
    };
    for (const auto& [link, why] : refused) {
        EXPECT_EQ(start({link})->wait(), 2) << link;
        EXPECT_NE(text().find(why), std::string::npos) << why;
    }
    first->signal(SIGTERM);
    EXPECT_EQ(first->wait(), 0);

    auto alone = start({"kelvo://timer"});
    ASSERT_TRUE(waitUntil([&] { return platform::RunningApplications::isRunning("com.kelvo.desktop"); }));
    alone->signal(SIGTERM);
    EXPECT_EQ(alone->wait(), 0);
    auto lines = text();
    auto firstOpen = lines.find("brought forward to open kelvo://timer");
    EXPECT_NE(lines.find("brought forward to open kelvo://timer", firstOpen + 1), std::string::npos);
}

}  // namespace
}  // namespace kelvo::app
