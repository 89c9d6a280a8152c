#include "DynamicSky/WeatherPhase.h"

#include "DynamicSky/SkyFileRows.h"

void WeatherPhaseList::Load(const std::string& name) {
    phases.clear();
    SkyFileRows rows;
    if (!rows.Load(name)) return;
    Read(rows);
}

void WeatherPhaseList::Read(SkyFileRows& rows) {
    phases.clear();
    const int count = rows.Next().Int();
    // A phase needs rows: a count beyond what the file holds stops at its end.
    for (int i = 0; i < count && !rows.AtEnd(); ++i) {
        WeatherPhase p;
        p.transition = rows.Next().Float();
        p.meanDuration = rows.Next().Float();
        p.variation = rows.Next().Float();
        p.cloudSet = rows.Next().Text();
        p.kept1 = rows.Next().Int();
        p.kept2 = rows.Next().Int();
        p.kept3 = rows.Next().Float();
        p.kept4 = rows.Next().Float();
        p.kept5 = rows.Next().Int();
        p.kept6 = rows.Next().Float();
        p.kept7 = rows.Next().Int();
        p.hook = rows.Next().Int();
        p.overcast = rows.Next().Int();
        p.probability = rows.Next().Float();
        p.kept8 = rows.Next().Int();
        phases.push_back(p);
    }
}
