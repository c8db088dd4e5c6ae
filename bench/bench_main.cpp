// Runs the benchmarks and prints, after Google Benchmark's own report, each
// measured figure as a ratio to the baseline measured in the same run (the
// median when repeated). Ratios are of times: lower is better. The goal is
// judged on CPU time, which other work on a shared machine disturbs less
// than wall time; both are printed. Every benchmark is single-threaded.
#include <benchmark/benchmark.h>

#include <allegro.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "bench_support.h"
#include "resfile/lecfile.h"
#include "shell/fatal.h"

namespace {

void fatal_ends_run(const char *message) {
    std::fprintf(stderr, "benchmark set-up failed: %s", message);
    std::exit(1);
}

struct Seconds {
    double cpu, real;  // per iteration
};

// Seconds per iteration of each benchmark, by function name: the median
// of the repetitions, or the one run when not repeated.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, Seconds> seconds;

    RatioReporter() : ConsoleReporter(OO_Tabular) {}

    void ReportRuns(const std::vector<Run> &runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run &run : runs) {
            if (run.iterations == 0) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (median || single) {
                const double n = double(run.iterations);
                seconds[run.run_name.function_name] = {run.cpu_accumulated_time / n, run.real_accumulated_time / n};
            }
        }
    }
};

struct Pair {
    const char *what;
    const char *measured;
    const char *baseline;
    double goal;  // the largest acceptable time ratio
};

const Pair kPairs[] = {
    {"decode at 32 bpp / decode into a byte array", "BM_DecodeCostume32", "BM_DecodeBaseline_ByteArray", 2.0},
    {"load, unmask, index 256 MiB / fread 256 MiB", "BM_LoadAndIndex256MiB", "BM_Fread256MiB", 1.25},
    {"unmask / memcpy (64 MiB)", "BM_Unmask", "BM_Memcpy", 1.5},
    {"compose_screen / stretch_blit alone", "BM_ComposeScreen", "BM_StretchOnly", 2.0},
};

}  // namespace

void bench_start() {
    static bool started = false;
    if (started) return;
    if (install_allegro(SYSTEM_NONE, &errno, atexit) != 0) {
        std::fprintf(stderr, "allegro did not start\n");
        std::exit(1);
    }
    set_color_depth(32);
    set_fatal_sink(fatal_ends_run);
    started = true;
}

void bench_load_bytes(const lecb::Bytes &masked_file) {
    auto *data = static_cast<uint8_t *>(std::malloc(masked_file.size()));
    std::copy(masked_file.begin(), masked_file.end(), data);
    if (!load_lec_buffer(data, masked_file.size())) std::exit(1);
}

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    bench_start();
    RatioReporter reporter;  // plain text, no colours: the output often goes to a log
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nRatios of times, measured / baseline (medians of the repetitions):\n");
    std::printf("  %-46s %6s %6s   %s\n", "", "CPU", "wall", "goal (on CPU time)");
    int missed = 0;
    for (const Pair &p : kPairs) {
        const auto m = reporter.seconds.find(p.measured);
        const auto b = reporter.seconds.find(p.baseline);
        if (m == reporter.seconds.end() || b == reporter.seconds.end()) continue;
        const double ratio = m->second.cpu / b->second.cpu;
        const double wall = m->second.real / b->second.real;
        const bool met = ratio <= p.goal;
        missed += !met;
        std::printf("  %-46s %6.2f %6.2f   <= %.2f %s\n", p.what, ratio, wall, p.goal, met ? "met" : "MISSED");
    }
    return missed ? 2 : 0;
}
