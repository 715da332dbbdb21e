#include "Host/WidgetHost/ClockChangeWatch.hpp"

#include <sys/inotify.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace widgethost {

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

bool ClockChangeWatch::start(sd_event* loop, std::function<void()> changed, std::filesystem::path zoneFile) {
    changed_ = std::move(changed);
    zoneFile_ = std::move(zoneFile);
    watchZone(loop);
    fd_ = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd_ < 0 || !arm()) return false;
    sd_event_source* source = nullptr;
    if (sd_event_add_io(loop, &source, fd_, EPOLLIN, onReadable, this) < 0) return false;
    source_.reset(source);
    return true;
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

bool ClockChangeWatch::watchZone(sd_event* loop) {
    // The directory, not the file: a watch on the file would follow the old link out of place.
    zoneFd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (zoneFd_ < 0) return false;
    constexpr std::uint32_t mask = IN_CREATE | IN_MOVED_TO | IN_CLOSE_WRITE | IN_DELETE | IN_ONLYDIR;
    if (inotify_add_watch(zoneFd_, zoneFile_.parent_path().c_str(), mask) < 0) return false;
    sd_event_source* source = nullptr;
    if (sd_event_add_io(loop, &source, zoneFd_, EPOLLIN, onZoneEvent, this) < 0) return false;
    zoneSource_.reset(source);
    return true;
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
