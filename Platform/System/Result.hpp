#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace platform {

/// Why an operation failed: a message for people and, where a system call failed, its errno.
struct Error {
    std::string message;
    int errnum = 0;  // the errno of the call that failed; 0 when no system call did
};

/// What a fallible operation gives: its value, or the error that stopped it. The one way this
/// system's code reports a failure it expects; exceptions are left to the truly exceptional.
template <class T, class E = Error>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(E error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    const E& error() const { return std::get<1>(state_); }
    E& error() { return std::get<1>(state_); }

private:
    std::variant<T, E> state_;
};

/// The value of an operation that gives nothing but success.
struct Done {};

template <class E = Error>
using Status = Result<Done, E>;

}  // namespace platform
