#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>

#include "GameData/PGameData.h"

namespace {

SPScoreEntry Entry(const char* name, int m, int s, int h) {
    SPScoreEntry e;
    e.name = name;
    e.minutes = m;
    e.seconds = s;
    e.hundredths = h;
    return e;
}

std::vector<std::string> Names(const std::vector<SPScoreEntry>& table) {
    std::vector<std::string> names;
    for (const SPScoreEntry& e : table) names.push_back(e.name);
    return names;
}

} // namespace

TEST(TimeSplit, TableOfTimes) {
    struct Case {
        float time;
        SPTimeSplit split;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const Case cases[] = {
        {0.0f, {0, 0, 0}},
        {59.98f, {0, 59, 97}}, // 59.98f is 59.97999..., truncated not rounded
        {60.0f, {1, 0, 0}},
        {125.37f, {2, 5, 37}},  // two minutes five seconds and a fraction
        {125.999f, {2, 5, 99}}, // never rounds up to 2:06:00
        {3599.5f, {59, 59, 50}},
        {7325.25f, {122, 5, 25}},
        {-1.5f, {0, -1, -50}}, // truncation toward zero
        {nan, {0, 0, 0}},
        {1e20f, {INT_MAX / 60, INT_MAX % 60, 0}},
        {inf, {INT_MAX / 60, INT_MAX % 60, 0}},
        {-1e20f, {0, INT_MIN, 0}},
        {-inf, {0, INT_MIN, 0}},
    };
    for (const Case& c : cases) {
        const SPTimeSplit got = SplitTime(c.time);
        EXPECT_EQ(got.minutes, c.split.minutes) << c.time;
        EXPECT_EQ(got.seconds, c.split.seconds) << c.time;
        EXPECT_EQ(got.hundredths, c.split.hundredths) << c.time;
    }
}

TEST(TimeSplit, TruncateClampsEveryFloat) {
    EXPECT_EQ(ClampTruncate(2.9f), 2);
    EXPECT_EQ(ClampTruncate(-2.9f), -2);
    EXPECT_EQ(ClampTruncate(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(ClampTruncate(2147483648.0f), INT_MAX);
    EXPECT_EQ(ClampTruncate(-2147483648.0f), INT_MIN);
    EXPECT_EQ(ClampTruncate(2147483520.0f), 2147483520);
}

class InsertRecordTest : public ::testing::Test {
protected:
    CPGameData data;
};

TEST_F(InsertRecordTest, EightTimesKeepTheSevenFastest) {
    // Entered in a scrambled order; "h" is the slowest and falls out.
    const SPScoreEntry entries[] = {Entry("d", 1, 4, 0), Entry("a", 1, 1, 0), Entry("h", 2, 0, 0), Entry("c", 1, 3, 0),
                                    Entry("g", 1, 7, 0), Entry("b", 1, 2, 0), Entry("f", 1, 6, 0), Entry("e", 1, 5, 0)};
    for (const SPScoreEntry& e : entries) EXPECT_TRUE(data.InsertRecord(3, e)) << e.name;
    const auto& table = data.scoreTables[2];
    ASSERT_EQ(table.size(), 7u);
    EXPECT_EQ(Names(table), (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
    // An eighth time equal to the seventh is not entered.
    EXPECT_FALSE(data.InsertRecord(3, Entry("late", 1, 7, 0)));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"a", "b", "c", "d", "e", "f", "g"}));
    // Slower than the seventh: not entered either.
    EXPECT_FALSE(data.InsertRecord(3, Entry("slow", 1, 7, 1)));
    // The other tables are untouched.
    for (int t : {0, 1, 3, 4, 5})
        EXPECT_EQ(data.scoreTables[static_cast<std::size_t>(t)], std::vector<SPScoreEntry>(7));
}

TEST_F(InsertRecordTest, EqualToFirstPlaceIsEnteredSecond) {
    EXPECT_TRUE(data.InsertRecord(1, Entry("first", 0, 50, 10)));
    EXPECT_TRUE(data.InsertRecord(1, Entry("second", 0, 55, 0)));
    EXPECT_TRUE(data.InsertRecord(1, Entry("tie", 0, 50, 10)));
    EXPECT_EQ(Names(data.scoreTables[0]), (std::vector<std::string>{"first", "tie", "second", "", "", "", ""}));
}

TEST_F(InsertRecordTest, OrderComparesMinutesThenSecondsThenHundredths) {
    EXPECT_TRUE(data.InsertRecord(2, Entry("m", 1, 0, 0)));
    EXPECT_TRUE(data.InsertRecord(2, Entry("s", 0, 59, 99)));
    EXPECT_TRUE(data.InsertRecord(2, Entry("h", 0, 59, 98)));
    EXPECT_EQ(Names(data.scoreTables[1]), (std::vector<std::string>{"h", "s", "m", "", "", "", ""}));
}

TEST_F(InsertRecordTest, EqualTimesKeepTheirOrderWhenTheTableIsSorted) {
    // A table edited out of order is sorted stably before the insertion.
    auto& table = data.scoreTables[4];
    table[0] = Entry("x2", 1, 0, 0);
    table[1] = Entry("x1", 0, 30, 0);
    table[2] = Entry("y2", 1, 0, 0);
    EXPECT_TRUE(data.InsertRecord(5, Entry("new", 0, 40, 0)));
    EXPECT_EQ(Names(table), (std::vector<std::string>{"x1", "new", "x2", "y2", "", "", ""}));
}

TEST_F(InsertRecordTest, TableNumbersOutsideOneToSixAnswerFalse) {
    for (int n : {0, 7, -1, INT_MIN, INT_MAX}) EXPECT_FALSE(data.InsertRecord(n, Entry("x", 0, 1, 0))) << n;
    for (const auto& table : data.scoreTables) EXPECT_EQ(table, std::vector<SPScoreEntry>(7));
}

class PlayerRecordsTest : public ::testing::Test {
protected:
    CPGameData data;
    void SetUp() override { data.profileName = "Pilot"; }
};

TEST_F(PlayerRecordsTest, OnlyLapUnderAMinuteIsEnteredWithZeroMinutes) {
    data.roundCount = 3;
    data.playerLap.lapTimes[0] = 75.5f;
    data.playerLap.lapTimes[1] = 58.25f;
    data.playerLap.lapTimes[2] = 61.0f;
    EXPECT_TRUE(data.CheckPlayerRecords(4));
    const SPScoreEntry& top = data.scoreTables[3][0];
    EXPECT_EQ(top.name, "Pilot");
    EXPECT_EQ(top.minutes, 0);
    EXPECT_EQ(top.seconds, 58);
    EXPECT_EQ(top.hundredths, 25);
}

TEST_F(PlayerRecordsTest, LapsBeyondRoundCountAreNotConsidered) {
    data.roundCount = 2;
    data.playerLap.lapTimes[0] = 80.0f;
    data.playerLap.lapTimes[1] = 70.0f;
    data.playerLap.lapTimes[2] = 30.0f; // lap 3 of a two-lap race
    EXPECT_TRUE(data.CheckPlayerRecords(1));
    EXPECT_EQ(data.scoreTables[0][0].minutes, 1);
    EXPECT_EQ(data.scoreTables[0][0].seconds, 10);
}

TEST_F(PlayerRecordsTest, AtLeastTheFirstLapAndAZeroLapCountsAsFastest) {
    data.roundCount = 0;
    data.playerLap.lapTimes[0] = 42.0f;
    EXPECT_TRUE(data.CheckPlayerRecords(2));
    EXPECT_EQ(data.scoreTables[1][0].seconds, 42);

    // With three rounds and untouched (zero) laps, the zero time wins.
    data.roundCount = 3;
    EXPECT_TRUE(data.CheckPlayerRecords(2));
    EXPECT_EQ(data.scoreTables[1][0].seconds, 0);
    EXPECT_EQ(data.scoreTables[1][1].seconds, 42);
}

TEST_F(PlayerRecordsTest, RoundCountBeyondTheLapTimesReadsOnlyTheTimedLaps) {
    data.roundCount = 50;
    for (std::size_t i = 0; i < data.playerLap.lapTimes.size(); ++i)
        data.playerLap.lapTimes[i] = 100.0f + static_cast<float>(i);
    data.playerLap.lapTimes[19] = 90.0f;
    EXPECT_TRUE(data.CheckPlayerRecords(6));
    EXPECT_EQ(data.scoreTables[5][0].minutes, 1);
    EXPECT_EQ(data.scoreTables[5][0].seconds, 30);
}

TEST_F(PlayerRecordsTest, NoLapTimeOrBadTableEntersNothing) {
    data.playerLap.lapTimes.clear();
    EXPECT_FALSE(data.CheckPlayerRecords(1));
    data.playerLap.lapTimes = {10.0f};
    EXPECT_FALSE(data.CheckPlayerRecords(0));
    EXPECT_FALSE(data.CheckPlayerRecords(7));
    for (const auto& table : data.scoreTables) EXPECT_EQ(table, std::vector<SPScoreEntry>(7));
}

TEST_F(PlayerRecordsTest, EqualLapsTheEarliestWins) {
    data.roundCount = 3;
    data.playerLap.lapTimes[0] = 70.0f;
    data.playerLap.lapTimes[1] = 65.004f; // splits equal to lap 3's
    data.playerLap.lapTimes[2] = 65.001f;
    EXPECT_TRUE(data.CheckPlayerRecords(1));
    EXPECT_EQ(data.scoreTables[0][0].seconds, 5);
    EXPECT_EQ(data.scoreTables[0][0].hundredths, 0);
}

TEST(RecordRows, FreshAndFilledTables) {
    CPGameData data;
    const std::vector<SPRecordRow> empty(7);
    EXPECT_EQ(data.GetRecordRows(1), empty);
    EXPECT_EQ(data.GetRecordRows(0), empty);
    EXPECT_EQ(data.GetRecordRows(7), empty);
    SPScoreEntry e;
    e.name = "Ann";
    e.minutes = 2;
    e.seconds = 5;
    e.hundredths = 7;
    data.InsertRecord(6, e);
    const auto rows = data.GetRecordRows(6);
    ASSERT_EQ(rows.size(), 7u);
    EXPECT_EQ(rows[0], (SPRecordRow{"Ann", "02:05:07"}));
    EXPECT_EQ(rows[1], SPRecordRow{});
}

class BestTimeTest : public ::testing::Test {
protected:
    CPGameData data;
    void SetUp() override { data.realLevelNumber = 5; }
    const SPMissionRecord& Record() const { return data.missionRecords[4]; }
};

TEST_F(BestTimeTest, FirstLapChangesNothing) {
    data.playerLap.currentLap = 1;
    data.playerLap.lapTimes[0] = 50.0f;
    EXPECT_EQ(data.GetBestFinishedLap(), 0.0f);
    EXPECT_FALSE(data.UpdateBestTimeRecord());
    EXPECT_EQ(Record().bestTime, 0.0f);
    EXPECT_EQ(Record().recordCount, 0);
}

TEST_F(BestTimeTest, FirstBestTimeThenImprovement) {
    data.playerLap.currentLap = 3; // laps 1 and 2 finished; lap 3 is running
    data.playerLap.lapTimes[0] = 0.0f;
    data.playerLap.lapTimes[1] = 62.5f;
    data.playerLap.lapTimes[2] = 10.0f;
    EXPECT_EQ(data.GetBestFinishedLap(), 62.5f);
    EXPECT_FALSE(data.UpdateBestTimeRecord()); // first best time: stored, but not an improvement
    EXPECT_EQ(Record().bestTime, 62.5f);
    EXPECT_EQ(Record().recordCount, 1);

    EXPECT_FALSE(data.UpdateBestTimeRecord()); // same time is no improvement
    EXPECT_EQ(Record().recordCount, 1);

    data.playerLap.lapTimes[0] = 61.0f;
    EXPECT_TRUE(data.UpdateBestTimeRecord());
    EXPECT_EQ(Record().bestTime, 61.0f);
    EXPECT_EQ(Record().recordCount, 2);
    EXPECT_EQ(data.GetBestTimesCount(), 1);
}

TEST_F(BestTimeTest, NoPositiveFinishedLapAnswersFalse) {
    data.playerLap.currentLap = 3;
    data.playerLap.lapTimes[0] = -5.0f;
    data.playerLap.lapTimes[1] = 0.0f;
    EXPECT_FALSE(data.UpdateBestTimeRecord());
    EXPECT_EQ(Record().recordCount, 0);
    // A current lap beyond the lap-time vector reads only what is there.
    data.playerLap.currentLap = 1000;
    data.playerLap.lapTimes[19] = 33.0f;
    EXPECT_EQ(data.GetBestFinishedLap(), 33.0f);
}

TEST_F(BestTimeTest, LevelOutsideOneToEighteenChangesNothing) {
    data.playerLap.currentLap = 2;
    data.playerLap.lapTimes[0] = 40.0f;
    for (int level : {0, 19, -3}) {
        data.realLevelNumber = level;
        EXPECT_FALSE(data.UpdateBestTimeRecord()) << level;
    }
    for (const SPMissionRecord& r : data.missionRecords) EXPECT_EQ(r.recordCount, 0);
}

TEST(RecordCounts, BestTimesAndFirstPlaces) {
    CPGameData data;
    EXPECT_EQ(data.GetBestTimesCount(), 0);
    EXPECT_EQ(data.GetFirstPlacesCount(), 0);
    // Every level driven once: no best time was improved.
    for (SPMissionRecord& r : data.missionRecords) {
        r.bestTime = 70.0f;
        r.recordCount = 1;
    }
    EXPECT_EQ(data.GetBestTimesCount(), 0);
    data.missionRecords[0].recordCount = 2;
    data.missionRecords[17].recordCount = 5;
    data.missionRecords[3].bestPlace = 1;
    data.missionRecords[17].bestPlace = 1;
    data.missionRecords[9].bestPlace = 2;
    EXPECT_EQ(data.GetBestTimesCount(), 2);
    EXPECT_EQ(data.GetFirstPlacesCount(), 2);
}

TEST(RoundsTime, TenLapsSplitAndReached) {
    CPGameData data;
    data.playerLap.currentLap = 2;
    data.playerLap.lapTimes[0] = 65.5f;
    data.playerLap.lapTimes[1] = 3.25f;
    data.playerLap.lapTimes[9] = 600.0f;
    const auto rounds = data.GetRoundsTime();
    EXPECT_EQ(rounds[0].time, (SPTimeSplit{1, 5, 50}));
    EXPECT_TRUE(rounds[0].reached);
    EXPECT_EQ(rounds[1].time, (SPTimeSplit{0, 3, 25}));
    EXPECT_TRUE(rounds[1].reached);
    EXPECT_FALSE(rounds[2].reached);
    EXPECT_EQ(rounds[9].time, (SPTimeSplit{10, 0, 0}));
    // Laps beyond the vector read as 0.
    data.playerLap.lapTimes.resize(1);
    const auto shortRounds = data.GetRoundsTime();
    EXPECT_EQ(shortRounds[1].time, SPTimeSplit{});
}
