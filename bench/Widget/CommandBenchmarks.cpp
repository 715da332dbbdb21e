// How fast a press becomes a command file, and how soon the watch notices the application's answer.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include <nlohmann/json.hpp>

#include "Platform/System/Files.hpp"
#include "Platform/System/Services.hpp"
#include "Platform/System/Uuid.hpp"
#include "Widget/Store/WidgetStore.hpp"
#include "bench/Widget/BenchContainer.hpp"

namespace {

using nlohmann::json;
using Clock = std::chrono::steady_clock;

std::string snapshot(double updatedAt) {
    return json{{"updatedAt", updatedAt}, {"appRunning", false}, {"loggedIn", true}, {"offline", false},
                {"recent", json::array()},
                {"strings", {{"startTracking", ""}, {"stopTracking", ""}, {"today", ""}, {"recent", ""},
                             {"noRecent", ""}, {"notTracking", ""}, {"noDescription", ""}, {"openApp", ""},
                             {"loggedOut", ""}, {"offline", ""}}}}
        .dump();
}

// A running KelvoWidget on a pipe; each iteration sends one perform and waits for its file.
void BM_PerformToCommandFile(benchmark::State& state) {
    auto home = std::filesystem::temp_directory_path() / ("perform-bench-" + platform::makeUuidString());
    auto host = home / "group-containers/group.com.kelvo.desktop/com.kelvo.desktop";
    std::filesystem::create_directories(host / "commands");
    platform::writeAtomically(host / "state.json", snapshot(1));
    setenv("XDG_DATA_HOME", home.c_str(), 1);

    int in[2];
    if (pipe(in) != 0) std::abort();
    pid_t pid = fork();
    if (pid == 0) {
        dup2(in[0], 0);
        int devNull = open("/dev/null", O_WRONLY);
        dup2(devNull, 1);
        close(in[1]);
        execl(KELVO_WIDGET_PROGRAM, KELVO_WIDGET_PROGRAM, nullptr);
        _exit(127);
    }
    close(in[0]);
    int watch = inotify_init1(IN_CLOEXEC);
    inotify_add_watch(watch, (host / "commands").c_str(), IN_MOVED_TO);
    const std::string request =
        R"({"jsonrpc":"2.0","id":1,"method":"perform","params":{"intent":"StartTrackingIntent"}})"
        "\n";
    double mark = 2;
    char events[4096];
    for (auto _ : state) {
        auto start = Clock::now();
        if (write(in[1], request.data(), request.size()) < 0) std::abort();
        if (read(watch, events, sizeof events) <= 0) std::abort();
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
        // Answer at once so the watches end and do not pile up.
        platform::writeAtomically(host / "state.json", snapshot(mark++));
    }
    close(in[1]);
    waitpid(pid, nullptr, 0);
    close(watch);
    std::filesystem::remove_all(home);
}
BENCHMARK(BM_PerformToCommandFile)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(300)->Repetitions(3);

// From the application's rewrite of the snapshot to the end of the watch, with real 100 ms pauses.
void BM_WatchNoticesTheReaction(benchmark::State& state) {
    kelvo::bench::BenchContainer container(snapshot(1));
    auto host = container.hostDirectory();

    std::mt19937 random(7);
    double mark = 2;
    double slowest = 0;
    for (auto _ : state) {
        Clock::time_point changed;
        std::jthread application([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150 + random() % 400));
            platform::writeAtomically(host / "state.json", snapshot(mark++));
            changed = Clock::now();
        });
        kelvo::WidgetStore::send({kelvo::WidgetCommand::Action::stop, std::nullopt, std::nullopt, {}});
        auto ended = Clock::now();
        application.join();
        double seconds = std::chrono::duration<double>(ended - changed).count();
        slowest = std::max(slowest, seconds);
        state.SetIterationTime(seconds);
    }
    // The promise is about the worst case: the watch ends within one check of the change.
    state.counters["slowestMs"] = slowest * 1000;
}
BENCHMARK(BM_WatchNoticesTheReaction)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20)->Repetitions(3);

}  // namespace

BENCHMARK_MAIN();
