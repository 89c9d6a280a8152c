#include <gtest/gtest.h>

#include <string>

#include "Game/LuaHarness.h"
#include "Game/ScriptRecords.h"
#include "Script/Lua.h"
#include "support/FreshStore.h"
#include "support/ScoresFile.h"

namespace {

// A bare Lua state with the record functions and a "dump" that writes any results as text.
class RecordScripts : public ::testing::Test {
protected:
    void Run(const std::string& chunk) { lua.Run(chunk); }
    std::string Eval(const std::string& call) { return lua.Eval(call); }

    kxtest::FreshGameData store;
    kxtest::LuaHarness lua{ScriptApi::AddRecordFunctions};
};

using kxtest::CamSpeed;

const std::string kEmptyRows = R"({{"",""},{"",""},{"",""},{"",""},{"",""},{"",""},{"",""}})";

} // namespace

TEST_F(RecordScripts, InitPlayerLoadsTheStartingCar) {
    store.Write("DATA/player.dat", "gun\nnone\nNone\n");
    store->editedCar.engine = "old";
    EXPECT_EQ(Eval("InitPlayer()"), "");
    EXPECT_EQ(store->editedCar.weapons[0], "gun");
    EXPECT_EQ(store->editedCar.weapons[1], "");
    EXPECT_EQ(store->editedCar.weapons[2], "None");
    EXPECT_EQ(store->editedCar.engine, "");
    EXPECT_EQ(store->realCar, store->editedCar);
}

TEST_F(RecordScripts, SetDifficultReadsOrOverridesTheCoefficients) {
    store.Write("DATA/coeff.dat", "0.5\n2\n3\n4\n");
    {
        CamSpeed zero(0);
        EXPECT_EQ(Eval("SetDifficult(true)"), "");
        EXPECT_TRUE(store->hardMode);
        EXPECT_EQ(store->coefficients, (std::array<float, 4>{0.5f, 2, 3, 4}));
    }
    {
        CamSpeed one(1);
        EXPECT_EQ(Eval("SetDifficult(1)"), ""); // Lua truth: a number is true
        EXPECT_EQ(store->coefficients, (std::array<float, 4>{1, 1, 1, 1}));
        EXPECT_EQ(Eval("SetDifficult()"), ""); // missing reads false
        EXPECT_FALSE(store->hardMode);
        EXPECT_EQ(store->coefficients, (std::array<float, 4>{0.5f, 2, 3, 4}));
    }
}

TEST_F(RecordScripts, GetRecordsListsSevenRows) {
    EXPECT_EQ(Eval("GetRecords(1)"), kEmptyRows);
    EXPECT_EQ(Eval("GetRecords(0)"), kEmptyRows);
    EXPECT_EQ(Eval("GetRecords(9)"), kEmptyRows);
    EXPECT_EQ(Eval("GetRecords()"), kEmptyRows);
    SPScoreEntry e;
    e.name = "Ann";
    e.minutes = 1;
    e.seconds = 2;
    e.hundredths = 3;
    ASSERT_TRUE(store->InsertRecord(2, e));
    const std::string expected = R"({{"Ann","01:02:03"},{"",""},{"",""},{"",""},{"",""},{"",""},{"",""}})";
    EXPECT_EQ(Eval("GetRecords(2)"), expected);
    EXPECT_EQ(Eval("GetRecords(2.7)"), expected);
    EXPECT_EQ(Eval("GetRecords('2')"), expected);
    // Extra arguments neither move the rows nor reach the result.
    EXPECT_EQ(Eval("GetRecords(2, 'x', {}, 5, nil, true)"), expected);
    Run("local t = GetRecords(2, 1, 2, 3) assert(t[1][1] == 'Ann')");
}

TEST_F(RecordScripts, UpdateRoundsTimeGivesFortyFields) {
    store->playerLap.currentLap = 2;
    store->playerLap.lapTimes[0] = 61.5f;
    store->playerLap.lapTimes[1] = 7.25f;
    const std::string expected = "40 {1,1,50,true,0,7,25,true,0,0,0,false,0,0,0,false,0,0,0,false,"
                                 "0,0,0,false,0,0,0,false,0,0,0,false,0,0,0,false,0,0,0,false}";
    EXPECT_EQ(Eval("UpdateRoundsTime()"), expected);
    EXPECT_EQ(Eval("UpdateRoundsTime(1, 2, 'three', {})"), expected);
    store->playerLap.lapTimes.clear(); // laps beyond the vector read 0
    EXPECT_EQ(Eval("UpdateRoundsTime()"), "40 {0,0,0,true,0,0,0,true,0,0,0,false,0,0,0,false,0,0,0,false,"
                                          "0,0,0,false,0,0,0,false,0,0,0,false,0,0,0,false,0,0,0,false}");
}

TEST_F(RecordScripts, CheckPlayerRecordsAndBestTimes) {
    store->profileName = "Pilot";
    store->roundCount = 3;
    store->playerLap.lapTimes[0] = 75.0f;
    store->playerLap.lapTimes[1] = 58.5f;
    store->playerLap.lapTimes[2] = 62.0f;
    EXPECT_EQ(Eval("CheckPlayerRecords(3)"), "true");
    EXPECT_EQ(Eval("CheckPlayerRecords(7)"), "false");
    EXPECT_EQ(Eval("GetRecords(3)[1][2]"), R"("00:58:50")");

    store->realLevelNumber = 2;
    store->playerLap.currentLap = 1;
    EXPECT_EQ(Eval("GetTimeBest()"), "0 0 0");
    EXPECT_EQ(Eval("UpdateBestTimeRecord()"), "false");
    store->playerLap.currentLap = 4;
    EXPECT_EQ(Eval("GetTimeBest()"), "0 58 50");
    EXPECT_EQ(Eval("UpdateBestTimeRecord()"), "false"); // first best time
    EXPECT_EQ(Eval("GetBestTimesCount(), GetFirstPlacesCount()"), "0 0");
    store->playerLap.lapTimes[2] = 55.0f;
    EXPECT_EQ(Eval("UpdateBestTimeRecord()"), "true");
    store->missionRecords[6].bestPlace = 1;
    EXPECT_EQ(Eval("GetBestTimesCount(), GetFirstPlacesCount()"), "1 1");
}

TEST_F(RecordScripts, SaveScoreWritesTheFileAndReturnsNothing) {
    EXPECT_EQ(Eval("SaveScore()"), "");
    const auto records = kxtest::ReadScoresFile(store.Path() + "/Data/scores.dat");
    ASSERT_TRUE(records.has_value());
    EXPECT_EQ(records->size(), 42u);
}
