#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Platform/Widgets/WidgetFamily.hpp"

// The user's placed widgets, kept in $XDG_CONFIG_HOME/widget-host/widgets.json across restarts.
namespace widgethost {

/// Where a widget sits on the desktop: its top-left corner in desktop pixels, from the top-left
/// corner of the output it names (the primary output when it names none, as older records do).
struct WidgetPosition {
    int x = 0;
    int y = 0;
    std::string output = {};  // the output's connector or model name
    friend bool operator==(const WidgetPosition&, const WidgetPosition&) = default;
};

struct PlacedWidget {
    std::string id;
    std::string kind;
    platform::WidgetFamily family = platform::WidgetFamily::systemSmall;
    std::string extension;  // bundle identifier of the extension that declares the kind
    std::optional<WidgetPosition> position = std::nullopt;  // absent until placed at or moved to one

    friend bool operator==(const PlacedWidget&, const PlacedWidget&) = default;
};

struct PlacedWidgetList {
    std::vector<PlacedWidget> widgets;  // in the order they were placed
    std::uint64_t nextNumber = 1;       // identifiers are never reused, not even after a restart

    /// A fresh identifier; advances `nextNumber`.
    std::string takeIdentifier();
    const PlacedWidget* find(std::string_view id) const;
};

/// Whether a position is one a desktop can have; anything else in the file is ignored.
bool isPlausiblePosition(WidgetPosition position);

std::string encodePlacedWidgets(const PlacedWidgetList& list);

/// Reads the document. A document that is not an object with a "widgets" array gives nothing;
/// single records that are broken or repeat an identifier are left out and named in `dropped`.
std::optional<PlacedWidgetList> decodePlacedWidgets(std::string_view bytes, std::vector<std::string>* dropped = nullptr);

/// Loads the list. A missing file is an empty list. A file that cannot be decoded is renamed to
/// "<name>.broken" so that the next save does not destroy what the user may want back, and an
/// empty list is returned; `problems` says so.
PlacedWidgetList loadPlacedWidgets(const std::filesystem::path& file, std::vector<std::string>* problems = nullptr);

/// Writes the list atomically, creating the directory when needed.
bool savePlacedWidgets(const std::filesystem::path& file, const PlacedWidgetList& list);

/// The list and its file together: each change is written before it is kept, so that the host never
/// shows a widget the file would lose.
class PlacedWidgetStore {
public:
    explicit PlacedWidgetStore(std::filesystem::path file) : file_(std::move(file)) {}

    /// Reads the file as `loadPlacedWidgets` does.
    void load(std::vector<std::string>* problems = nullptr) { list_ = loadPlacedWidgets(file_, problems); }
    const PlacedWidgetList& list() const { return list_; }
    const std::filesystem::path& file() const { return file_; }

    /// Adds `widget` under a fresh identifier and gives it back; nothing when the file cannot be written.
    std::optional<PlacedWidget> add(PlacedWidget widget);
    /// False when the file cannot be written; the list is then unchanged.
    bool remove(std::string_view id);
    bool move(std::string_view id, WidgetPosition position);
    bool setFamily(std::string_view id, platform::WidgetFamily family);
    /// Puts a removed widget back under its own identifier, or a fresh one when that is taken again;
    /// nothing when the file cannot be written.
    std::optional<PlacedWidget> restore(PlacedWidget widget);

private:
    bool commit(PlacedWidgetList next);

    std::filesystem::path file_;
    PlacedWidgetList list_;
};

}  // namespace widgethost
