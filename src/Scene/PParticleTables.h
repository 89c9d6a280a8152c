#pragma once
// The line formats of the four particle tables: particles and spots (one batch per line),
// particle systems (one description per line) and flames (one fire emitter per line). Every
// reader takes any text: a missing field reads as empty, text that is no number as 0.

#include <string>
#include <vector>

#include "Render/PMaterial.h"
#include "Scene/PParticleDesc.h"

// One line of the particle or spot table.
struct SPParticleBatchLine {
    std::string name;
    std::string texture;
    std::string effect;
    int columns = 0;
    int rows = 0;
    int frameAnimation = 0;
    bool reserved = false;
    RenderKey renderKey = 22; // the priority field + 22, saturated to the int range
    std::vector<SPColourKey> keys;
};

// One line of the flame table.
struct SPFlameLine {
    std::vector<std::string> systemNames;
    float interval = 0.0f;
    float lifetime = 0.0f;
    float damage = 0.0f;
};

// Nine fields separated by single blanks (quotes may hold blanks); the ninth holds colour keys
// separated by "," of five values separated by ":".
SPParticleBatchLine ParseParticleBatchLine(const std::string& line);
// Seventeen fields separated by single blanks; the name comes out separately.
SPParticleSystemDesc ParseParticleSystemLine(const std::string& line, std::string& name);
// Four fields separated by ";"; the first holds names separated by ",".
SPFlameLine ParseFlameLine(const std::string& line);

// The table files, in the order they are read.
extern const char* const kParticlesTablePath;
extern const char* const kSpotsTablePath;
extern const char* const kParticleSystemsTablePath;
extern const char* const kFlamesTablePath;
