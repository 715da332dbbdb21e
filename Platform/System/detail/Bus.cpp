#include "Platform/System/detail/Bus.hpp"

#include <unistd.h>

#include <mutex>
#include <vector>

namespace platform::detail {
namespace {

// A handful of idle connections is enough for the few threads that talk to the bus at once.
constexpr std::size_t maxIdleConnections = 4;

struct Pool {
    std::mutex mutex;
    std::vector<BusPtr> idle;
    pid_t owner = 0;
};

// Never destroyed: threads that finish a call during process exit still hand their connection back.
Pool& pool() {
    static Pool* instance = new Pool;
    return *instance;
}

}  // namespace

BusPtr openUserBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    return BusPtr{bus};
}

BusPtr borrowUserBus() {
    auto& p = pool();
    {
        std::lock_guard lock(p.mutex);
        if (p.owner != getpid()) {
            // A connection cannot cross fork(); sd-bus refuses to use or even close one in the
            // child, so the parent's connections are dropped without touching them.
            for (auto& bus : p.idle) (void)bus.release();
            p.idle.clear();
            p.owner = getpid();
        }
        while (!p.idle.empty()) {
            BusPtr bus = std::move(p.idle.back());
            p.idle.pop_back();
            if (sd_bus_is_open(bus.get()) > 0) return bus;
        }
    }
    return openUserBus();
}

void returnUserBus(BusPtr bus) {
    if (!bus || sd_bus_is_open(bus.get()) <= 0) return;
    // Unsolicited messages (a stray method call, a name signal) would pile up in the read queue of
    // an idle connection; dispatch them now so that sd-bus answers or drops them.
    while (sd_bus_process(bus.get(), nullptr) > 0) {
    }
    if (sd_bus_is_open(bus.get()) <= 0) return;
    auto& p = pool();
    std::lock_guard lock(p.mutex);
    if (p.owner == getpid() && p.idle.size() < maxIdleConnections) p.idle.push_back(std::move(bus));
}

}  // namespace platform::detail
