// What the widget gallery asks of the host: the installed widget kinds, their previews and a free
// spot for a new widget; and what a widget's menu needs.
#include <algorithm>
#include <cmath>
#include <utility>

#include <nlohmann/json.hpp>

#include "Host/WidgetHost/GalleryProgram.hpp"
#include "Host/WidgetHost/Host.hpp"
#include "Host/WidgetHost/Log.hpp"
#include "Platform/Views/WidgetMetrics.hpp"
#include "Platform/Widgets/Protocol.hpp"

namespace widgethost {
namespace {

using Code = HostError::Code;
using namespace std::chrono_literals;

HostError error(Code code, std::string message) { return HostError{code, std::move(message)}; }

// The gallery asks several questions in a row; its extensions stay up that long after the last one.
constexpr auto galleryHold = 30s;
// Where a headless host puts widgets: a desktop of the most common size.
constexpr DesktopArea nominalDesktop{0, 0, 1920, 1080};

DesktopArea areaOf(const PlacedWidget& placed) {
    auto size = platform::views::widgetSize(placed.family);
    auto position = placed.position.value_or(WidgetPosition{});
    return {position.x, position.y, static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height))};
}

}  // namespace

// Kinds ------------------------------------------------------------------------------------------

std::vector<KindDetails> Host::installedKinds() const {
    std::vector<KindDetails> kinds;
    for (const auto& extension : extensions_.identifiers()) {
        const auto* description = extensions_.description(extension);
        bool canRun = extensions_.phase(extension) != ExtensionPhase::unavailable;
        if (!extensions_.installed(extension) || !description || !canRun) continue;
        for (const auto& declaration : description->widgets) {
            KindDetails details{extension, declaration.kind, declaration.displayName, declaration.description, {}};
            if (details.displayName.empty()) details.displayName = declaration.kind;
            for (auto family : declaration.supportedFamilies)
                if (std::find(details.families.begin(), details.families.end(), family) == details.families.end())
                    details.families.push_back(family);
            if (!details.families.empty()) kinds.push_back(std::move(details));
        }
    }
    return kinds;
}

void Host::kinds(std::function<void(std::vector<KindDetails>)> done) {
    extensions_.rescan();
    extensions_.hold(galleryHold);
    pendingKinds_.push_back(std::move(done));
    extensions_.describeAll();
    settlePendingKinds();
}

void Host::settlePendingKinds() {
    if (pendingKinds_.empty()) return;
    // An extension that failed to start is left out rather than waited for through its back-off.
    if (extensions_.anyDescribing()) return;
    auto kinds = installedKinds();
    for (auto& done : std::exchange(pendingKinds_, {})) done(kinds);
}

// Previews -------------------------------------------------------------------------------------

void Host::preview(const PreviewRequest& request, std::function<void(HostResult<Done>)> done) {
    if (auto checked = checkPictureFile(request.path, request.scale); !checked) return done(checked.error());
    const Timers& timers = *timers_;
    previewEntry(request.kind, request.family, [request, done, &timers](HostResult<PreviewEntry> entry) {
        if (!entry) return done(entry.error());
        done(writePicture(entry->view,
                          {request.family, request.scale, request.appearance, timers.now(), entry->renderingMode},
                          request.path));
    });
}

void Host::previewEntry(const std::string& kind, platform::WidgetFamily family,
                        std::function<void(HostResult<PreviewEntry>)> done) {
    extensions_.hold(galleryHold);
    auto ask = [this, kind, family, done](const std::vector<KindDetails>& kinds) {
        auto known = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.kind == kind; });
        if (known == kinds.end())
            return done(error(Code::unknownKind, "no installed extension declares the kind \"" + kind + "\""));
        if (std::find(known->families.begin(), known->families.end(), family) == known->families.end())
            return done(error(Code::unsupportedFamily, kind + " does not come in " + std::string(platform::toString(family))));
        auto extension = known->extension;
        extensions_.whenReady(extension, [this, extension, kind, family, done](bool ready) {
            if (!ready) return done(error(Code::unavailable, "the extension of " + kind + " cannot run"));
            askForPreview(extension, kind, family, done);
        });
    };
    // The kinds known already do without a look at the directories.
    auto known = installedKinds();
    bool listed = std::any_of(known.begin(), known.end(), [&](const auto& k) { return k.kind == kind; });
    if (listed) return ask(known);
    kinds(ask);
}

void Host::askForPreview(const std::string& extension, const std::string& kind, platform::WidgetFamily family,
                         std::function<void(HostResult<PreviewEntry>)> done) {
    auto mode = options_.renderingMode;
    auto params = platform::protocol::toJson(platform::protocol::EntryRequest{kind, family, true, mode});
    auto answered = [done, mode](const RpcOutcome& outcome) {
        if (outcome.status != RpcOutcome::Status::answered)
            return done(error(Code::unavailable, "the extension did not answer: " + outcome.message));
        auto malformed = [&](const std::string& why) {
            done(error(Code::failed, "the extension's preview is malformed: " + why));
        };
        auto entry = platform::protocol::decodeEntry(*outcome.result);
        if (!entry) return malformed(entry.error().message);
        if (!entry->view) return malformed("the entry has no view");
        auto view = platform::views::WidgetView::fromJson(*entry->view);
        if (!view) return malformed(view.error().message);
        done(PreviewEntry{entry->date, entry->view, std::move(view).value(), mode});
    };
    if (!extensions_.send(extension, platform::protocol::method::getSnapshot, params, options_.requestTimeout, answered))
        done(error(Code::unavailable, "the extension of " + kind + " cannot run"));
}

// Free spots -----------------------------------------------------------------------------------

std::optional<WidgetPosition> Host::spotOn(const std::optional<ScreenOutput>& output, platform::WidgetFamily family,
                                           const std::optional<DesktopArea>& avoid) const {
    // Positions count from the corner of their own output (none named: the primary one).
    auto onThisOutput = [&](const PlacedWidget& placed) {
        if (!output) return true;
        auto kept = placed.position.value_or(WidgetPosition{}).output;
        return kept == output->output || (kept.empty() && output->primary);
    };
    auto fromCorner = [&](DesktopArea area) {
        if (output) {
            area.x -= output->bounds.x;
            area.y -= output->bounds.y;
        }
        return area;
    };
    std::vector<DesktopArea> occupied;
    for (const auto& widget : widgets_)
        if (auto placed = shown(*widget); onThisOutput(placed)) occupied.push_back(areaOf(placed));
    if (avoid) occupied.push_back(fromCorner(*avoid));
    auto size = platform::views::widgetSize(family);
    auto area = output ? fromCorner(output->free) : nominalDesktop;
    int width = static_cast<int>(std::ceil(size.width)), height = static_cast<int>(std::ceil(size.height));
    auto spot = freeSpot(area, width, height, occupied);
    // A window too large to leave room beside it still leaves the widget where it shows most.
    if (!spot && avoid) spot = leastCoveredCorner(area, width, height, fromCorner(*avoid));
    if (spot && output) spot->output = output->output;
    return spot;
}

// The widget menu ------------------------------------------------------------------------------

std::string Host::extensionName(const std::string& id) const {
    const auto* widget = widgetNamed(id);
    if (!widget) return "";
    const auto& extension = record(*widget).extension;
    const auto* manifest = extensions_.manifest(extension);
    return manifest ? manifest->displayName : extension;
}

void Host::openGallery() {
    log(LogLevel::info, "opening the widget gallery");
    startDetached({galleryProgram()}, "the widget gallery");
}

}  // namespace widgethost
