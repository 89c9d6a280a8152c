#include <gtest/gtest.h>

#include <climits>

#include "support/FreshStore.h"

namespace {

using kxtest::CamSpeed;

SPCarSettings Car(std::array<std::string, 3> weapons, std::string mine, std::string armor, std::string bumper,
                  std::string engine, std::string super, int count, std::array<std::string, 2> equipment) {
    SPCarSettings s;
    s.weapons = std::move(weapons);
    s.mine = std::move(mine);
    s.armor = std::move(armor);
    s.bumper = std::move(bumper);
    s.engine = std::move(engine);
    s.superWeapon = std::move(super);
    s.superWeaponCount = count;
    s.equipment = std::move(equipment);
    return s;
}

} // namespace

TEST(PlayerFile, ElevenLinesFillBothCars) {
    struct Case {
        const char* what;
        const char* file;
        SPCarSettings expected;
    };
    const Case cases[] = {
        {"all eleven", "gun\nrocket\nlaser\nspike\nplate\nram\nv8\nnuke\n3\nradar\nshield\n",
         Car({"gun", "rocket", "laser"}, "spike", "plate", "ram", "v8", "nuke", 3, {"radar", "shield"})},
        {"none is an empty slot", "none\ngun\nnone\nnone\nnone\nnone\nnone\nnone\n0\nnone\nnone\n",
         Car({"", "gun", ""}, "", "", "", "", "", 0, {"", ""})},
        {"None is an item name", "gun\ngun\ngun\nNone\nNONE\n none \nv8\nnuke\n2\nx\ny\n",
         Car({"gun", "gun", "gun"}, "None", "NONE", "", "v8", "nuke", 2, {"x", "y"})},
        {"three lines only", "a\nb\nc\n", Car({"a", "b", "c"}, "", "", "", "", "", 0, {"", ""})},
        {"comments and empty lines do not count",
         "// starting car\na\n\nb\n/* two\nlines */ x\nc\nd\ne\nf\ng\nh\n  \n5\n// charges\ni\nj\nextra\n",
         Car({"a", "b", "c"}, "d", "e", "f", "g", "h", 5, {"i", "j"})},
        {"line 9 is a plain integer", "a\nb\nc\nd\ne\nf\ng\nh\nnone\ni\nj\n",
         Car({"a", "b", "c"}, "d", "e", "f", "g", "h", 0, {"i", "j"})},
        {"line 9 reads its leading number", "a\nb\nc\nd\ne\nf\ng\nh\n 12abc\ni\nj\n",
         Car({"a", "b", "c"}, "d", "e", "f", "g", "h", 12, {"i", "j"})},
        {"empty file", "", SPCarSettings{}},
    };
    for (const Case& c : cases) {
        kxtest::FreshGameData store;
        store.Write("DATA/player.dat", c.file);
        store->editedCar.engine = "old";
        store->realCar.engine = "old";
        store->LoadPlayer();
        EXPECT_EQ(store->editedCar, c.expected) << c.what;
        EXPECT_EQ(store->realCar, c.expected) << c.what;
    }
}

TEST(PlayerFile, MissingFileEmptiesBothCars) {
    kxtest::FreshGameData store;
    store->editedCar.weapons[0] = "gun";
    store->realCar.superWeaponCount = 4;
    store->LoadPlayer();
    EXPECT_EQ(store->editedCar, SPCarSettings{});
    EXPECT_EQ(store->realCar, SPCarSettings{});
}

TEST(CoefficientsFile, FourLinesInOrder) {
    CamSpeed normal(0);
    struct Case {
        const char* what;
        const char* file;
        std::array<float, 4> expected;
    };
    const Case cases[] = {
        {"four numbers", "0.5\n1.25\n2\n0.75\n", {0.5f, 1.25f, 2.0f, 0.75f}},
        {"further lines ignored", "1\n2\n3\n4\n5\n", {1, 2, 3, 4}},
        {"missing lines read 0", "1.5\n2.5\n", {1.5f, 2.5f, 0, 0}},
        {"not a number reads 0", "abc\n3x\n.5\n-1\n", {0, 3, 0.5f, -1}},
        {"comments do not count", "// difficulty\n1\n\n/* x */ 9\n2\n3\n9 // not counted\n4\n", {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        kxtest::FreshGameData store;
        store.Write("DATA/coeff.dat", c.file);
        store->LoadCoefficients();
        EXPECT_EQ(store->coefficients, c.expected) << c.what;
    }
}

TEST(CoefficientsFile, MissingFileKeepsTheCoefficients) {
    CamSpeed normal(0);
    kxtest::FreshGameData store;
    store->coefficients = {2, 3, 4, 5};
    store->LoadCoefficients();
    EXPECT_EQ(store->coefficients, (std::array<float, 4>{2, 3, 4, 5}));
}

TEST(CoefficientsFile, HardModeWithDifficultySetIgnoresTheFile) {
    {
        CamSpeed set(1);
        kxtest::FreshGameData store;
        store.Write("DATA/coeff.dat", "3\n3\n3\n3\n");
        store->hardMode = true;
        store->LoadCoefficients();
        EXPECT_EQ(store->coefficients, (std::array<float, 4>{1, 1, 1, 1}));
        store->hardMode = false;
        store->LoadCoefficients();
        EXPECT_EQ(store->coefficients, (std::array<float, 4>{3, 3, 3, 3}));
    }
    {
        CamSpeed zero(0);
        kxtest::FreshGameData store;
        store.Write("DATA/coeff.dat", "3\n3\n3\n3\n");
        store->hardMode = true;
        store->LoadCoefficients();
        EXPECT_EQ(store->coefficients, (std::array<float, 4>{3, 3, 3, 3}));
    }
}

TEST(ProfileFiles, HostileFilesAreReadWithoutHarm) {
    CamSpeed normal(0);
    std::string binary;
    for (int i = 0; i < 4096; ++i) binary.push_back(static_cast<char>((i * 131) & 0xff));
    const std::string cases[] = {
        binary,
        std::string(1 << 20, 'x'),               // one long line
        std::string("gun\0rocket\nlaser\n", 17), // a zero byte ends a line
        "\"\"\"\n\r\n\r\r\n99999999999999999999\n1e999\nnan\n-inf\n",
        "/* never closed\ngun\n",
    };
    for (const std::string& file : cases) {
        kxtest::FreshGameData store;
        store.Write("DATA/player.dat", file);
        store.Write("DATA/coeff.dat", file);
        store->LoadPlayer();
        store->LoadCoefficients();
        EXPECT_EQ(store->editedCar, store->realCar);
    }
    // A charge count beyond the int range saturates.
    kxtest::FreshGameData store;
    store.Write("DATA/player.dat", "a\nb\nc\nd\ne\nf\ng\nh\n99999999999999999999\n");
    store->LoadPlayer();
    EXPECT_EQ(store->editedCar.superWeaponCount, INT_MAX);
}
