#include "Host/Render/ExtensionCall.hpp"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "Platform/System/ChildProcess.hpp"
#include "Platform/System/Files.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace widgetrender {
namespace {

using Clock = std::chrono::steady_clock;
// The one request sent.
constexpr std::uint64_t requestId = 1;

[[noreturn]] void fail(std::string message) { throw CallError{std::move(message)}; }

struct Pipe {
    int read = -1;
    int write = -1;
    Pipe() {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) fail(std::string("cannot make a pipe: ") + std::strerror(errno));
        read = fds[0];
        write = fds[1];
    }
    ~Pipe() {
        closeRead();
        closeWrite();
    }
    void closeRead() {
        if (read >= 0) ::close(read);
        read = -1;
    }
    void closeWrite() {
        if (write >= 0) ::close(write);
        write = -1;
    }
};

// Waits for the child to end, until the deadline: false when it still runs then.
bool waitUntil(pid_t pid, Clock::time_point deadline, int& status) {
    // Readable once the child has ended. Through syscall(): glibc 2.36's declaration lacks C linkage.
    int ended = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    bool done = false;
    for (;;) {
        pid_t waited = ::waitpid(pid, &status, WNOHANG);
        if (waited == pid || (waited < 0 && errno != EINTR)) {
            done = true;
            break;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        pollfd p{ended, POLLIN, 0};
        // Without a pidfd (an old kernel) this polls every 2 ms.
        ::poll(&p, 1, ended >= 0 ? static_cast<int>(left) : 2);
    }
    if (ended >= 0) ::close(ended);
    return done;
}

}  // namespace

nlohmann::json callExtension(const std::filesystem::path& program, std::string_view method,
                             const nlohmann::json& params, std::chrono::milliseconds timeout) {
    if (!std::filesystem::is_regular_file(program)) fail("no extension program at " + program.string());

    Pipe input, output;
    std::string path = program.string();
    // A closed pipe must show up as a write error here, not end the tool.
    std::signal(SIGPIPE, SIG_IGN);
    // A process group of its own, so that a stuck extension goes together with its children.
    platform::ChildOptions options;
    options.input = input.read;
    options.output = output.write;
    options.ownProcessGroup = true;
    auto started = platform::startChild({path}, options);
    if (!started) fail("cannot start " + path + ": " + started.error().message);
    pid_t pid = *started;
    input.closeRead();
    output.closeWrite();

    std::string answer;
    std::string failure;
    auto deadline = Clock::now() + timeout;
    try {
        auto request = platform::protocol::request(requestId, method, params);
        // The extension reads its whole request before answering.
        if (!platform::writeAll(input.write, request.dump() + "\n"))
            fail("the extension did not take its request (it exited early?)");
        input.closeWrite();

        // Read up to the first line (or the end of output) before the deadline.
        char buffer[65536];
        while (answer.find('\n') == std::string::npos) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            if (left <= 0) fail("the extension did not answer within " + std::to_string(timeout.count()) + " ms");
            pollfd p{output.read, POLLIN, 0};
            int ready = ::poll(&p, 1, static_cast<int>(left));
            if (ready < 0 && errno == EINTR) continue;
            if (ready <= 0) continue;
            ssize_t n = ::read(output.read, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            answer.append(buffer, static_cast<std::size_t>(n));
        }
    } catch (const CallError& e) {
        failure = e.message;
    }

    if (!failure.empty()) ::kill(-pid, SIGKILL);
    output.closeRead();
    // An extension ends at the end of its input; one that lingers past the deadline is stopped.
    int status = 0;
    if (!waitUntil(pid, deadline, status)) {
        ::kill(-pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        if (failure.empty()) failure = "the extension did not exit after answering";
    }
    if (!failure.empty()) fail(failure);
    if (WIFSIGNALED(status)) fail("the extension was killed by signal " + std::to_string(WTERMSIG(status)));

    auto line = answer.substr(0, answer.find('\n'));
    if (line.empty()) fail("the extension gave no answer (exit status " + std::to_string(WEXITSTATUS(status)) + ")");
    auto reply = platform::protocol::decodeAnswer(line);
    if (!reply) fail("the extension's answer is unusable, " + reply.error().message + ": " + line.substr(0, 200));
    if (reply->id != requestId) fail("the extension answered request " + std::to_string(reply->id) + ", not ours");
    if (!reply->result) fail("the extension answered with an error: " + reply->errorMessage);
    if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        fail("the extension exited with status " + std::to_string(WEXITSTATUS(status)));
    return *reply->result;
}

}  // namespace widgetrender
