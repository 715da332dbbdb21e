#include "Host/WidgetHost/PictureScreen.hpp"

#include <map>
#include <memory>

#include "Host/WidgetHost/Log.hpp"
#include "Host/WidgetHost/Picture.hpp"
#include "Platform/System/Files.hpp"

namespace widgethost {
namespace {

class PictureWriter {
public:
    PictureWriter(PictureScreenOptions options, std::function<void(const std::string&, const std::string&)> drawn)
        : options_(std::move(options)), drawn_(std::move(drawn)) {}

    void show(const PlacedWidget& placed, const platform::views::WidgetLayoutInfo* layout) {
        if (!layout) {
            // An entry without a view shows nothing; an old picture would be a lie.
            remove(placed.id);
            return;
        }
        auto& shown = shown_[placed.id];
        shown.family = placed.family;
        shown.layout = *layout;
        write(placed.id, shown);
    }

    void remove(const std::string& id) {
        shown_.erase(id);
        std::error_code ignored;
        std::filesystem::remove(path(id), ignored);
    }

    void setAppearance(platform::views::Appearance appearance) {
        options_.appearance = appearance;
        // Colours are resolved when painting: the layouts stay as they are.
        for (auto& [id, shown] : shown_) write(id, shown);
    }

    std::string picture(const std::string& id) const {
        auto it = shown_.find(id);
        return it != shown_.end() && it->second.fingerprint ? path(id).string() : "";
    }

private:
    struct Shown {
        platform::WidgetFamily family;
        platform::views::WidgetLayoutInfo layout;
        std::optional<std::size_t> fingerprint;  // of the picture last written
    };

    std::filesystem::path path(const std::string& id) const { return options_.directory / (id + ".png"); }

    void write(const std::string& id, Shown& shown) {
        auto picture = paintPicture(shown.layout, shown.family, options_.scale, options_.appearance, options_.renderingMode);
        auto print = picture ? std::optional(fingerprint(*picture)) : std::nullopt;
        if (print && print == shown.fingerprint) return;
        auto png = picture ? encodePng(*picture) : std::nullopt;
        if (!png) {
            log(LogLevel::warning, "widget ", id, ": the picture could not be made");
            return;
        }
        if (!platform::writeAtomically(path(id), *png)) {
            log(LogLevel::warning, "widget ", id, ": cannot write ", path(id).string());
            return;
        }
        shown.fingerprint = print;
        if (drawn_) drawn_(id, path(id).string());
    }

    PictureScreenOptions options_;
    std::function<void(const std::string&, const std::string&)> drawn_;
    std::map<std::string, Shown> shown_;
};

}  // namespace

WidgetScreen pictureScreen(PictureScreenOptions options,
                           std::function<void(const std::string& id, const std::string& picture)> drawn) {
    std::string where = "pictures in " + options.directory.string();
    auto writer = std::make_shared<PictureWriter>(std::move(options), std::move(drawn));
    return WidgetScreen{
        [writer](const PlacedWidget& placed, const std::string&, const platform::views::WidgetView*,
                 const platform::views::WidgetLayoutInfo* layout) { writer->show(placed, layout); },
        [writer](const std::string& id) { writer->remove(id); },
        [](const std::string&, WidgetPosition position) { return position; },
        [writer](platform::views::Appearance appearance) { writer->setAppearance(appearance); },
        [writer](const std::string& id) { return writer->picture(id); },
        std::move(where),
        nullptr,  // no pointer: widgets go to free spots of a nominal desktop
    };
}

}  // namespace widgethost
