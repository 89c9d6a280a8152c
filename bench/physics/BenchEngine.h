#pragma once
// The common face of the three physics engines under comparison. A scene is
// described once in double precision (z up, metres, kilograms) and each engine
// builds it in its own types; every Step is one fixed step of 1/60 s.

#include <cmath>
#include <memory>
#include <string>
#include <vector>

namespace bench {

struct Vec3 {
    double x = 0.0, y = 0.0, z = 0.0;
};
inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline Vec3 operator*(double s, Vec3 a) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length(Vec3 a) { return std::sqrt(Dot(a, a)); }
inline bool IsFinite(Vec3 a) { return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z); }

// Unit quaternion (x, y, z, w); identity by default.
struct Quat {
    double x = 0.0, y = 0.0, z = 0.0, w = 1.0;
};
Quat AxisAngle(Vec3 axis, double angle);
Quat Multiply(Quat a, Quat b);
Vec3 Rotate(Quat q, Vec3 v);
bool IsFinite(Quat q);

struct Pose {
    Vec3 position;
    Quat rotation;
};
inline Vec3 ToWorld(const Pose& p, Vec3 local) { return p.position + Rotate(p.rotation, local); }

constexpr double kStep = 1.0 / 60.0;

enum class ShapeKind { Box, Capsule, Hull };

struct BodyDesc {
    ShapeKind shape = ShapeKind::Box;
    Vec3 size{1.0, 1.0, 1.0};                // box: full sizes
    double radius = 0.25;                    // capsule: radius of the caps
    double length = 1.0;                     // capsule: length of the straight part, along body y
    std::vector<Vec3> hullPoints;            // hull: its corners, body axes
    std::vector<std::vector<int>> hullFaces; // hull: corner indices per face, counter-clockwise seen from outside
    double mass = 1.0;
    Vec3 inertia; // diagonal in body axes; zero: the solid shape's own
    Pose pose;
    double friction = 0.5;
    double restitution = 0.0;
    bool kinematic = false; // moved by the scene, never by contacts
};
// The diagonal inertia every engine is given for a body.
Vec3 ShapeInertia(const BodyDesc& desc);

// Triangle soup z-up, with a uniform x-y grid over it for candidate look-ups.
struct TerrainMesh {
    std::vector<Vec3> vertices;
    std::vector<int> indices; // three per triangle, counter-clockwise seen from above
    double friction = 0.5;
    double restitution = 0.0;

    double originX = 0.0, originY = 0.0, cell = 1.0;
    int cellsX = 1, cellsY = 1;
    std::vector<std::vector<int>> cellTriangles;

    int TriangleCount() const { return static_cast<int>(indices.size() / 3); }
    // Files every triangle in the cells its x-y box covers (cell size in metres).
    void BuildGrid(double cellSize);
    // Triangles whose cells touch the x-y box; appended to out without repeats
    // per cell (a triangle may appear once per cell it spans).
    void Candidates(double minX, double minY, double maxX, double maxY, std::vector<int>& out) const;
    // Exact height of the surface under (x, y) (highest triangle); false outside.
    bool HeightAt(double x, double y, double& height) const;
    // Exact first hit of a segment; t in [0, 1].
    bool Raycast(Vec3 from, Vec3 to, double& t) const;
};

struct Settings {
    std::string name = "defaults"; // "engine" for ours; "defaults", "matched", "matched-nosleep" for the others
    bool matched = false;          // min combination, 4 iterations, ERP 0.5
    bool sleeping = true;          // matched runs only; defaults keep each library's own
    int pairPool = 1500;           // our engine's overlap-pair pool
    int rigidPool = 500;           // our engine's rigid-body pool
    bool terrainTree = false;      // ours: the engine's own terrain tree in place of the query callback
    bool stages = false;           // ours: pass a performance report and sum its stage times
};

struct StepStats {
    int pairs = 0;         // body pairs with at least one contact (ours: overlap-pair records)
    int contacts = 0;      // contact points the solver got
    double maxDepth = 0.0; // deepest penetration the collision stage found
};

// Downward-looking line sensors on a body (body frame): origin and segment.
struct Ray {
    Vec3 origin;
    Vec3 segment;
};
struct RayHit {
    bool hit = false;
    double depth = 0.0; // the part of the segment beyond the hit point, metres
};

// What an engine without its own sensors keeps per body: the rays, the hits of the
// last cast and the pose they were cast from, and the force and torque the ray
// controller answered for the next step.
struct RayState {
    std::vector<Ray> rays;
    std::vector<RayHit> hits;
    Pose hitPose;
    Vec3 force, torque;
};

// Code shared by every engine that turns a body's ray hits into forces. The engine
// calls it once per step for every body with rays, after the step, with the hits
// found at the pose the body had when the step began; the force and torque it
// answers (world, about the centre of mass) act during the next step. That is the
// order our engine's controllers and sensors follow, so the others are made to
// follow it too.
class RayController {
public:
    virtual ~RayController() = default;
    virtual void OnStep(int body, const RayHit* hits, int count, const Pose& hitPose, const Pose& pose, Vec3 velocity,
                        Vec3 angularVelocity, Vec3& force, Vec3& torque) = 0;
};

class Engine {
public:
    virtual ~Engine() = default;
    virtual const char* Name() const = 0;
    virtual void Create(const Settings& settings, Vec3 gravity) = 0;
    virtual void SetTerrain(const TerrainMesh& terrain) = 0;
    // Body handle, or -1 when the engine refused it (a pool ran out).
    virtual int AddBody(const BodyDesc& desc) = 0;
    virtual void AddRays(int body, const std::vector<Ray>& rays) = 0;
    virtual void SetRayController(RayController* controller) = 0;
    virtual void MoveKinematic(int body, const Pose& pose, Vec3 velocity) = 0;
    virtual void Step() = 0;
    virtual Pose GetPose(int body) const = 0;
    virtual Vec3 GetVelocity(int body) const = 0;
    // Sets a movable body's linear velocity and wakes it (a launch at a given speed).
    virtual void SetVelocity(int body, Vec3 velocity) = 0;
    virtual bool IsSleeping(int body) const = 0;
    virtual StepStats LastStep() const = 0;
    virtual int PairBufferFullEvents() const { return 0; }
    // Share of each timed stage of the steps so far (ours with stages on), else empty.
    virtual std::string StageBreakdown() const { return {}; }
    // Hits of the last step (for checking them against the exact terrain).
    virtual void LastHits(int body, std::vector<RayHit>& hits, Pose& hitPose) const = 0;
};

std::unique_ptr<Engine> MakeOurs();
std::unique_ptr<Engine> MakeBullet();
std::unique_ptr<Engine> MakeOde();

} // namespace bench
