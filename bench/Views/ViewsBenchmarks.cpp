// The view layer's two costs per entry: the extension builds and encodes the view tree; the host
// lays it out and paints it (every second while a live timer shows).
#include <benchmark/benchmark.h>
#include <cairo.h>
#include <nlohmann/json.hpp>

#include "Platform/Views/Layout.hpp"
#include "Platform/Views/Painter.hpp"
#include "Platform/Views/ViewJson.hpp"
#include "Platform/Views/WidgetRenderer.hpp"
#include "Widget/Views/TimerWidgetView.hpp"

namespace {

using namespace kelvo;
namespace views = platform::views;

const Date now = Date::fromMilliseconds(1736937000000);  // 2025-01-15 10:30 UTC

TimerEntry mediumEntry() {
    WidgetSnapshot s;
    s.updatedAt = now;
    s.appRunning = true;
    s.loggedIn = true;
    s.canTrack = true;
    s.deepLink = "kelvo://timer";
    s.running = WidgetSnapshot::RunningEntry{"Design review", "Website redesign", now.addingSeconds(-1458)};
    s.today = WidgetSnapshot::TodayTotal{Date::fromMilliseconds(1736899200000), 11520};
    s.recent = {{"0", "Sprint planning", "Mobile app"}, {"1", "Customer interviews", "Research"}, {"2", "Weekly sync", {}}};
    s.strings = {"Start tracking", "Stop tracking", "Today", "Recent", "Your recent tracking shows up here",
                 "Not tracking", "No description", "Open Kelvo to see your timer", "Log in to Kelvo to start tracking",
                 "Offline"};
    return {now, s};
}

void BM_BuildAndEncodeMediumView(benchmark::State& state) {
    auto entry = mediumEntry();
    platform::WidgetEnvironment environment{platform::WidgetFamily::systemMedium, platform::WidgetRenderingMode::fullColor};
    for (auto _ : state) {
        auto text = std::make_shared<std::string>();
        views::appendJson(*text, TimerWidgetView{entry}.body(environment));
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_BuildAndEncodeMediumView);

void BM_BuildMediumViewOnly(benchmark::State& state) {
    auto entry = mediumEntry();
    platform::WidgetEnvironment environment{platform::WidgetFamily::systemMedium, platform::WidgetRenderingMode::fullColor};
    for (auto _ : state) {
        auto view = TimerWidgetView{entry}.body(environment);
        benchmark::DoNotOptimize(view);
    }
}
BENCHMARK(BM_BuildMediumViewOnly);

void BM_EncodeMediumViewOnly(benchmark::State& state) {
    auto view = TimerWidgetView{mediumEntry()}.body({platform::WidgetFamily::systemMedium, {}});
    for (auto _ : state) {
        std::string text;
        views::appendJson(text, view);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_EncodeMediumViewOnly);

void BM_ReadMediumView(benchmark::State& state) {
    auto json = views::toJson(TimerWidgetView{mediumEntry()}.body({platform::WidgetFamily::systemMedium, {}}));
    for (auto _ : state) {
        auto view = views::WidgetView::fromJson(json);
        benchmark::DoNotOptimize(view);
    }
}
BENCHMARK(BM_ReadMediumView);

// Lays out and paints `view` as a medium widget at scale 2 once per iteration, as the host does every
// second with the live timers one second on.
void paintEachSecond(benchmark::State& state, const views::WidgetView& view) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 728, 340);
    cairo_t* cr = cairo_create(surface);
    views::RenderOptions options{platform::WidgetFamily::systemMedium, 2, views::Appearance::dark, now};
    views::paint(cr, view, options);  // warm: fonts loaded, texts measured once
    double second = 0;
    for (auto _ : state) {
        options.now = now.addingSeconds(++second);
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        benchmark::DoNotOptimize(views::paint(cr, view, options));
        cairo_surface_flush(surface);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

void BM_LayOutAndPaintMediumAtScale2(benchmark::State& state) {
    paintEachSecond(state, *views::WidgetView::fromJson(views::toJson(
                               TimerWidgetView{mediumEntry()}.body({platform::WidgetFamily::systemMedium, {}}))));
}
BENCHMARK(BM_LayOutAndPaintMediumAtScale2)->Unit(benchmark::kMicrosecond);

// One text of the given length in bytes, with no line limit, beside a live timer: a careless or
// hostile extension's megabytes must not stall the host, which lays out every widget.
void BM_LayOutAndPaintLongText(benchmark::State& state) {
    std::string text;
    while (text.size() < static_cast<std::size_t>(state.range(0))) text += "Lorem ipsum dolor sit amet. ";
    text.resize(static_cast<std::size_t>(state.range(0)));
    auto tree = views::VStack(views::HorizontalAlignment::leading, 4, {views::TimerText(now), views::Text(text)});
    paintEachSecond(state, *views::WidgetView::fromJson(views::toJson(tree)));
    state.counters["textBytes"] = static_cast<double>(text.size());
}
BENCHMARK(BM_LayOutAndPaintLongText)->Arg(100)->Arg(2'400'000)->Unit(benchmark::kMicrosecond);

// What a desktop window does each second: move the timer texts of the layout it shows on, and
// repaint their frames only.
void BM_TickMediumAtScale2(benchmark::State& state) {
    auto view = *views::WidgetView::fromJson(
        views::toJson(TimerWidgetView{mediumEntry()}.body({platform::WidgetFamily::systemMedium, {}})));
    views::Layout drawn = *views::layOut(view, platform::WidgetFamily::systemMedium, now, views::PlacedBoxes::skipped).placed;
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 728, 340);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, 2, 2);
    views::paintLayout(cr, drawn, views::Appearance::dark);  // warm, as the window's first picture
    double second = 0;
    for (auto _ : state) {
        auto at = now.addingSeconds(++second);
        auto frames = views::advanceLiveTimers(drawn, at);
        if (!frames) {
            drawn = *views::layOut(view, platform::WidgetFamily::systemMedium, at, views::PlacedBoxes::skipped).placed;
            frames = std::vector<views::Rect>{{0, 0, drawn.size.width, drawn.size.height}};
        }
        cairo_save(cr);
        for (const auto& f : *frames) cairo_rectangle(cr, f.x - 2, f.y - 2, f.width + 4, f.height + 4);
        cairo_clip(cr);
        views::paintLayout(cr, drawn, views::Appearance::dark);
        cairo_restore(cr);
        cairo_surface_flush(surface);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}
BENCHMARK(BM_TickMediumAtScale2)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
