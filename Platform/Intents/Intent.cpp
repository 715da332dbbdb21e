#include "Platform/Intents/Intent.hpp"

namespace platform {

void IntentRegistry::add(IntentType type) {
    auto name = type.name;
    types_.insert_or_assign(std::move(name), std::move(type));
}

const IntentType* IntentRegistry::find(const std::string& name) const {
    auto it = types_.find(name);
    return it == types_.end() ? nullptr : &it->second;
}

}  // namespace platform
