#pragma once
// The race world's two text tables, read at start-up: the shot table ("Data\shots.dat", the
// pools of the shot manager) and the enemy-data table ("Data\enemies.dat", what the scripts ask
// of an enemy type). Lines are split at ";"; a line that does not make a record is skipped and
// logged with its file and line number.

#include <string>
#include <unordered_map>
#include <vector>

// One line of the shot table.
struct SPShotRecord {
    std::string name;
    // A projectile moves and hits; an effect stays where it was launched.
    bool projectile = true;
    // The render description of its look; empty for none.
    std::string model;
    // Used when the launch speed is not above 0.
    float speed = 0.0f;
    // Seconds.
    float lifetime = 0.0f;
    // Multiplies the world's gravity.
    float gravityFactor = 0.0f;
    float damage = 0.0f;
    // Every object within it takes the damage as well; 0: only the object hit.
    float radius = 0.0f;
    // The shot spawned where it ends by a hit; empty for none.
    std::string impact;
    // Particles of the named batch emitted at launch and at the end; empty for none.
    std::string launchParticles;
    int launchCount = 0;
    std::string endParticles;
    int endCount = 0;
    // "file" or "file,mode", as a shot's parameter list ends.
    std::string sound;
};

// The records of the file's lines (every line as it stands; comments and blank lines are
// passed over as the text reader does), in file order. A line with the wrong number of fields, an
// unknown kind, a number that is not a finite C-locale number, a negative lifetime or count, or
// a name already given is skipped with a log line naming the file and the line.
std::vector<SPShotRecord> ParseShotTable(const std::vector<std::string>& lines, const std::string& file);
// The table read through the file layer; false (and no records) when the file cannot be read.
bool ReadShotTable(const std::string& path, std::vector<SPShotRecord>& out);

// What the scripts read of an enemy type.
struct SPEnemyData {
    float value1 = 0.0f;
    float value2 = 0.0f;
    std::string text1;
    std::string text2;
    std::string text3;
};

using EnemyDataTable = std::unordered_map<std::string, SPEnemyData>;

// The records of the table's lines (name; value 1; value 2; text 1; text 2; text 3), bad lines
// skipped and logged as for the shot table.
EnemyDataTable ParseEnemyTable(const std::vector<std::string>& lines, const std::string& file);
// Replaces the process's enemy data with the table read from path; false (and no data) when
// the file cannot be read.
bool LoadEnemyTable(const std::string& path);
// The record of the type; a type the table lacks gets an entry of zeros and empty texts.
SPEnemyData& GetEnemyData(const std::string& name);
// The process's enemy data (tests and the loader).
EnemyDataTable& EnemyData();

// The whole text as a finite number in the C locale (a sign, digits, a point, an exponent);
// false for anything else, "nan" and "inf" included.
bool ParseTableNumber(const std::string& text, float& value);
// The whole text as an int in the int range; false for anything else.
bool ParseTableInt(const std::string& text, int& value);
