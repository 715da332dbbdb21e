#pragma once

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
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
        // An abstract socket name: no file to clean up.
        std::string name = "silent-bus-" + std::to_string(getpid());
        int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{.sun_family = AF_UNIX, .sun_path = {}};
        std::memcpy(address.sun_path + 1, name.data(), name.size());
        auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), length) < 0 || listen(listener, 64) < 0)
            throw std::runtime_error("cannot listen as " + name);
        child_ = fork();
        if (child_ == 0) {
            // Holds every connection open, reading nothing, until killed.
            for (;;)
                if (accept(listener, nullptr, nullptr) < 0 && errno != EINTR && errno != ECONNABORTED) pause();
        }
        close(listener);
        if (const char* previous = std::getenv("DBUS_SESSION_BUS_ADDRESS")) previous_ = previous;
        setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:abstract=" + name).c_str(), 1);
    }
    ~SilentBus() {
        if (previous_)
            setenv("DBUS_SESSION_BUS_ADDRESS", previous_->c_str(), 1);
        else
            unsetenv("DBUS_SESSION_BUS_ADDRESS");
        kill(child_, SIGKILL);
        waitpid(child_, nullptr, 0);
    }
    SilentBus(const SilentBus&) = delete;
    SilentBus& operator=(const SilentBus&) = delete;

private:
    std::optional<std::string> previous_;
    pid_t child_ = -1;
};

}  // namespace kelvo::test
