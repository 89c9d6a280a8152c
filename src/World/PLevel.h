#pragma once
// The one current race level, reached through its singleton pointer (null while none exists).
// Not a counted engine object: the scripts create it (and load it at once), start it, stop it
// and delete it. It owns the track's objects, the route splines, the racers, the race camera,
// the mini map, the object trees and everything the race rules keep between frames.

#include <array>
#include <functional>
#include <list>
#include <string>
#include <unordered_map>
#include <vector>

#include "Framework/PMMObject.h"
#include "Framework/PObjUpdater.h"
#include "GameData/PGameData.h"
#include "Platform/Graphics/D3D9.h"
#include "Platform/Math/D3DXTypes.h"
#include "Render/PRenderSeams.h"
#include "Scene/SceneInterfaces.h"
#include "World/PLevelBranch.h"
#include "World/PLevelFile.h"
#include "World/PMiniMap.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PSpline.h"

class CPGameObject;
class CPQuadTreeNode;
class CPRenderBlock;

// The start camera's flight: its smoothed points (flown from the last to the first) and the
// state of the swing around the human's car at its end.
struct SPStartCameraPath {
    bool swingStarted = false;
    float swingDistance = 0.0f;
    float pathLength = 0.0f;
    float swingAngle = 0.0f;
    D3DXVECTOR3 aimDirection{0.0f, 0.0f, 0.0f};
    std::vector<D3DXVECTOR3> points;
};

// A "cflag.rdf" object; the sway vector and the flag belong to the race rules.
struct SPFlagMarker {
    CPSmartPtr<CPGameObject> object;
    float phase = 0.0f;
    D3DXVECTOR3 sway{1.0f, 0.0f, 0.0f};
    bool raised = false;
};

// A checkpoint hint the scripts show one after another.
struct SPCheckpointHint {
    std::string numberText;
    int number = 0;
    CPSmartPtr<CPGameObject> model;
};

struct SPCheckpoint {
    CPSmartPtr<CPGameObject> object;
    float timeBonus = 0.0f;
    D3DXVECTOR3 flag1Position{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 flag2Position{0.0f, 0.0f, 0.0f};
    CPSmartPtr<CPGameObject> flag1;
    CPSmartPtr<CPGameObject> flag2;
};

// An arrow sign along the route; the camera distance is written by the sorted draw.
struct SPArrowMarker {
    CPSmartPtr<CPGameObject> object;
    float cameraDistance = 0.0f;
    D3DXVECTOR3 corner{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 centre{0.0f, 0.0f, 0.0f};
};

// A racer's start place noted from an "enemy" record: the two characters after "enemy" and
// their number.
struct SPStartPlace {
    std::string id;
    int place = 0;
    D3DXVECTOR3 position{0.0f, 0.0f, 0.0f};
    D3DXQUATERNION rotation{0.0f, 0.0f, 0.0f, 1.0f};
};

// One checkpoint of the mini map.
struct SPMapCheckpoint {
    float screenX = 0.0f;
    float screenY = 0.0f;
    float angle = 0.0f;
    bool next = false;
    bool finish = false;
};

// Seconds the last Load spent in each of its parts.
struct SPLevelLoadTimes {
    double fileRead = 0.0;
    double objects = 0.0;
    double splines = 0.0;
    double terrainGrid = 0.0;
    double world = 0.0;
    double tree = 0.0;
    double total = 0.0;
};

class CPLevel : public IPLensFlarePoolSink {
public:
    // Render keys of the level's parts.
    static constexpr int kObjectKey = 20;
    static constexpr int kTerrainKey = 17;
    static constexpr int kRoadKey = 19;
    static constexpr int kLevelSceneKey = 0;
    static constexpr int kMaxRacers = 12;
    static constexpr int kRouteSlots = 20;
    // The human racer's index among the podium's racer numbers.
    static constexpr int kHumanPodiumIndex = 10;
    // The traffic-car bit of a racer's flags.
    static constexpr int kTrafficFlag = 4;

    // Makes the scene-object tree of a render description with materials for a render key; an
    // empty handle when it cannot be made. The animation library's loader unless replaced.
    using ModelLoader = std::function<CPSmartPtr<CPGameObject>(const std::string& file, int renderKey)>;
    static void SetModelLoader(ModelLoader loader);
    static CPSmartPtr<CPGameObject> LoadModel(const std::string& file, int renderKey);

    CPLevel();
    virtual ~CPLevel();
    CPLevel(const CPLevel&) = delete;
    CPLevel& operator=(const CPLevel&) = delete;

    static CPLevel* GetInstance() { return s_instance; }
    virtual std::string GetClassName() const { return "CPLevel"; }
    virtual void Unused() {}

    // Reads "Data\Levels\<name>.lvl" and builds the track. False when the file cannot be read
    // or is damaged (the objects made before the damage stay), when it has no usable "c_path",
    // or when the physics task refuses the road; such a level must not be started.
    bool Load(const std::string& name, bool singleMode, bool timeMode);
    // Puts the loaded level into the task kernel; once per level, and only after a good load
    // with a route and a human racer.
    void Start();
    // Takes everything out of the scene, the physics world and the kernel; harmless twice.
    void Stop();
    void ClearOpponentsReleased() { opponentsReleased = false; }
    void InitTrackProgress();
    // The index of the piece whose centre lies nearest the point in x and y (of equal ones the
    // later); the search bound is squared distance 100000, beyond which the nearest piece is
    // taken all the same. 0 for no pieces.
    static int NearestRouteIndex(const std::vector<CPLine*>& lines, const D3DXVECTOR3& point);
    void UpdateTimeTable();
    // The race frame and the lap step: stages of the race rules, which do nothing yet.
    void Update();
    void OnLap();

    // One streaming pass of the movable level objects: sign above 0 wakes those in the
    // human's window, else puts those outside it to sleep.
    void UpdateLevelObjects(int sign);
    void AddCheckpointHint(const std::string& baseName, const D3DXVECTOR3& position, const D3DXQUATERNION& rotation);
    bool IsMovingBackwards() const;

    CPSmartPtr<CPCamera> GetCamera() const;
    CPSmartPtr<CPSpline> GetPath() const;
    CPSmartPtr<CPSpline> GetProgressPath() const;
    CPSmartPtr<CPSpline> GetCheckpointPath() const;
    CPSmartPtr<CPSpline> GetRightPath() const;
    void GetTerrainExtents(float& x, float& y) const {
        x = terrainExtentX;
        y = terrainExtentY;
    }
    // 1 to 12 from the level number; 1 for any other number.
    int GetLevelRank() const;
    static int LevelRank(int levelNumber);
    // Copies the sun into the renderer's light list while it has room.
    void AddSunLight();
    void SetPlayerCarName(const std::string& name) { playerCarName = name; }

    // The lens-flare pools of the level's descriptions, by flare name.
    bool HasPool(const std::string& name) const override;
    void AddPool(const std::string& name, std::vector<CPSmartPtr<IPLensFlareOverlay>> overlays) override;

    // Whether Load ran to its end, and why it failed when it did not.
    bool IsLoaded() const { return m_loaded; }
    bool IsStarted() const { return m_started; }
    const std::string& GetLoadError() const { return m_loadError; }
    const SPLevelLoadTimes& GetLoadTimes() const { return m_loadTimes; }
    // The planar shadow of the sun on the ground (z = 0.5 plane), built by Load.
    const D3DXMATRIX* GetPlanarShadowMatrix() const { return m_hasShadowMatrix ? &m_planarShadowMatrix : nullptr; }

    // ---- race camera feed, mini-map markers and light sources (PRaceCamera.cpp, PMiniMap.cpp,
    // PLightSources.cpp); the race frame runs them in its order ----------------------------------
    // Feeds the race camera with the human car's state (pitch, tilt, target point, distance,
    // speed), eases mapZoom with the frame time dt, and places the audio listener at the eye.
    // Also notes the car's yaw for the view choice and the mini map. Nothing without a human.
    void FeedRaceCamera(float dt);
    // The car-fixed view in camera mode 2, the show-case yaw in modes 0 and 1; trackYaw follows
    // the car's yaw in every mode.
    void ChooseCameraView();
    // The projection of world points onto the mini map square for this frame's markers: call
    // once before the opponents' markers and the checkpoint entries.
    void PrepareMapProjection();
    // The store's marker of the opponent at list position index (0 to 10; others are ignored).
    void WriteMapMarker(int index, const CPPlayer& opponent);
    // Appends the mapCheckpoints entry of checkpoint index when it lies within 200 units of the
    // human; an index outside the list adds nothing.
    void AddMapCheckpoint(int index);
    // Moves the mini map to the human and, when it is shown, hands it to the render block (none:
    // only the move).
    void UpdateMiniMap(CPRenderBlock* block);
    // The mini map is drawn while the race camera follows, no takedown view runs and the race is
    // not over.
    bool IsMiniMapShown() const;
    // Hands each visible registered light source to a lens-flare overlay of its name, hides the
    // unused overlays, and empties the registry. Run it every frame: with the "lensflare"
    // setting at 0 it only empties the registry, which the sprites refill every frame.
    void UpdateLightSources();
    // Releases every registered light source (the frames without lens flares).
    void ClearLightSources();
    // Whether the ray from the eye toward a light source meets a racer before the source.
    bool IsLightHiddenByRacer(const D3DXVECTOR3& eye, const D3DXVECTOR3& direction, float distance,
                              const SPFlareSource& source) const;
    // The screen point of a world point on the mini map, with the projection prepared last.
    D3DXVECTOR2 MapScreenPoint(const D3DXVECTOR3& point) const;

    // The human car's yaw noted by FeedRaceCamera, and the mini map's projection of this frame.
    float humanCarYaw = 0.0f;
    struct SPMapProjection {
        float scale = 1.0f;
        float extent = 1.0f;
        D3DXMATRIX rotation;
        D3DXVECTOR3 heading{0.0f, -1.0f, 0.0f};
        D3DXVECTOR3 origin{0.0f, 0.0f, 0.0f};
        D3DXVECTOR2 centre{0.0f, 0.0f};
    } mapProjection;

    // ---- level tree, ray and sphere queries (PLevelRays.cpp) ----------------------------------
    // The nearest hit of the ray over the level tree and, when the ray passes near the human
    // racer, over the active objects; the human racer itself is never hit. hitPoint becomes
    // the end of the (shortened) ray, hit or not.
    bool CrossPlayerRay(SPRayPick& pick);
    // As CrossPlayerRay, with the human racer picked before the active objects.
    bool RayTest(SPRayPick& pick);
    // Appends the tree's objects, the human racer and (near the human racer) the active
    // objects whose parts boxes lie within radius of the point; nothing is cleared first.
    void RayQuery(const D3DXVECTOR3& point, float radius, std::vector<CPSmartPtr<CPGameObject>>& out);
    // The opponents in order, the first hit ends the query; else the player. hitPoint stays.
    bool HitsAnyRacer(SPRayPick& pick);
    // Whether the ray's segment meets, in x and y, the square of half side 30 around the racer.
    static bool IsRayNearRacer(const SPRayPick& pick, const D3DXVECTOR3& racer);

    // Fields, in declaration order.
    CPSmartPtr<CPGameObject> finishObject;
    SPStartCameraPath startCameraPath;
    int transportCount = 0;
    int cameraMode = 0;
    std::unordered_map<std::string, std::vector<SPFlareSource>> lightSources{100};
    std::unordered_map<std::string, std::vector<CPSmartPtr<IPLensFlareOverlay>>> flareGroups{100};
    float camera2Angle = 0.0f;
    float camera1Angle = 0.0f;
    float cameraAngle = 0.0f;
    float showcaseDirection = 1.0f;
    std::string playerCarModel = "zil_130_";
    std::vector<std::string> opponentModelFiles;
    float lastTickTime = 0.0f;
    CPSmartPtr<CPSpline> path;
    CPSmartPtr<CPSpline> centrePath;
    CPSmartPtr<CPSpline> rightPath;
    CPSmartPtr<CPSpline> progressPath;
    CPSmartPtr<CPSpline> playerLine;
    D3DXVECTOR3 playerStartDirection{0.0f, -1.0f, 0.0f};
    bool levelFailedSent = false;
    SPNamedPositions namedPositions{100};
    std::vector<SPFlagMarker> flagMarkers;
    std::list<SPCheckpointHint> checkpointHints;
    std::list<SPCheckpointHint>::iterator hintCursor = checkpointHints.end();
    CPSmartPtr<CPGameObject> shownHint;
    CPSmartPtr<CPObjUpdater> updater;
    CPSmartPtr<CPGameObject> levelScene;
    CPSmartPtr<CPGameObject> roadPhysics;
    CPSmartPtr<CPGameObject> terrain;
    CPSmartPtr<CPLevelBranch> levelTree;
    CPQuadTreeNode* quadTree = nullptr;
    CPSmartPtr<CPGameObject> checkpointModel;
    CPSmartPtr<CPGameObject> checkpointFireModel;
    CPSmartPtr<CPGameObject> checkpointAndFireModel;
    float markerPhase = 0.0f;
    std::list<CPSmartPtr<CPGameObject>> activeObjects;
    std::list<CPSmartPtr<CPGameObject>> dormantObjects;
    CPSmartPtr<CPCamera> camera;
    D3DLIGHT9 sunLight{};
    float terrainExtentX = 10.0f;
    float terrainExtentY = 10.0f;
    float timeLeft = 0.0f;
    float playerSpeed = 0.0f;
    D3DXVECTOR3 playerMotion{0.0f, 0.0f, 0.0f};
    float cameraHeight = 2.0f;
    float camera2Distance = 0.0f;
    float camera2Height = 0.0f;
    float camera1Distance = 0.0f;
    float camera1Height = 0.0f;
    float camera3Distance = 0.0f;
    float camera3Height = 0.0f;
    float cameraAngleDiv = 0.0f;
    float cameraDistanceDiv = 0.0f;
    float camera2AngleDiv = 0.0f;
    float camera2DistanceDiv = 0.0f;
    float camera1AngleDiv = 0.0f;
    float camera1DistanceDiv = 0.0f;
    int levelNumber = 0;
    CPSmartPtr<CPPlayer> humanRacer;
    CPPlayer* player = nullptr;
    std::vector<CPSmartPtr<CPPlayer>> opponents;
    float trackYaw = 0.0f;
    D3DXVECTOR3 playerHeading{0.0f, -1.0f, 0.0f};
    int showcaseCamera = 0;
    CPLine* playerStartLine = nullptr;
    bool opponentsReleased = true;
    std::vector<CPLine*> routeLines;
    std::vector<int> opponentLineIndex = std::vector<int>(kRouteSlots, 0);
    std::vector<int> opponentProgress = std::vector<int>(kRouteSlots, 0);
    std::vector<CPSmartPtr<CPPlayer>>::iterator opponentCursor = opponents.end();
    bool raceStarted = false;
    int playerRouteIndex = 0;
    int playerRouteSteps = 0;
    int startRouteIndex = 0;
    D3DXVECTOR3 startLineSpan{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 startLineCentre{0.0f, 0.0f, 0.0f};
    std::array<int, 3> podium{{0, 0, 0}};
    bool resultDecided = false;
    float cooldownTimer = 0.0f;
    bool arrowSortToggle = false;
    std::list<SPArrowMarker> arrowMarkers;
    int playerPlace = 0;
    int finishCheckpointIndex = 0;
    float checkpointDirection = 0.0f;
    std::vector<SPMapCheckpoint> mapCheckpoints;
    float mapZoom = 0.0f;
    float raceTime = 0.0f;
    int nearbyOpponents = 0;
    CPSmartPtr<CPGameObject> timeModeObject;
    CPSmartPtr<CPMiniMap> miniMap;
    int racerCount = 0;
    float cameraDistance = 7.0f;
    bool nitroCharged = false;
    D3DXVECTOR3 cameraStartPoint{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 startCameraLook{0.0f, 0.0f, 0.0f};
    float gridLength = 0.0f;
    bool timeMode = false;
    bool singleMode = false;
    float showcaseTime = 0.0f;
    bool raceOver = false;
    float pathAngleAtPlayer = 0.0f;
    bool reversed = false;
    int placeToFinish = 0;
    std::vector<SPCheckpoint> checkpoints;
    float checkpointTimer = 0.0f;
    int announcedCheckpoint = 0;
    int nextCheckpoint = 0;
    float elapsedTime = 0.0f;
    int frameCounter = 0;
    float startCameraTimer = 0.0f;
    D3DXVECTOR3 routeStartPoint{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 routeStartDirection{0.0f, 0.0f, 0.0f};
    float camera1Fov = 50.0f;
    float camera2Fov = 50.0f;
    bool stopped = false;

    // The start camera's swing, the human's car name for the records, and what the loader
    // noted for the racers' half of the load: start places in file order, the start posts
    // (each with whether the file had it), and the placed objects by their full names.
    D3DXVECTOR3 swingOffset{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 swingCentre{0.0f, 0.0f, 0.0f};
    std::string playerCarName;
    std::vector<SPStartPlace> startPlaces;
    D3DXVECTOR3 leftStartPost{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 rightStartPost{0.0f, 0.0f, 0.0f};
    bool leftStartPostFound = false;
    bool rightStartPostFound = false;
    std::unordered_map<std::string, CPSmartPtr<CPGameObject>> placedObjects;
    // The objects the loader sorted for the tree (static) and for streaming (dynamic).
    std::vector<CPSmartPtr<CPGameObject>> staticObjects;
    std::vector<CPSmartPtr<CPGameObject>> dynamicObjects;

private:
    // The steps of Load.
    bool LoadSteps(const std::string& name, bool singleMode, bool timeMode);
    bool LoadFailed(const std::string& why);
    void LoadResets(const std::string& name, bool singleMode, bool timeMode);
    void LoadHeaderAndLight(const std::string& name, const SPLevelFile& file);
    void LoadObject(const SPLevelObjectRecord& record);
    void LoadPlacedObject(const SPLevelObjectRecord& record, const SPLevelRecordName& parsed);
    void LoadSplines(const SPLevelFile& file);
    void LoadTerrain(const std::string& name);
    bool LoadRoadAndWorld();
    void PlaceArrowSigns();
    void BuildObjectTree();
    void OrderCheckpoints();
    void PlaceFinish();

    static CPLevel* s_instance;

    bool m_loaded = false;
    bool m_started = false;
    std::string m_loadError;
    SPLevelLoadTimes m_loadTimes;
    D3DXMATRIX m_planarShadowMatrix;
    bool m_hasShadowMatrix = false;

    // ---- racers and cameras of the load, the start camera (PLevelRacers.cpp, PStartCamera.cpp) ----
public:
    // The human's camera setting for a camera mode: 0 the first setting, 1 the second, 2 the
    // first seen from the car-fixed external view. Also the rule of the scripts' camera switch.
    void SelectCameraSetting(int mode);
    // One frame of the start camera's flight at race time t: the eye along the smoothed points
    // (from the last towards the first) and the look direction eased towards the route ahead,
    // turning to the human's car in the flight's last seconds.
    void UpdateStartCamera(float t, D3DXVECTOR3& eye, D3DXVECTOR3& look, float dt);
    // The start sequence's frame for the race rules: the flight, then the swing around the
    // human's car, then (once per race) the start moment that hands over to the race camera.
    void UpdateStartSequence(float dt);
    // The heading angle of the racer's forward direction (0 for none).
    static float HeadingOf(const CPGameObject* racer);
    // Whether this race's start moment has run.
    bool startMomentDone = false;
    // The near point of the start camera: 3 above and 15 ahead of the human's start place.
    D3DXVECTOR3 startCameraNearPoint{0.0f, 0.0f, 0.0f};

private:
    bool LoadRacers();
    void LoadStartLine(const SPStartPlace& humanPlace);
    void LoadOpponent(int index, const SPStartPlace& place, std::array<int, 4>& familyUses);
    void LoadHuman(const SPStartPlace& place);
    void LoadStartCameraPoints(const D3DXVECTOR3& start);
    void LoadRaceTail();
};

// The scene-object helpers of the level's code.
// Sets the static flag (the one SetScript clears) on the object and every child, recursively.
void SetScriptFlagRecursive(CPGameObject& object, bool value);
// Sets the casts-shadow flag on the object, its attached objects and every child, recursively.
void SetShadowBoundsRecursive(CPGameObject& object, bool value);
// Multiplies every vertex position of the meshes of the object's whole tree by the matrix.
void ApplyMatrixToGeometry(CPGameObject& object, const D3DXMATRIX& matrix);
