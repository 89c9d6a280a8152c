#pragma once
// The benchmark scenes and the figures each run produces.

#include "BenchEngine.h"

#include <functional>
#include <limits>
#include <string>
#include <vector>

namespace bench {

constexpr double kNa = std::numeric_limits<double>::quiet_NaN();

// One engine under one setting.
struct EngineConfig {
    std::string engine; // "ours", "bullet", "ode"
    Settings settings;
    std::unique_ptr<Engine> Make() const;
};

struct Row {
    std::string scene;
    std::string variant;
    std::string engine;
    std::string setting;
    int bodies = 0;
    double medianUs = kNa, p90Us = kNa, p99Us = kNa, peakUs = kNa, tailUs = kNa;
    double ratio = kNa;        // our median over this row's median
    double asleep = kNa;       // bodies asleep at 10 s
    double stepsToSleep = kNa; // first step at which every body slept; -1 never
    double maxPenetrationMm = kNa;
    double driftMm = kNa;
    double tiltDeg = kNa;
    double fellThrough = kNa;
    double nanCount = kNa;
    std::string notes;
    bool costWithoutContacts = false; // our engine ran without contact response
    std::vector<Vec3> trajectory;     // S4: the first car's position once a second
    std::vector<float> stepNs;        // every step's wall time, for the series file
};

// What our engine can do right now, found by running two small probes.
struct Capabilities {
    bool contacts = false; // a dropped box stays on the ground
    bool stacking = false; // a box stays on another box
    bool probed = false;
};
Capabilities ProbeOurs();

struct RunOptions {
    bool quick = false;
    std::string sceneFilter;  // empty: all; else a prefix such as "S3"
    std::string engineFilter; // empty: all
    bool stages = false;      // our engine's stage breakdown (adds its timer reads to our cost)
    int repeats = 1;          // runs per row; the one with the lowest median is kept
};

std::vector<EngineConfig> EngineConfigs(const RunOptions& options);

// Runs every selected scene on every selected engine, printing progress to stderr.
std::vector<Row> RunAll(const RunOptions& options, const Capabilities& ours);

// Median, percentiles, landing peak and tail of a run's step times (ns).
void FillTiming(Row& row, const std::vector<double>& stepNs);

// S10: the runs only our engine makes (joints, waking, one hull), each one row.
std::vector<std::function<Row()>> OursAloneRuns();

// Table per scene on stdout, and the CSV file.
void FillRatiosAndTrajectories(std::vector<Row>& rows);
void PrintTables(const std::vector<Row>& rows, const Capabilities& ours, FILE* out);
bool WriteCsv(const std::vector<Row>& rows, const std::string& path);
// Every step's cost of every run (long format), for plots of cost over time.
bool WriteSeries(const std::vector<Row>& rows, const std::string& path);

} // namespace bench
