// Runs the physics scenes on our engine, Bullet and ODE in one process and prints
// a table per scene; the same figures go to a CSV file for comparison over time.
//
//   physics_bench [--quick] [--repeat N] [--csv FILE] [--series FILE] [--scene S3]
//                 [--engine ours|bullet|ode] [--stages] [--no-pin]

#include "Scenes.h"

#include <sched.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void Usage() {
    std::fprintf(stderr, "usage: physics_bench [--quick] [--repeat N] [--csv FILE] [--series FILE] [--scene PREFIX]\n"
                         "                     [--engine ours|bullet|ode] [--stages] [--no-pin]\n"
                         "  --quick   fewer variants and settings (under a minute)\n"
                         "  --csv     also write the figures to FILE\n"
                         "  --series  also write every step's cost of every run to FILE (CSV)\n"
                         "  --repeat  run everything N times and keep, per row, the run with the lowest median\n"
                         "  --scene   only the scenes whose name starts with PREFIX (S1 .. S5, S7 .. S10)\n"
                         "  --engine  only one engine (for callgrind runs)\n"
                         "  --stages  add our engine's stage breakdown (its performance report; adds timer reads)\n"
                         "  --no-pin  do not pin the process to the CPU it starts on\n");
}

// Every engine is timed on the same core.
void PinToCurrentCpu() {
    int cpu = sched_getcpu();
    if (cpu < 0) return;
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    if (sched_setaffinity(0, sizeof(set), &set) == 0) std::fprintf(stderr, "pinned to cpu %d\n", cpu);
}

} // namespace

int main(int argc, char** argv) {
    bench::RunOptions options;
    std::string csv, series;
    bool pin = true;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--quick") {
            options.quick = true;
        } else if (a == "--stages") {
            options.stages = true;
        } else if (a == "--no-pin") {
            pin = false;
        } else if ((a == "--csv" || a == "--series" || a == "--scene" || a == "--engine" || a == "--repeat") &&
                   i + 1 < argc) {
            std::string value = argv[++i];
            if (a == "--repeat") {
                options.repeats = std::atoi(value.c_str());
                if (options.repeats < 1 || options.repeats > 100) {
                    std::fprintf(stderr, "physics_bench: --repeat wants 1 to 100\n");
                    return 2;
                }
            } else if (a == "--csv")
                csv = value;
            else if (a == "--series")
                series = value;
            else if (a == "--scene")
                options.sceneFilter = value;
            else
                options.engineFilter = value;
        } else if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else {
            std::fprintf(stderr, "physics_bench: unknown argument '%s'\n", a.c_str());
            Usage();
            return 2;
        }
    }
    if (!options.engineFilter.empty() && options.engineFilter != "ours" && options.engineFilter != "bullet" &&
        options.engineFilter != "ode") {
        std::fprintf(stderr, "physics_bench: unknown engine '%s'\n", options.engineFilter.c_str());
        return 2;
    }
    if (pin) PinToCurrentCpu();

    // Other work on the machine shows in the timings; the load says how much.
    double load[3] = {0.0, 0.0, 0.0};
    if (getloadavg(load, 3) == 3) std::printf("Load average at start: %.2f %.2f %.2f\n", load[0], load[1], load[2]);
    auto start = std::chrono::steady_clock::now();
    // The probe steps our engine, so a run of another engine alone skips it.
    bench::Capabilities caps;
    if (options.engineFilter.empty() || options.engineFilter == "ours") caps = bench::ProbeOurs();
    std::vector<bench::Row> rows = bench::RunAll(options, caps);
    bench::FillRatiosAndTrajectories(rows);
    bench::PrintTables(rows, caps, stdout);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("\n%zu runs in %.1f s%s\n", rows.size(), seconds, options.quick ? " (quick)" : "");
    if (!csv.empty()) {
        if (!bench::WriteCsv(rows, csv)) {
            std::fprintf(stderr, "physics_bench: cannot write '%s'\n", csv.c_str());
            return 1;
        }
        std::printf("CSV written to %s\n", csv.c_str());
    }
    if (!series.empty()) {
        if (!bench::WriteSeries(rows, series)) {
            std::fprintf(stderr, "physics_bench: cannot write '%s'\n", series.c_str());
            return 1;
        }
        std::printf("Step series written to %s\n", series.c_str());
    }
    return 0;
}
