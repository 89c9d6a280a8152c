// A deterministic race from the start camera to the result, headless in the task kernel: what
// the scripts receive, in what order, and that a second race in the same process repeats the
// first exactly.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "HeadlessRace.h"

namespace {

using kxrace::RaceResult;
using kxtest::Route;
using kxtest::SentCommand;

// Two minutes of racing for two rounds of a ring of forty pieces, with room to spare.
constexpr int kPassLimit = 60 * 240;

// The command as a script reads it: "command|param|...", the parameters split as the script
// manager splits them.
std::string AsRead(const SentCommand& c) {
    const SPCommand command = CPScriptManager::MakeCommand(c.command, c.params);
    std::string text = command.name;
    for (const std::string& p : command.params) text += "|" + p;
    return text;
}

// The sends that reach the named script: by its name, or by a category it is listed under.
std::vector<std::string> SentTo(const RaceResult& r, const std::string& script, const std::string& category) {
    std::vector<std::string> out;
    for (const SentCommand& c : r.sent)
        if ((c.route == Route::Name && c.target == script) || (c.route == Route::Category && c.target == category))
            out.push_back(AsRead(c));
    return out;
}

// The numbers of the sends of that target, command and parameters (empty: any parameters).
std::vector<int> Numbers(const RaceResult& r, const std::string& target, const std::string& command,
                         const std::string& params = "") {
    std::vector<int> out;
    for (std::size_t i = 0; i < r.sent.size(); ++i) {
        const SentCommand& c = r.sent[i];
        if (c.target == target && c.command == command && (params.empty() || c.params == params))
            out.push_back(static_cast<int>(i));
    }
    return out;
}

double Seconds(int passes) { return static_cast<double>(passes) / 60.0; }

class HeadlessRace : public ::testing::Test {
protected:
    static void SetUpTestSuite() { first = kxrace::RunRace(kxrace::RaceTrack(), kPassLimit); }
    static void TearDownTestSuite() { first = RaceResult(); }
    static RaceResult first;
};

RaceResult HeadlessRace::first;

TEST_F(HeadlessRace, TheRaceRunsFromTheStartMomentToTheHumansResult) {
    const RaceResult& r = first;
    ASSERT_TRUE(r.loaded) << r.loadError;
    EXPECT_GE(r.routePieces, 36);
    EXPECT_LE(r.routePieces, 48);
    ASSERT_GE(r.startPass, 0) << "the start moment never came";
    ASSERT_GE(r.resultPass, 0) << "no result within " << kPassLimit << " passes; the human completed "
                               << r.humanRounds.size() << " rounds, the opponent " << r.opponentRounds.size()
                               << "; respawns " << r.humanRespawns << " and " << r.opponentRespawns;
    // Two rounds: the round counter moves on at the end of each.
    ASSERT_EQ(r.humanRounds.size(), 2u);

    std::printf("[ race ] %d passes in all (%.2f s); start moment at pass %d, result at pass %d\n", r.passes,
                Seconds(r.passes), r.startPass, r.resultPass);
    int from = r.startPass;
    for (std::size_t i = 0; i < r.humanRounds.size(); ++i) {
        std::printf("[ race ] human round %zu: %.2f s\n", i + 1, Seconds(r.humanRounds[i] - from));
        from = r.humanRounds[i];
    }
    from = r.startPass;
    for (std::size_t i = 0; i < r.opponentRounds.size(); ++i) {
        std::printf("[ race ] opponent round %zu: %.2f s\n", i + 1, Seconds(r.opponentRounds[i] - from));
        from = r.opponentRounds[i];
    }
    std::printf("[ race ] respawns: human %d, opponent %d; podium %d %d %d\n", r.humanRespawns, r.opponentRespawns,
                r.podium[0], r.podium[1], r.podium[2]);
}

// Every command sent reaches its running script, in the order sent.
TEST_F(HeadlessRace, EverySendReachesItsRunningScript) {
    const RaceResult& r = first;
    ASSERT_TRUE(r.loaded) << r.loadError;
    ASSERT_FALSE(r.sent.empty());
    for (const kxrace::ScriptLine& s : kxrace::RaceScripts()) {
        const std::string name = s.name;
        const std::string category = name == "main" ? "main" : "";
        ASSERT_EQ(r.received.count(name), 1u) << name;
        EXPECT_EQ(r.received.at(name), SentTo(r, name, category)) << name;
    }
    // Nothing goes to a script the race does not have.
    for (const SentCommand& c : r.sent) {
        if (c.route == Route::Category) {
            EXPECT_EQ(c.target, "main") << c.command;
            continue;
        }
        const bool known = std::any_of(kxrace::RaceScripts().begin(), kxrace::RaceScripts().end(),
                                       [&](const kxrace::ScriptLine& s) { return c.target == s.name; });
        EXPECT_TRUE(known) << c.target << " " << c.command;
    }
}

TEST_F(HeadlessRace, TheScriptsHearTheRaceInOrder) {
    const RaceResult& r = first;
    ASSERT_TRUE(r.loaded) << r.loadError;
    ASSERT_GE(r.resultPass, 0);

    // At the start: the money, then the interface.
    const std::vector<int> money = Numbers(r, "gamemenu", "set_money");
    const std::vector<int> interface = Numbers(r, "gamemenu", "init_game_interface");
    ASSERT_EQ(money.size(), 1u);
    ASSERT_EQ(interface.size(), 1u);
    EXPECT_LT(money[0], interface[0]);

    // Three checkpoints a round for two rounds: the first announced with 0, the rest with 1.
    const std::vector<int> firstCheckpoint = Numbers(r, "game_interface", "checkpoint", "checkpoint!,0");
    const std::vector<int> laterCheckpoints = Numbers(r, "game_interface", "checkpoint", "checkpoint!,1");
    ASSERT_EQ(firstCheckpoint.size(), 1u);
    EXPECT_EQ(laterCheckpoints.size(), 5u);
    EXPECT_EQ(Numbers(r, "game_interface", "checkpoint").size(), 6u);
    EXPECT_LT(interface[0], firstCheckpoint[0]);
    for (int n : laterCheckpoints) EXPECT_LT(firstCheckpoint[0], n);

    // The last round announced once, after the first round's three checkpoints.
    const std::vector<int> lastRound = Numbers(r, "game_interface", "show_message", "posledniy_krug!");
    ASSERT_EQ(lastRound.size(), 1u);
    ASSERT_GE(laterCheckpoints.size(), 2u);
    EXPECT_LT(laterCheckpoints[1], lastRound[0]);
    if (laterCheckpoints.size() > 2) EXPECT_GT(laterCheckpoints[2], lastRound[0]);
    EXPECT_TRUE(Numbers(r, "game_interface", "show_message", "krug_proiden!").empty());

    // The human's place, after everything else, then the rest of its sequence.
    const std::vector<int> place = Numbers(r, "game_interface", "place");
    ASSERT_EQ(place.size(), 1u);
    EXPECT_GT(place[0], lastRound[0]);
    EXPECT_GT(place[0], laterCheckpoints.back());
    const std::vector<int> gameOver = Numbers(r, "jeep", "game_over");
    const std::vector<int> in = Numbers(r, "stripes_new", "in");
    const std::vector<int> firstPlace = Numbers(r, "new_achievement", "firstplace");
    ASSERT_EQ(gameOver.size(), 1u);
    ASSERT_EQ(in.size(), 1u);
    const std::string& placeText = r.sent[static_cast<std::size_t>(place[0])].params;
    if (placeText == "1st") {
        ASSERT_EQ(firstPlace.size(), 1u);
        EXPECT_LT(place[0], firstPlace[0]);
        EXPECT_LT(firstPlace[0], gameOver[0]);
        EXPECT_LT(gameOver[0], in[0]);
    } else {
        EXPECT_EQ(placeText, "2nd");
        EXPECT_TRUE(firstPlace.empty());
        EXPECT_LT(place[0], in[0]);
        EXPECT_LT(in[0], gameOver[0]);
    }
    // No failure, no time-out, no second result.
    EXPECT_TRUE(Numbers(r, "main", "level_failed").empty());
    EXPECT_TRUE(Numbers(r, "game_interface", "checkpoint", "timeout!,1").empty());
    EXPECT_TRUE(Numbers(r, "game_interface", "show_message", "lost!").empty());
}

// The same race again in the same process: the same commands to every script and the racers
// where they were, to the bit.
TEST_F(HeadlessRace, ASecondRaceRepeatsTheFirst) {
    const RaceResult& r = first;
    ASSERT_TRUE(r.loaded) << r.loadError;
    const RaceResult again = kxrace::RunRace(kxrace::RaceTrack(), kPassLimit);
    ASSERT_TRUE(again.loaded) << again.loadError;
    EXPECT_EQ(again.passes, r.passes);
    EXPECT_EQ(again.startPass, r.startPass);
    EXPECT_EQ(again.humanRounds, r.humanRounds);
    EXPECT_EQ(again.opponentRounds, r.opponentRounds);
    EXPECT_EQ(again.sent, r.sent);
    EXPECT_EQ(again.received, r.received);
    ASSERT_EQ(again.finalPoses.size(), r.finalPoses.size());
    for (std::size_t i = 0; i < r.finalPoses.size(); ++i) EXPECT_TRUE(again.finalPoses[i] == r.finalPoses[i]) << i;
}

} // namespace
