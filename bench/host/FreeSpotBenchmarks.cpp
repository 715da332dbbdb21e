// Where a new widget goes among many placed ones: the host answers PlaceNearPointer and the
// gallery's "Add" with it, on its one loop.
#include <benchmark/benchmark.h>

#include <random>

#include "Host/WidgetHost/FreeSpot.hpp"

namespace {

using widgethost::DesktopArea;

// Widgets in columns from the top-left, as the default positions fill a desktop, and beyond that
// scattered over it at random, so that most candidate corners are taken.
std::vector<DesktopArea> crowdedDesktop(int count) {
    std::vector<DesktopArea> areas;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> x(0, 1920 - 170), y(0, 1080 - 170);
    for (int i = 0; i < count; ++i) areas.push_back({x(random), y(random), 170, 170});
    return areas;
}

void BM_FreeSpot(benchmark::State& state) {
    auto areas = crowdedDesktop(static_cast<int>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(widgethost::freeSpot({0, 0, 1920, 1080}, 364, 170, areas));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_FreeSpot)->RangeMultiplier(4)->Range(16, 16384)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
