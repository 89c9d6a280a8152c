#include "World/PPhysics.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Framework/PGlobalTimer.h"
#include "Framework/PLog.h"
#include "Render/PRenderObject.h"
#include "Scene/PGameObject.h"
#include "World/PCar.h"
#include "World/PContacts.h"
#include "World/PPhysicData.h"
#include "World/PPlayer.h"
#include "World/PTerrainQuery.h"

CPPhysics* CPPhysics::s_instance = nullptr;

namespace {

CPPhysicData* DataOf(const CPGameObject* object) {
    if (!object) return nullptr;
    return dynamic_cast<CPPhysicData*>(object->GetPhysicData().Get());
}

RbQuaternion Normalised(const D3DXQUATERNION& q) {
    const float length = std::sqrt(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w);
    if (!(length > 0.0f) || !std::isfinite(length)) return RbQuaternion{};
    return RbQuaternion{q.x / length, q.y / length, q.z / length, q.w / length};
}

// The shape's local transform: rotation rows, then the offset row. The rows are those of the
// standard rotation matrix of the quaternion (the transpose of the engine's own helper); the
// game's shape data is authored against this form.
RbMatrix ShapeTransform(const SPPhysicShape& shape) {
    const RbQuaternion q = Normalised(shape.rotation);
    const float x = q.x, y = q.y, z = q.z, w = q.w;
    RbMatrix m;
    m.m[0][0] = 1.0f - 2.0f * (y * y + z * z);
    m.m[0][1] = 2.0f * (x * y - z * w);
    m.m[0][2] = 2.0f * (x * z + y * w);
    m.m[0][3] = 0.0f;
    m.m[1][0] = 2.0f * (x * y + z * w);
    m.m[1][1] = 1.0f - 2.0f * (x * x + z * z);
    m.m[1][2] = 2.0f * (y * z - x * w);
    m.m[1][3] = 0.0f;
    m.m[2][0] = 2.0f * (x * z - y * w);
    m.m[2][1] = 2.0f * (y * z + x * w);
    m.m[2][2] = 1.0f - 2.0f * (x * x + y * y);
    m.m[2][3] = 0.0f;
    m.m[3][0] = shape.offset.x;
    m.m[3][1] = shape.offset.y;
    m.m[3][2] = shape.offset.z;
    m.m[3][3] = 1.0f;
    return m;
}

// A racer flag: traffic cars share one sound set.
constexpr int kTrafficCarFlag = 4;

// The engine's messages (exhausted pools above all) reach the game log, one line each.
void LogEngineMessage(const char* message) {
    if (!message) return;
    int length = static_cast<int>(std::strlen(message));
    while (length > 0 && (message[length - 1] == '\n' || message[length - 1] == '\r')) --length;
    CPLog::Instance().Print(1, "Physics: %.*s", length, message);
}

} // namespace

CPPhysics::CPPhysics() { s_instance = this; }

CPPhysics::~CPPhysics() {
    DestroyWorld();
    FreeTerrainGrid();
    if (s_instance == this) s_instance = nullptr;
}

void CPPhysics::Stop() {
    DestroyWorld();
    IPTask::Stop();
}

bool CPPhysics::CreateWorld() {
    // The road and the meshes the level gave before asking for the world stay.
    DestroySimulator();
    RbSimulatorSizes sizes;
    sizes.rigidBodiesCount = 500;
    sizes.animatedBodiesCount = 1000;
    sizes.rigidParticleCount = 500;
    sizes.controllersCount = 50;
    sizes.overlapPairsCount = 1500;
    sizes.geometriesCount = 5000;
    sizes.jointsCount = 150;
    sizes.constraintSetsCount = 150;
    sizes.rowBufferCount = 10;
    sizes.sensorsCount = 1000;
    sizes.terrainNodesStart = 200;
    sizes.terrainNodesGrowBy = -1;
    const RbVector gravity = RbVec(0.0f, 0.0f, -9.8f);
    m_simulator = RbSimulator::Create(&sizes, nullptr, &gravity);
    if (!m_simulator) return false;
    m_simulator->SetLogCallback(LogEngineMessage, 1);
    m_simulator->SetMaterial(0, 1.0f, 1.0f);
    m_simulator->SetMaterial(1, 0.0f, 0.0f);
    m_simulator->SetMaterial(2, 0.5f, 0.5f);
    RbResponseTable* table = m_simulator->GetResponseTable();
    table->Set(0, -1, 3);
    table->Set(1, -1, 3);
    table->Set(0, 0, 3);
    table->Set(0, 1, 0);
    m_simulator->SetTerrainQuery(OnTerrainQuery);
    m_simulator->SetCollisionCallback(Contacts::OnContact);
    return true;
}

void CPPhysics::DestroyWorld() {
    if (!m_simulator) return;
    DestroySimulator();
    m_keptMeshes.clear();
    FreeTerrainGrid();
}

void CPPhysics::DestroySimulator() {
    if (!m_simulator) return;
    m_simulator->FreeTerrainTree();
    RbSimulator::Destroy(m_simulator);
    m_simulator = nullptr;
    // Scripts may hold objects past the race: none of them may keep a freed body.
    for (CPPhysicData* data : m_bound) {
        data->ForgetBodies();
        data->SetBoundWorld(nullptr);
    }
    m_bound.clear();
    m_activeObjects.clear();
    // Their bodies went with the simulator.
    m_pendingFrees.clear();
}

void CPPhysics::FreeTerrainGrid() {
    m_vertices.clear();
    m_vertices.shrink_to_fit();
    m_triangles.clear();
    m_triangles.shrink_to_fit();
    m_cells.clear();
    m_cells.shrink_to_fit();
}

void CPPhysics::KeepMesh(const CPSmartPtr<IPMMObject>& mesh) {
    if (mesh) m_keptMeshes.push_back(mesh);
}

bool CPPhysics::BuildTerrainGrid(const CPSmartPtr<CPRenderObject>& mesh) {
    FreeTerrainGrid();
    if (!mesh) return false;
    const std::vector<SPVertex>& source = mesh->ModelVertices();
    const std::vector<std::uint16_t>& indices = mesh->Indices();
    D3DXMATRIX world;
    world._11 = world._22 = world._33 = world._44 = 1.0f;
    if (IPSceneObject* owner = mesh->GetOwner()) world = owner->GetWorldMatrix();

    std::vector<RbVector> vertices;
    vertices.reserve(source.size());
    float minX = 0.0f, minY = 0.0f, minZ = 0.0f, maxX = 0.0f, maxY = 0.0f, maxZ = 0.0f;
    for (const SPVertex& v : source) {
        RbVector p;
        p.x = v.x * world._11 + v.y * world._21 + v.z * world._31 + world._41;
        p.y = v.x * world._12 + v.y * world._22 + v.z * world._32 + world._42;
        p.z = v.x * world._13 + v.y * world._23 + v.z * world._33 + world._43;
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return false;
        minX = std::min(minX, p.x);
        minY = std::min(minY, p.y);
        minZ = std::min(minZ, p.z);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, p.y);
        maxZ = std::max(maxZ, p.z);
        vertices.push_back(p);
    }
    (void)maxZ;
    const double spanX = std::ceil(static_cast<double>(maxX - minX) * 0.2);
    const double spanY = std::ceil(static_cast<double>(maxY - minY) * 0.2);
    if (!(spanX + 10.0 <= kMaxCellsPerAxis) || !(spanY + 10.0 <= kMaxCellsPerAxis)) return false;

    m_vertices = std::move(vertices);
    m_gridOrigin = D3DXVECTOR3(minX, minY, minZ);
    m_cellsX = static_cast<int>(spanX) + 10;
    m_cellsY = static_cast<int>(spanY) + 10;
    m_cells.assign(static_cast<std::size_t>(m_cellsX), std::vector<SPTerrainCell>(static_cast<std::size_t>(m_cellsY)));

    const std::size_t vertexCount = m_vertices.size();
    const std::size_t tripleCount = indices.size() / 3;
    m_triangles.reserve(tripleCount);
    for (std::size_t k = 0; k < tripleCount; ++k) {
        const std::uint16_t i0 = indices[3 * k], i1 = indices[3 * k + 1], i2 = indices[3 * k + 2];
        // A triangle naming a vertex the mesh does not have is left out of the road.
        if (i0 >= vertexCount || i1 >= vertexCount || i2 >= vertexCount) continue;
        const int index = static_cast<int>(m_triangles.size());
        RbTriangle triangle;
        triangle.vertex[0] = i0;
        triangle.vertex[1] = i1;
        triangle.vertex[2] = i2;
        m_triangles.push_back(triangle);

        const RbVector& a = m_vertices[i0];
        const RbVector& b = m_vertices[i1];
        const RbVector& c = m_vertices[i2];
        const D3DXVECTOR3 t0(a.x, a.y, a.z), t1(b.x, b.y, b.z), t2(c.x, c.y, c.z);
        const D3DXVECTOR4 c0 = PointToCell(t0), c1 = PointToCell(t1), c2 = PointToCell(t2);
        const int xs = std::max(static_cast<int>(std::min({c0.x, c1.x, c2.x})) - 1, 0);
        const int xe = std::min(static_cast<int>(std::max({c0.x, c1.x, c2.x})) + 1, m_cellsX - 1);
        const int ys = std::max(static_cast<int>(std::min({c0.y, c1.y, c2.y})) - 1, 0);
        const int ye = std::min(static_cast<int>(std::max({c0.y, c1.y, c2.y})) + 1, m_cellsY - 1);
        const float lowZ = std::min({a.z, b.z, c.z});
        const float highZ = std::max({a.z, b.z, c.z});
        for (int y = ys; y < ye; ++y) {
            for (int x = xs; x < xe; ++x) {
                SPTerrainCell& cell = m_cells[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
                // Triangles arrive in rising order: the cell holds this one only as its last.
                if (!cell.triangles.empty() && cell.triangles.back() == index) continue;
                const float x0 = m_gridOrigin.x + kCellSize * static_cast<float>(x);
                const float x1 = m_gridOrigin.x + kCellSize * static_cast<float>(x + 1);
                const float y0 = m_gridOrigin.y + kCellSize * static_cast<float>(y);
                const float y1 = m_gridOrigin.y + kCellSize * static_cast<float>(y + 1);
                const D3DXVECTOR3 q1(x0, y0, 0.0f), q2(x1, y0, 0.0f), q3(x0, y1, 0.0f), q4(x1, y1, 0.0f);
                if (!TriangleOverlapsRect(q1, q2, q3, q4, t0, t1, t2)) continue;
                const bool wasEmpty = cell.lowestZ == -10000.0f;
                ++cell.count;
                cell.triangles.push_back(index);
                cell.lowestZ = wasEmpty ? lowZ : std::min(lowZ, cell.lowestZ);
                cell.highestZ = wasEmpty ? highZ : std::max(highZ, cell.highestZ);
            }
        }
    }
    return true;
}

D3DXVECTOR4 CPPhysics::PointToCell(const D3DXVECTOR3& point) const {
    auto limit = [](float value, int count) {
        // Below the grid, and a position that is not a number, go to the first cell.
        if (!(value >= 0.0f)) return 0;
        if (!(value < static_cast<float>(count))) return std::max(count - 1, 0);
        return std::min(static_cast<int>(value), std::max(count - 1, 0));
    };
    const int x = limit((point.x - m_gridOrigin.x) * 0.2f, m_cellsX);
    const int y = limit((point.y - m_gridOrigin.y) * 0.2f, m_cellsY);
    return D3DXVECTOR4(static_cast<float>(x), static_cast<float>(y), 0.0f, 0.0f);
}

const SPTerrainCell* CPPhysics::GetCell(const D3DXVECTOR4& cell) const {
    if (m_cells.empty()) return nullptr;
    auto limit = [](float value, int count) {
        if (!(value >= 0.0f)) return 0;
        if (!(value < static_cast<float>(count))) return count - 1;
        return static_cast<int>(value);
    };
    const int x = limit(cell.x, m_cellsX);
    const int y = limit(cell.y, m_cellsY);
    return &m_cells[static_cast<std::size_t>(x)][static_cast<std::size_t>(y)];
}

bool CPPhysics::CellContains(int triangle, const D3DXVECTOR4& cell) const {
    const SPTerrainCell* c = GetCell(cell);
    if (!c) return false;
    return std::find(c->triangles.begin(), c->triangles.end(), triangle) != c->triangles.end();
}

float CPPhysics::GetTerrainHeight(const D3DXVECTOR3& point) const {
    const SPTerrainCell* cell = GetCell(PointToCell(point));
    if (!cell) return 0.0f;
    float best = 1000.0f;
    float result = 0.0f;
    for (int t : cell->triangles) {
        const RbTriangle& triangle = m_triangles[static_cast<std::size_t>(t)];
        for (int corner = 0; corner < 3; ++corner) {
            const RbVector& v = m_vertices[static_cast<std::size_t>(triangle.vertex[corner])];
            const float dx = point.x - v.x, dy = point.y - v.y, dz = point.z - v.z;
            const float squared = dx * dx + dy * dy + dz * dz;
            const float d = squared < 1e-6f ? 0.0f : std::sqrt(squared);
            if (d < best) {
                best = d;
                result = v.z;
            }
        }
    }
    return result;
}

void CPPhysics::AddBody(const CPSmartPtr<CPGameObject>& object, bool active, int tag) {
    if (!object) return;
    CPPhysicData* data = DataOf(object.Get());
    if (!data) return;
    CreateBodies(CPSmartPtr<CPPhysicData>(data), object->GetPosition(), object->GetRotationQuaternion(), active, tag);
    if (RbBody* body = data->GetBody()) body->SetUserData(object.Get());
}

void CPPhysics::CreateBodies(const CPSmartPtr<CPPhysicData>& data, const D3DXVECTOR3& position,
                             const D3DXQUATERNION& rotation, bool active, int tag) {
    if (!data || !m_simulator) return;
    // A body that still has one keeps it: a second would be lost to the pool.
    if (data->HasBody()) return;
    RbBody* body = nullptr;
    RbAnimatedBody* animated = nullptr;
    RbRigidBody* rigid = nullptr;
    if (data->GetMass() < 0.0f) {
        // The animated pool answers null when it is empty.
        animated = m_simulator->NewAnimatedBody();
        body = animated;
    } else {
        rigid = data->IsParticle() ? m_simulator->NewRigidParticle() : m_simulator->NewRigidBody();
        body = rigid;
    }
    // An exhausted pool leaves the data without a body: it simply stays out of the world.
    if (!body) return;
    data->SetAnimatedBody(animated);
    data->SetRigidBody(rigid);
    RegisterBound(data.Get());

    for (SPPhysicShape& shape : data->Shapes()) {
        RbGeometry* geometry = body->AttachGeometry();
        shape.geometry = geometry;
        if (!geometry) continue;
        const RbMatrix transform = ShapeTransform(shape);
        if (shape.kind == 0) {
            geometry->SetBoxDimensions(shape.size1, shape.size3, shape.size2);
            geometry->SetTransform(transform);
            geometry->SetMaterial(tag);
        } else if (shape.kind == 1) {
            geometry->SetCylinderShape(shape.diameter, shape.size2);
            geometry->SetTransform(transform);
            geometry->SetMaterial(tag);
        }
    }
    body->UpdateBounds();
    if (animated) {
        animated->SetPosition(RbVec(position.x, position.y, position.z));
        animated->SetRotation(Normalised(rotation));
    } else {
        data->SetActive(active);
    }
}

void CPPhysics::ActivateObject(const CPSmartPtr<CPGameObject>& object) {
    CPPhysicData* data = DataOf(object.Get());
    if (!data) return;
    // Every frame reads the rigid body of each active object: only those may be active.
    if (!data->GetRigidBody()) return;
    m_activeObjects.insert(object.Get());
    data->SetActive(true);
}

void CPPhysics::DeactivateObject(const CPSmartPtr<CPGameObject>& object) {
    CPPhysicData* data = DataOf(object.Get());
    if (!data) return;
    m_activeObjects.erase(object.Get());
    data->SetActive(false);
    RbBody* body = data->GetRigidBody();
    if (!body) body = data->GetAnimatedBody();
    if (body && body->IsActive() != data->IsActive()) body->SetActive(false, nullptr);
}

void CPPhysics::RemoveBody(const CPSmartPtr<CPPhysicData>& data) {
    if (data) {
        const RbVector parked = RbVec(0.0f, 0.0f, m_parkDepth);
        if (RbRigidBody* rigid = data->GetRigidBody()) {
            m_pendingFrees.push_front(SPPendingFree{rigid, nullptr, 2});
            rigid->SetPosition(parked);
            rigid->SetActive(false, nullptr);
            rigid->SetUserData(nullptr);
            data->SetRigidBody(nullptr);
        } else if (RbAnimatedBody* animated = data->GetAnimatedBody()) {
            m_pendingFrees.push_front(SPPendingFree{nullptr, animated, 2});
            animated->SetPosition(parked);
            animated->SetActive(false, nullptr);
            animated->SetUserData(nullptr);
            data->SetAnimatedBody(nullptr);
        }
        if (!data->HasBody()) {
            UnregisterBound(data.Get());
            // The shapes went with the body.
            for (SPPhysicShape& shape : data->Shapes()) shape.geometry = nullptr;
        }
    }
    m_parkDepth -= 500.0f;
    if (m_parkDepth < -100000.0f) m_parkDepth = -1000.0f;
}

void CPPhysics::Update() {
    float frame = g_deltaTime;
    if (frame > 0.05f) frame = 0.05f;
    // The world runs at twice real time.
    float accumulated = frame + frame + m_timeRemainder;
    if (accumulated <= 0.0f) return;
    while (accumulated >= kStep) {
        if (m_simulator) m_simulator->Advance(kStep, 1, nullptr);
        accumulated -= kStep;
    }
    m_timeRemainder = accumulated;

    for (auto it = m_pendingFrees.begin(); it != m_pendingFrees.end();) {
        --it->countdown;
        if (it->countdown < 0) {
            if (m_simulator) {
                if (it->rigidBody)
                    m_simulator->FreeBody(it->rigidBody);
                else if (it->animatedBody)
                    m_simulator->FreeBody(it->animatedBody);
            }
            it = m_pendingFrees.erase(it);
        } else {
            ++it;
        }
    }
    SyncObjects();
}

void CPPhysics::SyncObjects() {
    // A copy: writing a pose must not disturb the walk.
    const std::vector<CPGameObject*> objects(m_activeObjects.begin(), m_activeObjects.end());
    for (CPGameObject* object : objects) {
        CPPhysicData* data = DataOf(object);
        // Woken objects without a rigid body have no pose to copy.
        if (!data || !data->GetRigidBody()) continue;
        RbRigidBody* body = data->GetRigidBody();
        const RbQuaternion q = body->GetRotation();
        const RbMatrix transform = body->GetTransform();
        object->SetPosition(D3DXVECTOR3(transform.m[3][0], transform.m[3][1], transform.m[3][2]));
        object->SetRotation(D3DXQUATERNION(q.x, q.y, q.z, q.w));
        object->UpdateTransform();
    }
}

void CPPhysics::AddCar(const CPSmartPtr<CPGameObject>& racer, int human) {
    if (!racer) return;
    CPSmartPtr<CPCar> car(new CPCar(racer.Get()));
    racer->SetCar(CPSmartPtr<IPMMObject>(car.Get()));
    car->Init(m_simulator, human != 0);
    std::string prefix;
    if (const CPPlayer* player = dynamic_cast<const CPPlayer*>(racer.Get()))
        prefix = (player->flags & kTrafficCarFlag) ? std::string("traffic") : player->name;
    car->LoadSounds(prefix, human != 0);
}

void CPPhysics::SetCarControls(const CPSmartPtr<CPGameObject>& racer, float throttle, float steering) {
    if (!racer) return;
    if (CPCar* car = dynamic_cast<CPCar*>(racer->GetCar().Get())) car->SetControls(throttle, steering);
}

void CPPhysics::RegisterBound(CPPhysicData* data) {
    if (!data) return;
    m_bound.insert(data);
    data->SetBoundWorld(this);
}

void CPPhysics::UnregisterBound(CPPhysicData* data) {
    m_bound.erase(data);
    if (data && data->GetBoundWorld() == this) data->SetBoundWorld(nullptr);
}

void CPPhysics::ForgetObject(CPGameObject* object) { m_activeObjects.erase(object); }
