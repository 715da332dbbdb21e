#include "Host/WidgetHost/ExtensionProcess.hpp"

#include <signal.h>
#include <sys/wait.h>
#include <systemd/sd-event.h>

#include <fstream>

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "ChildSignals.hpp"
#include "FakeTimers.hpp"
#include "Host/WidgetHost/RestartBackoff.hpp"
#include "TempDirectory.hpp"

namespace widgethost {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Status = RpcOutcome::Status;

// Shell helpers for fake extensions: the id and the method of the request just read.
constexpr const char* prelude = R"sh(#!/bin/sh
idof() { printf '%s' "$1" | sed -n 's/.*"id":\([0-9]*\).*/\1/p'; }
methodof() { printf '%s' "$1" | sed -n 's/.*"method":"\([^"]*\)".*/\1/p'; }
)sh";

std::string readText(const std::filesystem::path& file) {
    std::ifstream in(file);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class ExtensionProcessTest : public testing::Test {
protected:
    void SetUp() override {
        prepareForChildren();
        ASSERT_GE(sd_event_new(&loop_), 0);
    }
    void TearDown() override {
        process_.reset();
        sd_event_unref(loop_);
    }

    ExtensionProcess& start(std::string_view body, ExtensionLimits limits = {}) {
        auto program = dir_.write("extension", std::string(prelude) + std::string(body), true);
        process_ = std::make_unique<ExtensionProcess>(loop_, timers_, program, limits, [this](int code, int status) {
            ++endings_;
            endCode_ = code;
            endStatus_ = status;
        });
        auto started = process_->start();
        EXPECT_TRUE(started) << started.error().message;
        return *process_;
    }

    // Sends a request whose outcome lands in `outcomes` under `name`.
    void send(std::string_view method, std::chrono::milliseconds timeout = 5s) {
        std::string name(method);
        EXPECT_TRUE(process_->send(method, json::object(), timeout,
                                   [this, name](const RpcOutcome& outcome) { outcomes_.emplace_back(name, outcome); }));
    }

    bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            sd_event_run(loop_, 10'000);
        }
        return true;
    }

    TempDirectory dir_;
    FakeTimers timers_{platform::Date::fromSeconds(1e9)};
    sd_event* loop_ = nullptr;
    std::unique_ptr<ExtensionProcess> process_;
    std::vector<std::pair<std::string, RpcOutcome>> outcomes_;
    int endings_ = 0, endCode_ = 0, endStatus_ = 0;
};

TEST_F(ExtensionProcessTest, AnswersFindTheirRequestsInWhateverOrderTheyCome) {
    start(R"sh(
read -r first; read -r second
printf '{"jsonrpc":"2.0","id":%s,"result":"%s"}\n' "$(idof "$second")" "$(methodof "$second")"
printf '{"jsonrpc":"2.0","id":%s,"result":"%s"}\n' "$(idof "$first")" "$(methodof "$first")"
cat >/dev/null
)sh");
    send("one");
    send("two");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() == 2; }));
    for (const auto& [name, outcome] : outcomes_) {
        ASSERT_EQ(outcome.status, Status::answered) << name;
        EXPECT_EQ(*outcome.result, name);
    }
    EXPECT_EQ(outcomes_[0].first, "two");
    EXPECT_EQ(process_->waitingRequests(), 0u);
}

TEST_F(ExtensionProcessTest, ErrorsAreReportedWithTheirMessage) {
    start(R"sh(
read -r line
printf '{"jsonrpc":"2.0","id":%s,"error":{"code":-32602,"message":"Unknown family"}}\n' "$(idof "$line")"
cat >/dev/null
)sh");
    send("getTimeline");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() == 1; }));
    EXPECT_EQ(outcomes_[0].second.status, Status::failed);
    EXPECT_EQ(outcomes_[0].second.message, "Unknown family");
}

TEST_F(ExtensionProcessTest, MalformedLinesAreIgnoredAndTheRealAnswerStillCounts) {
    start(R"sh(
read -r line
echo 'not json at all'
echo '[1, 2, 3]'
echo '{"jsonrpc":"2.0","id":"seven","result":1}'
echo '{"jsonrpc":"2.0","id":999,"result":1}'
printf '{"jsonrpc":"2.0","id":%s}\n' "$(idof "$line")"
printf '{"jsonrpc":"2.0","id":%s,"result":{"ok":true}}\n' "$(idof "$line")"
cat >/dev/null
)sh");
    send("describe");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() == 1; }));
    ASSERT_EQ(outcomes_[0].second.status, Status::answered);
    EXPECT_EQ((*outcomes_[0].second.result)["ok"], true);
    EXPECT_TRUE(process_->running());
}

TEST_F(ExtensionProcessTest, OverlongLinesAreDroppedWithoutLosingTheNextAnswer) {
    ExtensionLimits limits;
    limits.maxLineBytes = 1024;
    start(R"sh(
read -r line
head -c 100000 /dev/zero | tr '\0' 'x'; echo
printf '{"jsonrpc":"2.0","id":%s,"result":2}\n' "$(idof "$line")"
cat >/dev/null
)sh",
          limits);
    send("getTimeline");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() == 1; }));
    ASSERT_EQ(outcomes_[0].second.status, Status::answered);
    EXPECT_EQ(*outcomes_[0].second.result, 2);
}

TEST_F(ExtensionProcessTest, ASilentExtensionTimesOutOnceAndALateAnswerIsIgnored) {
    // The first request is answered only after the second one came, and then the second one too.
    start(R"sh(
read -r first
read -r second
printf '{"jsonrpc":"2.0","id":%s,"result":"late"}\n' "$(idof "$first")"
printf '{"jsonrpc":"2.0","id":%s,"result":"second"}\n' "$(idof "$second")"
cat >/dev/null
)sh");
    send("getTimeline", 200ms);
    timers_.advance(199);
    EXPECT_TRUE(outcomes_.empty());
    timers_.advance(1);
    ASSERT_EQ(outcomes_.size(), 1u);
    EXPECT_EQ(outcomes_[0].second.status, Status::timedOut);
    send("second");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() >= 2; }));
    // The late answer completed nothing; the process lives on.
    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[1].first, "second");
    EXPECT_EQ(*outcomes_[1].second.result, "second");
    EXPECT_TRUE(process_->running());
}

TEST_F(ExtensionProcessTest, AnEndingProcessCompletesWhatWaitsAndReportsItsStatus) {
    start(R"sh(
read -r first
printf '{"jsonrpc":"2.0","id":%s,"result":"last words"}\n' "$(idof "$first")"
read -r second
exit 3
)sh");
    send("first");
    send("second");
    ASSERT_TRUE(runUntil([&] { return endings_ == 1; }));
    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[0].second.status, Status::answered);  // written just before the end
    EXPECT_EQ(outcomes_[1].second.status, Status::ended);
    EXPECT_EQ(endCode_, CLD_EXITED);
    EXPECT_EQ(endStatus_, 3);
    EXPECT_FALSE(process_->running());
    EXPECT_FALSE(process_->send("again", json::object(), 1s, [](const RpcOutcome&) {}));
}

TEST_F(ExtensionProcessTest, AnAnswerNestedTooDeepIsMalformedNotACrash) {
    // The deep answer comes before the answer to a second request, which shows it was read.
    start(R"sh(
read -r line
read -r second
printf '{"jsonrpc":"2.0","id":%s,"result":' "$(idof "$line")"
head -c 100000 /dev/zero | tr '\0' '['; head -c 100000 /dev/zero | tr '\0' ']'; echo '}'
printf '{"jsonrpc":"2.0","id":%s,"result":2}\n' "$(idof "$second")"
cat >/dev/null
)sh");
    send("getTimeline", 1s);
    send("second");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() == 1; }));
    EXPECT_EQ(outcomes_[0].first, "second");
    timers_.advance(1000);
    ASSERT_EQ(outcomes_.size(), 2u);
    EXPECT_EQ(outcomes_[1].second.status, Status::timedOut);
}

// Whatever way the extension ends, the processes it started end with it.
TEST_F(ExtensionProcessTest, ChildrenOfTheExtensionEndWithIt) {
    enum class End { crash, kill, destroy };
    for (auto end : {End::crash, End::kill, End::destroy}) {
        auto pidFile = dir_.path() / "child";
        std::filesystem::remove(pidFile);
        start("sleep 300 </dev/null >/dev/null 2>&1 &\necho $! > '" + pidFile.string() + "'\n" +
              (end == End::crash ? "exit 1\n" : "exec cat >/dev/null\n"));
        ASSERT_TRUE(runUntil([&] { return readText(pidFile).size() > 1; }));
        if (end == End::kill) process_->kill();
        if (end == End::destroy)
            process_.reset();
        else
            ASSERT_TRUE(runUntil([&] { return !process_->running(); }));
        pid_t child = std::stoi(readText(pidFile));
        auto gone = [child] {
            std::string stat = readText("/proc/" + std::to_string(child) + "/stat");
            return stat.empty() || stat.find(") Z") != std::string::npos;
        };
        EXPECT_TRUE(runUntil(gone, 2s)) << static_cast<int>(end);
        ::kill(child, SIGKILL);
        process_.reset();
    }
}

TEST_F(ExtensionProcessTest, KillIsReportedAsTheSignal) {
    start("exec sleep 30\n");
    process_->kill();
    ASSERT_TRUE(runUntil([&] { return endings_ == 1; }));
    EXPECT_EQ(endCode_, CLD_KILLED);
    EXPECT_EQ(endStatus_, SIGKILL);
}

TEST_F(ExtensionProcessTest, StopClosesTheInputSoTheExtensionEndsByItself) {
    start("cat >/dev/null\nexit 0\n");
    process_->stop(5s);
    ASSERT_TRUE(runUntil([&] { return endings_ == 1; }, 3s));
    EXPECT_EQ(endCode_, CLD_EXITED);
    EXPECT_EQ(endStatus_, 0);
}

TEST_F(ExtensionProcessTest, StopKillsAnExtensionThatDoesNotEndInTime) {
    start("trap '' TERM\ncat >/dev/null\nexec sleep 30\n");
    process_->stop(200ms);
    timers_.advance(200);
    ASSERT_TRUE(runUntil([&] { return endings_ == 1; }, 3s));
    EXPECT_EQ(endCode_, CLD_KILLED);
}

TEST_F(ExtensionProcessTest, TheChildGetsTheAddressSpaceLimit) {
    ExtensionLimits limits;
    limits.addressSpaceBytes = 300ull << 20;
    start(R"sh(
read -r line
printf '{"jsonrpc":"2.0","id":%s,"result":"%s"}\n' "$(idof "$line")" "$(ulimit -v)"
cat >/dev/null
)sh",
          limits);
    send("limit");
    ASSERT_TRUE(runUntil([&] { return outcomes_.size() == 1; }));
    ASSERT_EQ(outcomes_[0].second.status, Status::answered);
    EXPECT_EQ(*outcomes_[0].second.result, std::to_string(300 * 1024));
}

TEST_F(ExtensionProcessTest, AProgramThatCannotRunFailsToStartWithAReason) {
    auto notProgram = dir_.write("data", "just data");
    ExtensionProcess process(loop_, timers_, notProgram, {}, [](int, int) {});
    auto started = process.start();
    ASSERT_FALSE(started);
    EXPECT_NE(started.error().message.find("Permission denied"), std::string::npos) << started.error().message;
    EXPECT_FALSE(process.running());
}

TEST(RestartBackoff, DoublesFromHalfASecondUpToThirtySeconds) {
    const std::pair<unsigned, long> cases[] = {{0, 500}, {1, 500}, {2, 1000}, {3, 2000}, {6, 16000}, {7, 30000},
                                               {40, 30000}, {~0u, 30000}};
    for (auto [failures, ms] : cases) EXPECT_EQ(restartDelay(failures).count(), ms) << failures;
}

}  // namespace
}  // namespace widgethost
