#include "Platform/System/detail/Bus.hpp"

namespace platform::detail {

BusPtr openUserBus() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0) return nullptr;
    return BusPtr{bus};
}

}  // namespace platform::detail
