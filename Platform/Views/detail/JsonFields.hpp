#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Views/detail/EnvironmentFields.hpp"

namespace platform::views::detail {

/// Writes a literal as a JSON string; the literal needs no escaping.
inline void writeName(std::string& out, const char& literal) {
    out += '"';
    out += &literal;
    out += '"';
}

/// The keys of one node's JSON object, each with what writes its value; values point into the view
/// and must outlive the fields. A key set again replaces its value; `write` prints them sorted.
class JsonFields {
public:
    template <auto write, class T>
    void set(std::string_view key, const T& value) {
        auto thunk = [](std::string& out, const void* v) { write(out, *static_cast<const T*>(v)); };
        for (auto& item : items_)
            if (item.key == key) {
                item = {key, thunk, &value};
                return;
            }
        items_.push_back({key, thunk, &value});
    }
    void name(std::string_view key, const char* literal) { set<writeName>(key, *literal); }
    void type(const char* literal) { name("type", literal); }
    void clear() { items_.clear(); }

    bool has(std::string_view key) const {
        return std::any_of(items_.begin(), items_.end(), [&](const Field& f) { return f.key == key; });
    }
    bool hasModifierKeys() const {
        return std::any_of(items_.begin(), items_.end(), [](const Field& f) {
            return f.key == "accessibilityLabel" || isEnvironmentKey(f.key);
        });
    }

    void write(std::string& out) {
        std::sort(items_.begin(), items_.end(), [](const Field& a, const Field& b) { return a.key < b.key; });
        out += '{';
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (i > 0) out += ',';
            out += '"';
            out += items_[i].key;
            out += "\":";
            items_[i].write(out, items_[i].value);
        }
        out += '}';
    }

private:
    struct Field {
        std::string_view key;
        void (*write)(std::string& out, const void* value);
        const void* value;
    };
    // Grows with the keys: how many a node carries depends on the modifiers around it.
    std::vector<Field> items_;
};

}  // namespace platform::views::detail
