// The racers' half of the level load: opponents by car family on the sorted start places, the
// human racer with its camera settings, the start camera's points, the start line, the
// checkpoint flags and the route start; and the camera-setting choice the scripts share.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <vector>

#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "World/PAITask.h"
#include "World/PLevel.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"
#include "support/CommaLocale.h"
#include "support/RaceFixture.h"

namespace {

using kxtest::LevelFileWriter;
using kxtest::RaceFixture;
using kxtest::RacingLevelSpec;

float Distance(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const D3DXVECTOR3 d = a - b;
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

void ExpectNear(const D3DXVECTOR3& actual, const D3DXVECTOR3& expected, float tolerance = 1e-3f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

D3DXVECTOR3 Position(const LevelFileWriter& w, const std::string& name) {
    for (const kxtest::LevelObject& o : w.objects)
        if (o.name == name) return D3DXVECTOR3(o.position[0], o.position[1], o.position[2]);
    ADD_FAILURE() << "no object " << name;
    return D3DXVECTOR3(0.0f, 0.0f, 0.0f);
}

// The family and number of an opponent's model file ("subaru5_enemy.rdf").
struct OpponentFile {
    std::string family;
    int number = 0;
};

OpponentFile Parse(const std::string& file) {
    OpponentFile out;
    const std::size_t end = file.find("_enemy.rdf");
    if (end == std::string::npos || end == 0) return out;
    out.family = file.substr(0, end - 1);
    out.number = file[end - 1] - '0';
    return out;
}

struct Racers : RaceFixture {
    bool LoadRacers(int racerCount, const LevelFileWriter& w, const std::string& name = "level9", bool time = false) {
        store->levelSettings.racerCount = racerCount;
        return Load(w, name, false, time);
    }
};

TEST(LevelRacers, TheFamilyLimitFollowsTheRankAndTheRacerCount) {
    // Level 4 has rank 1: one family serves every opponent, numbered from 5 down.
    Racers race;
    RacingLevelSpec spec;
    spec.startPlaces = 4;
    ASSERT_TRUE(race.LoadRacers(4, RaceFixture::RacingLevel(spec), "level4"));
    EXPECT_EQ(race.level->opponentModelFiles,
              (std::vector<std::string>{"subaru5_enemy.rdf", "subaru4_enemy.rdf", "subaru3_enemy.rdf"}));
    ASSERT_EQ(race.level->opponents.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(race.level->opponents[i]->name, race.level->opponentModelFiles[i]);

    // The limit on families is min(4, max(1, rank / 3) + racers / 5): rank 4 (level 3) with
    // five racers allows two, rank 10 (level 8) with nine and rank 12 (level 12) with twelve all
    // four. No family serves more than five, each counts its own numbers down from 5; loads at
    // different clock times draw differently.
    struct Case {
        std::string level;
        int racers;
        int families;
    };
    Platform::FakeClock clock;
    Platform::SetClock(&clock);
    for (const Case& c : {Case{"level3", 5, 2}, Case{"level8", 9, 4}, Case{"level12", 12, 4}}) {
        std::map<std::string, int> seen;
        for (int load = 0; load < 6; ++load) {
            clock.AdvanceSeconds(1.37);
            Racers many;
            RacingLevelSpec wide;
            wide.startPlaces = c.racers;
            ASSERT_TRUE(many.LoadRacers(c.racers, RaceFixture::RacingLevel(wide), c.level)) << c.level;
            ASSERT_EQ(many.level->opponentModelFiles.size(), static_cast<std::size_t>(c.racers - 1)) << c.level;
            std::map<std::string, int> uses;
            for (const std::string& file : many.level->opponentModelFiles) {
                const OpponentFile f = Parse(file);
                const char* const families[4] = {"subaru", "celica", "tvr", "lister"};
                const auto allowed = std::find(families, families + c.families, f.family);
                EXPECT_NE(allowed, families + c.families) << c.level << " " << file;
                const int n = ++uses[f.family];
                EXPECT_EQ(f.number, 6 - n) << file;
                ++seen[f.family];
            }
            for (const auto& [family, n] : uses) EXPECT_LE(n, 5) << c.level << " " << family;
        }
        EXPECT_GE(seen.size(), 2u) << c.level << ": the draw uses more than one family";
    }
    Platform::SetClock(nullptr);
}

TEST(LevelRacers, MoreThanTwelveRacersAreTwelve) {
    Racers race;
    RacingLevelSpec spec;
    spec.startPlaces = 15;
    spec.radius = 150.0f;
    ASSERT_TRUE(race.LoadRacers(15, RaceFixture::RacingLevel(spec), "level8"));
    EXPECT_EQ(race.level->racerCount, 12);
    EXPECT_EQ(race.level->opponents.size(), 11u);
    EXPECT_EQ(race.level->gridLength, 12.0f);
}

// Start places written out of order, each well apart on the ring.
LevelFileWriter ShuffledPlaces() {
    LevelFileWriter w;
    w.AddSpline(kxtest::RingSpline("c_path", 0.0f, 0.0f, 100.0f, 24));
    w.AddObject("enemy03", 100.0f, 0.0f, 0.0f);
    w.AddObject("enemy01", 0.0f, 100.0f, 0.0f);
    w.AddObject("enemy02", -100.0f, 0.0f, 0.0f);
    w.AddObject("stolb_start_left", 94.0f, 0.0f, 0.0f);
    w.AddObject("stolb_start_right", 106.0f, 0.0f, 0.0f);
    return w;
}

TEST(LevelRacers, PlacesAreSortedByNumberAndTheHumanTakesTheLastUsed) {
    Racers race;
    const LevelFileWriter w = ShuffledPlaces();
    ASSERT_TRUE(race.LoadRacers(3, w));
    const D3DXVECTOR3 lift(0.0f, 0.0f, 2.0f);
    ASSERT_EQ(race.level->opponents.size(), 2u);
    ExpectNear(race.level->opponents[0]->GetPosition(), Position(w, "enemy01") + lift);
    ExpectNear(race.level->opponents[1]->GetPosition(), Position(w, "enemy02") + lift);
    ExpectNear(race.level->humanRacer->GetPosition(), Position(w, "enemy03") + lift);
    EXPECT_EQ(race.level->player, race.level->humanRacer.Get());
    EXPECT_TRUE(race.level->humanRacer->isHuman);
    EXPECT_TRUE(race.level->humanRacer->IsLocked());
    for (const auto& opponent : race.level->opponents) EXPECT_TRUE(opponent->IsLocked());

    // Two racers: the human takes place "02".
    Racers two;
    ASSERT_TRUE(two.LoadRacers(2, w));
    ExpectNear(two.level->humanRacer->GetPosition(), Position(w, "enemy02") + lift);

    // One racer: no opponent, the human on place "01".
    Racers one;
    ASSERT_TRUE(one.LoadRacers(1, w));
    EXPECT_TRUE(one.level->opponents.empty());
    ExpectNear(one.level->humanRacer->GetPosition(), Position(w, "enemy01") + lift);
}

TEST(LevelRacers, TimeModeHasNoOpponentsAndTakesThePlaceInFileOrder) {
    Racers race;
    const LevelFileWriter w = ShuffledPlaces();
    ASSERT_TRUE(race.LoadRacers(2, w, "level9", true));
    EXPECT_TRUE(race.level->opponents.empty());
    EXPECT_TRUE(race.level->opponentModelFiles.empty());
    // The second entry of the file, not place "02".
    ExpectNear(race.level->humanRacer->GetPosition(), Position(w, "enemy01") + D3DXVECTOR3(0.0f, 0.0f, 2.0f));
}

TEST(LevelRacers, FewerPlacesThanRacersLowerTheCountAndNoPlaceFails) {
    Racers race;
    const LevelFileWriter w = ShuffledPlaces();
    ASSERT_TRUE(race.LoadRacers(6, w));
    EXPECT_EQ(race.level->racerCount, 3);
    EXPECT_EQ(race.level->opponents.size(), 2u);
    ExpectNear(race.level->humanRacer->GetPosition(), Position(w, "enemy03") + D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    EXPECT_EQ(race.level->gridLength, 6.0f);

    // The fixture's Load adds a place to a file without one: write the file as it is.
    Racers none;
    none.store->levelSettings.racerCount = 2;
    none.store.Write("Data/Levels/level9.lvl", RaceFixture::RingLevel().Bytes());
    EXPECT_FALSE(none.LoadWritten("level9"));
    EXPECT_FALSE(none.level->humanRacer);
}

TEST(LevelRacers, WithoutStartPostsTheLineIsTheHumansPlace) {
    Racers race;
    RacingLevelSpec spec;
    spec.posts = false;
    const LevelFileWriter w = RaceFixture::RacingLevel(spec);
    ASSERT_TRUE(race.LoadRacers(2, w));
    ExpectNear(race.level->startLineCentre, Position(w, "enemy02"));
    ExpectNear(race.level->startLineSpan, D3DXVECTOR3(0.0f, 0.0f, 0.0f));

    Racers posts;
    const LevelFileWriter withPosts = RaceFixture::RacingLevel();
    ASSERT_TRUE(posts.LoadRacers(2, withPosts));
    const D3DXVECTOR3 left = Position(withPosts, "stolb_start_left");
    const D3DXVECTOR3 right = Position(withPosts, "stolb_start_right");
    ExpectNear(posts.level->startLineSpan, left - right);
    ExpectNear(posts.level->startLineCentre, (left + right) / 2.0f);
}

TEST(LevelRacers, MissingRouteSplinesFallBackToTheCentrePath) {
    struct Case {
        bool path;
        bool right;
    };
    for (const Case& c : {Case{true, true}, Case{false, true}, Case{true, false}, Case{false, false}}) {
        Racers race;
        RacingLevelSpec spec;
        spec.path = c.path;
        spec.right = c.right;
        ASSERT_TRUE(race.LoadRacers(2, RaceFixture::RacingLevel(spec))) << c.path << c.right;
        CPLevel& level = *race.level;
        ASSERT_EQ(level.opponents.size(), 1u);
        CPSpline* route = c.path ? level.path.Get() : level.centrePath.Get();
        ASSERT_TRUE(route);
        EXPECT_EQ(level.humanRacer->routeLine, route->GetFirstLine()) << c.path << c.right;
        // Both racers face along the route where they stand: a quarter turn from the piece.
        for (const CPPlayer* racer : {level.humanRacer.Get(), level.opponents[0].Get()}) {
            D3DXMATRIX m;
            D3DXMatrixRotationQuaternion(&m, &racer->GetRotationQuaternion());
            const D3DXVECTOR3 back(0.0f, -1.0f, 0.0f);
            D3DXVECTOR3 forward;
            D3DXVec3TransformNormal(&forward, &back, &m);
            const D3DXVECTOR3 p = racer->GetPosition();
            // On a ring about the origin the route runs at right angles to the radius, within the
            // angle of one piece.
            EXPECT_NEAR(forward.x * p.x + forward.y * p.y, 0.0f, 0.25f * std::sqrt(p.x * p.x + p.y * p.y))
                << c.path << c.right;
        }
        const AI_Vehicle* driver = race.drivers->GetVehicle(0);
        ASSERT_TRUE(driver);
        EXPECT_EQ(driver->centrePiece, level.centrePath->GetFirstLine());
        EXPECT_EQ(driver->rightPiece, c.right ? level.rightPath->GetFirstLine() : nullptr) << c.right;
        if (!c.path) EXPECT_EQ(driver->currentPiece, nullptr);
    }
}

TEST(LevelRacers, CameraSettingsFromTheHumansCarDescription) {
    struct Case {
        std::string description;
        float distance1, height1, angle1, angleDiv1, distanceDiv1, fov1;
        float distance2, height2, angle2, angleDiv2, distanceDiv2, fov2;
        float distance3, height3;
    };
    const Case cases[] = {
        // Every element and attribute.
        {"<camera distance='6' height='2.5' angle='0.3' angle_div='40' distance_div='30' fov='65'/>"
         "<camera2 distance='9' height='3' angle='0.2' angle_div='20' distance_div='10' fov='70'/>"
         "<camera3 distance='1.5' height='1.25'/>",
         6, 2.5f, 0.3f, 40, 30, 65, 9, 3, 0.2f, 20, 10, 70, 1.5f, 1.25f},
        // A second setting without a first keeps the first at its start values.
        {"<camera2 distance='9' height='3'/>", 0, 0, 0, 0, 0, 50, 9, 3, 0, 0, 0, 50, 0, 0},
        // Not numbers, infinities and values beyond the float range leave the fields as they are.
        {"<camera distance='nan' height='inf' angle='-infinity' angle_div='1e39' distance_div='x' fov='-1e300'/>"
         "<camera2 distance='NaN' height='' fov='4e38'/><camera3 distance='+inf' height='2'/>",
         0, 0, 0, 0, 0, 50, 0, 0, 0, 0, 0, 50, 0, 2},
        // No description at all.
        {"", 0, 0, 0, 0, 0, 50, 0, 0, 0, 0, 0, 50, 0, 0},
    };
    for (const Case& c : cases) {
        Racers race;
        race.carDescription = c.description;
        ASSERT_TRUE(race.LoadRacers(1, RaceFixture::RacingLevel()));
        const CPLevel& l = *race.level;
        SCOPED_TRACE(c.description);
        EXPECT_EQ(l.camera1Distance, c.distance1);
        EXPECT_EQ(l.camera1Height, c.height1);
        EXPECT_EQ(l.camera1Angle, c.angle1);
        EXPECT_EQ(l.camera1AngleDiv, c.angleDiv1);
        EXPECT_EQ(l.camera1DistanceDiv, c.distanceDiv1);
        EXPECT_EQ(l.camera1Fov, c.fov1);
        EXPECT_EQ(l.camera2Distance, c.distance2);
        EXPECT_EQ(l.camera2Height, c.height2);
        EXPECT_EQ(l.camera2Angle, c.angle2);
        EXPECT_EQ(l.camera2AngleDiv, c.angleDiv2);
        EXPECT_EQ(l.camera2DistanceDiv, c.distanceDiv2);
        EXPECT_EQ(l.camera2Fov, c.fov2);
        EXPECT_EQ(l.camera3Distance, c.distance3);
        EXPECT_EQ(l.camera3Height, c.height3);
        // Mode 0 takes the first setting; the chase starts at its distance.
        EXPECT_EQ(l.cameraMode, 0);
        EXPECT_EQ(l.cameraDistance, c.distance1);
        EXPECT_EQ(l.camera->distance, c.distance1);
        EXPECT_FALSE(l.camera->IsExternalView());
    }
}

TEST(LevelRacers, CameraNumbersAreReadInTheCLocale) {
    kxtest::CommaLocale comma;
    Racers race;
    race.carDescription = "<camera distance='6.5' height='1.25'/><camera2 angle='0.5'/>";
    ASSERT_TRUE(race.LoadRacers(1, RaceFixture::RacingLevel()));
    EXPECT_EQ(race.level->camera1Distance, 6.5f);
    EXPECT_EQ(race.level->camera1Height, 1.25f);
    EXPECT_EQ(race.level->camera2Angle, 0.5f);
}

TEST(LevelRacers, AnOpponentsCameraElementGivesItsCameraRangeAndTheSecondSetting) {
    Racers race;
    race.carDescription = "<camera distance='8' height='2' angle='0.1' min='3.7' max='-2.2'/>";
    ASSERT_TRUE(race.LoadRacers(2, RaceFixture::RacingLevel()));
    ASSERT_EQ(race.level->opponents.size(), 1u);
    EXPECT_EQ(race.level->opponents[0]->cameraMin, 3);
    EXPECT_EQ(race.level->opponents[0]->cameraMax, -2);
    // The human's own "camera" element is its first setting; its missing "camera2" leaves the
    // opponent's values in the second.
    EXPECT_EQ(race.level->camera1Distance, 8.0f);
    EXPECT_EQ(race.level->camera2Distance, 8.0f);
    EXPECT_EQ(race.level->camera2Height, 2.0f);
    EXPECT_EQ(race.level->camera2Angle, 0.1f);

    // Integer parts outside the int range and words are not taken.
    Racers hostile;
    hostile.carDescription = "<camera min='1e10' max='nan'/>";
    ASSERT_TRUE(hostile.LoadRacers(2, RaceFixture::RacingLevel()));
    EXPECT_EQ(hostile.level->opponents[0]->cameraMin, 0);
    EXPECT_EQ(hostile.level->opponents[0]->cameraMax, 0);
}

TEST(LevelRacers, ModelPartsHiddenByTheCarModel) {
    struct Case {
        std::string model;
        std::vector<std::string> hidden;
        std::vector<std::string> shown;
    };
    const Case cases[] = {
        {"uaz", {"light"}, {"halo", "halo_blend"}},
        {"volswagen_toureg", {"halo", "halo_blend"}, {"light"}},
        {"zil_130_", {}, {"light", "halo", "halo_blend"}},
    };
    for (const Case& c : cases) {
        Racers race;
        race.store->playerName = c.model;
        race.models[c.model + ".rdf"] = [] {
            CPSmartPtr<CPGameObject> car = kxtest::MakeCarObject("car");
            for (const char* part : {"light", "halo", "halo_blend"})
                car->AddChild(CPSmartPtr<CPGameObject>(new CPGameObject(part)));
            return car;
        };
        ASSERT_TRUE(race.LoadRacers(1, RaceFixture::RacingLevel())) << c.model;
        EXPECT_EQ(race.level->playerCarModel, c.model);
        EXPECT_EQ(race.level->humanRacer->name, c.model);
        for (const std::string& part : c.hidden) {
            CPSmartPtr<CPGameObject> object = race.level->humanRacer->FindObject(part);
            ASSERT_TRUE(object) << c.model << " " << part;
            EXPECT_FALSE(object->IsVisible()) << c.model << " " << part;
        }
        for (const std::string& part : c.shown) {
            CPSmartPtr<CPGameObject> object = race.level->humanRacer->FindObject(part);
            ASSERT_TRUE(object) << c.model << " " << part;
            EXPECT_TRUE(object->IsVisible()) << c.model << " " << part;
        }
    }
}

TEST(LevelRacers, GridLengthByRacerCount) {
    const std::pair<int, float> cases[] = {{1, 6.0f}, {2, 6.0f}, {5, 8.0f}, {6, 6.0f}, {9, 9.0f}};
    for (const auto& [racers, grid] : cases) {
        Racers race;
        RacingLevelSpec spec;
        spec.startPlaces = racers;
        ASSERT_TRUE(race.LoadRacers(racers, RaceFixture::RacingLevel(spec), "level8")) << racers;
        EXPECT_EQ(race.level->gridLength, grid) << racers;
    }
}

// A straight route from x = -190 to 190 (closed back to its start by the spline's last piece);
// race order runs towards -x. The human's place and the start posts sit at x = x0.
LevelFileWriter StraightLevel(float x0, int places) {
    LevelFileWriter w;
    w.AddSpline(kxtest::StraightSpline("c_path", -190.0f, 0.0f, 190.0f, 0.0f, 38));
    for (int i = 0; i < places; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "enemy%02d", places - i);
        w.AddObject(name, x0 + 12.0f * static_cast<float>(i), 0.0f, 0.0f);
    }
    w.AddObject("stolb_start_left", x0, 6.0f, 0.0f);
    w.AddObject("stolb_start_right", x0, -6.0f, 0.0f);
    return w;
}

// The highest point of a piece raised by 4, over the mean of its ends and centre.
D3DXVECTOR3 Top(const CPLine& piece) {
    return D3DXVECTOR3((piece.start.x + piece.end.x + piece.centre.x) / 3.0f,
                       (piece.start.y + piece.end.y + piece.centre.y) / 3.0f,
                       std::max({piece.start.z, piece.end.z, piece.centre.z}) + 4.0f);
}

TEST(LevelRacers, TheStartCameraWalksBackFromTheStartLineForTheGridsLength) {
    for (int racers : {1, 2, 4, 7}) {
        Racers race;
        ASSERT_TRUE(race.LoadRacers(racers, StraightLevel(-60.0f, racers), "level8")) << racers;
        const CPLevel& l = *race.level;
        // The near point: 3 above the human and 15 ahead.
        const D3DXVECTOR3 human = l.humanRacer->GetPosition();
        ExpectNear(l.startCameraNearPoint, human + D3DXVECTOR3(0.0f, 0.0f, 3.0f) + 15.0f * l.playerStartDirection);
        EXPECT_NEAR(D3DXVec3Length(&l.playerStartDirection), 1.0f, 1e-5f);

        // The flight points: the near point, then the pieces' tops from the piece nearest the
        // start line backwards in race order, until the walk reaches its length.
        const CPLine* piece = nullptr;
        for (int i = 0; i < l.centrePath->GetLineCount(); ++i) {
            const CPLine* line = l.centrePath->GetLine(i);
            const D3DXVECTOR3 at(-60.0f, 0.0f, human.z);
            if (!piece || Distance(line->centre, at) < Distance(piece->centre, at)) piece = line;
        }
        ASSERT_TRUE(piece);
        const float flight = racers < 6 ? 17.5f * static_cast<float>(racers + 3) : 17.5f * static_cast<float>(racers);
        std::vector<D3DXVECTOR3> raw{l.startCameraNearPoint};
        float walked = 0.0f;
        for (; walked < flight; piece = piece->previous) {
            walked += Distance(Top(*piece), raw.back());
            raw.push_back(Top(*piece));
        }
        const std::vector<D3DXVECTOR3>& points = l.startCameraPath.points;
        ASSERT_GE(raw.size(), 4u) << racers;
        ASSERT_EQ(points.size(), 1 + 9 * (raw.size() - 3)) << racers;
        // The smoothed path starts at the first piece's top and ends between the third and the
        // second last points, 4 above the road.
        ExpectNear(points.front(), raw[1]);
        EXPECT_EQ(points.front().z, 4.0f);
        EXPECT_GT(points.back().x, raw[raw.size() - 2].x);
        EXPECT_LT(points.back().x, raw[raw.size() - 3].x);
        EXPECT_EQ(l.startCameraPath.pathLength, 0.0f);
        EXPECT_FALSE(l.startCameraPath.swingStarted);
        ExpectNear(l.startCameraLook, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    }
}

TEST(LevelRacers, TheStartCameraBeginsAHundredUnitsFromTheStartLineTenUnitsUp) {
    for (float x0 : {-60.0f, 45.0f, -100.0f}) {
        Racers race;
        ASSERT_TRUE(race.LoadRacers(1, StraightLevel(x0, 1), "level8")) << x0;
        const CPLevel& l = *race.level;
        // Distances along the route; the start camera begins 100 units beyond the start line on
        // the far side from the near point.
        float dStart = 0.0f;
        float dNear = 0.0f;
        l.centrePath->GetDistanceAtPoint(l.startLineCentre, dStart, 10.0f);
        l.centrePath->GetDistanceAtPoint(l.startCameraNearPoint, dNear, 10.0f);
        const float s = dStart > dNear ? -1.0f : 1.0f;
        D3DXVECTOR3 a(0.0f, 0.0f, 0.0f);
        D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
        l.centrePath->GetPointAtDistance(dStart - 100.0f * s, a, direction);
        ExpectNear(l.cameraStartPoint, a + D3DXVECTOR3(0.0f, 0.0f, 10.0f));
        // About 100 units from the line along the straight, on the side away from the near point.
        EXPECT_NEAR(std::fabs(a.x - x0), 100.0f, 3.0f) << x0;
        EXPECT_LT((a.x - x0) * (l.startCameraNearPoint.x - x0), 0.0f) << x0;
    }
}

TEST(LevelRacers, TheRouteStartAndTheRacePaths) {
    Racers race;
    ASSERT_TRUE(race.LoadRacers(1, StraightLevel(-5.0f, 1), "level8"));
    const CPLevel& l = *race.level;
    D3DXVECTOR3 p0(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 d0(0.0f, 0.0f, 0.0f);
    l.centrePath->GetPointAtDistance(0.0f, p0, d0);
    ExpectNear(l.routeStartPoint, p0 + D3DXVECTOR3(0.0f, 0.0f, 2.0f));
    ExpectNear(l.routeStartDirection, -d0);
    ExpectNear(l.routeStartPoint, D3DXVECTOR3(-190.0f, 0.0f, 2.0f), 0.05f);
    EXPECT_EQ(l.progressPath.Get(), l.centrePath.Get());
    EXPECT_EQ(l.playerLine.Get(), l.centrePath.Get());
    EXPECT_TRUE(l.playerStartLine);
}

TEST(LevelRacers, FlagsWithinAHundredUnitsJoinTheirCheckpointInListOrder) {
    LevelFileWriter w = RaceFixture::RingLevel();
    w.AddObject("enemy01", 100.0f, 0.0f, 0.0f);
    w.AddObject("checkpoint01", 0.0f, 0.0f, 0.0f);
    // The farther flag comes first in the list: the first flag is the first in list order.
    w.AddObject("cflag01", 80.0f, 0.0f, 0.0f);
    w.AddObject("cflag02", 0.0f, 50.0f, 0.0f);
    w.AddObject("cflag03", 0.0f, -100.5f, 0.0f);
    w.AddObject("cflag04", -100.0f, 0.0f, 0.0f);
    Racers race;
    ASSERT_TRUE(race.LoadRacers(1, w));
    ASSERT_EQ(race.level->checkpoints.size(), 1u);
    const SPCheckpoint& c = race.level->checkpoints[0];
    ASSERT_TRUE(c.flag1);
    ASSERT_TRUE(c.flag2);
    ExpectNear(c.flag1->GetPosition(), D3DXVECTOR3(80.0f, 0.0f, 0.0f));
    ExpectNear(c.flag1Position, D3DXVECTOR3(80.0f, 0.0f, 0.0f));
    // The last flag within reach (100 included) overwrites the second.
    ExpectNear(c.flag2->GetPosition(), D3DXVECTOR3(-100.0f, 0.0f, 0.0f));
    ExpectNear(c.flag2Position, D3DXVECTOR3(-100.0f, 0.0f, 0.0f));
}

TEST(CameraSetting, EachModeTakesItsSettingAndViewAndTheCarsVolume) {
    Racers race;
    race.carDescription = "<camera distance='6' height='2.5' angle='0.3' angle_div='40' distance_div='30'/>"
                          "<camera2 distance='9' height='3' angle='0.2' angle_div='20' distance_div='10'/>";
    ASSERT_TRUE(race.LoadRacers(1, RaceFixture::RacingLevel()));
    CPLevel& l = *race.level;
    const float heading = CPLevel::HeadingOf(l.humanRacer.Get());
    struct Case {
        int mode;
        float distance, height, angle, angleDiv, distanceDiv;
        bool external;
    };
    for (const Case& c : {Case{1, 9, 3, 0.2f, 20, 10, false}, Case{2, 6, 2.5f, 0.3f, 40, 30, true},
                          Case{0, 6, 2.5f, 0.3f, 40, 30, false}}) {
        l.camera->SetTargetYaw(123.0f);
        l.SelectCameraSetting(c.mode);
        EXPECT_EQ(l.cameraMode, c.mode);
        EXPECT_EQ(l.cameraDistance, c.distance) << c.mode;
        EXPECT_EQ(l.cameraHeight, c.height) << c.mode;
        EXPECT_EQ(l.cameraAngle, c.angle) << c.mode;
        EXPECT_EQ(l.cameraAngleDiv, c.angleDiv) << c.mode;
        EXPECT_EQ(l.cameraDistanceDiv, c.distanceDiv) << c.mode;
        EXPECT_EQ(l.camera->IsExternalView(), c.external) << c.mode;
        // The car-fixed view leaves the camera's yaw target alone.
        EXPECT_EQ(l.camera->GetTargetYaw(), c.external ? 123.0f : heading) << c.mode;
        EXPECT_EQ(l.player, l.humanRacer.Get());
    }
}

} // namespace
