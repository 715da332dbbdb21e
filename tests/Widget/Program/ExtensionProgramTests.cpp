// The extension program as the widget host sees it: JSON-RPC lines in, answers out.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <ctime>
#include <set>
#include <sstream>
#include <thread>

#include <nlohmann/json.hpp>

#include "Platform/System/Calendar.hpp"
#include "Platform/System/Files.hpp"
#include "Platform/System/Uuid.hpp"
#include "Platform/System/detail/Bus.hpp"
#include "Platform/Widgets/Protocol.hpp"
#include "tests/Widget/support/TestContainer.hpp"
#include "tests/support/FakeHost.hpp"
#include "tests/support/PrivateBus.hpp"

namespace kelvo {
namespace {

using nlohmann::json;

struct Run {
    std::vector<json> answers;
    std::vector<std::size_t> lineSizes;
    int status = -1;
};

// Starts the program with `env` added, feeds it `input` and collects every answer line.
Run runProgram(const std::string& input, const std::vector<std::string>& env,
               const std::string& program = KELVO_WIDGET_PROGRAM) {
    int in[2], out[2];
    EXPECT_EQ(pipe(in), 0);
    EXPECT_EQ(pipe(out), 0);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        close(in[1]);
        close(out[0]);
        for (const auto& assignment : env) putenv(const_cast<char*>(assignment.c_str()));
        execl(program.c_str(), program.c_str(), nullptr);
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    std::thread writer([&] {
        size_t written = 0;
        while (written < input.size()) {
            ssize_t n = write(in[1], input.data() + written, input.size() - written);
            if (n <= 0) break;
            written += static_cast<size_t>(n);
        }
        close(in[1]);
    });
    std::string output;
    char buffer[65536];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) output.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    writer.join();
    Run run;
    waitpid(pid, &run.status, 0);
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        run.answers.push_back(json::parse(line));
        run.lineSizes.push_back(line.size());
    }
    return run;
}

std::string request(int id, const std::string& method, const json& params = json::object()) {
    return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump() + "\n";
}

class ExtensionProgram : public ::testing::Test {
protected:
    void SetUp() override {
        home = std::filesystem::temp_directory_path() / ("program-test-" + platform::makeUuidString());
        state = home / "group-containers/group.com.kelvo.desktop/com.kelvo.desktop";
        std::filesystem::create_directories(state);
        env = {"XDG_DATA_HOME=" + home.string(), "TZ=Europe/Berlin", "LANGUAGE=", "LC_ALL=C.UTF-8",
               // No session bus: the application counts as not running and reloads go nowhere.
               "DBUS_SESSION_BUS_ADDRESS=unix:path=" + (home / "no-bus").string()};
    }
    void TearDown() override { std::filesystem::remove_all(home); }

    void writeState(const json& doc) const { platform::writeAtomically(state / "state.json", doc.dump()); }

    std::filesystem::path home, state;
    std::vector<std::string> env;
};

TEST_F(ExtensionProgram, AnswersATimelineWithNowAndTheNextMidnight) {
    json doc = testing::minimalSnapshot();
    doc["appRunning"] = false;
    writeState(doc);
    double before = static_cast<double>(std::time(nullptr)) * 1000;
    auto run = runProgram(request(1, "getTimeline", {{"family", "systemSmall"}, {"isPreview", false}}), env);
    double after = static_cast<double>(std::time(nullptr) + 1) * 1000;

    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
    ASSERT_EQ(run.answers.size(), 1u);
    const json& result = run.answers[0]["result"];
    ASSERT_EQ(result["entries"].size(), 2u);
    double now = result["entries"][0]["date"];
    EXPECT_GE(now, before);
    EXPECT_LE(now, after);

    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    auto calendar = platform::Calendar::system();
    double midnight = calendar.startOfDay(*calendar.dateByAddingDays(1, calendar.startOfDay(
                                                                       platform::Date::fromMilliseconds(now))))
                          .millisecondsSince1970;
    EXPECT_EQ(result["entries"][1]["date"], midnight);
    EXPECT_EQ(result["policy"], (json{{"kind", "after"}, {"date", midnight}}));
    EXPECT_EQ(result["entries"][0]["content"], doc);
    EXPECT_EQ(result["entries"][1]["content"], doc);
    EXPECT_TRUE(std::filesystem::exists(state / "active"));
}

// Large snapshots the widget reads give answers the host takes: a long recent list (10 MB, more
// than one answer line can carry twice) shows its first rows; a running entry with a 4 MB name,
// which the medium view shows as text and as labels in each of its entries, and a recent entry with
// a 3.5 MB name show their start.
TEST_F(ExtensionProgram, LargeSnapshotsGiveAnswersTheHostTakes) {
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + platform::test::PrivateBus::ofProcess().address());
    auto application = platform::detail::openUserBus();  // the application runs while this owns its name
    ASSERT_TRUE(application);
    platform::detail::BusError error;
    platform::detail::BusMessage reply;
    ASSERT_GE(platform::detail::sdbus::call_method(application.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                   "org.freedesktop.DBus", "RequestName", &error.value, reply.out(),
                                                   "su", "com.kelvo.desktop", 0u),
              0);
    struct Case {
        const char* name;
        std::function<void(json&)> fill;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"a long recent list",
         [](json& doc) {
             const std::string padding(200, '.');
             for (int i = 0; i < 43000; ++i)
                 doc["recent"].push_back({{"id", std::to_string(i)}, {"name", "Entry " + std::to_string(i) + padding}});
         },
         {"Entry 0.", "Entry 1.", "Entry 2."}},
        {"a long running name",
         [](json& doc) {
             doc["running"] = {{"name", "Long name " + std::string(4'000'000, 'x')}, {"startTime", 1796760000000}};
         },
         {"Long name xxx"}},
        {"a long recent name",
         [](json& doc) {
             doc["recent"].push_back({{"id", "1"}, {"name", "Long name " + std::string(3'500'000, 'x')}});
         },
         {"Long name xxx"}},
    };
    for (const auto& c : cases) {
        json doc = testing::minimalSnapshot();
        c.fill(doc);
        writeState(doc);
        ASSERT_GT(std::filesystem::file_size(state / "state.json"), 3'500'000u) << c.name;

        auto run = runProgram(request(1, "getTimeline", {{"family", "systemMedium"}}), env);
        ASSERT_EQ(run.answers.size(), 1u) << c.name;
        EXPECT_LE(run.lineSizes[0], platform::protocol::maxAnswerBytes) << c.name;
        auto timeline = platform::protocol::decodeTimeline(run.answers[0]["result"]);
        ASSERT_TRUE(timeline) << c.name << ": " << run.answers[0].dump().substr(0, 200);
        ASSERT_EQ(timeline->entries.size(), 2u) << c.name;
        for (const auto& entry : timeline->entries) {
            ASSERT_TRUE(entry.view) << c.name;
            auto view = entry.view->dump();
            for (const auto& text : c.shown) EXPECT_NE(view.find(text), std::string::npos) << c.name << ": " << text;
        }
    }
}

TEST_F(ExtensionProgram, UnfitSnapshotGivesNullContent) {
    writeState(json{{"updatedAt", "yesterday"}});
    auto run = runProgram(request(7, "getTimeline"), env);
    ASSERT_EQ(run.answers.size(), 1u);
    EXPECT_TRUE(run.answers[0]["result"]["entries"][0]["content"].is_null());
    EXPECT_EQ(run.answers[0]["id"], 7);
}

TEST_F(ExtensionProgram, MalformedRequestsGetErrorsAndTheLoopGoesOn) {
    std::string input = "not json\n"
                        "[1, 2]\n"
                        "{\"jsonrpc\": \"2.0\", \"id\": 3}\n"
                        "\n" +
                        request(4, "noSuchMethod") + request(5, "getTimeline", {{"family", "systemHuge"}}) +
                        request(6, "getTimeline", {{"isPreview", "yes"}}) +
                        request(7, "perform", {{"intent", "NoSuchIntent"}}) +
                        request(8, "perform", {{"intent", "StartRecentIntent"}, {"parameters", {{"project", "P"}}}}) +
                        "{\"jsonrpc\": \"2.0\", \"id\": 9, \"method\": \"getSnapshot\", \"params\": 3}\n" +
                        request(10, "describe");
    // A NUL ends nothing early; nesting too deep to copy safely is refused, as a request when it is
    // JSON and as text that is not when it is not; ids must be scalars.
    input += std::string("{\"jsonrpc\": \"2.0\", \"id\": 11, \"method\": \"describe\"}") + '\0' + "}\n" +
             "{\"jsonrpc\": \"2.0\", \"id\": 12, \"method\": \"describe\", \"params\": {\"a\": " +
             std::string(60000, '[') + std::string(60000, ']') + "}}\n" + std::string(60000, '[') + "\n";
    for (const char* id : {"{}", "[1]", "true"})
        input += std::string("{\"jsonrpc\": \"2.0\", \"id\": ") + id + ", \"method\": \"describe\"}\n";
    // A line past the 4 MB limit is refused as a whole; a last line needs no newline.
    input += "{\"jsonrpc\": \"2.0\", \"id\": 13, \"method\": \"describe\"" + std::string(5 << 20, ' ') + "}\n";
    input += request(14, "describe");
    input.pop_back();
    auto run = runProgram(input, env);
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
    ASSERT_EQ(run.answers.size(), 18u);
    // Intents answer from threads of their own, so answers are matched by id, not by order.
    std::multimap<json, json> byId;
    for (const auto& answer : run.answers) byId.emplace(answer["id"], answer);
    const std::vector<std::pair<json, int>> codes = {
        {nullptr, -32700}, {nullptr, -32600}, {3, -32600}, {4, -32601},
        {5, -32602},       {6, -32602},       {7, -32602}, {8, -32602}, {9, -32602},
        {nullptr, -32700}, {nullptr, -32600}, {nullptr, -32700}, {nullptr, -32600}, {nullptr, -32600},
        {nullptr, -32600}, {nullptr, -32600}};
    for (const auto& [id, code] : codes) {
        auto range = byId.equal_range(id);
        ASSERT_NE(range.first, range.second) << id;
        EXPECT_EQ(range.first->second["error"]["code"], code) << range.first->second;
        byId.erase(range.first);
    }
    ASSERT_EQ(byId.count(10), 1u);
    EXPECT_EQ(byId.count(14), 1u);
    EXPECT_TRUE(std::filesystem::is_empty(state));  // no command for an unfit intent
    const json& widget = byId.find(10)->second["result"]["widgets"][0];
    EXPECT_EQ(widget["kind"], "TimerWidget");
    EXPECT_EQ(widget["supportedFamilies"], json::array({"systemSmall", "systemMedium"}));
    EXPECT_EQ(widget["displayName"], "Timer");
    EXPECT_EQ(widget["description"], "See your running timer and start tracking from your desktop.");
}

// The program knows itself by the manifest beside it, wherever it is installed: here under a path
// longer than the first buffers its own path is read into.
TEST_F(ExtensionProgram, FindsItsManifestFromADeepDirectory) {
    auto directory = home / std::string(120, 'd') / std::string(120, 'e') / std::string(120, 'f');
    std::filesystem::create_directories(directory);
    std::filesystem::path program = KELVO_WIDGET_PROGRAM;
    std::filesystem::copy_file(program, directory / "KelvoWidget");
    std::filesystem::copy_file(program.string() + ".bundle.json", directory / "KelvoWidget.bundle.json");
    auto run = runProgram(request(1, "describe"), env, (directory / "KelvoWidget").string());
    ASSERT_EQ(run.answers.size(), 1u);
    EXPECT_EQ(run.answers[0]["result"]["bundleIdentifier"], "com.kelvo.desktop.widget");
}

TEST_F(ExtensionProgram, GalleryFallsBackToTheTranslatedSample) {
    env.push_back("LANGUAGE=de");
    auto run = runProgram(request(1, "getSnapshot", {{"isPreview", true}}) + request(2, "describe"), env);
    ASSERT_EQ(run.answers.size(), 2u);
    const json& sample = run.answers[0]["result"]["content"];
    EXPECT_EQ(sample["running"]["name"], "Design-Review");
    EXPECT_EQ(sample["strings"]["startTracking"], "Zeiterfassung starten");
    EXPECT_EQ(run.answers[1]["result"]["widgets"][0]["displayName"], "Timer");
}

// A hundred presses at once: a hundred complete command files, and every answer comes before exit.
TEST_F(ExtensionProgram, SimultaneousPerformsAllFinishBeforeExit) {
    writeState(testing::minimalSnapshot());
    std::string input;
    for (int i = 0; i < 100; ++i)
        input += request(i, "perform", {{"intent", "StartRecentIntent"},
                                        {"parameters", {{"name", "Entry " + std::to_string(i)}, {"project", nullptr}}}});
    // The application reacts once all commands are there, so the watches end early.
    std::jthread application([&](std::stop_token stop) {
        while (!stop.stop_requested()) {
            std::error_code error;
            auto files = std::distance(std::filesystem::directory_iterator(state / "commands", error),
                                       std::filesystem::directory_iterator());
            if (!error && files == 100) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        json doc = testing::minimalSnapshot();
        doc["updatedAt"] = 1796760009999;
        writeState(doc);
    });
    auto run = runProgram(input, env);
    application.request_stop();
    EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0);
    ASSERT_EQ(run.answers.size(), 100u);
    std::set<int> ids;
    for (const auto& answer : run.answers) {
        EXPECT_EQ(answer["result"], json::object());
        ids.insert(answer["id"].get<int>());
    }
    EXPECT_EQ(ids.size(), 100u);
    std::set<std::string> names;
    for (const auto& file : std::filesystem::directory_iterator(state / "commands")) {
        ASSERT_EQ(file.path().extension(), ".json");
        json command = json::parse(*platform::readRegularFile(file.path(), 4096));
        EXPECT_EQ(command["action"], "startRecent");
        EXPECT_FALSE(command.contains("project"));
        names.insert(command["name"]);
    }
    EXPECT_EQ(names.size(), 100u);
}

// A press that the application never answers ends, after the watch, in exactly one reload request
// to the widget host; one that it answers in time ends without any.
TEST_F(ExtensionProgram, UnansweredPressAsksTheHostForOneReload) {
    platform::test::PrivateBus& bus = platform::test::PrivateBus::ofProcess();
    env.push_back("DBUS_SESSION_BUS_ADDRESS=" + bus.address());
    platform::test::FakeHost host(R"({"widgets": []})");
    writeState(testing::minimalSnapshot());

    auto unanswered = runProgram(request(1, "perform", {{"intent", "StartTrackingIntent"}}), env);
    ASSERT_EQ(unanswered.answers.size(), 1u);
    EXPECT_EQ(unanswered.answers[0]["result"], json::object());
    EXPECT_EQ(host.waitForReloads(1, std::chrono::seconds(5)), std::vector<std::string>{"com.kelvo.desktop.widget"});

    std::jthread application([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        json doc = testing::minimalSnapshot();
        doc["updatedAt"] = 1796760000500;
        writeState(doc);
    });
    auto answered = runProgram(request(2, "perform", {{"intent", "StopTrackingIntent"}}), env);
    ASSERT_EQ(answered.answers.size(), 1u);
    EXPECT_EQ(host.reloadRequests().size(), 1u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(state / "commands"), std::filesystem::directory_iterator()), 2);
}

}  // namespace
}  // namespace kelvo
