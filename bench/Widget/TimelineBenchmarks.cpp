// The widget's hot paths: answering a timeline request, and decoding snapshots small and large.
#include <benchmark/benchmark.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "Widget/Model/WidgetSnapshot.hpp"
#include "Widget/Timeline/TimerProvider.hpp"
#include "bench/Widget/BenchContainer.hpp"

namespace {

using nlohmann::json;

json snapshotWithRecent(int recentCount) {
    json recent = json::array();
    for (int i = 0; i < recentCount; ++i)
        recent.push_back({{"id", "entry-" + std::to_string(i)},
                          {"name", "Customer interviews, round " + std::to_string(i)},
                          {"project", "Research and discovery " + std::to_string(i % 17)}});
    return {
        {"updatedAt", 1796760000000.25},
        {"appRunning", true},
        {"loggedIn", true},
        {"offline", false},
        {"canTrack", true},
        {"deepLink", "kelvo://timer/entries/8f0b6a32-6a25-4f9b-9d61-8a7f2e3e1c44"},
        {"running", {{"name", "Design review for the new onboarding flow"}, {"project", "Website redesign"}, {"startTime", 1796758000000}}},
        {"today", {{"dayStart", 1796684400000}, {"baseSeconds", 11520}}},
        {"recent", recent},
        {"strings",
         {{"startTracking", "Start tracking"}, {"stopTracking", "Stop tracking"}, {"today", "Today"},
          {"recent", "Recent"}, {"noRecent", "Your recent tracking shows up here"}, {"notTracking", "Not tracking"},
          {"noDescription", "No description"}, {"openApp", "Open Kelvo to see your timer"},
          {"loggedOut", "Log in to Kelvo to start tracking"}, {"offline", "Offline"}}},
    };
}

// A typical snapshot pads its recent entries to about 2 KB.
std::string typicalSnapshot() {
    json doc = snapshotWithRecent(3);
    std::string bytes = doc.dump(4);
    return bytes;
}

void BM_TimelineRequest(benchmark::State& state) {
    platform::Services services;
    services.timeZone = [] { return std::string(); };  // the system zone, as in the real program
    // The running-application query is a bus round trip of its own, measured with the bridge.
    services.isApplicationRunning = [](const std::string&) { return true; };
    kelvo::bench::BenchContainer container(typicalSnapshot(), services);

    kelvo::TimerProvider provider;
    for (auto _ : state) {
        provider.getTimeline({}, [](const auto& timeline) { benchmark::DoNotOptimize(timeline.entries.data()); });
    }
    state.counters["snapshotBytes"] = static_cast<double>(typicalSnapshot().size());
}
BENCHMARK(BM_TimelineRequest)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_DecodeSnapshot(benchmark::State& state) {
    std::string bytes = snapshotWithRecent(static_cast<int>(state.range(0))).dump();
    for (auto _ : state) {
        auto snapshot = kelvo::WidgetSnapshot::decode(bytes);
        benchmark::DoNotOptimize(snapshot);
    }
    state.counters["bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(BM_DecodeSnapshot)->Arg(3)->Arg(10700)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
