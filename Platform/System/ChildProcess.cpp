#include "Platform/System/ChildProcess.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char** environ;

namespace platform {
namespace {

// Between fork and exec: async-signal-safe calls only. An errno goes back through `report`.
[[noreturn]] void becomeChild(char* const* argv, char* const* envp, const ChildOptions& options, int nullInput,
                              int report) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    struct sigaction defaultAction {};
    defaultAction.sa_handler = SIG_DFL;
    sigaction(SIGPIPE, &defaultAction, nullptr);
    if (options.endWithParent) prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (options.ownSession)
        setsid();
    else if (options.ownProcessGroup)
        setpgid(0, 0);

    int input = options.input >= 0 ? options.input : nullInput;
    bool ok = (input < 0 || dup2(input, STDIN_FILENO) >= 0) &&
              (options.output < 0 || dup2(options.output, STDOUT_FILENO) >= 0) &&
              (options.error < 0 || dup2(options.error, STDERR_FILENO) >= 0);
    if (ok && options.addressSpaceBytes > 0) {
        struct rlimit limit {options.addressSpaceBytes, options.addressSpaceBytes};
        setrlimit(RLIMIT_AS, &limit);
    }
    // A path is run as it is: execvpe would hand a text file without "#!" to /bin/sh.
    if (ok) std::strchr(argv[0], '/') ? execve(argv[0], argv, envp) : execvpe(argv[0], argv, envp);
    int error = errno;
    (void)!write(report, &error, sizeof error);
    _exit(127);
}

}  // namespace

std::vector<std::string> currentEnvironment() {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) entries.emplace_back(*entry);
    return entries;
}

Result<pid_t> startChild(const std::vector<std::string>& arguments, const ChildOptions& options) {
    auto fail = [](int error) -> Result<pid_t> {
        return Error{error == ENOEXEC ? "not a program (a script needs a first line starting with #!)" : std::strerror(error),
                     error};
    };
    if (arguments.empty()) return fail(EINVAL);
    std::vector<char*> argv;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    // Built before the fork: the child may not allocate.
    std::vector<char*> envp;
    if (options.environment) {
        for (const auto& entry : *options.environment) envp.push_back(const_cast<char*>(entry.c_str()));
        envp.push_back(nullptr);
    }

    int nullInput = options.input >= 0 ? -1 : open("/dev/null", O_RDONLY | O_CLOEXEC);
    // A close-on-exec pipe tells whether exec worked: the parent reads an errno or end of file.
    int report[2];
    if (pipe2(report, O_CLOEXEC) < 0) {
        int error = errno;
        if (nullInput >= 0) close(nullInput);
        return fail(error);
    }
    pid_t child = fork();
    if (child == 0) becomeChild(argv.data(), options.environment ? envp.data() : environ, options, nullInput, report[1]);
    int forkError = errno;
    close(report[1]);
    if (nullInput >= 0) close(nullInput);
    if (child < 0) {
        close(report[0]);
        return fail(forkError);
    }
    // Also here, so that the group exists before the parent may signal it.
    if (options.ownProcessGroup && !options.ownSession) setpgid(child, child);

    int execError = 0;
    ssize_t n;
    do n = read(report[0], &execError, sizeof execError);
    while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof execError)) {
        while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
        return fail(execError);
    }
    return child;
}

}  // namespace platform
