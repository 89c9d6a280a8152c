#include "Render/PFrame.h"

#include <gtest/gtest.h>

#include <cmath>

#include "support/Near.h"

namespace {

using kxtest::Near;

const float kR2 = std::sqrt(0.5f);

TEST(Frame, NewFrameAndReset) {
    CPFrame f;
    EXPECT_EQ(f.GetAxisX(), D3DXVECTOR3(-1, 0, 0));
    EXPECT_EQ(f.GetAxisY(), D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(f.GetAxisZ(), D3DXVECTOR3(0, 1, 0));
    EXPECT_EQ(f.GetOrigin(), D3DXVECTOR3(0, 0, 0));
    EXPECT_TRUE(f.IsLeftHanded());

    // The setters keep what they are given and answer a copy.
    EXPECT_EQ(f.SetAxisX(2, 0, 0), D3DXVECTOR3(2, 0, 0));
    EXPECT_EQ(f.SetAxisY(0, 3, 0), D3DXVECTOR3(0, 3, 0));
    EXPECT_EQ(f.SetAxisZ(1, 1, 1), D3DXVECTOR3(1, 1, 1));
    EXPECT_EQ(f.SetOrigin(4, 5, 6), D3DXVECTOR3(4, 5, 6));
    EXPECT_EQ(f.GetAxisX(), D3DXVECTOR3(2, 0, 0));
    EXPECT_EQ(f.GetAxisY(), D3DXVECTOR3(0, 3, 0));
    EXPECT_EQ(f.GetAxisZ(), D3DXVECTOR3(1, 1, 1));
    EXPECT_EQ(f.GetOrigin(), D3DXVECTOR3(4, 5, 6));

    f.Reset();
    EXPECT_EQ(f.GetAxisX(), D3DXVECTOR3(-1, 0, 0));
    EXPECT_EQ(f.GetAxisY(), D3DXVECTOR3(0, 0, 1));
    EXPECT_EQ(f.GetAxisZ(), D3DXVECTOR3(0, 1, 0));
    EXPECT_EQ(f.GetOrigin(), D3DXVECTOR3(0, 0, 0));

    // Rebuilding X from Z x Y turns the initial X around.
    f.RebuildAxisX();
    EXPECT_EQ(f.GetAxisX(), D3DXVECTOR3(1, 0, 0));
}

TEST(Frame, LocalCoordinatesAreOrderedXZY) {
    CPFrame f; // X = -x, Y = +z, Z = +y
    EXPECT_EQ(f.WorldToLocalDirection({1, 2, 3}), D3DXVECTOR3(-1, 2, 3));
    EXPECT_EQ(f.LocalToWorldDirection({1, 2, 3}), D3DXVECTOR3(-1, 2, 3));

    f.SetAxisX(1, 0, 0);
    f.SetAxisY(0, 1, 0);
    f.SetAxisZ(0, 0, 1);
    // (along X, along Z, along Y)
    EXPECT_EQ(f.WorldToLocalDirection({1, 2, 3}), D3DXVECTOR3(1, 3, 2));
    EXPECT_EQ(f.LocalToWorldDirection({1, 3, 2}), D3DXVECTOR3(1, 2, 3));

    f.SetOrigin(10, 20, 30);
    EXPECT_EQ(f.WorldToLocalPoint({11, 22, 33}), D3DXVECTOR3(1, 3, 2));
    EXPECT_EQ(f.LocalToWorldPoint({1, 3, 2}), D3DXVECTOR3(11, 22, 33));
    // Directions ignore the origin.
    EXPECT_EQ(f.WorldToLocalDirection({11, 22, 33}), D3DXVECTOR3(11, 33, 22));
}

TEST(Frame, SetAxisZAndYBuildsAnOrthonormalFrame) {
    CPFrame f;
    f.SetAxisZAndY({2, 2, 0}, {0, 0, 5});
    EXPECT_TRUE(Near(f.GetAxisZ(), {kR2, kR2, 0}));
    EXPECT_TRUE(Near(f.GetAxisX(), {kR2, -kR2, 0})); // (Z x y) normalised
    EXPECT_TRUE(Near(f.GetAxisY(), {0, 0, 1}));      // X x Z, unit length

    // A y that is not perpendicular is replaced by the perpendicular one.
    f.SetAxisZAndY({0, 0, 3}, {0, 1, 1});
    EXPECT_TRUE(Near(f.GetAxisZ(), {0, 0, 1}));
    EXPECT_TRUE(Near(f.GetAxisX(), {-1, 0, 0}));
    EXPECT_TRUE(Near(f.GetAxisY(), {0, 1, 0}));
}

TEST(Frame, RoundTripsInAnOrthonormalFrame) {
    CPFrame f;
    f.SetAxisZAndY({1, 2, -0.5f}, {0.3f, -1, 2});
    f.SetOrigin(-3, 7, 1.5f);
    const D3DXVECTOR3 points[] = {{0, 0, 0}, {1, 2, 3}, {-40, 0.25f, 9}, {1e3f, -2e3f, 5}};
    for (const D3DXVECTOR3& p : points) {
        EXPECT_TRUE(Near(f.LocalToWorldPoint(f.WorldToLocalPoint(p)), p, 1e-3f));
        EXPECT_TRUE(Near(f.WorldToLocalDirection(f.LocalToWorldDirection(p)), p, 1e-3f));
    }
}

TEST(Frame, QuarterTurns) {
    CPFrame f;
    f.SetAxisZAndY({1, 2, -0.5f}, {0.3f, -1, 2});
    const D3DXVECTOR3 x = f.GetAxisX(), y = f.GetAxisY(), z = f.GetAxisZ();
    // X goes to Z, Z to -X, Y stays.
    EXPECT_TRUE(Near(f.QuarterTurn(x), z));
    EXPECT_TRUE(Near(f.QuarterTurn(z), -x));
    EXPECT_TRUE(Near(f.QuarterTurn(y), y));

    const D3DXVECTOR3 v(0.7f, -1.2f, 3.0f);
    D3DXVECTOR3 w = v;
    for (int i = 0; i < 4; ++i) w = f.QuarterTurn(w);
    EXPECT_TRUE(Near(w, v, 1e-5f));
    EXPECT_FALSE(Near(f.QuarterTurn(f.QuarterTurn(v)), v)); // two turns are a half turn

    EXPECT_EQ(f.Perpendicular({1, 2, 3}), D3DXVECTOR3(-2, 1, 3));
}

TEST(Frame, RebuildOperations) {
    // Z kept as given; X from Z x Y normalised; Y = X x Z unnormalised.
    CPFrame f; // Y = (0, 0, 1)
    f.SetAxisZAndRebuild({2, 0, 0});
    EXPECT_EQ(f.GetAxisZ(), D3DXVECTOR3(2, 0, 0));
    EXPECT_TRUE(Near(f.GetAxisX(), {0, -1, 0}));
    EXPECT_TRUE(Near(f.GetAxisY(), {0, 0, 2}));

    CPFrame g;
    g.SetAxisZNormalised({0, 3, 0});
    EXPECT_TRUE(Near(g.GetAxisZ(), {0, 1, 0}));
    EXPECT_TRUE(Near(g.GetAxisX(), {1, 0, 0}));
    EXPECT_TRUE(Near(g.GetAxisY(), {0, 0, 1}));

    // RebuildAxisX leaves a zero X as computed (no division).
    CPFrame h;
    h.SetAxisY(0, 1, 0); // parallel to Z
    h.RebuildAxisX();
    EXPECT_EQ(h.GetAxisX(), D3DXVECTOR3(0, 0, 0));
}

TEST(Frame, ZeroOrParallelAxesGiveZeroNotNaN) {
    CPFrame f;
    f.SetAxisZAndY({0, 0, 0}, {0, 1, 0});
    EXPECT_EQ(f.GetAxisZ(), D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(f.GetAxisX(), D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(f.GetAxisY(), D3DXVECTOR3(0, 0, 0));

    CPFrame g;
    g.SetAxisZAndY({0, 0, 4}, {0, 0, -2}); // parallel
    EXPECT_TRUE(Near(g.GetAxisZ(), {0, 0, 1}));
    EXPECT_EQ(g.GetAxisX(), D3DXVECTOR3(0, 0, 0));
    EXPECT_EQ(g.GetAxisY(), D3DXVECTOR3(0, 0, 0));
}

// The composite operations go through the virtual table.
class SwappedPerpendicularFrame : public CPFrame {
public:
    D3DXVECTOR3 Perpendicular(const D3DXVECTOR3& v) const override { return D3DXVECTOR3(v.y, -v.x, v.z); }
    D3DXVECTOR3 GetOrigin() const override { return D3DXVECTOR3(100, 0, 0); }
};

TEST(Frame, CompositesUseTheDerivedPrimitives) {
    SwappedPerpendicularFrame f;
    f.Reset(); // X = Perpendicular(Z) = (1, 0, 0) with the derived rule
    EXPECT_EQ(f.GetAxisX(), D3DXVECTOR3(1, 0, 0));
    EXPECT_TRUE(Near(f.QuarterTurn(f.GetAxisX()), -f.GetAxisZ())); // the other way round
    EXPECT_EQ(f.LocalToWorldPoint({0, 0, 0}), D3DXVECTOR3(100, 0, 0));
    EXPECT_EQ(f.WorldToLocalPoint({100, 0, 0}), D3DXVECTOR3(0, 0, 0));
}

} // namespace
