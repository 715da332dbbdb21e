#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <set>
#include <tuple>
#include <thread>

#include "Platform/System/Files.hpp"
#include "Platform/System/GroupContainer.hpp"
#include "Platform/System/Uuid.hpp"

namespace platform {
namespace {

class Files : public ::testing::Test {
protected:
    void SetUp() override {
        directory = std::filesystem::temp_directory_path() / ("files-test-" + makeUuidString());
        std::filesystem::create_directories(directory);
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::vector<std::string> names() const {
        std::vector<std::string> result;
        for (const auto& entry : std::filesystem::directory_iterator(directory)) result.push_back(entry.path().filename());
        return result;
    }

    std::filesystem::path directory;
};

TEST_F(Files, ReadsOnlyRegularFilesWithinTheLimit) {
    std::ofstream(directory / "small") << "hello";
    std::ofstream(directory / "large") << std::string(2048, 'x');
    ASSERT_EQ(::mkfifo((directory / "fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(directory / "folder");

    EXPECT_EQ(readRegularFile(directory / "small", 1024), "hello");
    EXPECT_EQ(readRegularFile(directory / "large", 2048)->size(), 2048u);
    EXPECT_FALSE(readRegularFile(directory / "large", 2047));
    EXPECT_FALSE(readRegularFile(directory / "missing", 1024));
    EXPECT_FALSE(readRegularFile(directory / "folder", 1024));
    EXPECT_FALSE(readRegularFile(directory / "fifo", 1024));  // would block forever without a writer
    EXPECT_FALSE(readRegularFile("/dev/zero", 1024));

    // A file that holds more than its size says (as one that grows while read, or a /proc file,
    // whose size is 0) is read on to its end, and still refused beyond the limit.
    auto status = readRegularFile("/proc/self/status", 1 << 20);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->rfind("Name:", 0), 0u);
    EXPECT_NE(status->find("\nVmRSS:"), std::string::npos);
    EXPECT_FALSE(readRegularFile("/proc/self/status", 100));
}

TEST_F(Files, AtomicWriteReplacesWholeAndLeavesNoTemporaryFile) {
    auto target = directory / "state.json";
    ASSERT_TRUE(writeAtomically(target, "first"));
    ASSERT_TRUE(writeAtomically(target, "second, longer"));
    EXPECT_EQ(readRegularFile(target, 100), "second, longer");
    ASSERT_TRUE(writeAtomically(directory / "empty", ""));
    EXPECT_EQ(readRegularFile(directory / "empty", 100), "");
    EXPECT_EQ(names().size(), 2u);
}

TEST_F(Files, FailedAtomicWriteCreatesNothing) {
    EXPECT_FALSE(writeAtomically(directory / "missing" / "state.json", "x"));
    EXPECT_FALSE(std::filesystem::exists(directory / "missing"));
    // Renaming over a directory fails after the temporary file was written; it must be removed.
    std::filesystem::create_directory(directory / "occupied.json");
    EXPECT_FALSE(writeAtomically(directory / "occupied.json", "x"));
    EXPECT_EQ(names(), std::vector<std::string>{"occupied.json"});
}

// Readers polling for "*.json" must never see a partial document, whatever moment they look.
TEST_F(Files, ReadersNeverSeeAPartialDocument) {
    const std::string a(64 * 1024, 'a'), b(96 * 1024, 'b');
    auto target = directory / "state.json";
    ASSERT_TRUE(writeAtomically(target, a));
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; i < 200; ++i) writeAtomically(target, i % 2 ? a : b);
        done = true;
    });
    int reads = 0;
    while (!done) {
        for (const auto& entry : std::filesystem::directory_iterator(directory)) {
            if (entry.path().extension() != ".json") continue;
            auto content = readRegularFile(entry.path(), 1 << 20);
            if (content) {
                EXPECT_TRUE(*content == a || *content == b);
            }
            ++reads;
        }
    }
    writer.join();
    EXPECT_GT(reads, 0);
}

// Each line starts with the priority the journal reads from it, in one write with its text, and
// outside text in it cannot end the line or send a terminal its controls.
TEST_F(Files, LogLinesCarryTheirJournalPriority) {
    const std::tuple<LogPriority, const char*, const char*> cases[] = {
        {LogPriority::error, "a", "<3>p: a\n"},
        {LogPriority::warning, "a", "<4>p: a\n"},
        {LogPriority::info, "a", "<6>p: a\n"},
        {LogPriority::debug, "a", "<7>p: a\n"},
        {LogPriority::info, "kelvo:x\n<3>p: forged", "<6>p: kelvo:x\\n<3>p: forged\n"},
        {LogPriority::info, "\x1b[2J\r\t\x7f", "<6>p: \\x1b[2J\\r\\t\\x7f\n"},
        {LogPriority::info, "\xc2\x9b" "6n caf\xc3\xa9 \xc2\xa0", "<6>p: \\u009b6n caf\xc3\xa9 \xc2\xa0\n"},
    };
    auto file = directory / "stderr";
    std::string expected;
    int saved = ::dup(STDERR_FILENO);
    {
        std::ofstream create(file);
    }
    int fd = ::open(file.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ::dup2(fd, STDERR_FILENO);
    for (const auto& [priority, text, line] : cases) {
        logLine(priority, "p: ", text);
        expected += line;
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    ::close(fd);
    EXPECT_EQ(readRegularFile(file, 1024), expected);
}

TEST(PathComponents, RefuseNamesThatLeaveTheirDirectory) {
    for (const char* bad : {"", ".", "..", "a/b", "/abs", "../up"}) EXPECT_FALSE(isSafePathComponent(bad)) << bad;
    EXPECT_FALSE(isSafePathComponent(std::string("a\0b", 3)));
    for (const char* good : {"group.com.kelvo.desktop", "com.kelvo.desktop", "...", "a..b"})
        EXPECT_TRUE(isSafePathComponent(good)) << good;
}

TEST(Uuid, IsCanonicalUpperCaseVersionFour) {
    std::set<std::string> seen;
    for (int i = 0; i < 1000; ++i) {
        auto uuid = makeUuidString();
        ASSERT_EQ(uuid.size(), 36u);
        for (size_t k = 0; k < uuid.size(); ++k) {
            bool hyphen = k == 8 || k == 13 || k == 18 || k == 23;
            bool hexDigit = std::isdigit(uuid[k]) || (uuid[k] >= 'A' && uuid[k] <= 'F');
            EXPECT_TRUE(hyphen ? uuid[k] == '-' : hexDigit) << uuid;
        }
        EXPECT_EQ(uuid[14], '4');
        seen.insert(uuid);
    }
    EXPECT_EQ(seen.size(), 1000u);
}

}  // namespace
}  // namespace platform

namespace platform {
namespace {

TEST_F(Files, TouchLeavesAnEmptyFileAndNeverWritesThroughOtherNames) {
    EXPECT_FALSE(touchEmptyFile(directory / "missing" / "active"));
    EXPECT_FALSE(std::filesystem::exists(directory / "missing"));

    std::ofstream(directory / "active") << "stale";
    ASSERT_TRUE(touchEmptyFile(directory / "active"));
    EXPECT_EQ(std::filesystem::file_size(directory / "active"), 0u);

    // A link or a second name must not let the marker empty somebody else's file.
    std::ofstream(directory / "precious") << "keep me";
    std::filesystem::create_symlink(directory / "precious", directory / "viaSymlink");
    std::filesystem::create_hard_link(directory / "precious", directory / "viaHardLink");
    EXPECT_TRUE(touchEmptyFile(directory / "viaSymlink"));
    EXPECT_TRUE(touchEmptyFile(directory / "viaHardLink"));
    EXPECT_EQ(readRegularFile(directory / "precious", 100), "keep me");
    EXPECT_EQ(std::filesystem::file_size(directory / "viaHardLink"), 0u);
    EXPECT_FALSE(std::filesystem::is_symlink(directory / "viaSymlink"));
}

}  // namespace
}  // namespace platform

#include "Platform/System/UserDirectories.hpp"

namespace platform {
namespace {

TEST(UserDirectories, OnlyAbsoluteLocationsCount) {
    struct Row {
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Row rows[] = {
        {"/data", "/home/u", "/data"},
        {"relative/data", "/home/u", "/home/u/.local/share"},
        {nullptr, "/home/u", "/home/u/.local/share"},
        {"", "/home/u", "/home/u/.local/share"},
        {nullptr, "relative-home", ""},
        {nullptr, nullptr, ""},
    };
    std::optional<std::string> savedXdg, savedHome;
    if (const char* v = std::getenv("XDG_DATA_HOME")) savedXdg = v;
    if (const char* v = std::getenv("HOME")) savedHome = v;
    for (const auto& row : rows) {
        row.xdg ? setenv("XDG_DATA_HOME", row.xdg, 1) : unsetenv("XDG_DATA_HOME");
        row.home ? setenv("HOME", row.home, 1) : unsetenv("HOME");
        EXPECT_EQ(xdgBaseDirectory("XDG_DATA_HOME", ".local/share").string(), row.expected);
    }
    savedXdg ? setenv("XDG_DATA_HOME", savedXdg->c_str(), 1) : unsetenv("XDG_DATA_HOME");
    savedHome ? setenv("HOME", savedHome->c_str(), 1) : unsetenv("HOME");
}

}  // namespace
}  // namespace platform
