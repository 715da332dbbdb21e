#include "Host/WidgetHost/ClockChangeWatch.hpp"

#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>
#include <string>

namespace widgethost {
namespace {

// Callers pass errno before building any text, which could allocate and overwrite it.
platform::Error failure(std::string call, int errnum) { return {std::move(call) + " failed", errnum}; }

}  // namespace

ClockChangeWatch::~ClockChangeWatch() {
    source_.reset();
    zoneSource_.reset();
    if (fd_ >= 0) ::close(fd_);
    if (zoneFd_ >= 0) ::close(zoneFd_);
}

bool ClockChangeWatch::arm() {
    // The expiry only has to lie beyond anything the clock will reach; the cancellation is the point.
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct itimerspec farAway {};
    farAway.it_value.tv_sec = now.tv_sec + 100LL * 365 * 24 * 3600;
    return timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &farAway, nullptr) == 0;
}

ClockChangeWatch::Started ClockChangeWatch::start(sd_event* loop, std::function<void()> changed,
                                                  std::filesystem::path zoneFile) {
    changed_ = std::move(changed);
    zoneFile_ = std::move(zoneFile);
    Started started;
    started.zone = watchZone(loop);
    started.clock = watchClock(loop);
    return started;
}

platform::Status<> ClockChangeWatch::watchClock(sd_event* loop) {
    fd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0) return failure("timerfd_create", errno);
    if (!arm()) return failure("timerfd_settime", errno);
    sd_event_source* source = nullptr;
    if (int r = sd_event_add_io(loop, &source, fd_, EPOLLIN, onReadable, this); r < 0)
        return failure("sd_event_add_io", -r);
    source_.reset(source);
    return platform::Done{};
}

int ClockChangeWatch::onReadable(sd_event_source*, int fd, uint32_t, void* self) {
    auto* watch = static_cast<ClockChangeWatch*>(self);
    std::uint64_t expirations = 0;
    ssize_t n = ::read(fd, &expirations, sizeof expirations);
    if (n < 0 && errno == ECANCELED) {
        // A cancelled timer stays cancelled until it is set again.
        watch->arm();
        if (watch->changed_) watch->changed_();
    } else if (n >= 0) {
        watch->arm();
    }
    return 0;
}

platform::Status<> ClockChangeWatch::watchZone(sd_event* loop) {
    // The directory, not the file: a watch on the file would follow the old link out of place.
    zoneFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (zoneFd_ < 0) return failure("inotify_init1", errno);
    constexpr std::uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_ONLYDIR;
    if (inotify_add_watch(zoneFd_, zoneFile_.parent_path().c_str(), mask) < 0) {
        int errnum = errno;
        return failure("inotify_add_watch " + zoneFile_.parent_path().string(), errnum);
    }
    sd_event_source* source = nullptr;
    if (int r = sd_event_add_io(loop, &source, zoneFd_, EPOLLIN, onZoneEvent, this); r < 0)
        return failure("sd_event_add_io", -r);
    zoneSource_.reset(source);
    return platform::Done{};
}

int ClockChangeWatch::onZoneEvent(sd_event_source*, int fd, uint32_t, void* self) {
    auto* watch = static_cast<ClockChangeWatch*>(self);
    alignas(inotify_event) char buffer[4096];
    bool zoneChanged = false;
    for (;;) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        for (char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && watch->zoneFile_.filename() == event->name) zoneChanged = true;
            at += sizeof(inotify_event) + event->len;
        }
    }
    if (zoneChanged) {
        // glibc reads the zone once per tzset(); the host's own local times must follow too.
        tzset();
        if (watch->changed_) watch->changed_();
    }
    return 0;
}

}  // namespace widgethost
