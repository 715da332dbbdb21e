#include "Host/KelvoApp/StatePublisher.hpp"

#include <algorithm>
#include <cmath>

#include "Platform/System/Files.hpp"

namespace kelvo::app {
namespace {

constexpr std::uintmax_t maxSnapshotBytes = 16 * 1024 * 1024;

}  // namespace

StatePublisher::StatePublisher(std::filesystem::path hostDirectory) : hostDirectory_(std::move(hostDirectory)) {
    if (auto bytes = platform::readRegularFile(statePath(), maxSnapshotBytes))
        if (auto previous = WidgetSnapshot::decode(*bytes)) last_ = previous->updatedAt;
}

std::optional<Date> StatePublisher::publish(WidgetSnapshot snapshot, Date now) {
    Date stamp = Date::fromMilliseconds(std::floor(now.millisecondsSince1970));
    if (last_) stamp = std::max(stamp, Date::fromMilliseconds(std::floor(last_->millisecondsSince1970) + 1));
    snapshot.updatedAt = stamp;
    if (!platform::createDirectories(hostDirectory_)) return std::nullopt;
    if (!platform::writeAtomically(statePath(), snapshot.encode())) return std::nullopt;
    last_ = stamp;
    return stamp;
}

}  // namespace kelvo::app
