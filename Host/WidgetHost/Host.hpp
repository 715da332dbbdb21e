#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "Host/WidgetHost/ClockChangeWatch.hpp"
#include "Host/WidgetHost/ExtensionCatalog.hpp"
#include "Host/WidgetHost/ExtensionProcess.hpp"
#include "Host/WidgetHost/ExtensionSupervisor.hpp"
#include "Host/WidgetHost/FreeSpot.hpp"
#include "Host/WidgetHost/PlacedWidgets.hpp"
#include "Host/WidgetHost/PressTarget.hpp"
#include "Host/WidgetHost/Timers.hpp"
#include "Host/WidgetHost/WidgetScheduler.hpp"
#include "Host/WidgetHost/WidgetTimeline.hpp"
#include "Platform/Intents/Intent.hpp"
#include "Platform/System/Result.hpp"
#include "Platform/Views/WidgetRenderer.hpp"

// The widget host: keeps the placed widgets, runs their extensions, holds their timelines, draws
// them and turns presses into intents. Everything runs on one sd-event loop.
namespace widgethost {

struct HostOptions {
    std::vector<std::filesystem::path> extensionDirectories;  // searched in this order
    std::filesystem::path placedWidgetsFile;
    std::filesystem::path outputDirectory;  // one "<id>.png" per placed widget
    double scale = 2;
    platform::views::Appearance appearance = platform::views::Appearance::light;
    platform::WidgetRenderingMode renderingMode = platform::WidgetRenderingMode::fullColor;
    std::string urlOpener = "xdg-open";
    std::chrono::milliseconds requestTimeout{5000};
    std::chrono::milliseconds performTimeout{15000};
    ExtensionLimits limits;
    // What every program the host starts gets (extensions, the gallery, the URL opener): the user's
    // environment, taken before the host tuned its own; nothing: the host's as it is.
    std::optional<std::vector<std::string>> childEnvironment;
};

struct HostError {
    enum class Code { invalidArgument, unknownWidget, unknownKind, unsupportedFamily, unknownLabel, disabled,
                      nothingToShow, unavailable, failed };
    Code code;
    std::string message;
};

struct ButtonDetails {
    std::string label;
    bool enabled = false;
    std::string intent;
    platform::views::Rect frame;  // in points from the widget's top-left corner
};

struct WidgetDetails {
    PlacedWidget placed;  // its position is always there: where it is shown, else the saved one
    double entryDate = 0;  // milliseconds since 1970; 0 when nothing is shown
    std::vector<std::string> texts;
    std::vector<ButtonDetails> buttons;
    std::string picture;  // "" when there is none
    std::string status;
};

struct PressResult {
    enum class Action { perform, open, none };
    Action action = Action::none;
    std::string target;  // the intent's name or the link
};

struct RenderRequest {
    std::string id;
    std::filesystem::path path;
    double scale = 2;
    platform::views::Appearance appearance = platform::views::Appearance::light;
    platform::WidgetRenderingMode mode = platform::WidgetRenderingMode::fullColor;
};

/// One widget kind as the gallery lists it.
struct KindDetails {
    std::string extension;  // bundle identifier
    std::string kind;
    std::string displayName;  // the gallery name, else the kind
    std::string description;
    std::vector<platform::WidgetFamily> families;
};

/// A kind's preview entry as its extension made it, for a client that lays it out itself.
struct PreviewEntry {
    platform::Date date;
    std::shared_ptr<const nlohmann::json> tree;  // the view tree in its wire form
    platform::views::WidgetView view;            // the same, checked
    platform::WidgetRenderingMode renderingMode;
};

struct PreviewRequest {
    std::string kind;
    platform::WidgetFamily family = platform::WidgetFamily::systemSmall;
    std::filesystem::path path;  // a PNG is written there
    double scale = 2;
    platform::views::Appearance appearance = platform::views::Appearance::light;
};

template <class T>
using HostResult = platform::Result<T, HostError>;
using platform::Done;

/// An output a new widget may go on: where it lies and the part of it that panels leave free (both
/// on the desktop), and the name positions on it are kept under.
struct ScreenOutput {
    DesktopArea bounds;
    DesktopArea free;
    std::string output;
    bool primary = false;
};

/// Where the widgets appear: one window each on a desktop, or one picture file each
/// (`pictureScreen`). Either paints the layouts the host hands it, and the host's clock moves their
/// live timers on.
struct WidgetScreen {
    /// Shows a widget under `title` at its position, as `view` laid out in `layout`; hides it when
    /// `view` is null.
    std::function<void(const PlacedWidget& placed, const std::string& title, const platform::views::WidgetView* view,
                       const platform::views::WidgetLayoutInfo* layout)>
        show;
    std::function<void(const std::string& id)> remove;
    /// Moves a widget; returns where it really went (a screen keeps widgets on its outputs).
    std::function<WidgetPosition(const std::string& id, WidgetPosition position)> move;
    std::function<void(platform::views::Appearance appearance)> setAppearance;
    /// The widget's picture file, "" when there is none.
    std::function<std::string(const std::string& id)> picture;
    /// Where the widgets appear, as the log says it when the host starts.
    std::string description;
    /// Where a widget really is now, which differs from where it is kept while its output is gone or
    /// the window manager holds it elsewhere; nothing for a widget without a window.
    std::function<std::optional<WidgetPosition>(const std::string& id)> shownAt = nullptr;
    /// The output under the pointer; unset or nothing where there is no desktop.
    std::function<std::optional<ScreenOutput>()> outputUnderPointer = nullptr;
    /// The primary output; unset or nothing where there is no desktop.
    std::function<std::optional<ScreenOutput>()> primaryOutput = nullptr;
};

/// Who moved a widget: the user, by dragging its window (which is already there), or a request
/// (which moves the window), both kept; or the screen, which showed it elsewhere than kept because
/// the window manager put it there or to keep it on screen, which is never kept.
enum class MoveOrigin { user, request, windowManager, keptOnScreen };

/// Where a widget goes when it was placed without a position and nothing tells where there is room:
/// the n-th one down a column at the left of the desktop, then the next column.
WidgetPosition defaultPosition(std::size_t index);

class Host {
public:
    /// Timers on `loop` unless `timers` are given.
    Host(sd_event* loop, HostOptions options, std::unique_ptr<Timers> timers = nullptr);
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;
    ~Host();

    /// Shows the widgets on `screen` instead of writing pictures. Call before `start`.
    void setScreen(WidgetScreen screen) { screen_ = std::move(screen); }

    /// Finds the extensions, restores the placed widgets and starts asking for their timelines.
    void start();
    /// Lets every extension finish and end; `finished` runs once none runs any more.
    void shutDown(std::function<void()> finished);

    /// Runs after a widget's picture file was rewritten.
    void setDrawnHandler(std::function<void(const std::string& id, const std::string& picture)> handler);

    // What applications and their extensions ask for.
    void reloadApplication(const std::string& applicationId);
    std::vector<PlacedWidget> configurations(const std::string& applicationId) const;

    // What widgetctl asks for.
    void place(const std::string& kind, platform::WidgetFamily family, std::optional<WidgetPosition> position,
               std::function<void(HostResult<std::string>)> done);
    /// Places a widget at a free spot of the work area on the output under the pointer (headless: of
    /// a nominal desktop), clear of `avoid` (a window on the desktop, such as the gallery's).
    void placeNearPointer(const std::string& kind, platform::WidgetFamily family,
                          std::function<void(HostResult<std::string>)> done,
                          std::optional<DesktopArea> avoid = std::nullopt);
    /// Moves a widget and keeps its new position when the user or a request moved it; a move of the
    /// screen's own is only logged.
    HostResult<Done> move(const std::string& id, WidgetPosition position, MoveOrigin origin);
    /// Removes a widget; gives back its record with the position it showed at, for `restore`.
    HostResult<PlacedWidget> remove(const std::string& id);
    /// Puts a removed widget back as it was (kind, family, position, and its id unless that is
    /// taken); gives its id.
    HostResult<std::string> restore(const PlacedWidget& removed);
    /// Changes a widget's family in place: it keeps its id and its saved position, and is asked for
    /// a timeline in the new family.
    HostResult<Done> resize(const std::string& id, platform::WidgetFamily family);
    std::vector<WidgetDetails> list() const;
    /// One placed widget's details, as list() gives them.
    std::optional<WidgetDetails> details(const std::string& id) const;
    void render(const RenderRequest& request, std::function<void(HostResult<Done>)> done);
    HostResult<std::string> press(const std::string& id, const std::string& label);
    HostResult<PressResult> pressAt(const std::string& id, double x, double y);
    void reloadAll();

    // What the widget gallery asks for.
    /// Every widget kind of the installed extensions, once each of them has described itself.
    void kinds(std::function<void(std::vector<KindDetails>)> done);
    /// Draws a kind's preview entry to a PNG file.
    void preview(const PreviewRequest& request, std::function<void(HostResult<Done>)> done);
    /// A kind's preview entry in a family, as data.
    void previewEntry(const std::string& kind, platform::WidgetFamily family,
                      std::function<void(HostResult<PreviewEntry>)> done);
    /// Runs whenever the installed extensions may have changed, so that listeners ask `kinds` again.
    void setKindsChangedHandler(std::function<void()> handler) { kindsChanged_ = std::move(handler); }

    // What a widget's menu offers.
    /// The name of the extension that draws the widget, "" when the id is unknown.
    std::string extensionName(const std::string& id) const;
    /// Starts the widget gallery.
    void openGallery();
    /// The display name of the widget's kind, else the kind.
    std::string kindName(const PlacedWidget& placed) const;
    /// The families the widget's kind comes in, known once its extension has described itself, and
    /// the widget's own; nothing when the id is unknown.
    struct Sizes {
        platform::WidgetFamily current;
        std::vector<platform::WidgetFamily> supported;
    };
    std::optional<Sizes> sizes(const std::string& id) const;

    /// What a click in a widget's window meant: run an intent or open the link.
    HostResult<PressResult> activate(const std::string& id, const PressTarget& target);

    /// Redraws every widget in the desktop's new appearance.
    void setAppearance(platform::views::Appearance appearance);

    /// Reloads every timeline and redraws after the wall clock jumped.
    void clockChanged();
    /// The same after the machine woke up: timers on the monotonic clock stood still meanwhile.
    void systemResumed();

    const HostOptions& options() const { return options_; }

private:
    // What the host holds for a placed widget besides its record, which only `placed_` keeps.
    struct WidgetSlot {
        std::string id;
        WidgetPosition fallbackPosition;  // where it shows while its record has no position
        std::vector<EncodedEntry> entries;  // sorted by date
        std::vector<std::optional<platform::views::WidgetView>> views;  // each entry's view, read once
        bool hasTimeline = false;
        bool askedForPlaceholder = false;
        bool requestInFlight = false;
        bool reloadAgain = false;

        // What is on screen.
        std::optional<size_t> shownIndex;
        std::optional<platform::views::WidgetLayoutInfo> layout;
    };

    struct PendingPlace {
        std::string kind;
        platform::WidgetFamily family;
        std::optional<WidgetPosition> position;
        std::function<void(HostResult<std::string>)> done;
        bool nearPointer = false;  // the position is found when the kind is known
        std::optional<DesktopArea> avoid = std::nullopt;  // a window the new widget must not go under
    };

    // Extensions.
    bool inUse(const std::string& extension) const;
    void extensionReady(const std::string& extension);
    void extensionEnded(const std::string& extension);
    void finishShutDownWhenIdle();

    // Widgets and timelines.
    WidgetSlot* widgetNamed(const std::string& id);
    const WidgetSlot* widgetNamed(const std::string& id) const;
    WidgetDetails detailsOf(const WidgetSlot& widget, const PlacedWidget& record) const;
    /// The widget's record as kept; valid until the next change of the placed widgets.
    const PlacedWidget& record(const WidgetSlot& widget) const;
    /// The record with the position the widget shows at.
    PlacedWidget shown(const WidgetSlot& widget) const;
    static PlacedWidget shown(const WidgetSlot& widget, const PlacedWidget& record);
    void addWidget(const PlacedWidget& placed);
    void refresh(WidgetSlot& widget);
    void timelineArrived(const std::string& id, platform::WidgetFamily family, const RpcOutcome& outcome);
    void placeholderArrived(const std::string& id, platform::WidgetFamily family, const RpcOutcome& outcome);
    void requestReload(WidgetSlot& widget) { scheduler_.requestReload(widget.id); }
    nlohmann::json requestParams(const WidgetSlot& widget, platform::WidgetRenderingMode mode) const;
    using Views = std::vector<std::optional<platform::views::WidgetView>>;
    static platform::Result<Views> readViews(const std::vector<EncodedEntry>& entries);

    // Places.
    void startPlace(PendingPlace request);
    /// A free spot for a new widget in the work area of `output` (headless: of a nominal desktop),
    /// clear of the other widgets there and of `avoid`.
    std::optional<WidgetPosition> spotOn(const std::optional<ScreenOutput>& output, platform::WidgetFamily family,
                                         const std::optional<DesktopArea>& avoid) const;
    void settlePendingPlaces();
    HostResult<std::string> finishPlace(const PendingPlace& request, const std::string& extension);
    HostError cannotWrite() const;

    // Pictures to files, for Render and Preview.
    static platform::Status<HostError> checkPictureFile(const std::filesystem::path& path, double scale);
    static HostResult<Done> writePicture(const platform::views::WidgetView& view,
                                         const platform::views::RenderOptions& options,
                                         const std::filesystem::path& path);

    // Drawing.
    /// Shows the entry due now and schedules the next drawing.
    void draw(WidgetSlot& widget);
    void reevaluateAll();
    std::string titleOf(const WidgetSlot& widget) const;

    // The gallery.
    void settlePendingKinds();
    std::vector<KindDetails> installedKinds() const;
    void askForPreview(const std::string& extension, const std::string& kind, platform::WidgetFamily family,
                       std::function<void(HostResult<PreviewEntry>)> done);

    // Presses.
    HostResult<std::string> perform(WidgetSlot& widget, const platform::IntentValue& intent);
    void openLink(const std::string& url);
    /// Starts a program that outlives the host's interest in it; `what` names it in the log.
    void startDetached(const std::vector<std::string>& command, const std::string& what);

    sd_event* loop_;
    HostOptions options_;
    std::unique_ptr<Timers> timers_;
    WidgetScheduler scheduler_;
    WidgetScreen screen_;
    PlacedWidgetStore placed_;
    ExtensionSupervisor extensions_;
    std::vector<std::unique_ptr<WidgetSlot>> widgets_;
    std::vector<PendingPlace> pendingPlaces_;
    std::vector<std::function<void(std::vector<KindDetails>)>> pendingKinds_;
    std::function<void()> kindsChanged_;
    ClockChangeWatch clockWatch_;
    std::function<void(const std::string&, const std::string&)> drawn_;
    bool shuttingDown_ = false;
    std::function<void()> shutDownFinished_;
};

}  // namespace widgethost
