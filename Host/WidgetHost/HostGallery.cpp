// What the widget gallery asks of the host: the installed widget kinds, their previews and a place
// near the pointer; and what a widget's menu needs.
#include <sys/inotify.h>
#include <systemd/sd-event.h>

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
// Installing a package or building writes many files; one rescan follows them all.
constexpr auto directorySettle = 300ms;
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
    for (const auto& extension : extensions_.all()) {
        bool canRun = extension->phase != Extension::Phase::unavailable;
        if (!extension->installed || !extension->description || !canRun) continue;
        for (const auto& declaration : extension->description->widgets) {
            KindDetails details{extension->manifest.bundleIdentifier, declaration.kind, declaration.displayName,
                                declaration.description, {}};
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
    extensions_.rescan(options_.extensionDirectories);
    holdForGallery();
    pendingKinds_.push_back(std::move(done));
    for (const auto& extension : extensions_.all())
        if (extension->installed && !extension->description) extensions_.ensureRunning(*extension);
    settlePendingKinds();
}

void Host::settlePendingKinds() {
    if (pendingKinds_.empty()) return;
    // An extension that failed to start is left out rather than waited for through its back-off.
    const auto& extensions = extensions_.all();
    bool stillDescribing = std::any_of(extensions.begin(), extensions.end(), [](const auto& extension) {
        return extension->installed && !extension->description && extension->phase == Extension::Phase::describing;
    });
    if (stillDescribing) return;
    auto kinds = installedKinds();
    for (auto& done : std::exchange(pendingKinds_, {})) done(kinds);
}

// Previews -------------------------------------------------------------------------------------

void Host::preview(const PreviewRequest& request, std::function<void(HostResult<Done>)> done) {
    if (auto refused = checkPictureFile(request.path, request.scale)) return done(*refused);
    const Timers& timers = *timers_;
    previewEntry(request.kind, request.family, [request, done, &timers](HostResult<PreviewEntry> entry) {
        if (auto* failure = std::get_if<HostError>(&entry)) return done(*failure);
        const auto& preview = std::get<PreviewEntry>(entry);
        done(writePicture(preview.view,
                          {request.family, request.scale, request.appearance, timers.now(), preview.renderingMode},
                          request.path));
    });
}

void Host::previewEntry(const std::string& kind, platform::WidgetFamily family,
                        std::function<void(HostResult<PreviewEntry>)> done) {
    holdForGallery();
    auto ask = [this, kind, family, done](const std::vector<KindDetails>& kinds) {
        auto known = std::find_if(kinds.begin(), kinds.end(), [&](const auto& k) { return k.kind == kind; });
        if (known == kinds.end())
            return done(error(Code::unknownKind, "no installed extension declares the kind \"" + kind + "\""));
        if (std::find(known->families.begin(), known->families.end(), family) == known->families.end())
            return done(error(Code::unsupportedFamily, kind + " does not come in " + std::string(platform::toString(family))));
        auto* extension = extensions_.find(known->extension);
        if (!extension) return done(error(Code::unavailable, known->extension + " is not installed"));
        whenReady(*extension, [this, kind, family, done](Extension* ready) { askForPreview(ready, kind, family, done); });
    };
    // The kinds known already do without a look at the directories.
    auto known = installedKinds();
    bool listed = std::any_of(known.begin(), known.end(), [&](const auto& k) { return k.kind == kind; });
    if (listed) return ask(known);
    kinds(ask);
}

void Host::askForPreview(Extension* extension, const std::string& kind, platform::WidgetFamily family,
                         std::function<void(HostResult<PreviewEntry>)> done) {
    auto unavailable = error(Code::unavailable, "the extension of " + kind + " cannot run");
    if (!extension) return done(unavailable);
    auto mode = options_.renderingMode;
    auto params = platform::protocol::toJson(platform::protocol::EntryRequest{kind, family, true, mode});
    auto answered = [done, mode](const RpcOutcome& outcome) {
        if (outcome.status != RpcOutcome::Status::answered)
            return done(error(Code::unavailable, "the extension did not answer: " + outcome.message));
        auto entry = platform::protocol::decodeEntry(*outcome.result);
        std::string why = entry ? "" : entry.error().message;
        std::optional<platform::views::WidgetView> view;
        if (entry && !entry->view) why = "the entry has no view";
        if (entry && entry->view) view = platform::views::WidgetView::fromJson(*entry->view, &why);
        if (!view) return done(error(Code::failed, "the extension's preview is malformed: " + why));
        done(PreviewEntry{entry->date, entry->view, std::move(*view), mode});
    };
    if (!extension->process->send(platform::protocol::method::getSnapshot, params, options_.requestTimeout, answered))
        done(unavailable);
}

void Host::whenReady(Extension& extension, std::function<void(Extension*)> then) {
    if (extension.ready() && !extension.stopping) return then(&extension);
    readyWaiters_.emplace_back(extension.manifest.bundleIdentifier, std::move(then));
    extensions_.ensureRunning(extension);
}

std::vector<std::function<void(Extension*)>> Host::takeReadyWaiters(const std::string& bundleIdentifier) {
    std::vector<std::function<void(Extension*)>> taken;
    std::erase_if(readyWaiters_, [&](auto& waiter) {
        if (waiter.first != bundleIdentifier) return false;
        taken.push_back(std::move(waiter.second));
        return true;
    });
    return taken;
}

void Host::holdForGallery() {
    heldForGallery_ = true;
    galleryHold_ = timers_->after(galleryHold, [this] {
        heldForGallery_ = false;
        extensions_.stopIdle();
    });
}

// Placing near the pointer ---------------------------------------------------------------------

WidgetPosition Host::spotNearPointer(platform::WidgetFamily family) const {
    auto output = screen_.outputUnderPointer ? screen_.outputUnderPointer() : std::nullopt;
    // Positions count from the corner of their own output (none named: the primary one).
    auto onThisOutput = [&](const PlacedWidget& placed) {
        if (!output) return true;
        auto kept = placed.position.value_or(WidgetPosition{}).output;
        return kept == output->output || (kept.empty() && output->primary);
    };
    std::vector<DesktopArea> occupied;
    for (const auto& widget : widgets_)
        if (onThisOutput(widget->placed)) occupied.push_back(areaOf(widget->placed));
    auto size = platform::views::widgetSize(family);
    auto area = output ? DesktopArea{0, 0, output->width, output->height} : nominalDesktop;
    auto spot = freeSpot(area, static_cast<int>(std::ceil(size.width)), static_cast<int>(std::ceil(size.height)),
                         occupied);
    // A full output still gets the widget, on top of the others, where the user looks for it.
    if (!spot && output) spot = WidgetPosition{24, 24};
    if (!spot) return defaultPosition(widgets_.size());
    if (output) spot->output = output->output;
    return *spot;
}

// Installed extensions coming and going --------------------------------------------------------

void Host::watchExtensionDirectories() {
    auto changed = [](sd_event_source*, const struct inotify_event*, void* self) -> int {
        static_cast<Host*>(self)->extensionDirectoriesChanged();
        return 0;
    };
    constexpr uint32_t mask = IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM | IN_CLOSE_WRITE | IN_ATTRIB;
    for (const auto& directory : options_.extensionDirectories) {
        sd_event_source* watch = nullptr;
        // Directories that do not exist yet are not watched: they are looked at on the next request.
        if (sd_event_add_inotify(loop_, &watch, directory.c_str(), mask | IN_ONLYDIR, changed, this) >= 0)
            directoryWatches_.push_back(watch);
    }
}

void Host::extensionDirectoriesChanged() {
    directoriesSettle_ = timers_->after(directorySettle, [this] {
        extensions_.rescan(options_.extensionDirectories);
        // A program replaced on disk may declare other kinds: stopped ones are asked again.
        for (const auto& extension : extensions_.all())
            if (!extension->process || !extension->process->running()) extension->description.reset();
        log(LogLevel::debug, "the installed extensions may have changed");
        if (kindsChanged_) kindsChanged_();
    });
}

// The widget menu ------------------------------------------------------------------------------

std::string Host::extensionName(const std::string& id) const {
    const auto* widget = widgetNamed(id);
    if (!widget) return "";
    const auto* extension = extensions_.find(widget->placed.extension);
    return extension ? extension->manifest.displayName : widget->placed.extension;
}

void Host::openGallery() {
    log(LogLevel::info, "opening the widget gallery");
    startDetached({galleryProgram()}, "the widget gallery");
}

}  // namespace widgethost
