#include "Platform/System/ChildProcess.hpp"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TemporaryDirectory.hpp"

namespace platform {
namespace {

// What a child started with `environment` sees of a variable the parent has set for itself.
std::string seenByChild(const std::optional<std::vector<std::string>>& environment) {
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    ChildOptions options;
    options.output = out[1];
    options.environment = environment;
    // Found through the parent's PATH even when the child's environment has none.
    auto child = startChild({"sh", "-c", "printf %s \"${KELVO_CHILD_PROBE-unset}\""}, options);
    close(out[1]);
    std::string seen;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<size_t>(n));
    close(out[0]);
    EXPECT_TRUE(child) << (child ? "" : child.error().message);
    if (child) waitpid(*child, nullptr, 0);
    return seen;
}

TEST(ChildProcessTests, TheChildGetsTheEnvironmentItIsGiven) {
    ::setenv("KELVO_CHILD_PROBE", "parent's tuning", 1);
    struct Case {
        const char* name;
        std::optional<std::vector<std::string>> environment;
        const char* expected;
    };
    const Case cases[] = {
        {"none given: the parent's", std::nullopt, "parent's tuning"},
        {"the user's, without the tuning", std::vector<std::string>{"HOME=/nowhere"}, "unset"},
        {"the user's own value", std::vector<std::string>{"KELVO_CHILD_PROBE=user's"}, "user's"},
    };
    for (const auto& c : cases) EXPECT_EQ(seenByChild(c.environment), c.expected) << c.name;
    ::unsetenv("KELVO_CHILD_PROBE");
}

// A path is not handed to /bin/sh when it names a text file without "#!".
TEST(ChildProcessTests, AScriptWithoutInterpreterLineIsRefused) {
    test::TemporaryDirectory dir;
    auto marker = dir / "ran";
    auto script = dir.write("script", "touch '" + marker.string() + "'\n", true);
    auto child = startChild({script.string()});
    if (child) waitpid(*child, nullptr, 0);
    ASSERT_FALSE(child);
    EXPECT_NE(child.error().message.find("#!"), std::string::npos) << child.error().message;
    EXPECT_EQ(child.error().errnum, ENOEXEC);
    EXPECT_FALSE(std::filesystem::exists(marker));
}

}  // namespace
}  // namespace platform
