// The C interface of the bridge library: plain C linkage, no exception crosses it.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Bridge/include/kelvo_widget_bridge.h"
#include "Platform/System/GroupContainer.hpp"
#include "Platform/Widgets/WidgetCenter.hpp"

namespace {

// A one-shot semaphore with a deadline on the steady clock, on a condition variable so that the
// timed wait is plain pthread_cond_clockwait on CLOCK_MONOTONIC.
class Semaphore {
public:
    void signal() {
        {
            std::lock_guard lock(mutex_);
            signalled_ = true;
        }
        wakeUp_.notify_one();
    }
    bool waitUntil(std::chrono::steady_clock::time_point deadline) {
        std::unique_lock lock(mutex_);
        return wakeUp_.wait_until(lock, deadline, [this] { return signalled_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable wakeUp_;
    bool signalled_ = false;
};

// Shared by the waiting caller and the completion: whichever finishes last frees it, so an answer
// that comes after the caller gave up writes into a holder nobody reads and is then released.
struct PlacedCountResult {
    std::string kind;
    std::int32_t count = -1;  // written before `done` is signalled, read only after a successful wait
    Semaphore done;
};

std::int32_t countOfKind(const std::vector<platform::WidgetInfo>& widgets, const std::string& kind) {
    std::int32_t count = 0;
    for (const auto& widget : widgets)
        if (widget.kind == kind && count < INT32_MAX) ++count;
    return count;
}

}  // namespace

extern "C" {

void kelvo_widget_reload_all_timelines(void) {
    try {
        platform::WidgetCenter::shared().reloadAllTimelines();
    } catch (...) {
    }
}

char* kelvo_widget_container_path(const char* group) {
    if (!group) return nullptr;
    try {
        auto container = platform::containerURLForSecurityApplicationGroupIdentifier(group);
        if (!container) return nullptr;
        // The host joins file names onto this path, so it must not depend on the working directory
        // and must not end in a separator.
        auto path = container->lexically_normal();
        if (!path.is_absolute()) return nullptr;
        auto text = path.string();
        while (text.size() > 1 && text.back() == '/') text.pop_back();
        return strdup(text.c_str());
    } catch (...) {
        return nullptr;
    }
}

void kelvo_widget_free_string(char* s) { std::free(s); }

std::int32_t kelvo_widget_placed_count(const char* kind, std::int32_t timeout_ms) {
    if (!kind || timeout_ms <= 0) return -1;
    try {
        auto result = std::make_shared<PlacedCountResult>();
        result->kind = kind;
        platform::WidgetCenter::shared().getCurrentConfigurations(
            [result](std::optional<std::vector<platform::WidgetInfo>> widgets) {
                if (widgets) result->count = countOfKind(*widgets, result->kind);
                result->done.signal();
            });
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
        if (!result->done.waitUntil(deadline)) return -1;
        return result->count;
    } catch (...) {
        return -1;
    }
}

}  // extern "C"
