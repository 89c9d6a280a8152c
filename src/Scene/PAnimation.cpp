#include "Scene/PAnimation.h"

#include <cstring>
#include <utility>

#include "Framework/PFileReader.h"

namespace {

CPAnimationCache* g_animationCache = nullptr;

constexpr int kVertexBytes = static_cast<int>(sizeof(SPVertex));
constexpr int kIndexBytes = static_cast<int>(sizeof(std::uint16_t));

// A reader whose stream turned out malformed: later reads answer nothing, and the caller
// (the node-file reader) sees the failure.
void MarkFailed(CPFileReader& reader) { reader.ReadBytes(nullptr, -1); }

// Whether `count` records of `size` bytes can still be read; decided before anything is
// allocated, so a hostile count costs nothing.
bool Fits(const CPFileReader& reader, int count, int size) {
    return count >= 0 && static_cast<std::int64_t>(count) * size <= reader.GetRemaining();
}

// Reads one int32 count; false (reader marked failed) when it is cut or does not fit.
bool ReadCount(CPFileReader& reader, int size, int& count) {
    count = reader.ReadInt();
    if (reader.IsFailed() || !Fits(reader, count, size)) {
        MarkFailed(reader);
        return false;
    }
    return true;
}

// The indices of one frame, each checked against its vertex count. With a null destination
// they are only checked.
bool ReadIndices(CPFileReader& reader, int vertexCount, std::vector<std::uint16_t>* destination) {
    int indexCount = 0;
    if (!ReadCount(reader, kIndexBytes, indexCount)) return false;
    const std::uint8_t* bytes = reader.GetData() + reader.GetReadPosition();
    if (destination) destination->resize(static_cast<std::size_t>(indexCount));
    for (int i = 0; i < indexCount; ++i) {
        const std::uint16_t index =
            static_cast<std::uint16_t>(bytes[2 * i] | static_cast<std::uint16_t>(bytes[2 * i + 1] << 8));
        if (index >= vertexCount) {
            MarkFailed(reader);
            return false;
        }
        if (destination) (*destination)[static_cast<std::size_t>(i)] = index;
    }
    reader.ReadBytes(nullptr, indexCount * kIndexBytes);
    return true;
}

} // namespace

CPAnimation::CPAnimation(std::string name) : m_name(std::move(name)) {
    if (g_animationCache) g_animationCache->m_entries[m_name] = this;
}

CPAnimation::~CPAnimation() {
    if (!g_animationCache) return;
    auto found = g_animationCache->m_entries.find(m_name);
    if (found != g_animationCache->m_entries.end() && found->second == this) g_animationCache->m_entries.erase(found);
}

bool CPAnimation::Load(CPFileReader& reader, D3DCOLOR vertexColour) {
    // Every frame needs at least its two counts.
    int frameCount = 0;
    if (!ReadCount(reader, 2 * 4, frameCount)) return false;
    const float ticks = reader.ReadFloat();
    if (reader.IsFailed()) return false;

    if (m_loaded) {
        for (int i = 0; i < frameCount; ++i) {
            int vertexCount = 0;
            if (!ReadCount(reader, kVertexBytes, vertexCount)) return false;
            reader.ReadBytes(nullptr, vertexCount * kVertexBytes);
            if (!ReadIndices(reader, vertexCount, nullptr)) return false;
        }
        return true;
    }

    // Read into a fresh frame list first: a refused stream leaves the animation as it was.
    std::vector<SPAnimationFrame> frames(static_cast<std::size_t>(frameCount));
    for (int i = 0; i < frameCount; ++i) {
        SPAnimationFrame& frame = frames[static_cast<std::size_t>(i)];
        int vertexCount = 0;
        if (!ReadCount(reader, kVertexBytes, vertexCount)) return false;
        frame.vertices.resize(static_cast<std::size_t>(vertexCount));
        if (vertexCount > 0) reader.ReadBytes(frame.vertices.data(), vertexCount * kVertexBytes);
        if (!ReadIndices(reader, vertexCount, &frame.indices)) return false;
        for (SPVertex& v : frame.vertices) v.diffuse = vertexColour;
    }
    const long double duration =
        static_cast<long double>(ticks) * static_cast<long double>(kTickSeconds) * static_cast<long double>(frameCount);
    Finish(std::move(frames), ticks * kTickSeconds, duration);
    return true;
}

void CPAnimation::SetFrames(std::vector<SPAnimationFrame> frames, float frameTime) {
    const long double duration = static_cast<long double>(frameTime) * static_cast<long double>(frames.size());
    Finish(std::move(frames), frameTime, duration);
}

void CPAnimation::Finish(std::vector<SPAnimationFrame> frames, float frameTime, long double duration) {
    D3DXVECTOR3 minimum(5000000.0f, 5000000.0f, 5000000.0f);
    // Not the negated minimum: the extent starts lower on y than on x and z.
    D3DXVECTOR3 maximum(-500000.0f, -5000000.0f, -500000.0f);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        frames[i].index = static_cast<int>(i);
        for (const SPVertex& v : frames[i].vertices) {
            const float position[3] = {v.x, v.y, v.z};
            float* low[3] = {&minimum.x, &minimum.y, &minimum.z};
            float* high[3] = {&maximum.x, &maximum.y, &maximum.z};
            for (int axis = 0; axis < 3; ++axis) {
                if (position[axis] < *low[axis]) *low[axis] = position[axis];
                if (!(*high[axis] >= position[axis])) *high[axis] = position[axis];
            }
        }
    }
    m_frameCount = static_cast<int>(frames.size());
    m_frameTime = frameTime;
    m_duration = static_cast<float>(duration);
    m_frames = std::move(frames);
    const D3DXVECTOR3 centre((minimum.x + maximum.x) * 0.5f, (minimum.y + maximum.y) * 0.5f,
                             (minimum.z + maximum.z) * 0.5f);
    const D3DXVECTOR3 halfSize((maximum.x - minimum.x) * 0.5f, (maximum.y - minimum.y) * 0.5f,
                               (maximum.z - minimum.z) * 0.5f);
    m_bounds = CPOrientedBox(centre, halfSize);
    m_loaded = true;
}

CPAnimationCache::CPAnimationCache() { g_animationCache = this; }

CPAnimationCache::~CPAnimationCache() {
    m_entries.clear();
    if (g_animationCache == this) g_animationCache = nullptr;
}

CPAnimationCache* CPAnimationCache::Instance() { return g_animationCache; }

CPSmartPtr<CPAnimation> CPAnimationCache::GetAnimation(const std::string& key, CPFileReader& reader,
                                                       D3DCOLOR vertexColour) {
    CPAnimation*& entry = m_entries[key];
    CPSmartPtr<CPAnimation> animation(entry);
    if (!animation) {
        // The constructor enters itself under the key (the reference above may be stale by then).
        animation = new CPAnimation(key);
    }
    // Loaded or not, the stream is read so that the reader ends behind it.
    if (!animation->Load(reader, vertexColour)) return CPSmartPtr<CPAnimation>();
    return animation;
}

CPAnimation* CPAnimationCache::Find(const std::string& key) const {
    auto found = m_entries.find(key);
    return found == m_entries.end() ? nullptr : found->second;
}

void CreateAnimationCache() {
    if (!CPAnimationCache::Instance()) new CPAnimationCache();
}
