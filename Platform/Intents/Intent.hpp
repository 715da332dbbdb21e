#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>

#include <nlohmann/json_fwd.hpp>

namespace platform {

/// An intent as a value that a button carries and the host sends back on a press: the intent
/// type's name and its parameter values.
struct IntentValue {
    std::string type;
    std::map<std::string, std::optional<std::string>> parameters;  // nullopt: a parameter without a value

    friend bool operator==(const IntentValue&, const IntentValue&) = default;
};

/// One intent type that the program can run.
struct IntentType {
    std::string name;
    std::function<std::string()> title;
    /// Runs the intent to its end and returns true; false when the value's parameters do not fit the
    /// type. A stop request only shortens the intent's waits.
    std::function<bool(const IntentValue&, std::stop_token)> perform;
};

/// The intent types of a program, by name.
class IntentRegistry {
public:
    void add(IntentType type);
    const IntentType* find(const std::string& name) const;

private:
    std::map<std::string, IntentType, std::less<>> types_;
};

/// Registers an intent type `T` with `T::typeName`, `T::title()`, `T::fromValue(IntentValue)` giving an
/// optional `T`, and `t.perform(std::stop_token)`.
template <class T>
void registerIntent(IntentRegistry& registry) {
    registry.add(IntentType{
        std::string(T::typeName),
        [] { return T::title(); },
        [](const IntentValue& value, std::stop_token stop) {
            auto intent = T::fromValue(value);
            if (!intent) return false;
            intent->perform(stop);
            return true;
        },
    });
}

}  // namespace platform
