// Named IANA zones from the date library's zone database, installed at start by linking this.
#include <date/tz.h>

#include <map>
#include <mutex>

#include "Platform/System/ZoneRules.hpp"

namespace platform {
namespace {

class DatabaseZone final : public ZoneRules {
public:
    explicit DatabaseZone(const date::time_zone* zone) : zone_(zone) {}
    std::int64_t offsetAt(std::int64_t utcSeconds) const override {
        return zone_->get_info(date::sys_seconds{std::chrono::seconds{utcSeconds}}).offset.count();
    }

private:
    const date::time_zone* zone_;  // the database's, never freed
};

const ZoneRules* locate(const std::string& name) {
    const date::time_zone* zone;
    try {
        zone = date::locate_zone(name);
    } catch (const std::exception&) {
        return nullptr;
    }
    static std::mutex mutex;
    static std::map<const date::time_zone*, DatabaseZone> zones;
    std::lock_guard lock(mutex);
    return &zones.try_emplace(zone, zone).first->second;
}

[[maybe_unused]] const bool installed = (installZoneLookup(locate), true);

}  // namespace
}  // namespace platform
