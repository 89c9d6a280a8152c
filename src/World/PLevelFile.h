#pragma once
// The binary level file ("Data\Levels\<name>.lvl"): a terrain header, the lights, the placed
// objects and the route splines, read into plain records before anything is made of them.
// Every count and length is checked against the bytes left, so a damaged file stops the read
// at the record that does not fit and keeps the records read before it.

#include <string>
#include <vector>

#include "Platform/Math/D3DXTypes.h"

class CPFileReader;

// One placed-object record: 4 + n + 40 bytes.
struct SPLevelObjectRecord {
    std::string name;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    // As stored; the level applies its conjugate.
    D3DXQUATERNION rotation{0.0f, 0.0f, 0.0f, 1.0f};
    D3DXVECTOR3 scale{1.0f, 1.0f, 1.0f};
};

// One cubic segment, stored as start, end, first control, second control.
struct SPLevelSegmentRecord {
    D3DXVECTOR3 start{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 end{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 control1{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 control2{0.0f, 0.0f, 0.0f};
};

struct SPLevelSplineRecord {
    std::string name;
    bool flag = false;
    std::vector<SPLevelSegmentRecord> segments;
};

// The sections of a level file in file order, and how far the read got.
struct SPLevelFile {
    static constexpr int kHeaderBytes = 16;
    static constexpr int kFirstLightBytes = 52;
    static constexpr int kFurtherLightBytes = 28;
    static constexpr int kObjectFixedBytes = 4 + 40;
    static constexpr int kSegmentBytes = 48;

    enum Section { None = 0, Header, Lights, Objects, Splines };

    float unused[2] = {0.0f, 0.0f};
    float halfExtentX = 0.0f;
    float halfExtentY = 0.0f;
    int lightCount = 0;
    bool hasLight = false;
    // The first light's transform: stored column by column, the fourth column (0, 0, 0, 1).
    D3DXMATRIX lightTransform;
    std::vector<SPLevelObjectRecord> objects;
    std::vector<SPLevelSplineRecord> splines;

    // The last section read whole; on a failed read, the byte offset and why.
    Section complete = None;
    int failOffset = -1;
    std::string failReason;
};

// Reads the loaded bytes of the reader from its read position. False when a section does not
// fit the bytes left (the records read before the bad one stay in the result) or bytes remain
// after the splines.
bool ReadLevelFile(CPFileReader& reader, SPLevelFile& out);

// What a placed-object record stands for, decided by its name.
enum class LevelRecordKind {
    Placeholder,
    StartPlace,
    CheckpointHint,
    NamedPosition,
    LeftStartPost,
    RightStartPost,
    PlacedObject,
};

struct SPLevelRecordName {
    LevelRecordKind kind = LevelRecordKind::PlacedObject;
    // The name without its trailing digits (for checkpoint names, the part before the comma).
    std::string baseName;
    // Placed objects: the render description file.
    std::string modelFile;
    // Start places: the two characters after "enemy" as a number.
    int place = 0;
    // Named positions: the base name from its fifth character.
    std::string key;
    // Placed objects named with a comma: the text after it, read as a number.
    float timeBonus = 0.0f;
};

// The name with every decimal digit at its end removed.
std::string StripTrailingDigits(const std::string& name);
SPLevelRecordName ParseLevelRecordName(const std::string& name);

// A checkpoint-hint base name ("chk" + digits + one separator + model): the number text, its
// value and the model's base name.
struct SPHintName {
    std::string numberText;
    int number = 0;
    std::string model;
};
SPHintName ParseHintName(const std::string& baseName);
