#include "Host/WidgetHost/PlacedWidgets.hpp"

#include <charconv>
#include <set>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/ExtensionCatalog.hpp"
#include "Platform/System/Files.hpp"
#include "Platform/System/JsonDepth.hpp"

namespace widgethost {
namespace {

using nlohmann::json;
namespace fs = std::filesystem;

constexpr std::uintmax_t maxListBytes = 4 << 20;
// Far beyond any desktop, yet safe to add widget sizes to.
constexpr std::int64_t maxCoordinate = 1'000'000;
// Connector and model names are short; anything longer is not one.
constexpr std::size_t maxOutputName = 128;

// Not std::abs, which is undefined for the most negative value.
bool withinCoordinates(std::int64_t value) { return value >= -maxCoordinate && value <= maxCoordinate; }

std::optional<std::uint64_t> numberOf(std::string_view id) {
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(id.data(), id.data() + id.size(), value);
    if (error != std::errc() || end != id.data() + id.size()) return std::nullopt;
    return value;
}

const std::string* stringMember(const json& object, const char* key) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? &it->get_ref<const std::string&>() : nullptr;
}

std::optional<PlacedWidget> decodeWidget(const json& record) {
    if (!record.is_object()) return std::nullopt;
    const auto* id = stringMember(record, "id");
    const auto* kind = stringMember(record, "kind");
    const auto* family = stringMember(record, "family");
    const auto* extension = stringMember(record, "extension");
    if (!id || !kind || !family || !extension) return std::nullopt;
    auto parsedFamily = platform::widgetFamilyFromString(*family);
    if (id->empty() || id->size() > 64 || kind->empty() || !parsedFamily || !isValidApplicationId(*extension))
        return std::nullopt;
    PlacedWidget widget{*id, *kind, *parsedFamily, *extension, std::nullopt};
    // A broken position loses only the position: the widget goes back to a default place.
    auto x = record.find("x");
    auto y = record.find("y");
    if (x != record.end() && y != record.end() && x->is_number_integer() && y->is_number_integer()) {
        auto px = x->get<std::int64_t>();
        auto py = y->get<std::int64_t>();
        if (withinCoordinates(px) && withinCoordinates(py)) {
            WidgetPosition position{static_cast<int>(px), static_cast<int>(py)};
            if (const auto* output = stringMember(record, "output"); output && output->size() <= maxOutputName)
                position.output = *output;
            if (isPlausiblePosition(position)) widget.position = position;
        }
    }
    return widget;
}

}  // namespace

std::string PlacedWidgetList::takeIdentifier() {
    // Skip numbers that a hand-edited file may already use.
    for (;;) {
        std::string id = std::to_string(nextNumber++);
        if (!find(id)) return id;
    }
}

const PlacedWidget* PlacedWidgetList::find(std::string_view id) const {
    for (const auto& widget : widgets)
        if (widget.id == id) return &widget;
    return nullptr;
}

bool isPlausiblePosition(WidgetPosition position) {
    return withinCoordinates(position.x) && withinCoordinates(position.y);
}

std::string encodePlacedWidgets(const PlacedWidgetList& list) {
    json widgets = json::array();
    for (const auto& widget : list.widgets) {
        json record = {{"id", widget.id},
                       {"kind", widget.kind},
                       {"family", platform::toString(widget.family)},
                       {"extension", widget.extension}};
        if (widget.position) {
            record["x"] = widget.position->x;
            record["y"] = widget.position->y;
            if (!widget.position->output.empty()) record["output"] = widget.position->output;
        }
        widgets.push_back(std::move(record));
    }
    json doc = {{"version", 1}, {"nextNumber", list.nextNumber}, {"widgets", std::move(widgets)}};
    return doc.dump(2) + "\n";
}

std::optional<PlacedWidgetList> decodePlacedWidgets(std::string_view bytes, std::vector<std::string>* dropped) {
    // A record nested deeper than this would overflow the stack when it is printed as dropped.
    if (!platform::jsonDepthWithin(bytes)) return std::nullopt;
    auto doc = json::parse(bytes, nullptr, /*allow_exceptions=*/false);
    if (!doc.is_object()) return std::nullopt;
    auto widgets = doc.find("widgets");
    if (widgets == doc.end() || !widgets->is_array()) return std::nullopt;

    PlacedWidgetList list;
    if (auto next = doc.find("nextNumber"); next != doc.end() && next->is_number_unsigned())
        list.nextNumber = std::max<std::uint64_t>(1, next->get<std::uint64_t>());
    std::set<std::string, std::less<>> ids;
    for (const auto& record : *widgets) {
        auto widget = decodeWidget(record);
        if (!widget || !ids.insert(widget->id).second) {
            if (dropped) dropped->push_back(record.dump(-1, ' ', false, json::error_handler_t::replace));
            continue;
        }
        // Never hand out an identifier that is already taken, whatever "nextNumber" says.
        if (auto number = numberOf(widget->id); number && *number >= list.nextNumber) list.nextNumber = *number + 1;
        list.widgets.push_back(std::move(*widget));
    }
    return list;
}

PlacedWidgetList loadPlacedWidgets(const fs::path& file, std::vector<std::string>* problems) {
    std::error_code error;
    if (!fs::exists(file, error)) return {};
    auto bytes = platform::readRegularFile(file, maxListBytes);
    std::vector<std::string> dropped;
    auto list = bytes ? decodePlacedWidgets(*bytes, &dropped) : std::nullopt;
    if (problems)
        for (const auto& record : dropped) problems->push_back("left out a broken record: " + record);
    if (list) return std::move(*list);

    fs::path aside = file;
    aside += ".broken";
    fs::rename(file, aside, error);
    if (problems)
        problems->push_back(error ? file.string() + " cannot be read and cannot be moved aside: " + error.message()
                                  : file.string() + " cannot be read; kept as " + aside.string());
    return {};
}

bool savePlacedWidgets(const fs::path& file, const PlacedWidgetList& list) {
    if (!platform::createDirectories(file.parent_path())) return false;
    return platform::writeAtomically(file, encodePlacedWidgets(list));
}

std::optional<PlacedWidget> PlacedWidgetStore::add(PlacedWidget widget) {
    PlacedWidgetList next = list_;
    widget.id = next.takeIdentifier();
    next.widgets.push_back(widget);
    if (!commit(std::move(next))) return std::nullopt;
    return widget;
}

bool PlacedWidgetStore::remove(std::string_view id) {
    PlacedWidgetList next = list_;
    std::erase_if(next.widgets, [&](const PlacedWidget& w) { return w.id == id; });
    return commit(std::move(next));
}

bool PlacedWidgetStore::move(std::string_view id, WidgetPosition position) {
    PlacedWidgetList next = list_;
    for (auto& placed : next.widgets)
        if (placed.id == id) placed.position = position;
    return commit(std::move(next));
}

bool PlacedWidgetStore::setFamily(std::string_view id, platform::WidgetFamily family) {
    PlacedWidgetList next = list_;
    for (auto& placed : next.widgets)
        if (placed.id == id) placed.family = family;
    return commit(std::move(next));
}

std::optional<PlacedWidget> PlacedWidgetStore::restore(PlacedWidget widget) {
    PlacedWidgetList next = list_;
    if (widget.id.empty() || next.find(widget.id)) widget.id = next.takeIdentifier();
    next.widgets.push_back(widget);
    if (!commit(std::move(next))) return std::nullopt;
    return widget;
}

bool PlacedWidgetStore::commit(PlacedWidgetList next) {
    if (!savePlacedWidgets(file_, next)) return false;
    list_ = std::move(next);
    return true;
}

}  // namespace widgethost
