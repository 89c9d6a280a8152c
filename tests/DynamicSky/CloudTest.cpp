// Cloud sets and cloud items: what the files give, how items are placed, scaled and turned, the
// activation table, and files that are missing or wrong.
#include <gtest/gtest.h>

#include <cmath>

#include "DynamicSky/SkyFixture.h"
#include "support/Near.h"

using namespace skytest;

namespace {

class Clouds : public SkyFixture {};

const char* kItem = "anchors 2\n"
                    "a 0 0 0\n"
                    "a 10 0 0\n"
                    "puffs 2\n"
                    "p 0 0 5\n"
                    "k 3 4\n"
                    "k 2.5\n"
                    "anchor 0\n"
                    "size 6 4\n"
                    "p 10 3 0\n"
                    "k 0 0\n"
                    "k 0\n"
                    "anchor 1\n"
                    "size 8 2\n"
                    "t 1\nt 2\nt 3\nt 4\nt 5\nt 6\nt 7\nt 8\n";

TEST_F(Clouds, ItemTransformsScaleTurnSizesAndOutwardDirections) {
    WriteCloudFile("item.txt", kItem);
    const float quarter = 1.5707964f;
    const struct {
        float scale, rotation;
        D3DXVECTOR3 puff1;
    } cases[] = {{1.0f, 0.0f, {10, 3, 0}}, {2.0f, 0.0f, {20, 6, 0}}, {1.0f, quarter, {-3, 10, 0}}};
    for (const auto& c : cases) {
        CloudItem item;
        item.Load("item.txt", c.scale, c.rotation);
        EXPECT_FLOAT_EQ(item.scale, c.scale);
        EXPECT_FLOAT_EQ(item.rotation, c.rotation);
        ASSERT_EQ(item.anchors.size(), 2u);
        ASSERT_EQ(item.puffs.size(), 2u);
        EXPECT_TRUE(kxtest::Near(item.puffs[1].position, c.puff1, 1e-4f)) << c.scale << " " << c.rotation;
        EXPECT_TRUE(kxtest::Near(item.puffs[0].position, D3DXVECTOR3(0, 0, 5 * c.scale), 1e-4f));
        EXPECT_FLOAT_EQ(item.puffs[0].sizeA, 6 * c.scale);
        EXPECT_FLOAT_EQ(item.puffs[0].sizeB, 4 * c.scale);
        EXPECT_TRUE(kxtest::Near(item.puffs[0].outward, D3DXVECTOR3(0, 0, 1), 1e-5f));
        // Puff 1 lies 3 units off anchor 1, turned with the item.
        const D3DXVECTOR3 out1 = c.rotation == 0.0f ? D3DXVECTOR3(0, 1, 0) : D3DXVECTOR3(-1, 0, 0);
        EXPECT_TRUE(kxtest::Near(item.puffs[1].outward, out1, 1e-4f));
    }
    CloudItem item;
    item.Load("item.txt", 1.0f, 0.0f);
    EXPECT_EQ(item.puffs[0].kept1, 3);
    EXPECT_EQ(item.puffs[0].kept2, 4);
    EXPECT_FLOAT_EQ(item.puffs[0].kept3, 2.5f);
    EXPECT_FLOAT_EQ(item.trailer1, 1.0f);
    EXPECT_FLOAT_EQ(item.trailer2, 2.0f);
    EXPECT_FLOAT_EQ(item.trailer[5], 8.0f);
    for (int f : item.puffs[0].unset) EXPECT_EQ(f, 0);
}

TEST_F(Clouds, ABadAnchorIndexGivesNoOutwardDirection) {
    for (const char* anchor : {"anchor 2\n", "anchor -1\n", "anchor 2147483647\n"}) {
        WriteCloudFile("bad.txt",
                       std::string("anchors 1\na 0 0 0\npuffs 1\np 1 2 3\nk 0 0\nk 0\n") + anchor + "size 1 1\n");
        CloudItem item;
        item.Load("bad.txt", 1.0f, 0.0f);
        ASSERT_EQ(item.puffs.size(), 1u);
        EXPECT_TRUE(kxtest::Near(item.puffs[0].outward, D3DXVECTOR3(0, 0, 0))) << anchor;
        // The trailer is missing: its values read 0.
        EXPECT_FLOAT_EQ(item.trailer1, 0.0f);
    }
}

TEST_F(Clouds, SetPlacesItsItemsAroundTheOffset) {
    WriteCloudFile("item.txt", kItem);
    WriteCloudFile("set.txt", "offset 100 200 300\nk 1.5\nk 2\nk 3 4 5\nk 6.5\nitems 2\n"
                              "item item.txt\npos 1 2 3\nscale 2\nrot 0\nweight 0.25\n"
                              "item missing.txt\npos -1 0 0\nscale 1\nrot 0\nweight 4\n");
    CloudSet set;
    set.Load("set.txt");
    EXPECT_TRUE(kxtest::Near(set.offset, D3DXVECTOR3(100, 200, 300)));
    EXPECT_FLOAT_EQ(set.kept1, 1.5f);
    EXPECT_EQ(set.kept2, 2);
    EXPECT_FLOAT_EQ(set.kept3.z, 5.0f);
    EXPECT_FLOAT_EQ(set.kept4, 6.5f);
    ASSERT_EQ(set.items.size(), 2u);
    ASSERT_EQ(set.weightedItems.size(), 2u);
    EXPECT_EQ(set.weightedItems[0].first, set.items[0]);
    EXPECT_FLOAT_EQ(set.weightedItems[0].second, 0.25f);
    EXPECT_FLOAT_EQ(set.weightedItems[1].second, 4.0f);
    EXPECT_TRUE(kxtest::Near(set.items[0]->localPosition, D3DXVECTOR3(1, 2, 3)));
    EXPECT_TRUE(kxtest::Near(set.items[0]->worldPosition, D3DXVECTOR3(101, 202, 303)));
    EXPECT_EQ(set.items[0]->puffs.size(), 2u);
    EXPECT_FLOAT_EQ(set.items[0]->scale, 2.0f);
    // An item file that cannot be read leaves the item as constructed.
    EXPECT_TRUE(set.items[1]->puffs.empty());
    EXPECT_FLOAT_EQ(set.items[1]->scale, 1.0f);
    EXPECT_FLOAT_EQ(set.items[1]->fadeEnd, 255.0f);
    EXPECT_FLOAT_EQ(set.items[1]->trailer1, 20.0f);
    EXPECT_FLOAT_EQ(set.items[1]->trailer[0], 128.0f);
    EXPECT_FALSE(set.active);
    EXPECT_FALSE(set.fading);

    CloudSet missing;
    missing.Load("nothing.txt");
    EXPECT_TRUE(missing.items.empty());
    EXPECT_TRUE(kxtest::Near(missing.offset, D3DXVECTOR3(0, 0, 0)));
}

TEST_F(Clouds, SetActiveTable) {
    WriteCloudFile("item.txt", kItem);
    WriteCloudFile("set.txt", "offset 0 0 0\nk 0\nk 0\nk 0 0 0\nk 0\nitems 1\nitem item.txt\np 0 0 0\ns 1\nr 0\nw 1\n");
    const struct {
        bool active, reset;
        bool setFading, fadingOut, fadingIn;
        float fadeStart, fadeEnd;
    } cases[] = {
        {true, true, false, false, true, 255, 0},
        {false, true, true, true, false, 0, 255},
        {true, false, false, false, true, 7, 9}, // fades left as they were
        {false, false, true, true, false, 7, 9},
    };
    for (const auto& c : cases) {
        CloudSet set;
        set.Load("set.txt");
        CloudItem& item = *set.items[0];
        item.fadeStart = 7;
        item.fadeEnd = 9;
        set.SetActive(c.active, c.reset);
        EXPECT_EQ(set.active, c.active);
        EXPECT_EQ(set.fading, c.setFading);
        EXPECT_EQ(item.fadingOut, c.fadingOut);
        EXPECT_EQ(item.fadingIn, c.fadingIn);
        EXPECT_FLOAT_EQ(item.fadeStart, c.fadeStart);
        EXPECT_FLOAT_EQ(item.fadeEnd, c.fadeEnd);
        EXPECT_TRUE(item.changed);
        EXPECT_TRUE(item.flag1);
        EXPECT_FALSE(item.flag2);
    }
}

TEST_F(Clouds, HostileCountsStopAtTheEnd) {
    WriteCloudFile("item.txt", "anchors 2000000000\na 1 1 1\npuffs 5\n");
    CloudItem item;
    item.Load("item.txt", 1.0f, 0.0f);
    EXPECT_LE(item.anchors.size(), 2u);
    EXPECT_TRUE(item.puffs.empty());
    WriteCloudFile("set.txt", "offset 0 0 0\nk 0\nk 0\nk 0 0 0\nk 0\nitems 2000000000\nitem item.txt\n");
    CloudSet set;
    set.Load("set.txt");
    EXPECT_EQ(set.items.size(), 1u);
}

TEST_F(Clouds, TheVolumeCloudLoadsItsPictureAndEffect) {
    VolumeCloud cloud;
    EXPECT_NE(cloud.GetTexture(), nullptr);
    EXPECT_NE(cloud.GetEffect(), nullptr);
    EXPECT_TRUE(cloud.GetSourceVertices().empty());
    EXPECT_TRUE(cloud.entries.empty());
}

} // namespace
