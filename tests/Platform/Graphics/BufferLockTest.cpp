// Buffer locks on both devices: for each pattern of locks (whole buffer, a range, discarding,
// appending without overwriting, telling the written extent, a read-back of a static buffer),
// the bytes a later draw or read sees are the bytes written. On the OpenGL device (offscreen;
// skipped where OpenGL 4.5 cannot run) draws are checked by their pixels as well. Bad locks
// fail alike on both.

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "GraphicsTestUtil.h"
#include "Platform/Graphics/D3D9.h"
#include "support/TestDevices.h"

using namespace GraphicsTest;

namespace {

constexpr UINT W = 160, H = 120;
constexpr UINT kSlots = 8; // quads in the buffer, four vertices each
constexpr UINT kSlotBytes = 4 * sizeof(ScreenVertex);
constexpr D3DCOLOR kClear = 0xFF000000;

// Cell c of the screen: 16 x 16 pixels from (4 + 19c, 10).
UINT CellX(UINT cell) { return 4 + 19 * cell; }
constexpr UINT kCellY = 10;

// The four strip vertices of a quad over cell c.
void WriteQuad(ScreenVertex* v, UINT cell, D3DCOLOR colour) {
    const float x0 = static_cast<float>(CellX(cell)) - 0.5f, x1 = x0 + 16;
    const float y0 = static_cast<float>(kCellY) - 0.5f, y1 = y0 + 16;
    v[0] = {x1, y0, 0.5f, 1, colour, 0, 0};
    v[1] = {x1, y1, 0.5f, 1, colour, 0, 0};
    v[2] = {x0, y0, 0.5f, 1, colour, 0, 0};
    v[3] = {x0, y1, 0.5f, 1, colour, 0, 0};
}

// One lock: slots [first, first + count) locked (count 0: to the end, as a size of 0 does), the
// first `written` of them written with quads of `colour` over the cells `shift` to the right of
// their own, the written extent told to the device unless `tell` is false; then, with `draw`,
// the written slots are drawn.
struct Step {
    UINT first, count;
    DWORD flags;
    UINT written;
    D3DCOLOR colour;
    bool tell = true;
    UINT shift = 0;
    bool draw = true;
};

struct LockCase {
    const char* name;
    DWORD usage;
    D3DPOOL pool;
    std::vector<Step> steps;
};

// What a slot holds, as far as it is defined.
struct SlotContent {
    UINT cell;
    D3DCOLOR colour;
};

const std::vector<LockCase>& Cases() {
    static const std::vector<LockCase> cases = {
        {"WholeBuffer", D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, {{0, 0, 0, kSlots, 0xFF0000FF, false}}},
        {"ARange", D3DUSAGE_WRITEONLY, D3DPOOL_MANAGED, {{0, 0, 0, kSlots, 0xFF0000FF}, {2, 3, 0, 3, 0xFF00FF00}}},
        {"DiscardThenARange",
         D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
         D3DPOOL_DEFAULT,
         {{0, 0, D3DLOCK_DISCARD, kSlots, 0xFF0000FF}, {0, 0, D3DLOCK_DISCARD, 0, 0}, {1, 2, 0, 2, 0xFF00FF00}}},
        {"NoOverwriteAppends",
         D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
         D3DPOOL_DEFAULT,
         {{0, 1, D3DLOCK_DISCARD, 1, 0xFFFF0000},
          {1, 2, D3DLOCK_NOOVERWRITE, 2, 0xFF00FF00},
          {3, 1, D3DLOCK_NOOVERWRITE, 1, 0xFF0000FF},
          {4, 0, D3DLOCK_NOOVERWRITE, 3, 0xFFFFFF00}}},
        // A fill that locks all and writes a part, telling how much: what it wrote is drawn.
        {"DiscardWholeWriteAPart",
         D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
         D3DPOOL_DEFAULT,
         {{0, 0, D3DLOCK_DISCARD, 3, 0xFF00FFFF}, {0, 0, D3DLOCK_DISCARD, 2, 0xFFFF00FF}}},
        // Without a discard the bytes beyond the extent told keep what they held.
        {"WritingAPartKeepsTheRest",
         D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
         D3DPOOL_DEFAULT,
         {{0, 0, D3DLOCK_DISCARD, kSlots, 0xFF0000FF, true, 0, false}, {0, 0, 0, 2, 0xFF00FF00, true, 0, false}}},
        // A draw made before a lock sees the bytes as they were when it was made.
        {"DrawsBeforeALockSeeTheOldBytes",
         D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY,
         D3DPOOL_DEFAULT,
         {{0, 1, D3DLOCK_DISCARD, 1, 0xFFFF0000},
          {0, 1, 0, 1, 0xFF00FF00, true, 1},
          {0, 1, D3DLOCK_DISCARD, 1, 0xFF0000FF, true, 2},
          {0, 1, D3DLOCK_DISCARD, 1, 0xFFFFFFFF, true, 3}}},
        {"StaticBufferReadsBack",
         D3DUSAGE_WRITEONLY,
         D3DPOOL_MANAGED,
         {{0, 0, 0, kSlots, 0xFF808080}, {5, 1, 0, 1, 0xFFFF8000}}},
    };
    return cases;
}

class BufferLocks : public ::testing::TestWithParam<std::tuple<D3DBackend, std::size_t>> {
protected:
    void SetUp() override {
        const D3DBackend backend = std::get<0>(GetParam());
        d3d = backend == D3DBackend::OpenGL ? kxtest::OffscreenOpenGLDirect3D() : kxtest::RecordingDirect3D();
        if (!d3d) GTEST_SKIP() << "no OpenGL 4.5 here";
        kxtest::CreateTestDevice(d3d, WindowedParams(W, H), &device);
        pixels = backend == D3DBackend::OpenGL;
    }
    void TearDown() override {
        if (device) {
            EXPECT_EQ(device->Release(), 0u);
        }
        if (d3d) d3d->Release();
    }

    void DrawSlot(UINT slot) {
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, slot * 4, 2), D3D_OK) << "slot " << slot;
    }

    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    bool pixels = false;
};

TEST_P(BufferLocks, LaterDrawsAndReadsSeeTheBytesWritten) {
    if (!device) return;
    const LockCase& c = Cases()[std::get<1>(GetParam())];
    IDirect3DVertexBuffer9* vb = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(kSlots * kSlotBytes, c.usage, kScreenFvf, c.pool, &vb, nullptr), D3D_OK);

    std::vector<std::optional<SlotContent>> slots(kSlots);
    std::vector<D3DCOLOR> cells(kSlots, kClear); // what each cell shows (the screen holds kSlots)
    device->Clear(0, nullptr, D3DCLEAR_TARGET, kClear, 1.0f, 0);
    device->BeginScene();
    UnlitDiffuseState(device);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetFVF(kScreenFvf);
    device->SetStreamSource(0, vb, 0, sizeof(ScreenVertex));
    for (const Step& step : c.steps) {
        void* p = nullptr;
        ASSERT_EQ(vb->Lock(step.first * kSlotBytes, step.count * kSlotBytes, &p, step.flags), D3D_OK);
        if (step.flags & D3DLOCK_DISCARD)
            for (auto& slot : slots) slot.reset();
        auto* quads = static_cast<ScreenVertex*>(p);
        for (UINT i = 0; i < step.written; ++i) {
            const UINT slot = step.first + i;
            WriteQuad(quads + 4 * i, slot + step.shift, step.colour);
            slots[slot] = SlotContent{slot + step.shift, step.colour};
        }
        if (step.tell) {
            ASSERT_EQ(D3DSetLockWritten(vb, step.written * kSlotBytes), D3D_OK);
        }
        ASSERT_EQ(vb->Unlock(), D3D_OK);
        if (!step.draw) continue;
        for (UINT i = 0; i < step.written; ++i) {
            DrawSlot(step.first + i);
            cells[step.first + i + step.shift] = step.colour;
        }
    }
    // Every slot that holds defined bytes at the end is drawn once more.
    for (UINT slot = 0; slot < kSlots; ++slot)
        if (slots[slot]) {
            DrawSlot(slot);
            cells[slots[slot]->cell] = slots[slot]->colour;
        }
    device->EndScene();

    // A read-back lock sees the bytes written (only a buffer not locked write-only promises
    // that, but both devices keep them for every buffer).
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
    for (UINT slot = 0; slot < kSlots; ++slot) {
        if (!slots[slot]) continue;
        ScreenVertex expected[4];
        WriteQuad(expected, slots[slot]->cell, slots[slot]->colour);
        EXPECT_EQ(std::memcmp(static_cast<const char*>(p) + slot * kSlotBytes, expected, kSlotBytes), 0)
            << "slot " << slot;
    }
    ASSERT_EQ(vb->Unlock(), D3D_OK);

    if (pixels) {
        std::vector<D3DCOLOR> shown(W * H);
        IDirect3DSurface9* backBuffer = nullptr;
        ASSERT_EQ(device->GetRenderTarget(0, &backBuffer), D3D_OK);
        EXPECT_EQ(device->ReadRenderTarget(backBuffer, shown.data(), static_cast<UINT>(shown.size())), D3D_OK);
        backBuffer->Release();
        for (UINT cell = 0; cell < cells.size(); ++cell) {
            const UINT x = CellX(cell);
            EXPECT_EQ(shown[(kCellY + 8) * W + x + 8], cells[cell]) << "cell " << cell;
            EXPECT_EQ(shown[kCellY * W + x], cells[cell]) << "corner of cell " << cell;
            EXPECT_EQ(shown[(kCellY + 15) * W + x + 15], cells[cell]) << "far corner of cell " << cell;
        }
    }
    vb->Release();
}

std::string CaseName(const ::testing::TestParamInfo<std::tuple<D3DBackend, std::size_t>>& info) {
    return std::string(std::get<0>(info.param) == D3DBackend::OpenGL ? "OpenGL_" : "Recording_") +
           Cases()[std::get<1>(info.param)].name;
}

INSTANTIATE_TEST_SUITE_P(BothDevices, BufferLocks,
                         ::testing::Combine(::testing::Values(D3DBackend::Recording, D3DBackend::OpenGL),
                                            ::testing::Range<std::size_t>(0, 8)),
                         CaseName);

class BadBufferLocks : public BufferLocks {};

// Out-of-range and wrapping locks fail, leave the buffer unlocked and change nothing; so do an
// unlock without a lock and a written extent beyond the lock or without one.
TEST_P(BadBufferLocks, FailWithoutChangingTheBuffer) {
    if (!device) return;
    const UINT bytes = kSlots * kSlotBytes;
    IDirect3DVertexBuffer9* vb = nullptr;
    IDirect3DIndexBuffer9* ib = nullptr;
    ASSERT_EQ(device->CreateVertexBuffer(bytes, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, kScreenFvf, D3DPOOL_DEFAULT, &vb,
                                         nullptr),
              D3D_OK);
    ASSERT_EQ(device->CreateIndexBuffer(64, D3DUSAGE_DYNAMIC | D3DUSAGE_WRITEONLY, D3DFMT_INDEX16, D3DPOOL_DEFAULT, &ib,
                                        nullptr),
              D3D_OK);
    void* p = nullptr;
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_DISCARD), D3D_OK);
    std::memset(p, 0x5A, bytes);
    ASSERT_EQ(vb->Unlock(), D3D_OK);

    struct Bad {
        UINT offset, size;
    };
    const Bad bad[] = {{bytes, 1},           {bytes + 1, 0},    {0, bytes + 1},   {bytes - 4, 8},
                       {0xFFFFFFF0u, 0x20u}, {16, 0xFFFFFFF8u}, {0xFFFFFFFFu, 0}, {bytes / 2, bytes}};
    for (const Bad& b : bad) {
        for (DWORD flags : {DWORD(0), DWORD(D3DLOCK_DISCARD), DWORD(D3DLOCK_NOOVERWRITE)}) {
            p = reinterpret_cast<void*>(1);
            EXPECT_EQ(vb->Lock(b.offset, b.size, &p, flags), D3DERR_INVALIDCALL)
                << "offset " << b.offset << ", size " << b.size << ", flags " << flags;
            EXPECT_EQ(p, nullptr);
            EXPECT_EQ(ib->Lock(b.offset, b.size, &p, flags), D3DERR_INVALIDCALL)
                << "index buffer: offset " << b.offset << ", size " << b.size;
        }
    }
    EXPECT_EQ(vb->Unlock(), D3DERR_INVALIDCALL) << "no lock is held";
    EXPECT_EQ(ib->Unlock(), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DSetLockWritten(vb, 0), D3DERR_INVALIDCALL) << "no lock is held";
    EXPECT_EQ(D3DSetLockWritten(ib, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(D3DSetLockWritten(static_cast<IDirect3DVertexBuffer9*>(nullptr), 0), D3DERR_INVALIDCALL);

    ASSERT_EQ(vb->Lock(kSlotBytes, kSlotBytes, &p, 0), D3D_OK) << "the failed locks left it unlocked";
    EXPECT_EQ(D3DSetLockWritten(vb, kSlotBytes + 1), D3DERR_INVALIDCALL) << "more than the lock holds";
    std::memset(p, 0x33, kSlotBytes);
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    ASSERT_EQ(vb->Lock(0, 0, &p, D3DLOCK_READONLY), D3D_OK);
    const auto* read = static_cast<const std::uint8_t*>(p);
    for (UINT i = 0; i < bytes; ++i) {
        const std::uint8_t expected = i >= kSlotBytes && i < 2 * kSlotBytes ? 0x33 : 0x5A;
        ASSERT_EQ(read[i], expected) << "byte " << i;
    }
    ASSERT_EQ(vb->Unlock(), D3D_OK);
    vb->Release();
    ib->Release();
}

INSTANTIATE_TEST_SUITE_P(BothDevices, BadBufferLocks,
                         ::testing::Combine(::testing::Values(D3DBackend::Recording, D3DBackend::OpenGL),
                                            ::testing::Values(std::size_t(0))),
                         [](const ::testing::TestParamInfo<std::tuple<D3DBackend, std::size_t>>& info) {
                             return std::string(std::get<0>(info.param) == D3DBackend::OpenGL ? "OpenGL" : "Recording");
                         });

} // namespace
