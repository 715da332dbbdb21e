// The bridge's calls against a live fake widget host on a private session bus, and against a bus
// that accepts connections and never answers (what the application's thread loses when it hangs).
//   WidgetBridgeBench --benchmark_repetitions=10 --benchmark_report_aggregates_only=true
//   WidgetBridgeBench --benchmark_filter=silentBus   (one call per run, 20 runs: median and maximum)
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "kelvo_widget_bridge.h"
#include "tests/Bridge/SilentBus.hpp"
#include "tests/support/FakeHost.hpp"
#include "tests/support/PrivateBus.hpp"

namespace {

constexpr const char* placed = R"({"widgets": [
  {"id": "1", "extension": "com.example.bridgebench.widget", "kind": "TimerWidget", "family": "systemSmall"},
  {"id": "2", "extension": "com.example.bridgebench.widget", "kind": "TimerWidget", "family": "systemMedium"}
]})";

platform::test::FakeHost& host() {
    platform::test::PrivateBus::ofProcess();
    static platform::test::FakeHost instance(placed);
    return instance;
}

// One whole round trip: ask on a thread of its own, the host answers, the caller wakes up.
void placedCount(benchmark::State& state) {
    host();
    for (auto _ : state) {
        auto count = kelvo_widget_placed_count("TimerWidget", 1000);
        if (count != 2) state.SkipWithError("wrong count");
        benchmark::DoNotOptimize(count);
    }
}
BENCHMARK(placedCount)->UseRealTime()->Unit(benchmark::kMicrosecond);

// What a reload costs the caller: one message written, no reply awaited.
void reloadAllTimelines(benchmark::State& state) {
    host();
    for (auto _ : state) kelvo_widget_reload_all_timelines();
}
BENCHMARK(reloadAllTimelines)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The wall time of single calls, so the largest of the runs is one call's.
void silentBusRuns(benchmark::internal::Benchmark* benchmark) {
    benchmark->Iterations(1)->Repetitions(20)->UseRealTime()->Unit(benchmark::kMillisecond)->ReportAggregatesOnly(true);
    benchmark->ComputeStatistics("max", [](const std::vector<double>& runs) {
        return *std::max_element(runs.begin(), runs.end());
    });
}

void silentBusPlacedCount(benchmark::State& state) {
    kelvo::test::SilentBus bus;  // set up before the timed loop
    for (auto _ : state)
        if (kelvo_widget_placed_count("TimerWidget", 200) != -1) state.SkipWithError("a silent bus answered");
}
BENCHMARK(silentBusPlacedCount)->Apply(silentBusRuns);

void silentBusReloadAllTimelines(benchmark::State& state) {
    kelvo::test::SilentBus bus;  // set up before the timed loop
    for (auto _ : state) kelvo_widget_reload_all_timelines();
}
BENCHMARK(silentBusReloadAllTimelines)->Apply(silentBusRuns);

void containerPath(benchmark::State& state) {
    for (auto _ : state) {
        char* path = kelvo_widget_container_path("group.com.example.bridgebench");
        benchmark::DoNotOptimize(path);
        kelvo_widget_free_string(path);
    }
}
BENCHMARK(containerPath)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
