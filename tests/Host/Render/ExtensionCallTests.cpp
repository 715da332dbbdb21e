#include "Host/Render/ExtensionCall.hpp"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace widgetrender {
namespace {

using namespace std::chrono_literals;

// Small shell programs that stand in for extensions behaving well and badly.
class ExtensionCall : public ::testing::Test {
protected:
    std::filesystem::path directory;

    void SetUp() override {
        std::random_device random;
        directory = std::filesystem::temp_directory_path() / ("widget-render-test-" + std::to_string(random()));
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path program(const std::string& name, const std::string& body) {
        auto path = directory / name;
        std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
        ::chmod(path.c_str(), 0755);
        return path;
    }

    std::string failureOf(const std::filesystem::path& extension, std::chrono::milliseconds timeout = 5s) {
        try {
            callExtension(extension, "placeholder", {{"family", "systemSmall"}}, timeout);
        } catch (const CallError& e) {
            return e.message;
        }
        return "";
    }
};

TEST_F(ExtensionCall, SendsOneRequestLineAndReturnsTheResult) {
    // Echoes the method and family of the request it reads back inside its result.
    auto echo = program("echo", "read line; printf '{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":%s}\\n' \"$line\"");
    auto result = callExtension(echo, "getTimeline", {{"family", "systemMedium"}}, 5s);
    EXPECT_EQ(result["method"], "getTimeline");
    EXPECT_EQ(result["params"]["family"], "systemMedium");
    EXPECT_EQ(result["jsonrpc"], "2.0");
}

TEST_F(ExtensionCall, ReportsEveryWayAnExtensionCanFail) {
    EXPECT_NE(failureOf(directory / "missing").find("no extension program"), std::string::npos);
    EXPECT_NE(failureOf(program("error", "read line; echo '{\"jsonrpc\":\"2.0\",\"id\":1,\"error\":{\"code\":-32602,\"message\":\"Unknown family\"}}'"))
                  .find("Unknown family"),
              std::string::npos);
    EXPECT_NE(failureOf(program("garbage", "read line; echo 'hello'")).find("not a JSON object"), std::string::npos);
    EXPECT_NE(failureOf(program("silent", "read line")).find("no answer"), std::string::npos);
    EXPECT_NE(failureOf(program("crash", "read line; echo '{\"id\":1,\"result\":{}}'; exit 3")).find("status 3"),
              std::string::npos);
    EXPECT_NE(failureOf(program("noresult", "read line; echo '{\"id\":1}'")).find("no result"), std::string::npos);
    EXPECT_NE(failureOf(program("otherid", "read line; echo '{\"id\":2,\"result\":{}}'")).find("not ours"),
              std::string::npos);
}

TEST_F(ExtensionCall, GivesUpOnAHangingExtensionAndItsChildren) {
    auto marker = directory / "child-alive";
    auto hang = program("hang", "(sleep 3; touch '" + marker.string() + "') & sleep 30");
    auto started = std::chrono::steady_clock::now();
    EXPECT_NE(failureOf(hang, 300ms).find("did not answer"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    // The whole process group went: nothing is left to leave the marker behind.
    std::this_thread::sleep_for(3500ms);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

TEST_F(ExtensionCall, StopsAnExtensionThatAnswersButDoesNotExit) {
    auto linger = program("linger", "read line; echo '{\"id\":1,\"result\":{}}'; sleep 30");
    auto started = std::chrono::steady_clock::now();
    EXPECT_NE(failureOf(linger, 300ms).find("did not exit"), std::string::npos);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
}

}  // namespace
}  // namespace widgetrender
