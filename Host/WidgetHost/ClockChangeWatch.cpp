#include "Host/WidgetHost/ClockChangeWatch.hpp"

#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <ctime>

namespace widgethost {

ClockChangeWatch::~ClockChangeWatch() {
    source_.reset();
    if (fd_ >= 0) ::close(fd_);
}

bool ClockChangeWatch::arm() {
    // The expiry only has to lie beyond anything the clock will reach; the cancellation is the point.
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct itimerspec farAway {};
    farAway.it_value.tv_sec = now.tv_sec + 100LL * 365 * 24 * 3600;
    return timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &farAway, nullptr) == 0;
}

bool ClockChangeWatch::start(sd_event* loop, std::function<void()> changed) {
    changed_ = std::move(changed);
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

}  // namespace widgethost
