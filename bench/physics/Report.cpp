#include "Scenes.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace bench {

namespace {

std::string Number(double v, const char* format) {
    if (!std::isfinite(v)) return "n/a";
    char text[64];
    std::snprintf(text, sizeof(text), format, v);
    return text;
}

const Row* OursOf(const std::vector<Row>& rows, const Row& row) {
    for (const Row& r : rows)
        if (r.engine == "ours" && r.setting == "engine" && r.scene == row.scene && r.variant == row.variant) return &r;
    return nullptr;
}

// One line per scene variant with bodies that can fall or sink: ours against the
// worse of the peers' "matched" rows, so a regression shows at a glance.
void PrintQualitySummary(const std::vector<Row>& rows, FILE* out) {
    bool header = false;
    for (const Row& ours : rows) {
        if (ours.engine != "ours" || ours.setting != "engine") continue;
        if (!std::isfinite(ours.fellThrough) && !std::isfinite(ours.maxPenetrationMm)) continue;
        double peerFell = kNa, peerPen = kNa;
        for (const Row& r : rows) {
            if (r.engine == "ours" || r.setting != "matched" || r.scene != ours.scene || r.variant != ours.variant)
                continue;
            if (std::isfinite(r.fellThrough))
                peerFell = std::isfinite(peerFell) ? std::max(peerFell, r.fellThrough) : r.fellThrough;
            if (std::isfinite(r.maxPenetrationMm))
                peerPen = std::isfinite(peerPen) ? std::max(peerPen, r.maxPenetrationMm) : r.maxPenetrationMm;
        }
        if (!header) {
            std::fprintf(out, "\n### Quality at a glance (ours; worse peer, matched)\n\n");
            header = true;
        }
        std::fprintf(out, "%s, %s: fell through %s (%s), deepest penetration %s mm (%s mm), NaN %s\n",
                     ours.scene.c_str(), ours.variant.c_str(), Number(ours.fellThrough, "%.0f").c_str(),
                     Number(peerFell, "%.0f").c_str(), Number(ours.maxPenetrationMm, "%.1f").c_str(),
                     Number(peerPen, "%.1f").c_str(), Number(ours.nanCount, "%.0f").c_str());
    }
}

} // namespace

void FillRatiosAndTrajectories(std::vector<Row>& rows) {
    for (Row& row : rows) {
        const Row* ours = OursOf(rows, row);
        if (!ours) continue;
        if (row.medianUs > 0.0) row.ratio = ours->medianUs / row.medianUs;
        if (!row.trajectory.empty() && &row != ours && !ours->trajectory.empty()) {
            size_t n = std::min(row.trajectory.size(), ours->trajectory.size());
            double worst = 0.0;
            for (size_t i = 0; i < n; ++i) worst = std::max(worst, Length(row.trajectory[i] - ours->trajectory[i]));
            char text[80];
            std::snprintf(text, sizeof(text), "; trajectory diff vs ours=%.2fm", worst);
            row.notes += text;
        }
    }
}

void PrintTables(const std::vector<Row>& rows, const Capabilities& caps, FILE* out) {
    if (caps.probed)
        std::fprintf(out, "Our engine: contact response %s, stacking %s (probed at start).\n",
                     caps.contacts ? "yes" : "NO", caps.stacking ? "yes" : "NO");
    std::fprintf(out, "Costs are wall time per 1/60 s step; ours/x is our median over that row's median (below 1: ours "
                      "is faster). * = our engine ran without contact response, so its cost omits contact work.\n");
    std::fprintf(out, "Precision: ours float, Bullet float (Debian build), ODE double (Debian build). Settings: "
                      "ours has one (\"engine\", the race world's pools and calls); \"defaults\" = each library as "
                      "shipped, friction and restitution multiplied (ODE has no default rule: its near callback "
                      "multiplies as Bullet does); \"matched\" = min combination, 4 iterations, ERP 0.5, sleeping on; "
                      "\"matched-nosleep\" = the same with sleeping off. No CCD anywhere.\n");
    std::string scene;
    for (const Row& r : rows) {
        if (r.scene != scene) {
            scene = r.scene;
            std::fprintf(out, "\n### %s\n\n", scene.c_str());
            std::fprintf(out, "| variant | engine | setting | median us | p90 us | p99 us | ours/x | asleep@10s | "
                              "steps to sleep | max pen mm | top drift mm | top tilt deg | fell through | NaN "
                              "| notes |\n");
            std::fprintf(out, "|---|---|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|---|\n");
        }
        std::string median = Number(r.medianUs, "%.1f") + (r.costWithoutContacts ? "*" : "");
        std::string sleep =
            std::isfinite(r.stepsToSleep) && r.stepsToSleep < 0 ? "never" : Number(r.stepsToSleep, "%.0f");
        std::fprintf(out, "| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |\n",
                     r.variant.c_str(), r.engine.c_str(), r.setting.c_str(), median.c_str(),
                     Number(r.p90Us, "%.1f").c_str(), Number(r.p99Us, "%.1f").c_str(), Number(r.ratio, "%.2f").c_str(),
                     Number(r.asleep, "%.0f").c_str(), sleep.c_str(), Number(r.maxPenetrationMm, "%.1f").c_str(),
                     Number(r.driftMm, "%.1f").c_str(), Number(r.tiltDeg, "%.2f").c_str(),
                     Number(r.fellThrough, "%.0f").c_str(), Number(r.nanCount, "%.0f").c_str(), r.notes.c_str());
    }
    PrintQualitySummary(rows, out);
}

bool WriteCsv(const std::vector<Row>& rows, const std::string& path) {
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "scene,variant,engine,setting,bodies,median_us,p90_us,p99_us,peak_us,tail_us,ours_over_this,"
                    "asleep_10s,steps_to_sleep,max_penetration_mm,top_drift_mm,top_tilt_deg,fell_through,nan_count,"
                    "cost_without_contacts,notes\n");
    auto field = [](const std::string& s) {
        std::string q = "\"";
        for (char c : s) q += c == '"' ? '\'' : c;
        return q + "\"";
    };
    auto num = [](double v) { return std::isfinite(v) ? Number(v, "%.4g") : std::string(); };
    for (const Row& r : rows) {
        std::fprintf(f, "%s,%s,%s,%s,%d,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%s,%d,%s\n", field(r.scene).c_str(),
                     field(r.variant).c_str(), r.engine.c_str(), field(r.setting).c_str(), r.bodies,
                     num(r.medianUs).c_str(), num(r.p90Us).c_str(), num(r.p99Us).c_str(), num(r.peakUs).c_str(),
                     num(r.tailUs).c_str(), num(r.ratio).c_str(), num(r.asleep).c_str(), num(r.stepsToSleep).c_str(),
                     num(r.maxPenetrationMm).c_str(), num(r.driftMm).c_str(), num(r.tiltDeg).c_str(),
                     num(r.fellThrough).c_str(), num(r.nanCount).c_str(), r.costWithoutContacts ? 1 : 0,
                     field(r.notes).c_str());
    }
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

bool WriteSeries(const std::vector<Row>& rows, const std::string& path) {
    std::string temp = path + ".tmp";
    FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "scene,variant,engine,setting,sample,ns\n");
    for (const Row& r : rows)
        for (size_t i = 0; i < r.stepNs.size(); ++i)
            std::fprintf(f, "\"%s\",\"%s\",%s,\"%s\",%zu,%.0f\n", r.scene.c_str(), r.variant.c_str(), r.engine.c_str(),
                         r.setting.c_str(), i, static_cast<double>(r.stepNs[i]));
    bool ok = std::fflush(f) == 0 && !std::ferror(f);
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

} // namespace bench
