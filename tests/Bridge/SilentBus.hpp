#pragma once

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

namespace kelvo::test {

/// A session bus that takes every connection and never says a word, as a hung bus daemon looks to
/// a client. It accepts in a child process, so the connections it holds are no descriptors of the
/// caller's. While it lives, DBUS_SESSION_BUS_ADDRESS points at it.
class SilentBus {
public:
    SilentBus() {
        path_ = std::filesystem::temp_directory_path() / ("silent-bus-" + std::to_string(getpid()));
        std::filesystem::remove(path_);
        int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) < 0 ||
            listen(listener, 64) < 0)
            throw std::runtime_error("cannot listen on " + path_.string());
        child_ = fork();
        if (child_ == 0) {
            // Holds every connection open, reading nothing, until killed.
            for (;;)
                if (accept(listener, nullptr, nullptr) < 0 && errno != EINTR && errno != ECONNABORTED) pause();
        }
        close(listener);
        if (const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS")) previous_ = previous;
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + path_.string()).c_str(), 1);
    }
    ~SilentBus() {
        if (previous_)
            setenv("DBUS_SESSION_BUS_ADDRESS", previous_->c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        if (child_ > 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        std::filesystem::remove(path_);
    }
    SilentBus(const SilentBus&) = delete;
    SilentBus& operator=(const SilentBus&) = delete;

private:
    std::filesystem::path path_;
    std::optional<std::string> previous_;
    pid_t child_ = -1;
};

}  // namespace kelvo::test
