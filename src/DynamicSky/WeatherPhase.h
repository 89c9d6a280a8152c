#pragma once
// The weather phases of a sky: each names the cloud set shown while it is in force, how long it
// lasts, how fast the overcast tint ramps in and out, and how likely a random draw accepts it.

#include <string>
#include <vector>

class SkyFileRows;

struct WeatherPhase {
    float transition = 0.0f;
    float meanDuration = 0.0f;
    float variation = 0.0f;
    std::string cloudSet;
    // Values the file carries that nothing reads.
    int kept1 = 0, kept2 = 0;
    float kept3 = 0.0f, kept4 = 0.0f;
    int kept5 = 0;
    float kept6 = 0.0f;
    int kept7 = 0;
    int hook = 0;
    int overcast = 0;
    float probability = 0.0f;
    int kept8 = 0;
};

class WeatherPhaseList {
public:
    virtual ~WeatherPhaseList() = default;
    // Reads the weather phase file "Data\Clouds\<name>"; an unreadable file gives no phases.
    void Load(const std::string& name);
    // The same from rows already read.
    void Read(SkyFileRows& rows);

    std::vector<WeatherPhase> phases;
};
