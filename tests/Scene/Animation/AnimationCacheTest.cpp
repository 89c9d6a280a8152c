// Morph-animation streams read into the shared cache: sharing, timing, bounds, colours, the
// collector's hand in the cache, and refused streams.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Framework/PFileReader.h"
#include "Scene/PAnimation.h"
#include "support/MorphStreamWriter.h"
#include "support/TempDir.h"

namespace {

using kxtest::MorphFrame;
using kxtest::MorphStreamWriter;
using kxtest::MorphVertex;

constexpr D3DCOLOR kColour = 0xFFA0B0C0u;

class AnimationCacheTest : public ::testing::Test {
protected:
    void SetUp() override { IPMMObject::CollectGarbage(); }
    void TearDown() override { IPMMObject::CollectGarbage(); }

    // A loaded reader over `bytes` (written as a loose file of the game root).
    std::unique_ptr<CPFileReader> ReaderOver(const std::string& bytes) {
        const std::string name = "data/stream" + std::to_string(m_files++) + ".bin";
        m_root.Write(name, bytes);
        auto reader = std::make_unique<CPFileReader>(name);
        EXPECT_EQ(reader->Load(), S_OK);
        return reader;
    }

    kxtest::TempGameRoot m_root;
    CPAnimationCache m_cache;
    int m_files = 0;
};

TEST_F(AnimationCacheTest, OneKeyOnTwoReadersSharesTheAnimationAndLeavesBothReadersBehindTheirStreams) {
    const std::string stream = MorphStreamWriter().AddFrames(3, 2).Build();
    const std::string tail = "TAIL";
    auto first = ReaderOver(stream + tail);
    auto second = ReaderOver(tail + stream + tail);
    second->ReadBytes(nullptr, 4);

    CPSmartPtr<CPAnimation> a = m_cache.GetAnimation("box&walk.ani", *first, kColour);
    CPSmartPtr<CPAnimation> b = m_cache.GetAnimation("box&walk.ani", *second, kColour);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.Get(), b.Get());
    EXPECT_EQ(first->GetReadPosition(), static_cast<int>(stream.size()));
    EXPECT_EQ(second->GetReadPosition(), static_cast<int>(4 + stream.size()));
    EXPECT_FALSE(first->IsFailed());
    EXPECT_FALSE(second->IsFailed());
    EXPECT_EQ(a->GetName(), "box&walk.ani");
    EXPECT_EQ(a->GetClassName(), "CPAnimation");
}

TEST_F(AnimationCacheTest, TicksGiveTheFrameTimeAndTheFramesTheDuration) {
    auto reader = ReaderOver(MorphStreamWriter(240.0f).AddFrames(12, 1).Build());
    CPSmartPtr<CPAnimation> animation = m_cache.GetAnimation("a&b", *reader, kColour);
    ASSERT_TRUE(animation);
    EXPECT_FLOAT_EQ(animation->GetFrameTime(), 0.1f);
    EXPECT_FLOAT_EQ(animation->GetDuration(), 1.2f);
    EXPECT_EQ(animation->GetFrameCount(), 12);
    ASSERT_EQ(animation->GetFrames().size(), 12u);
    for (int i = 0; i < 12; ++i) EXPECT_EQ(animation->GetFrames()[static_cast<std::size_t>(i)].index, i);
}

TEST_F(AnimationCacheTest, BoundsSpanEveryVertexOfEveryFrame) {
    MorphFrame one;
    MorphVertex v;
    v.x = -1, v.y = 0.5f, v.z = 5;
    one.vertices.push_back(v);
    v.x = 2, v.y = 2, v.z = 1;
    one.vertices.push_back(v);
    one.indices = {0, 1, 1};
    MorphFrame two;
    v.x = 3, v.y = 0, v.z = 2;
    two.vertices.push_back(v);
    two.indices = {0, 0, 0};
    auto reader = ReaderOver(MorphStreamWriter().AddFrame(one).AddFrame(two).Build());
    CPSmartPtr<CPAnimation> animation = m_cache.GetAnimation("a&b", *reader, kColour);
    ASSERT_TRUE(animation);
    const CPOrientedBox& bounds = animation->GetBounds();
    EXPECT_FLOAT_EQ(bounds.GetCentre().x, 1.0f);
    EXPECT_FLOAT_EQ(bounds.GetCentre().y, 1.0f);
    EXPECT_FLOAT_EQ(bounds.GetCentre().z, 3.0f);
    EXPECT_FLOAT_EQ(bounds.GetHalfSize().x, 2.0f);
    EXPECT_FLOAT_EQ(bounds.GetHalfSize().y, 1.0f);
    EXPECT_FLOAT_EQ(bounds.GetHalfSize().z, 2.0f);
}

TEST_F(AnimationCacheTest, EveryVertexCarriesTheGivenColourAndKeepsTheRest) {
    MorphStreamWriter writer;
    writer.AddFrames(2, 3);
    auto reader = ReaderOver(writer.Build());
    CPSmartPtr<CPAnimation> animation = m_cache.GetAnimation("a&b", *reader, kColour);
    ASSERT_TRUE(animation);
    for (std::size_t f = 0; f < 2; ++f) {
        const SPAnimationFrame& frame = animation->GetFrames()[f];
        ASSERT_EQ(frame.vertices.size(), writer.Frames()[f].vertices.size());
        EXPECT_EQ(frame.indices, writer.Frames()[f].indices);
        for (std::size_t i = 0; i < frame.vertices.size(); ++i) {
            EXPECT_EQ(frame.vertices[i].diffuse, kColour);
            EXPECT_EQ(frame.vertices[i].x, writer.Frames()[f].vertices[i].x);
            EXPECT_EQ(frame.vertices[i].tu, writer.Frames()[f].vertices[i].tu);
        }
    }
}

TEST_F(AnimationCacheTest, AnEmptyStreamLoadsWithoutFrames) {
    auto reader = ReaderOver(MorphStreamWriter().Build());
    CPSmartPtr<CPAnimation> animation = m_cache.GetAnimation("a&b", *reader, kColour);
    ASSERT_TRUE(animation);
    EXPECT_EQ(animation->GetFrameCount(), 0);
    EXPECT_EQ(animation->GetDuration(), 0.0f);
}

TEST_F(AnimationCacheTest, AfterTheLastReleaseAndACollectionTheKeyLoadsAfresh) {
    const std::string stream = MorphStreamWriter().AddFrames(2, 1).Build();
    auto first = ReaderOver(stream);
    CPSmartPtr<CPAnimation> animation = m_cache.GetAnimation("a&b", *first, kColour);
    ASSERT_TRUE(animation);
    const PMMHandle firstHandle = animation->GetHandle();
    animation = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(m_cache.Find("a&b"), nullptr);
    EXPECT_EQ(m_cache.GetEntryCount(), 0u);

    auto second = ReaderOver(MorphStreamWriter().AddFrames(5, 1).Build());
    animation = m_cache.GetAnimation("a&b", *second, kColour);
    ASSERT_TRUE(animation);
    EXPECT_NE(animation->GetHandle(), firstHandle);
    EXPECT_EQ(animation->GetFrameCount(), 5);
}

TEST_F(AnimationCacheTest, AnAnimationLeavesOnlyItsOwnEntry) {
    CPSmartPtr<CPAnimation> older(new CPAnimation("same"));
    CPSmartPtr<CPAnimation> newer(new CPAnimation("same"));
    EXPECT_EQ(m_cache.Find("same"), newer.Get());
    older = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(m_cache.Find("same"), newer.Get());
}

TEST(AnimationCacheLifetime, TheInstanceIsSetWhileTheCacheLives) {
    EXPECT_EQ(CPAnimationCache::Instance(), nullptr);
    {
        CPAnimationCache cache;
        EXPECT_EQ(CPAnimationCache::Instance(), &cache);
    }
    EXPECT_EQ(CPAnimationCache::Instance(), nullptr);
    // An animation made without a cache registers nowhere and is collected cleanly.
    CPSmartPtr<CPAnimation> loose(new CPAnimation("loose"));
    loose = nullptr;
    IPMMObject::CollectGarbage();
}

// Hostile streams: each is refused with the reader marked failed, both on a new key and on
// the path that only skips a stream already loaded.
struct BadStream {
    const char* name;
    std::string (*make)(const MorphStreamWriter& writer);
};

std::string CutAt(const MorphStreamWriter& w, std::size_t n) { return kxtest::Truncated(w.Build(), n); }

const BadStream kBadStreams[] = {
    {"cut inside the header", [](const MorphStreamWriter& w) { return CutAt(w, 6); }},
    {"cut inside a vertex", [](const MorphStreamWriter& w) { return CutAt(w, w.VertexCountOffset(1) + 30); }},
    {"cut inside the indices", [](const MorphStreamWriter& w) { return CutAt(w, w.Size() - 1); }},
    {"negative frame count",
     [](const MorphStreamWriter& w) {
         return kxtest::OverwriteInt(w.Build(), MorphStreamWriter::kFrameCountOffset, -1);
     }},
    {"oversized frame count",
     [](const MorphStreamWriter& w) {
         return kxtest::OverwriteInt(w.Build(), MorphStreamWriter::kFrameCountOffset, 0x7FFFFFFF);
     }},
    {"one frame too many",
     [](const MorphStreamWriter& w) {
         return kxtest::OverwriteInt(w.Build(), MorphStreamWriter::kFrameCountOffset, 3);
     }},
    {"negative vertex count",
     [](const MorphStreamWriter& w) { return kxtest::OverwriteInt(w.Build(), w.VertexCountOffset(1), -3); }},
    {"oversized vertex count",
     [](const MorphStreamWriter& w) { return kxtest::OverwriteInt(w.Build(), w.VertexCountOffset(0), 0x40000000); }},
    {"negative index count",
     [](const MorphStreamWriter& w) { return kxtest::OverwriteInt(w.Build(), w.IndexCountOffset(1), -1); }},
    {"oversized index count",
     [](const MorphStreamWriter& w) { return kxtest::OverwriteInt(w.Build(), w.IndexCountOffset(0), 0x7FFFFFF0); }},
    {"index at the vertex count",
     [](const MorphStreamWriter& w) {
         std::string bytes = w.Build();
         const std::size_t at = w.IndexCountOffset(1) + 4 + 2 * 4;
         bytes[at] = 6; // frame 1 has six vertices
         bytes[at + 1] = 0;
         return bytes;
     }},
};

class BadStreamTest : public AnimationCacheTest, public ::testing::WithParamInterface<BadStream> {};

TEST_P(BadStreamTest, IsRefusedWithoutReadingPastTheData) {
    MorphStreamWriter writer;
    writer.AddFrames(2, 2);
    const std::string bytes = GetParam().make(writer);
    // Exactly the bytes of the stream: any read past them would be outside the file's buffer.
    auto reader = ReaderOver(bytes);
    EXPECT_FALSE(m_cache.GetAnimation("a&b", *reader, kColour));
    EXPECT_TRUE(reader->IsFailed());
    EXPECT_LE(reader->GetReadPosition(), static_cast<int>(bytes.size()));
}

TEST_P(BadStreamTest, IsRefusedOnTheCachedPathToo) {
    MorphStreamWriter writer;
    writer.AddFrames(2, 2);
    auto good = ReaderOver(writer.Build());
    CPSmartPtr<CPAnimation> loaded = m_cache.GetAnimation("a&b", *good, kColour);
    ASSERT_TRUE(loaded);
    auto reader = ReaderOver(GetParam().make(writer));
    EXPECT_FALSE(m_cache.GetAnimation("a&b", *reader, kColour));
    EXPECT_TRUE(reader->IsFailed());
    // The loaded animation is untouched.
    EXPECT_EQ(loaded->GetFrameCount(), 2);
    EXPECT_EQ(m_cache.Find("a&b"), loaded.Get());
}

INSTANTIATE_TEST_SUITE_P(Streams, BadStreamTest, ::testing::ValuesIn(kBadStreams),
                         [](const ::testing::TestParamInfo<BadStream>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 if (c == ' ') c = '_';
                             return name;
                         });

TEST_F(AnimationCacheTest, AFailedFirstLoadLeavesTheKeyFreeForAGoodStream) {
    MorphStreamWriter writer;
    writer.AddFrames(2, 2);
    auto bad = ReaderOver(kxtest::Truncated(writer.Build(), 20));
    EXPECT_FALSE(m_cache.GetAnimation("a&b", *bad, kColour));
    auto good = ReaderOver(writer.Build());
    CPSmartPtr<CPAnimation> animation = m_cache.GetAnimation("a&b", *good, kColour);
    ASSERT_TRUE(animation);
    EXPECT_EQ(animation->GetFrameCount(), 2);
    EXPECT_EQ(animation->GetFrames()[1].vertices.size(), 6u);
}

} // namespace
