#pragma once
// Morph animations: a sequence of whole meshes, one per frame, played at a fixed frame time, and
// the process-wide cache that lets every animated object playing the same stream share one copy.
//
// Stream layout (little-endian, embedded in a larger file, no header of its own):
//   int32 frame count N, float32 frame ticks (1/2400 s each), then per frame:
//   int32 vertex count V, V 48-byte vertex records, int32 index count I, I uint16 indices.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Render/POrientedBox.h"
#include "Render/SPVertex.h"

class CPFileReader;

struct SPAnimationFrame {
    std::vector<SPVertex> vertices;
    // Three per triangle, relative to this frame's first vertex.
    std::vector<std::uint16_t> indices;
    // The frame's position in its animation.
    int index = 0;
};

class CPAnimation : public IPMMObject {
public:
    // Enters itself into the cache (when there is one) under its name, replacing what was there.
    explicit CPAnimation(std::string name);
    // Leaves the cache only when the cache's entry is this very animation.
    ~CPAnimation() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPAnimation)); }
    std::string GetClassName() const override { return "CPAnimation"; }

    // Reads one stream at the reader's position and leaves the reader behind it. The first
    // successful load fills the animation, giving every vertex the given colour; once loaded,
    // a stream is only checked and skipped. A malformed stream (a negative count, a count whose
    // data exceed what is left, an index not below its frame's vertex count, a cut stream) is
    // refused: false, the reader marked failed, the animation unchanged.
    bool Load(CPFileReader& reader, D3DCOLOR vertexColour);

    // Fills the animation from frames already in memory (generated meshes, tests): frame time in
    // seconds; the indices are expected below their frame's vertex count.
    void SetFrames(std::vector<SPAnimationFrame> frames, float frameTime);

    const std::string& GetName() const { return m_name; }
    bool IsLoaded() const { return m_loaded; }
    float GetDuration() const { return m_duration; }
    int GetFrameCount() const { return m_frameCount; }
    float GetFrameTime() const { return m_frameTime; }
    const std::vector<SPAnimationFrame>& GetFrames() const { return m_frames; }
    const CPOrientedBox& GetBounds() const { return m_bounds; }

    // The seconds of one frame tick.
    static constexpr float kTickSeconds = 0.00041666668f;

private:
    // Frame count, frame time, duration, bounds and the loaded flag from the frames.
    void Finish(std::vector<SPAnimationFrame> frames, float frameTime, long double duration);

    std::string m_name;
    bool m_loaded = false;
    float m_duration = 0.0f;
    int m_frameCount = 0;
    float m_frameTime = 0.0f;
    std::vector<SPAnimationFrame> m_frames;
    CPOrientedBox m_bounds;
};

// Holds no reference: an animation lives while an animated object holds it and takes its own
// entry out when the collector deletes it, so the next request of its key reads afresh.
class CPAnimationCache {
public:
    CPAnimationCache();
    virtual ~CPAnimationCache();
    CPAnimationCache(const CPAnimationCache&) = delete;
    CPAnimationCache& operator=(const CPAnimationCache&) = delete;

    // Null before construction and after destruction.
    static CPAnimationCache* Instance();

    // The animation of the key ("object name&animation file"), made and loaded from the reader
    // on the first request; every request moves the reader past its stream. Empty when the
    // stream is malformed (the reader is then marked failed).
    CPSmartPtr<CPAnimation> GetAnimation(const std::string& key, CPFileReader& reader, D3DCOLOR vertexColour);

    // The animation the cache knows under the key, or null (no reference taken).
    CPAnimation* Find(const std::string& key) const;
    std::size_t GetEntryCount() const { return m_entries.size(); }

private:
    friend class CPAnimation;
    std::unordered_map<std::string, CPAnimation*> m_entries;
};

// Makes the process-wide cache at start-up (the application's place for it calls this).
void CreateAnimationCache();
