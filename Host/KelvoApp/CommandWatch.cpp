#include "Host/KelvoApp/CommandWatch.hpp"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <utility>

#include "Host/KelvoApp/Log.hpp"
#include "Platform/System/Files.hpp"

namespace kelvo::app {
namespace {

constexpr std::uint32_t watchedEvents = IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool endsWithJson(std::string_view name) { return name.size() > 5 && name.substr(name.size() - 5) == ".json"; }

}  // namespace

platform::Result<CommandWatch> CommandWatch::open(const std::filesystem::path& directory) {
    if (!platform::createDirectories(directory)) return platform::Error{"cannot create " + directory.string()};
    int fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd < 0) return platform::Error{std::string("inotify: ") + std::strerror(errno), errno};
    CommandWatch watch(fd, directory);
    if (!watch.addWatch()) return platform::Error{"cannot watch " + directory.string() + ": " + std::strerror(errno), errno};
    return watch;
}

CommandWatch::CommandWatch(CommandWatch&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), watch_(std::exchange(other.watch_, -1)), directory_(std::move(other.directory_)) {}

CommandWatch::~CommandWatch() {
    if (fd_ >= 0) ::close(fd_);
}

bool CommandWatch::addWatch() {
    watch_ = ::inotify_add_watch(fd_, directory_.c_str(), watchedEvents);
    return watch_ >= 0;
}

bool CommandWatch::readEvents() {
    bool due = false;
    bool lostDirectory = false;
    alignas(struct inotify_event) char buffer[16 * 1024];
    for (;;) {
        ssize_t n = ::read(fd_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;  // EAGAIN: all read
        for (char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const struct inotify_event*>(at);
            at += sizeof(struct inotify_event) + event->len;
            if (event->mask & IN_Q_OVERFLOW) due = true;
            if (event->wd != watch_) continue;  // late news of a watch already replaced
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) lostDirectory = true;
            if ((event->mask & (IN_MOVED_TO | IN_CLOSE_WRITE)) && event->len > 0 && endsWithJson(event->name)) due = true;
        }
    }
    if (lostDirectory) {
        // Someone removed or moved the directory; the widget will create it again, and so do we,
        // so that commands written to the new one are seen.
        ::inotify_rm_watch(fd_, watch_);
        logEvent("commands directory " + directory_.string() + " went away; watching it anew", platform::LogPriority::warning);
        if (!platform::createDirectories(directory_) || !addWatch())
            logEvent("cannot watch " + directory_.string() + " again: " + std::strerror(errno), platform::LogPriority::warning);
        due = true;
    }
    return due;
}

}  // namespace kelvo::app
