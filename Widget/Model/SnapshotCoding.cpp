// Reading and writing the snapshot document.
#include <array>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>

#include "Platform/System/JsonDate.hpp"
#include "Platform/System/JsonText.hpp"
#include "Widget/Model/WidgetSnapshot.hpp"

namespace kelvo {
namespace {

using json = nlohmann::json;

// The snapshot is read in one pass of events rather than through a JSON tree, which would take
// several times the text's memory and most of the time. Each object the snapshot knows is a
// `Shape`: its fields by key. The first occurrence of a key counts; later ones, unknown keys and
// everything below them are passed over (but must still be well-formed JSON). Decoding stops at the
// first unfit value; which one is never reported.
enum class Kind { boolean, number, string, object, array };

struct Field {
    std::string_view key;
    Kind kind;
    bool required;
};

enum class Shape { root, running, today, recentEntry, strings, recentList };

constexpr std::array<Field, 10> rootFields{{
    {"updatedAt", Kind::number, true},
    {"appRunning", Kind::boolean, true},
    {"loggedIn", Kind::boolean, true},
    {"offline", Kind::boolean, true},
    {"canTrack", Kind::boolean, false},
    {"deepLink", Kind::string, false},
    {"running", Kind::object, false},
    {"today", Kind::object, false},
    {"recent", Kind::array, true},
    {"strings", Kind::object, true},
}};
constexpr std::array<Field, 3> runningFields{{
    {"name", Kind::string, false},
    {"project", Kind::string, false},
    {"startTime", Kind::number, true},
}};
constexpr std::array<Field, 2> todayFields{{
    {"dayStart", Kind::number, true},
    {"baseSeconds", Kind::number, true},
}};
constexpr std::array<Field, 3> recentFields{{
    {"id", Kind::string, true},
    {"name", Kind::string, true},
    {"project", Kind::string, false},
}};
constexpr std::array<Field, 10> stringFields{{
    {"startTracking", Kind::string, true},
    {"stopTracking", Kind::string, true},
    {"today", Kind::string, true},
    {"recent", Kind::string, true},
    {"noRecent", Kind::string, true},
    {"notTracking", Kind::string, true},
    {"noDescription", Kind::string, true},
    {"openApp", Kind::string, true},
    {"loggedOut", Kind::string, true},
    {"offline", Kind::string, true},
}};

template <std::size_t N>
int indexOf(const std::array<Field, N>& fields, std::string_view key) {
    for (std::size_t i = 0; i < N; ++i)
        if (fields[i].key == key) return static_cast<int>(i);
    return -1;
}

template <std::size_t N>
bool allRequired(const std::array<Field, N>& fields, unsigned present) {
    for (std::size_t i = 0; i < N; ++i)
        if (fields[i].required && !(present & (1u << i))) return false;
    return true;
}

// Nesting beyond 1024 levels is refused wherever it is, under ignored keys too.
constexpr std::size_t maxDepth = 1024;

class SnapshotReader {
public:
    WidgetSnapshot snapshot;

    bool null() {
        if (skipping()) return skipped();
        return value(std::nullopt, [] { return false; });
    }
    bool boolean(bool b) {
        if (skipping()) return skipped();
        return value(Kind::boolean, [&] {
            switch (frame().shape) {
                case Shape::root:
                    if (field_ == 1) snapshot.appRunning = b;
                    else if (field_ == 2) snapshot.loggedIn = b;
                    else if (field_ == 3) snapshot.offline = b;
                    else snapshot.canTrack = b;
                    return true;
                default: return false;
            }
        });
    }
    bool number_integer(json::number_integer_t n) { return number(static_cast<double>(n)); }
    bool number_unsigned(json::number_unsigned_t n) { return number(static_cast<double>(n)); }
    bool number_float(json::number_float_t n, const json::string_t& text) {
        // An integer beyond 64 bits reaches here as a float; such integers are refused.
        if (text.find_first_of(".eE") == std::string::npos) return false;
        return number(n);
    }
    bool string(json::string_t& text) {
        if (skipping()) return skipped();
        return value(Kind::string, [&] {
            std::string* target = stringTarget();
            if (!target) {
                std::optional<std::string>* optionalTarget = optionalStringTarget();
                if (!optionalTarget) return false;
                *optionalTarget = std::move(text);
                return true;
            }
            *target = std::move(text);
            return true;
        });
    }
    bool binary(json::binary_t&) { return false; }

    bool start_object(std::size_t) {
        if (++depth_ > maxDepth) return false;
        if (skipping()) return nested();
        if (stack_.empty()) return push(Shape::root);
        if (frame().shape == Shape::recentList) {
            snapshot.recent.emplace_back();
            return push(Shape::recentEntry);
        }
        return value(Kind::object, [&] {
            switch (frame().shape) {
                case Shape::root:
                    if (field_ == 6) snapshot.running.emplace();
                    else if (field_ == 7) snapshot.today = WidgetSnapshot::TodayTotal{};
                    return push(field_ == 6 ? Shape::running : field_ == 7 ? Shape::today : Shape::strings);
                default: return false;
            }
        });
    }
    bool end_object() {
        --depth_;
        if (skipping()) return unnested();
        Frame done = frame();
        stack_.pop_back();
        switch (done.shape) {
            case Shape::root: return allRequired(rootFields, done.present);
            case Shape::running: return allRequired(runningFields, done.present);
            case Shape::today: return allRequired(todayFields, done.present);
            case Shape::recentEntry: return allRequired(recentFields, done.present);
            case Shape::strings: return allRequired(stringFields, done.present);
            case Shape::recentList: return false;
        }
        return false;
    }
    bool start_array(std::size_t) {
        if (++depth_ > maxDepth) return false;
        if (skipping()) return nested();
        if (stack_.empty() || frame().shape == Shape::recentList) return false;
        return value(Kind::array, [&] { return push(Shape::recentList); });
    }
    bool end_array() {
        --depth_;
        if (skipping()) return unnested();
        stack_.pop_back();
        return true;
    }
    bool key(json::string_t& name) {
        if (skipping()) return true;
        int index = -1;
        switch (frame().shape) {
            case Shape::root: index = indexOf(rootFields, name); break;
            case Shape::running: index = indexOf(runningFields, name); break;
            case Shape::today: index = indexOf(todayFields, name); break;
            case Shape::recentEntry: index = indexOf(recentFields, name); break;
            case Shape::strings: index = indexOf(stringFields, name); break;
            case Shape::recentList: break;
        }
        // Unknown or already seen: the value is passed over.
        if (index < 0 || (frame().seen & (1u << index))) {
            skip_ = 1;
            return true;
        }
        field_ = index;
        frame().seen |= 1u << index;
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) { return false; }

private:
    struct Frame {
        Shape shape;
        unsigned seen = 0;     // keys met, null or not
        unsigned present = 0;  // keys met with a value
    };

    // skip_ > 0 while passing over a value: 1 before it starts, one more per open object or array.
    bool skipping() const { return skip_ > 0; }
    bool skipped() {
        if (skip_ == 1) skip_ = 0;
        return true;
    }
    bool nested() {
        ++skip_;
        return true;
    }
    bool unnested() {
        if (--skip_ == 1) skip_ = 0;
        return true;
    }

    Frame& frame() { return stack_.back(); }
    bool push(Shape shape) {
        stack_.push_back(Frame{shape});
        return true;
    }

    const Field& field() {
        switch (frame().shape) {
            case Shape::root: return rootFields[static_cast<std::size_t>(field_)];
            case Shape::running: return runningFields[static_cast<std::size_t>(field_)];
            case Shape::today: return todayFields[static_cast<std::size_t>(field_)];
            case Shape::recentEntry: return recentFields[static_cast<std::size_t>(field_)];
            default: return stringFields[static_cast<std::size_t>(field_)];
        }
    }

    // A value of a known field: null leaves an optional field absent; any other kind than the
    // field's is unfit. Values outside any object (a document that is not an object) are unfit.
    template <class Store>
    bool value(std::optional<Kind> kind, Store store) {
        if (stack_.empty() || frame().shape == Shape::recentList) return false;
        const Field& f = field();
        if (!kind) return !f.required;
        if (*kind != f.kind) return false;
        frame().present |= 1u << field_;
        return store();
    }

    bool number(double d) {
        if (skipping()) return skipped();
        return value(Kind::number, [&] {
            if (!std::isfinite(d)) return false;
            Date date = Date::fromMilliseconds(d);
            switch (frame().shape) {
                case Shape::root: snapshot.updatedAt = date; return true;
                case Shape::running: snapshot.running->startTime = date; return true;
                case Shape::today:
                    if (field_ == 0) snapshot.today->dayStart = date;
                    else snapshot.today->baseSeconds = d;
                    return true;
                default: return false;
            }
        });
    }

    std::string* stringTarget() {
        auto& s = snapshot.strings;
        switch (frame().shape) {
            case Shape::recentEntry: return field_ == 0 ? &snapshot.recent.back().id : field_ == 1 ? &snapshot.recent.back().name : nullptr;
            case Shape::strings: {
                std::string* targets[] = {&s.startTracking, &s.stopTracking, &s.today,   &s.recent,    &s.noRecent,
                                          &s.notTracking,   &s.noDescription, &s.openApp, &s.loggedOut, &s.offline};
                return targets[field_];
            }
            default: return nullptr;
        }
    }
    std::optional<std::string>* optionalStringTarget() {
        switch (frame().shape) {
            case Shape::root: return &snapshot.deepLink;
            case Shape::running: return field_ == 0 ? &snapshot.running->name : &snapshot.running->project;
            case Shape::recentEntry: return &snapshot.recent.back().project;
            default: return nullptr;
        }
    }

    std::vector<Frame> stack_;
    int field_ = -1;
    std::size_t skip_ = 0;
    std::size_t depth_ = 0;
};

// Written field by field rather than through a JSON tree, which would take several times the text's
// memory for a snapshot with a long recent list. Keys go in sorted order, as a tree would print them.
std::string document(const WidgetSnapshot& snapshot) {
    const auto& [updatedAt, appRunning, loggedIn, offline, canTrack, deepLink, running, today, recent, strings] = snapshot;
    std::string out = "{";
    auto key = [&out](std::string_view name) {
        if (out.back() != '{') out += ',';
        out += '"';
        out += name;
        out += "\":";
    };
    auto text = [&](std::string_view name, std::string_view value) { key(name); platform::appendJsonString(out, value); };
    auto flag = [&](std::string_view name, bool value) { key(name); out += value ? "true" : "false"; };
    auto number = [&](std::string_view name, const nlohmann::json& value) { key(name); platform::appendJson(out, value); };
    auto open = [&](std::string_view name, char bracket) { key(name); out += bracket; };

    flag("appRunning", appRunning);
    if (canTrack) flag("canTrack", *canTrack);
    if (deepLink) text("deepLink", *deepLink);
    flag("loggedIn", loggedIn);
    flag("offline", offline);
    open("recent", '[');
    for (const auto& entry : recent) {
        out += out.back() == '[' ? "{" : ",{";
        text("id", entry.id);
        text("name", entry.name);
        if (entry.project) text("project", *entry.project);
        out += '}';
    }
    out += ']';
    if (running) {
        open("running", '{');
        if (running->name) text("name", *running->name);
        if (running->project) text("project", *running->project);
        number("startTime", platform::jsonMilliseconds(running->startTime));
        out += '}';
    }
    open("strings", '{');
    text("loggedOut", strings.loggedOut);
    text("noDescription", strings.noDescription);
    text("noRecent", strings.noRecent);
    text("notTracking", strings.notTracking);
    text("offline", strings.offline);
    text("openApp", strings.openApp);
    text("recent", strings.recent);
    text("startTracking", strings.startTracking);
    text("stopTracking", strings.stopTracking);
    text("today", strings.today);
    out += '}';
    if (today) {
        open("today", '{');
        number("baseSeconds", platform::jsonNumber(today->baseSeconds));
        number("dayStart", platform::jsonMilliseconds(today->dayStart));
        out += '}';
    }
    number("updatedAt", platform::jsonMilliseconds(updatedAt));
    out += '}';
    return out;
}

}  // namespace

std::optional<WidgetSnapshot> WidgetSnapshot::decode(const std::string& document) {
    // The parser stops at a NUL byte and skips a byte order mark; neither is JSON text.
    if (document.find('\0') != std::string::npos || document.starts_with("\xEF\xBB\xBF")) return std::nullopt;
    SnapshotReader reader;
    if (!json::sax_parse(document, &reader)) return std::nullopt;
    return std::move(reader.snapshot);
}

std::string WidgetSnapshot::encode() const { return document(*this); }

}  // namespace kelvo
