#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Platform/System/AtomicFile.h"
#include "support/FreshStore.h"
#include "support/ScoresFile.h"

namespace {

class Bytes {
public:
    Bytes& Int(std::int32_t v) {
        const auto u = static_cast<std::uint32_t>(v);
        for (int i = 0; i < 4; ++i) m_bytes.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
        return *this;
    }
    Bytes& Text(const std::string& s) {
        Int(static_cast<std::int32_t>(s.size()));
        m_bytes.insert(m_bytes.end(), s.begin(), s.end());
        return *this;
    }
    const std::vector<std::uint8_t>& Get() const { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

class FaultGuard {
public:
    explicit FaultGuard(Platform::AtomicWriteFault f) { Platform::SetAtomicWriteFault(f); }
    ~FaultGuard() { Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::None); }
};

} // namespace

TEST(ScoresFile, FortyTwoRecordsByteForByte) {
    kxtest::FreshGameData store;
    store->profileName = "Ann";
    store->roundCount = 1;
    store->playerLap.lapTimes[0] = 83.45f; // 1:23:45 (83.45f is 83.4499969, so 44 hundredths)
    ASSERT_TRUE(store->CheckPlayerRecords(1));
    SPScoreEntry bob;
    bob.name = "\xc1\xee\xe1"; // a cp1251 name, kept byte for byte
    bob.minutes = 0;
    bob.seconds = 59;
    bob.hundredths = 1;
    ASSERT_TRUE(store->InsertRecord(6, bob));
    ASSERT_TRUE(store->SaveScores());

    Bytes expected;
    for (int t = 0; t < 6; ++t) {
        for (int i = 0; i < 7; ++i) {
            expected.Int(t);
            if (t == 0 && i == 0)
                expected.Text("Ann").Int(1).Int(23).Int(44);
            else if (t == 5 && i == 0)
                expected.Text("\xc1\xee\xe1").Int(0).Int(59).Int(1);
            else
                expected.Text("").Int(999).Int(0).Int(0);
        }
    }
    ASSERT_TRUE(store.Exists("Data/scores.dat"));
    const auto bytes = kxtest::ReadUnscrambled(store.Path() + "/Data/scores.dat");
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, expected.Get());
    // The file on disk is scrambled, not plain.
    const std::string raw = store.Read("Data/scores.dat");
    EXPECT_EQ(raw.size(), expected.Get().size());
    EXPECT_NE(std::vector<std::uint8_t>(raw.begin(), raw.end()), expected.Get());

    const auto records = kxtest::ParseScores(*bytes);
    ASSERT_TRUE(records.has_value());
    ASSERT_EQ(records->size(), 42u);
    EXPECT_EQ((*records)[0], (kxtest::ScoreRecord{0, "Ann", 1, 23, 44}));
    EXPECT_EQ((*records)[35], (kxtest::ScoreRecord{5, "\xc1\xee\xe1", 0, 59, 1}));
    EXPECT_EQ((*records)[41], (kxtest::ScoreRecord{5, "", 999, 0, 0}));
}

TEST(ScoresFile, ExistingFolderOfAnotherCaseIsReused) {
    kxtest::FreshGameData store;
    store.MakeDir("DATA");
    ASSERT_TRUE(store->SaveScores());
    EXPECT_TRUE(store.Exists("DATA/scores.dat"));
    EXPECT_FALSE(store.Exists("Data"));
}

TEST(ScoresFile, OldFileSurvivesAFailedWrite) {
    kxtest::FreshGameData store;
    const std::string old = "old scores";
    store.Write("Data/scores.dat", old);
    store->profileName = "Ann";
    store->playerLap.lapTimes[0] = 50.0f;
    ASSERT_TRUE(store->CheckPlayerRecords(2));
    const auto tables = store->scoreTables;
    for (auto fault : {Platform::AtomicWriteFault::ShortWrite, Platform::AtomicWriteFault::SyncFails,
                       Platform::AtomicWriteFault::RenameFails}) {
        FaultGuard guard(fault);
        EXPECT_FALSE(store->SaveScores());
        EXPECT_EQ(store.Read("Data/scores.dat"), old);
        EXPECT_EQ(store->scoreTables, tables);
    }
    // Nothing but the file itself is left in the folder.
    int files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(store.Path() + "/Data")) ++files;
    EXPECT_EQ(files, 1);
}

TEST(ScoresFile, ReaderRejectsTruncatedAndHostileBytes) {
    Bytes one;
    one.Int(0).Text("Ann").Int(1).Int(2).Int(3);
    const std::vector<std::uint8_t> good = one.Get();
    ASSERT_TRUE(kxtest::ParseScores(good).has_value());
    for (std::size_t cut = 1; cut < good.size(); ++cut) {
        std::vector<std::uint8_t> truncated(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut));
        EXPECT_FALSE(kxtest::ParseScores(truncated).has_value()) << cut;
    }
    Bytes hostile;
    hostile.Int(0).Int(0x7fffffff);
    EXPECT_FALSE(kxtest::ParseScores(hostile.Get()).has_value());
    Bytes negative;
    negative.Int(0).Int(-5);
    EXPECT_FALSE(kxtest::ParseScores(negative.Get()).has_value());
}
