#include "World/PLevel.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <utility>

#include "Framework/CommandRouter.h"
#include "Framework/PFileReader.h"
#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Framework/PObjUpdater.h"
#include "Framework/PSettings.h"
#include "Framework/PTaskKernel.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/Clock.h"
#include "Platform/System/Random.h"
#include "Render/PEffectManager.h"
#include "Render/PQuadTreeNode.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/PParticlesManager.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/NSoundCache.h"
#include "World/PAITask.h"
#include "World/PLevelBranch.h"
#include "World/PMiniMap.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"
#include "World/PShotManager.h"
#include "World/PSpline.h"

CPLevel* CPLevel::s_instance = nullptr;

namespace {

constexpr int kScenePriority = 200;

CPLevel::ModelLoader& ModelLoaderSlot() {
    static CPLevel::ModelLoader loader;
    return loader;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

float Random01() { return static_cast<float>(Platform::EngineRand()) / 32768.0f; }

std::uint32_t Milliseconds() { return Platform::GetClock().TimeGetTime(); }

D3DXQUATERNION Conjugate(const D3DXQUATERNION& q) { return D3DXQUATERNION(-q.x, -q.y, -q.z, q.w); }

float DistanceSquaredXY(const D3DXVECTOR3& a, const D3DXVECTOR3& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    return dx * dx + dy * dy;
}

CPPhysicData* PhysicDataOf(const CPGameObject& object) {
    return dynamic_cast<CPPhysicData*>(object.GetPhysicData().Get());
}

// A usable race line: pieces and a length.
bool IsUsableRoute(const CPSmartPtr<CPSpline>& spline) {
    return spline && !spline->IsEmpty() && spline->GetLineCount() > 0 && spline->GetTotalLength() > 0.0f;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Scene-object helpers.

void SetScriptFlagRecursive(CPGameObject& object, bool value) {
    object.SetStatic(value);
    for (const CPSmartPtr<CPGameObject>& child : object.GetChildren())
        if (child) SetScriptFlagRecursive(*child, value);
}

void SetShadowBoundsRecursive(CPGameObject& object, bool value) {
    object.SetCastsShadow(value);
    for (const SPLevelOfDetail& lod : object.GetLevelsOfDetail())
        if (lod.object) lod.object->SetCastsShadow(value);
    for (const CPSmartPtr<CPGameObject>& child : object.GetChildren())
        if (child) SetShadowBoundsRecursive(*child, value);
}

void ApplyMatrixToGeometry(CPGameObject& object, const D3DXMATRIX& matrix) {
    if (CPRenderObject* mesh = object.GetRenderObject()) {
        for (SPVertex& v : mesh->ModelVertices()) {
            D3DXVECTOR3 p(v.x, v.y, v.z);
            D3DXVec3TransformCoord(&p, &p, &matrix);
            v.x = p.x;
            v.y = p.y;
            v.z = p.z;
        }
        mesh->UpdateWorldVertices();
    }
    for (const CPSmartPtr<CPGameObject>& child : object.GetChildren())
        if (child) ApplyMatrixToGeometry(*child, matrix);
}

// ---------------------------------------------------------------------------------------------
// Construction and accessors.

void CPLevel::SetModelLoader(ModelLoader loader) { ModelLoaderSlot() = std::move(loader); }

CPSmartPtr<CPGameObject> CPLevel::LoadModel(const std::string& file, int renderKey) {
    if (const ModelLoader& loader = ModelLoaderSlot()) return loader(file, renderKey);
    if (CPAnimationLibrary* library = CPAnimationLibrary::Instance())
        return library->LoadRenderDescription(file, renderKey);
    return CPSmartPtr<CPGameObject>();
}

CPLevel::CPLevel() {
    s_instance = this;
    lastTickTime = static_cast<float>(Milliseconds());
    SetLensFlarePoolSink(this);
}

CPLevel::~CPLevel() {
    if (GetLensFlarePoolSink() == this) SetLensFlarePoolSink(nullptr);
    delete quadTree;
    quadTree = nullptr;
    // The members go in the reverse of their order; the pointers into splines first.
    routeLines.clear();
    playerStartLine = nullptr;
    player = nullptr;
    if (s_instance == this) s_instance = nullptr;
}

CPSmartPtr<CPCamera> CPLevel::GetCamera() const { return camera; }
CPSmartPtr<CPSpline> CPLevel::GetPath() const { return path; }
CPSmartPtr<CPSpline> CPLevel::GetProgressPath() const { return progressPath; }
CPSmartPtr<CPSpline> CPLevel::GetCheckpointPath() const { return centrePath; }
CPSmartPtr<CPSpline> CPLevel::GetRightPath() const { return rightPath; }

int CPLevel::LevelRank(int number) {
    static const int kRanks[12] = {7, 8, 4, 1, 5, 2, 9, 10, 6, 3, 11, 12};
    return number >= 1 && number <= 12 ? kRanks[number - 1] : 1;
}

int CPLevel::GetLevelRank() const { return LevelRank(levelNumber); }

void CPLevel::AddSunLight() {
    if (CPRender* render = GetRender()) render->AddLight(sunLight);
}

bool CPLevel::HasPool(const std::string& name) const { return flareGroups.count(name) != 0; }

void CPLevel::AddPool(const std::string& name, std::vector<CPSmartPtr<IPLensFlareOverlay>> overlays) {
    flareGroups[name] = std::move(overlays);
}

// ---------------------------------------------------------------------------------------------
// Load.

bool CPLevel::LoadFailed(const std::string& why) {
    m_loadError = why;
    CPLog::Instance().Print(0, "Level: %s\n", why.c_str());
    return false;
}

void CPLevel::LoadResets(const std::string& name, bool single, bool time) {
    raceTime = 0.0f;
    mapZoom = 1.0f;
    nearbyOpponents = 0;
    nitroCharged = false;
    startCameraTimer = 0.0f;
    arrowSortToggle = false;
    elapsedTime = 0.0f;
    frameCounter = 0;
    startCameraPath.swingStarted = false;
    startCameraPath.pathLength = 0.0f;
    startMomentDone = false;

    CPGameData* data = GetGameData();
    if (data) {
        finishCheckpointIndex = data->levelSettings.finishCheckpointIndex;
        racerCount = data->levelSettings.racerCount;
    }
    // The driver slots hold twelve racers: eleven opponents and the human.
    if (racerCount < 1) racerCount = 1;
    if (racerCount > kMaxRacers) racerCount = kMaxRacers;
    playerPlace = racerCount;

    timeMode = time;
    singleMode = single;
    transportCount = data ? data->transportCount : 0;
    if (transportCount < 0) transportCount = 0;

    if (AI_Task* drivers = AI_Task::GetInstance()) {
        drivers->trafficCount = transportCount;
        if (transportCount == 0) drivers->trafficActive = false;
        drivers->ClearVehicles();
        drivers->AddRacerDrivers(AI_Task::kRacerSlots);
        drivers->AddTrafficDrivers(transportCount);
    }

    Platform::EngineSeed(Milliseconds());
    for (int n = 1; n <= 12; ++n)
        if (name == "level" + std::to_string(n)) levelNumber = n;

    if (timeMode && data) {
        const int real = data->realLevelNumber;
        if (real >= 1 && real <= kLevelCount) {
            const std::string& stem = data->missionRecords[static_cast<std::size_t>(real - 1)].ghostModel;
            if (!stem.empty()) timeModeObject = LoadModel(stem + "_.rdf", kObjectKey);
        }
    }
    finishObject = LoadModel("finish.rdf", kObjectKey);
    if (CPRender* render = GetRender()) render->LoadSky(levelNumber);
    Platform::EngineSeed(Milliseconds());
    levelFailedSent = false;
}

void CPLevel::LoadHeaderAndLight(const std::string& name, const SPLevelFile& file) {
    namedPositions.clear();
    if (CPAnimationLibrary* library = CPAnimationLibrary::Instance())
        library->SetVertexColour(CPAnimationLibrary::kDefaultVertexColour);
    camera = CPSmartPtr<CPCamera>(new CPCamera());
    camera->SetDistance(7.0f);
    sunLight.Ambient = D3DCOLORVALUE{0.0f, 0.0f, 0.0f, 0.0f};
    sunLight.Type = D3DLIGHT_DIRECTIONAL;
    sunLight.Range = 10000.0f;

    terrainExtentX = 2.0f * file.halfExtentX;
    terrainExtentY = 2.0f * file.halfExtentY;
    float extent = 3000.0f;
    switch (levelNumber) {
    case 1:
    case 3:
    case 4:
    case 8: extent = 1000.0f; break;
    case 7:
    case 9:
    case 10:
    case 12: extent = 1150.0f; break;
    case 2:
    case 5:
    case 6:
    case 11: extent = 480.0f; break;
    default: break;
    }
    terrainExtentX = terrainExtentY = extent;

    miniMap = CPSmartPtr<CPMiniMap>(new CPMiniMap());
    miniMap->Init(terrainExtentX, terrainExtentY, name);

    // The file's light only ever yields the fixed downward direction.
    sunLight.Direction = D3DVECTOR{0.0f, 0.0f, -1.0f};
    const float c = 255.0f / 256.0f;
    sunLight.Diffuse = D3DCOLORVALUE{c, c, c, 0.0f};
    sunLight.Specular = D3DCOLORVALUE{c, c, c, 0.0f};

    if (CPRender* render = GetRender()) {
        render->SetAmbient(0xff7f7f7f, 0.5f, 0.5f, 0.5f);
        render->SetDefaultStates();
    }
    const D3DXVECTOR4 light(sunLight.Direction.x, sunLight.Direction.y, sunLight.Direction.z, 0.0f);
    const D3DXPLANE ground(0.0f, 0.0f, -1.0f, 0.5f);
    D3DXMatrixShadow(&m_planarShadowMatrix, &light, &ground);
    m_hasShadowMatrix = true;
}

void CPLevel::LoadObject(const SPLevelObjectRecord& record) {
    const SPLevelRecordName parsed = ParseLevelRecordName(record.name);
    switch (parsed.kind) {
    case LevelRecordKind::Placeholder: return;
    case LevelRecordKind::StartPlace: {
        SPStartPlace place;
        place.id = record.name.size() > 5 ? record.name.substr(5, 2) : std::string();
        place.place = parsed.place;
        place.position = record.position;
        place.rotation = record.rotation;
        startPlaces.push_back(place);
        return;
    }
    case LevelRecordKind::CheckpointHint: AddCheckpointHint(parsed.baseName, record.position, record.rotation); return;
    case LevelRecordKind::NamedPosition:
        namedPositions[parsed.key] = {record.position.x, record.position.y, record.position.z};
        return;
    case LevelRecordKind::LeftStartPost:
        leftStartPost = record.position;
        leftStartPostFound = true;
        return;
    case LevelRecordKind::RightStartPost:
        rightStartPost = record.position;
        rightStartPostFound = true;
        return;
    case LevelRecordKind::PlacedObject: LoadPlacedObject(record, parsed); return;
    }
}

void CPLevel::LoadPlacedObject(const SPLevelObjectRecord& record, const SPLevelRecordName& parsed) {
    CPSmartPtr<CPGameObject> object = LoadModel(parsed.modelFile, kObjectKey);
    if (!object) return;
    SetShadowBoundsRecursive(*object, false);
    const D3DXQUATERNION rotation = Conjugate(record.rotation);
    if (!object->GetPhysicData()) {
        D3DXMATRIX scale;
        D3DXMatrixScaling(&scale, record.scale.x, record.scale.y, record.scale.z);
        ApplyMatrixToGeometry(*object, scale);
        object->SetPosition(record.position);
        object->SetRotation(rotation);
        object->UpdateTransform();
        SetScriptFlagRecursive(*object, true);
        staticObjects.push_back(object);
    } else {
        object->SetPosition(record.position);
        object->SetRotation(rotation);
        object->UpdateTransform();
        SetScriptFlagRecursive(*object, true);
        if (object->GetKind() == IPSceneObject::KindAnimated) {
            const float r0 = Random01();
            const float r1 = Random01();
            SPAnimationRequest idle;
            idle.name = "idle";
            idle.speed = 1.0f + 0.4f * r1 - 0.2f;
            idle.timeOffset = r0;
            object->SetAnimation(idle, true);
        }
        const CPPhysicData* data = PhysicDataOf(*object);
        if (data && data->GetMass() > 0.0f)
            dynamicObjects.push_back(object);
        else
            staticObjects.push_back(object);
    }
    object->AddToScene(kScenePriority);
    placedObjects[record.name] = object;

    if (parsed.modelFile == "cflag.rdf") {
        SPFlagMarker marker;
        marker.object = object;
        marker.phase = Random01();
        flagMarkers.push_back(marker);
        if (CPSmartPtr<CPGameObject> flag = object->FindObject("flag_b")) flag->SetVisible(false);
    }
    if (parsed.modelFile == "checkpoint.rdf" || parsed.modelFile == "checkpoint_a.rdf") {
        SPCheckpoint checkpoint;
        checkpoint.object = object;
        checkpoint.timeBonus = parsed.timeBonus;
        if (CPGameData* data = GetGameData()) checkpoint.timeBonus += data->levelSettings.checkpointTimeBonus;
        checkpoints.push_back(checkpoint);
        checkpointDirection = parsed.modelFile == "checkpoint_a.rdf" ? -1.0f : 1.0f;
    }
    checkpointTimer = 0.0f;
    announcedCheckpoint = -1;
    nextCheckpoint = 0;
}

void CPLevel::LoadSplines(const SPLevelFile& file) {
    for (const SPLevelSplineRecord& record : file.splines) {
        std::vector<BezierSegment> segments(record.segments.size());
        for (std::size_t i = 0; i < segments.size(); ++i) {
            segments[i].p0 = record.segments[i].start;
            segments[i].p3 = record.segments[i].end;
            segments[i].p1 = record.segments[i].control1;
            segments[i].p2 = record.segments[i].control2;
        }
        CPSmartPtr<CPSpline> spline(new CPSpline());
        spline->Build(record.name, record.flag, segments);
        const std::string& name = record.name;
        if (name == "path") {
            path = spline;
        } else if (name == "c_path") {
            centrePath = spline;
        } else if (name == "right") {
            rightPath = spline;
        } else if (name.rfind("path", 0) == 0) {
            progressPath = spline;
            path = spline;
        } else if (name == "player_line") {
            playerLine = spline;
        }
    }
}

void CPLevel::LoadTerrain(const std::string& name) {
    terrain = LoadModel("land.rdf", kTerrainKey);
    if (!terrain) return;
    CPRenderObject* mesh = terrain->GetRenderObject();
    if (mesh) {
        CPSmartPtr<CPMaterial> material;
        if (CPEffectManager* effects = GetEffectManager())
            effects->GetMaterial(material, kTerrainKey, "terrain2.fx",
                                 {name + "\\" + "color.dds", name + "\\" + "detail1.dds"});
        if (material) mesh->SetEffect(material);
    }
    terrain->SetPhysicData(CPSmartPtr<IPPhysicData>());
    terrain->SetVisible(false);
    terrain->SetScript(CPSmartPtr<CPLuaScript>());
    SetScriptFlagRecursive(*terrain, true);
    if (!mesh) return;
    const float x = terrainExtentX;
    const float y = terrainExtentY;
    const float corners[4][6] = {{-x / 2, -y / 2, 0, 0, 0, 0},
                                 {x / 2, -y / 2, 1, 0, 0.2f * x, 0},
                                 {x / 2, y / 2, 1, 1, 0.2f * x, 0.2f * y},
                                 {-x / 2, y / 2, 0, 1, 0, 0.2f * y}};
    std::vector<SPVertex> vertices(4);
    for (int i = 0; i < 4; ++i) {
        SPVertex& v = vertices[static_cast<std::size_t>(i)];
        v = SPVertex{};
        v.x = corners[i][0];
        v.y = corners[i][1];
        v.z = -0.6f;
        v.nz = 1.0f;
        v.diffuse = 0xffffffffu;
        v.tu = corners[i][2];
        v.tv = corners[i][3];
        v.tu1 = corners[i][4];
        v.tv1 = corners[i][5];
    }
    mesh->SetMesh(std::move(vertices), {0, 1, 2, 0, 2, 3});
    if (CPPhysics* physics = CPPhysics::GetInstance())
        physics->KeepMesh(CPSmartPtr<IPMMObject>(terrain->GetAttachment()));
}

bool CPLevel::LoadRoadAndWorld() {
    char file[48];
    std::snprintf(file, sizeof file, "road_phys%d.rdf", levelNumber);
    roadPhysics = LoadModel(file, kRoadKey);
    if (roadPhysics && !roadPhysics->GetPhysicData()) {
        D3DXMATRIX identity;
        D3DXMatrixScaling(&identity, 1.0f, 1.0f, 1.0f);
        ApplyMatrixToGeometry(*roadPhysics, identity);
        roadPhysics->SetPosition(D3DXVECTOR3(0.0f, 0.0f, 0.0f));
        roadPhysics->SetRotation(D3DXQUATERNION(0.0f, 0.0f, 0.0f, 1.0f));
        roadPhysics->UpdateTransform();
        roadPhysics->SetPhysicData(CPSmartPtr<IPPhysicData>());
        roadPhysics->SetVisible(false);
        roadPhysics->SetScript(CPSmartPtr<CPLuaScript>());
        SetScriptFlagRecursive(*roadPhysics, true);
    }
    CPPhysics* physics = CPPhysics::GetInstance();
    if (!physics) return LoadFailed("no physics task for the road");
    CPRenderObject* road = roadPhysics ? roadPhysics->GetRenderObject() : nullptr;
    auto start = std::chrono::steady_clock::now();
    const bool grid = physics->BuildTerrainGrid(CPSmartPtr<CPRenderObject>(road));
    m_loadTimes.terrainGrid = SecondsSince(start);
    if (!grid) return LoadFailed(std::string("the physics task refuses the road ") + file);
    start = std::chrono::steady_clock::now();
    const bool world = physics->CreateWorld();
    m_loadTimes.world = SecondsSince(start);
    if (!world) return LoadFailed("the physics world cannot be made");
    for (CPSpline* spline : {path.Get(), centrePath.Get(), rightPath.Get()})
        if (spline) spline->SnapToTerrain();
    return true;
}

void CPLevel::PlaceArrowSigns() {
    if (g_shadows == 0 || !path) return;
    const int count = static_cast<int>(path->GetTotalLength() * 0.05f);
    if (count <= 0) return;
    static const char* const kSets[12][3] = {
        {"arrow.rdf", "arrow2.rdf", "arrow3.rdf"},       {"arrow_a.rdf", "arrow2_a.rdf", "arrow3_a.rdf"},
        {"arrow_1.rdf", "arrow2_1.rdf", "arrow3_1.rdf"}, {"arrow_1_a.rdf", "arrow2_1_a.rdf", "arrow3_1_a.rdf"},
        {"arrow_2.rdf", "arrow2_2.rdf", "arrow3_2.rdf"}, {"arrow_2_a.rdf", "arrow2_2_a.rdf", "arrow3_2_a.rdf"},
        {"arrow_3.rdf", "arrow2_3.rdf", "arrow3_3.rdf"}, {"arrow_3_a.rdf", "arrow2_3_a.rdf", "arrow3_3_a.rdf"},
        {"arrow_4.rdf", "arrow2_4.rdf", "arrow3_4.rdf"}, {"arrow_4_a.rdf", "arrow2_4_a.rdf", "arrow3_4_a.rdf"},
        {"arrow_5.rdf", "arrow2_5.rdf", "arrow3_5.rdf"}, {"arrow_5_a.rdf", "arrow2_5_a.rdf", "arrow3_5_a.rdf"},
    };
    const char* const* set = kSets[GetLevelRank() - 1];
    int previous = -1;
    for (int k = count; k >= 1; --k) {
        const float d = 20.0f * static_cast<float>(k);
        int pick = Platform::EngineRand() % 3;
        while (pick == previous) pick = Platform::EngineRand() % 3;
        previous = pick;
        CPSmartPtr<CPGameObject> sign = LoadModel(set[pick], kObjectKey);
        if (!sign) continue;
        sign->AddToScene(kScenePriority);
        D3DXVECTOR3 point(0.0f, 0.0f, 0.0f);
        D3DXVECTOR3 direction(0.0f, 0.0f, 0.0f);
        path->GetPointAtDistance(d, point, direction);
        if (const CPLine* line = path->FindNearbyLine(point)) {
            float top = line->start.z;
            if (line->end.z > top) top = line->end.z;
            if (line->centre.z > top) top = line->centre.z;
            sign->SetPosition(D3DXVECTOR3((line->start.x + line->end.x + line->centre.x) / 3.0f,
                                          (line->start.y + line->end.y + line->centre.y) / 3.0f, top + 22.5f));
        }
        D3DXVECTOR3 flat(direction.x, direction.y, 0.0f);
        const float length = std::sqrt(flat.x * flat.x + flat.y * flat.y);
        if (length > 0.0f) flat /= length;
        float c = -flat.y;
        if (c > 1.0f) c = 1.0f;
        if (c < -1.0f) c = -1.0f;
        const float angle = flat.x >= 0.0f ? std::acos(c) : -std::acos(c);
        D3DXQUATERNION turn;
        const D3DXVECTOR3 zAxis(0.0f, 0.0f, 1.0f);
        D3DXQuaternionRotationAxis(&turn, &zAxis, angle);
        sign->SetRotation(turn);
        sign->UpdateTransform();
        SPArrowMarker marker;
        marker.object = sign;
        marker.corner = sign->GetVisibleBounds().minimum;
        marker.centre = sign->GetVisibleBounds().centre;
        arrowMarkers.push_back(marker);
    }
}

void CPLevel::BuildObjectTree() {
    std::vector<CPSmartPtr<IPSceneObject>> objects(staticObjects.begin(), staticObjects.end());
    if (quadTree) {
        const float larger = terrainExtentX > terrainExtentY ? terrainExtentX : terrainExtentY;
        const float e = 0.5f * larger;
        quadTree->SetBounds(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(e, e, 100.0f));
        quadTree->Build(objects, g_quadlevels);
    }
    if (levelTree) {
        levelTree->Init(staticObjects);
        levelTree->Build(0);
        if (camera) camera->SetLevelTree(levelTree);
    }
}

bool CPLevel::Load(const std::string& name, bool single, bool time) {
    const auto loadStart = std::chrono::steady_clock::now();
    m_loadTimes = SPLevelLoadTimes();
    const bool loaded = LoadSteps(name, single, time);
    m_loadTimes.total = SecondsSince(loadStart);
    return loaded;
}

bool CPLevel::LoadSteps(const std::string& name, bool single, bool time) {
    m_loaded = false;
    m_loadError.clear();
    LoadResets(name, single, time);

    const std::string fileName = "Data\\Levels\\" + name + ".lvl";
    CPFileReader reader(fileName);
    for (CPSmartPtr<CPGameObject>* model : {&checkpointModel, &checkpointFireModel, &checkpointAndFireModel}) {
        static const char* const kFiles[3] = {"checkpoint2.rdf", "checkpoint2_fire.rdf", "checkpoint2_and_fire.rdf"};
        const int index = model == &checkpointModel ? 0 : (model == &checkpointFireModel ? 1 : 2);
        *model = LoadModel(kFiles[index], kObjectKey);
        if (*model) {
            (*model)->AddToScene(kScenePriority);
            (*model)->SetVisible(false);
        }
    }
    auto start = std::chrono::steady_clock::now();
    if (reader.Load() != S_OK) return LoadFailed(fileName + " cannot be read");
    SPLevelFile file;
    const bool whole = ReadLevelFile(reader, file);
    m_loadTimes.fileRead = SecondsSince(start);
    const auto damaged = [&] {
        return LoadFailed(fileName + " is damaged at byte " + std::to_string(file.failOffset) + ": " + file.failReason);
    };
    if (file.complete < SPLevelFile::Lights) return damaged();
    LoadHeaderAndLight(name, file);
    start = std::chrono::steady_clock::now();
    for (const SPLevelObjectRecord& record : file.objects) LoadObject(record);
    m_loadTimes.objects = SecondsSince(start);
    if (file.complete < SPLevelFile::Objects) return damaged();
    start = std::chrono::steady_clock::now();
    LoadSplines(file);
    m_loadTimes.splines = SecondsSince(start);
    if (!whole) return damaged();
    if (!IsUsableRoute(centrePath)) return LoadFailed(fileName + " has no usable \"c_path\" route");

    levelScene = LoadModel(name + ".rdf", kLevelSceneKey);
    if (g_quadlevels != 0)
        quadTree = new CPQuadTreeNode();
    else
        levelTree = CPSmartPtr<CPLevelBranch>(new CPLevelBranch());
    if (g_plane != 0.0f) LoadTerrain(name);
    if (!LoadRoadAndWorld()) return false;
    PlaceArrowSigns();
    start = std::chrono::steady_clock::now();
    BuildObjectTree();
    m_loadTimes.tree = SecondsSince(start);
    if (!LoadRacers()) return false;
    // The movable objects wait outside the world until the human comes near.
    for (const CPSmartPtr<CPGameObject>& object : dynamicObjects) dormantObjects.push_back(object);
    m_loaded = true;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Start and stop.

void CPLevel::Start() {
    if (m_started || !m_loaded || !centrePath || !humanRacer) return;
    m_started = true;
    placeToFinish = 0;
    resultDecided = false;
    podium = {{-1, -1, -1}};
    g_deltaTime = 0.0f;

    CPTaskKernel* kernel = CPTaskKernel::GetInstance();
    AI_Task* drivers = AI_Task::GetInstance();
    CPPhysics* physics = CPPhysics::GetInstance();
    if (drivers) drivers->SetPriority(100);
    if (physics) physics->SetPriority(400);
    if (kernel && physics) kernel->AddTask(CPSmartPtr<IPTask>(physics));

    if (camera) {
        camera->BindMainCamera(16);
        camera->BindFarCamera(120);
    }
    if (CPRender* render = GetRender()) {
        D3DXMATRIX identity;
        D3DXMatrixIdentity(&identity);
        render->SetGroupTransform(identity, 17);
        D3DXMATRIX shadow;
        const D3DXVECTOR4 light(sunLight.Direction.x, sunLight.Direction.y, sunLight.Direction.z, 0.0f);
        const D3DXPLANE ground(0.0f, 0.0f, -1.0f, 0.0f);
        D3DXMatrixShadow(&shadow, &light, &ground);
        render->SetGroupTransform(shadow, 16);
    }

    updater = CPSmartPtr<CPObjUpdater>(new CPObjUpdater(this, &CPLevel::Update, 0));
    updater->SetPriority(500);
    if (kernel) {
        kernel->AddTask(CPSmartPtr<IPTask>(updater.Get()));
        if (drivers) kernel->AddTask(CPSmartPtr<IPTask>(drivers));
    }

    stopped = false;
    humanRacer->AddToScene(kScenePriority);
    if (levelScene) levelScene->AddToScene(kScenePriority);
    timeLeft = 600.0f;
    hintCursor = checkpointHints.begin();

    CPGameData* data = GetGameData();
    if (data) {
        char money[64];
        std::snprintf(money, sizeof money, "%.2f", static_cast<double>(data->money));
        RouteCommandByName("gamemenu", "set_money", money);
    }
    RouteCommandByName("gamemenu", "init_game_interface", "");

    if (data) {
        SPLapRecord& lap = data->playerLap;
        const int current = lap.currentLap;
        if (current >= 1) {
            if (static_cast<int>(lap.lapTimes.size()) < current)
                lap.lapTimes.push_back(0.0f);
            else
                lap.lapTimes[static_cast<std::size_t>(current - 1)] = 0.0f;
        }
        for (auto& entry : data->racerLaps) {
            std::vector<float>& times = entry.second.lapTimes;
            if (times.size() < 5) times.resize(5, 0.0f);
            for (int i = 0; i < 5; ++i) times[static_cast<std::size_t>(i)] = data->roundTime;
        }
    }

    InitTrackProgress();
    OrderCheckpoints();
    PlaceFinish();
}

void CPLevel::OrderCheckpoints() {
    if (checkpoints.empty() || !centrePath) return;
    CPLine* first = centrePath->FindNearbyLine(startLineCentre);
    if (!first) return;
    std::vector<SPCheckpoint> ordered;
    std::vector<bool> taken(checkpoints.size(), false);
    CPLine* piece = first;
    const int pieces = centrePath->GetLineCount();
    for (int visited = 0; visited < pieces && piece; ++visited) {
        for (std::size_t i = 0; i < checkpoints.size(); ++i) {
            if (taken[i] || !checkpoints[i].object) continue;
            const D3DXVECTOR3& p = checkpoints[i].object->GetPosition();
            if (DistanceSquaredXY(p, piece->start) < 100.0f || DistanceSquaredXY(p, piece->centre) < 100.0f ||
                DistanceSquaredXY(p, piece->end) < 100.0f) {
                checkpoints[i].object->SetVisible(false);
                ordered.push_back(checkpoints[i]);
                taken[i] = true;
            }
        }
        piece = reversed ? piece->next : piece->previous;
        if (piece == first) break;
    }
    checkpoints = std::move(ordered);
}

void CPLevel::PlaceFinish() {
    if (!finishObject) return;
    if (finishCheckpointIndex < 0 || finishCheckpointIndex >= static_cast<int>(checkpoints.size())) return;
    const SPCheckpoint& c = checkpoints[static_cast<std::size_t>(finishCheckpointIndex)];
    if (!c.object) return;
    finishObject->SetRotation(c.object->GetRotationQuaternion());
    finishObject->SetPosition(c.object->GetPosition());
    finishObject->UpdateTransform();
    finishObject->SetVisible(false);
}

int CPLevel::NearestRouteIndex(const std::vector<CPLine*>& lines, const D3DXVECTOR3& point) {
    int best = -1;
    float bestDistance = 100000.0f;
    int closest = 0;
    float closestDistance = 0.0f;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const float d = DistanceSquaredXY(point, lines[i]->centre);
        if (d <= bestDistance) {
            bestDistance = d;
            best = static_cast<int>(i);
        }
        if (i == 0 || d <= closestDistance) {
            closestDistance = d;
            closest = static_cast<int>(i);
        }
    }
    return best >= 0 ? best : closest;
}

void CPLevel::InitTrackProgress() {
    playerRouteSteps = 0;
    if (progressPath) {
        CPLine* first = progressPath->GetFirstLine();
        CPLine* piece = first;
        const int limit = progressPath->GetLineCount();
        for (int n = 0; piece && n < limit; ++n) {
            routeLines.push_back(piece);
            piece = reversed ? piece->next : piece->previous;
            if (piece == first) break;
        }
    }
    const auto nearest = [this](const D3DXVECTOR3& x) { return NearestRouteIndex(routeLines, x); };
    if (humanRacer) playerRouteIndex = nearest(humanRacer->GetPosition());
    startRouteIndex = nearest(startLineCentre);
    playerRouteSteps = 0;
    int slot = 0;
    for (const CPSmartPtr<CPPlayer>& opponent : opponents) {
        if (slot >= 5) break;
        if (!opponent || (opponent->flags & kTrafficFlag) != 0) continue;
        if (slot < static_cast<int>(opponentLineIndex.size()))
            opponentLineIndex[static_cast<std::size_t>(slot)] = nearest(opponent->GetPosition());
        ++slot;
    }
    opponentCursor = opponents.begin();
}

void CPLevel::UpdateTimeTable() {
    OnLap();
    if (!raceStarted) return;
    CPGameData* data = GetGameData();
    if (!data) return;
    const float dt = g_deltaTime;
    SPLapRecord& lap = data->playerLap;
    if (lap.currentLap >= 1) {
        if (static_cast<int>(lap.lapTimes.size()) < lap.currentLap)
            lap.lapTimes.push_back(dt);
        else
            lap.lapTimes[static_cast<std::size_t>(lap.currentLap - 1)] += dt;
    }
    data->levelTimer += dt;
    for (auto& entry : data->racerLaps) {
        SPLapRecord& record = entry.second;
        if (record.currentLap >= 0 && record.currentLap < static_cast<int>(record.lapTimes.size()))
            record.lapTimes[static_cast<std::size_t>(record.currentLap)] -= dt;
    }
}

void CPLevel::Update() {}

void CPLevel::OnLap() {}

void CPLevel::Stop() {
    ClearOpponentsReleased();
    if (levelScene) levelScene->RemoveFromScene();
    path = nullptr;
    centrePath = nullptr;
    rightPath = nullptr;
    routeLines.clear();
    opponentLineIndex.clear();
    opponentProgress.clear();
    raceStarted = false;

    for (CPSmartPtr<CPGameObject>& object : activeObjects)
        if (object) object->RemoveFromScene();
    activeObjects.clear();
    dormantObjects.clear();

    for (CPSmartPtr<CPPlayer>& opponent : opponents)
        if (opponent) opponent->RemoveFromScene();
    opponents.clear();
    opponentCursor = opponents.end();
    if (humanRacer) humanRacer->RemoveFromScene();
    if (player == humanRacer.Get()) player = nullptr;
    humanRacer = nullptr;

    if (AI_Task* drivers = AI_Task::GetInstance()) {
        drivers->ClearVehicles();
        drivers->Stop();
    }
    if (CPPhysics* physics = CPPhysics::GetInstance()) physics->Stop();

    camera = nullptr;
    if (levelTree) levelTree->RemoveFromScene();
    timeModeObject = nullptr;
    miniMap = nullptr;

    if (updater) updater->Stop();
    stopped = true;

    if (CPShotManager* shots = CPShotManager::GetInstance()) shots->RetireAll();
    if (CPParticlesManager* particles = GetParticlesManager()) particles->ClearAll();
    if (CPGameData* data = GetGameData()) data->levelStarted = false;

    if (CNAudio* audio = CNAudio::GetInstance()) {
        if (CNSoundCache* cache = audio->GetCache()) {
            for (const CPSmartPtr<CNSound>& sound : cache->Sounds()) {
                sound->Stop();
                sound->Rewind();
            }
        }
    }
    const std::vector<CNSound*> live = CNSound::LiveSounds();
    for (CNSound* sound : live)
        if (sound) sound->Stop();

    if (CPRender* render = GetRender()) render->ReleaseStaticBuffers();
}

// ---------------------------------------------------------------------------------------------
// Level objects, hints and the backwards test.

void CPLevel::UpdateLevelObjects(int sign) {
    if (!humanRacer) return;
    const D3DXVECTOR3 h = humanRacer->GetPosition();
    CPPhysics* physics = CPPhysics::GetInstance();
    if (sign > 0) {
        const auto inWindow = [&h](const D3DXVECTOR3& o) {
            const float dz = std::fabs(h.z - o.z);
            const float behind = h.x - o.x;
            const float ahead = o.x - h.x;
            return dz < 30.0f && ((behind > 0.0f && behind < 30.0f) || (ahead > 0.0f && ahead < 75.0f));
        };
        for (auto it = dormantObjects.begin(); it != dormantObjects.end();) {
            CPSmartPtr<CPGameObject> object = *it;
            if (!object || !inWindow(object->GetPosition())) {
                ++it;
                continue;
            }
            it = dormantObjects.erase(it);
            const std::string& type = object->GetName();
            if (type != "tunnel") {
                if (CPPhysicData* data = PhysicDataOf(*object)) {
                    data->AddToWorld(type == "barrel" ? 2 : (type == "wreck" ? 5 : 4));
                    if (RbBody* body = data->GetBody()) {
                        body->SetCollisionGroup(1);
                        body->UpdateBounds();
                    }
                }
            }
            if (physics) physics->ActivateObject(object);
            activeObjects.push_back(object);
            object->AddToScene(kScenePriority);
        }
        return;
    }
    const auto inWindow = [&h](const D3DXVECTOR3& o) {
        const float dz = std::fabs(h.z - o.z);
        const float behind = h.x - o.x;
        const float ahead = o.x - h.x;
        return dz < 30.0f && ((behind >= 0.0f && behind < 30.0f) || (ahead >= 0.0f && ahead < 75.0f));
    };
    for (auto it = activeObjects.begin(); it != activeObjects.end();) {
        CPSmartPtr<CPGameObject> object = *it;
        if (!object || inWindow(object->GetPosition())) {
            ++it;
            continue;
        }
        it = activeObjects.erase(it);
        if (physics) physics->DeactivateObject(object);
        dormantObjects.push_back(object);
        if (CPPhysicData* data = PhysicDataOf(*object)) data->RemoveFromWorld();
        object->RemoveFromScene();
    }
}

void CPLevel::AddCheckpointHint(const std::string& baseName, const D3DXVECTOR3& position,
                                const D3DXQUATERNION& rotation) {
    const SPHintName hint = ParseHintName(baseName);
    CPSmartPtr<CPGameObject> model = LoadModel(hint.model + ".rdf", kObjectKey);
    if (!model) return;
    model->SetVisible(false);
    model->SetPosition(position);
    model->SetRotation(Conjugate(rotation));
    model->UpdateTransform();
    SPCheckpointHint entry;
    entry.numberText = hint.numberText;
    entry.number = hint.number;
    entry.model = model;
    checkpointHints.push_back(entry);
}

bool CPLevel::IsMovingBackwards() const {
    const float a = pathAngleAtPlayer;
    const D3DXVECTOR3 v(std::cos(a), std::sin(a), 0.0f);
    D3DXVECTOR3 h(playerHeading.x, playerHeading.y, 0.0f);
    const float length = std::sqrt(h.x * h.x + h.y * h.y);
    if (length > 0.0f) h /= length;
    float dot = v.x * h.x + v.y * h.y;
    if (dot > 1.0f) dot = 1.0f;
    if (dot < -1.0f) dot = -1.0f;
    return std::fabs(std::acos(dot)) > 1.5707963267948966f;
}
