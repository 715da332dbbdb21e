// Whole-process cost of one timeline request: KelvoWidget started with one getTimeline on its
// standard input, reading a real container, next to /bin/true started the same way. Besides wall
// time, each reports the started process's own CPU time (childCpu, in ms), which a busy machine
// disturbs less. KELVO_OTHER_WIDGET=PATH adds another build's KelvoWidget (with its manifest beside
// it) to the same run, for a before and after.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <utility>

extern char** environ;

namespace {

std::filesystem::path home;

void prepareContainer() {
    home = std::filesystem::temp_directory_path() / ("program-bench-" + std::to_string(getpid()));
    auto state = home / "group-containers/group.com.kelvo.desktop/com.kelvo.desktop";
    std::filesystem::create_directories(state);
    // With KELVO_BENCH_APP_RUNNING set the snapshot says the application runs, and the extension asks
    // the session bus whether it does, as it usually must.
    std::ofstream(state / "state.json") << R"({"updatedAt":1796760000000,"appRunning":)"
                                        << (std::getenv("KELVO_BENCH_APP_RUNNING") ? "true" : "false")
                                        << R"(,"loggedIn":true,"offline":false,
 "canTrack":true,"running":{"name":"Design review","project":"Website redesign","startTime":1796758000000},
 "today":{"dayStart":1796684400000,"baseSeconds":11520},
 "recent":[{"id":"0","name":"Sprint planning","project":"Mobile app"},{"id":"1","name":"Customer interviews","project":"Research"},{"id":"2","name":"Weekly sync"}],
 "strings":{"startTracking":"Start tracking","stopTracking":"Stop tracking","today":"Today","recent":"Recent","noRecent":"Your recent tracking shows up here","notTracking":"Not tracking","noDescription":"No description","openApp":"Open Kelvo to see your timer","loggedOut":"Log in to Kelvo to start tracking","offline":"Offline"}})";
    std::ofstream(home / "request") << R"({"jsonrpc":"2.0","id":1,"method":"getTimeline","params":{"family":"systemSmall","isPreview":false}})"
                                    << "\n";
    setenv("XDG_DATA_HOME", home.c_str(), 1);
}

// Returns the child's user and system time in milliseconds.
double runOnce(const char* program) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, (home / "request").c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(program), nullptr};
    pid_t pid;
    if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0) std::abort();
    int status;
    struct rusage usage {};
    wait4(pid, &status, 0, &usage);
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) std::abort();
    auto ms = [](timeval t) { return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3; };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

void runEach(benchmark::State& state, const char* program) {
    double cpu = 0;
    for (auto _ : state) cpu += runOnce(program);
    state.counters["childCpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
}

// The program and /bin/true in turn, so that a busy or drifting machine weighs on both alike;
// `ratio` is the program's CPU time over /bin/true's.
void runAgainstBinTrue(benchmark::State& state, const char* program) {
    double baseline = 0;
    double cpu = 0;
    for (auto _ : state) {
        baseline += runOnce("/bin/true");
        cpu += runOnce(program);
    }
    state.counters["binTrueCpu"] = benchmark::Counter(baseline, benchmark::Counter::kAvgIterations);
    state.counters["childCpu"] = benchmark::Counter(cpu, benchmark::Counter::kAvgIterations);
    state.counters["ratio"] = cpu / baseline;
}

void BM_BinTrue(benchmark::State& state) { runEach(state, "/bin/true"); }
BENCHMARK(BM_BinTrue)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_KelvoWidgetTimeline(benchmark::State& state) { runEach(state, KELVO_WIDGET_PROGRAM); }
BENCHMARK(BM_KelvoWidgetTimeline)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_KelvoWidgetAgainstBinTrue(benchmark::State& state) { runAgainstBinTrue(state, KELVO_WIDGET_PROGRAM); }
BENCHMARK(BM_KelvoWidgetAgainstBinTrue)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_OtherKelvoWidgetTimeline(benchmark::State& state) { runEach(state, std::getenv("KELVO_OTHER_WIDGET")); }
void BM_OtherKelvoWidgetAgainstBinTrue(benchmark::State& state) {
    runAgainstBinTrue(state, std::getenv("KELVO_OTHER_WIDGET"));
}

}  // namespace

int main(int argc, char** argv) {
    prepareContainer();
    using Run = void (*)(benchmark::State&);
    if (std::getenv("KELVO_OTHER_WIDGET"))
        for (auto [name, run] : {std::pair<const char*, Run>{"BM_OtherKelvoWidgetTimeline", BM_OtherKelvoWidgetTimeline},
                                 {"BM_OtherKelvoWidgetAgainstBinTrue", BM_OtherKelvoWidgetAgainstBinTrue}})
            benchmark::RegisterBenchmark(name, run)->Unit(benchmark::kMicrosecond)->Repetitions(5)->ReportAggregatesOnly(true);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(home);
}
