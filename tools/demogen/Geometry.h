#pragma once
// Small mesh builders for the demo's models: boxes, prisms, quads and fans appended to one node's
// vertex and index lists, with face normals and texture coordinates, and the text of the render
// descriptions that name them.

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "DemoGen.h"
#include "support/MeshFileWriter.h"
#include "support/TgaWriter.h"

namespace demogen {

struct Vec3 {
    float x = 0, y = 0, z = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
Vec3 Cross(Vec3 a, Vec3 b);
Vec3 Normalised(Vec3 v);

// Vertices and triangles of one node. A triangle (a, b, c) faces along (b - a) x (c - a): counter-
// clockwise seen from its front, z up.
class MeshBuilder {
public:
    std::vector<kxtest::MorphVertex> vertices;
    std::vector<std::uint16_t> indices;

    std::uint16_t Vertex(Vec3 p, Vec3 n, float u, float v, std::uint32_t colour = 0xffffffffu);
    // A flat quad a b c d (counter-clockwise seen from its front), its texture 0..uScale along a-b and
    // 0..vScale along b-c.
    void Quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, float uScale = 1.0f, float vScale = 1.0f);
    // A box about a centre with half sizes, every face outward.
    void Box(Vec3 centre, Vec3 half);
    // An upright prism of `sides` sides about the z axis through `base`, with its top cap.
    void Prism(Vec3 base, float radius, float height, int sides);
    // A prism lying along the x axis (a wheel), about its centre.
    void Wheel(Vec3 centre, float radius, float width, int sides);
    // An upright cone about the z axis (a tree's crown).
    void Cone(Vec3 base, float radius, float height, int sides);
    // The same geometry seen from both sides (for flags and sprites' stand-ins).
    void DoubleQuad(Vec3 a, Vec3 b, Vec3 c, Vec3 d);

    kxtest::MeshNode Node(const std::string& name) const;
};

// A render description's text: a header line, file-level lines, then one section per object.
struct Description {
    std::string header;
    std::vector<std::string> lines;
    // Object name -> key = value lines.
    std::map<std::string, std::vector<std::string>> sections;

    // A section with an effect and a first texture (and more).
    Description& Material(const std::string& object, const std::string& effect, const std::string& texture,
                          const std::vector<std::string>& extra = {});
    std::string Text() const;
};

// A rotation about z by an angle, as x y z w.
void RotationAboutZ(float angle, float out[4]);

// A model: its render description loose in "Data/Meshes" and its mesh file (p3d nodes) in the
// first pack under "Meshes". False when the description cannot be written.
bool WriteModel(const std::filesystem::path& root, const std::string& rdf, const Description& description,
                const std::string& meshFile, const std::vector<kxtest::MeshNode>& nodes);
// A picture in the second pack under "Textures" (a TGA from RGBA pixels, top row first).
void AddTexture(const std::string& name, int width, int height, const std::vector<std::uint8_t>& rgba);
// The same in a chosen stored layout (run-length packets, rows from the top).
void AddTexture(const std::string& name, int width, int height, const std::vector<std::uint8_t>& rgba,
                kxtest::TgaLayout layout);

// Pictures drawn pixel by pixel: a colour function of (u, v) in 0..1 from the top left.
struct Rgba {
    float r = 0, g = 0, b = 0, a = 1;
};
std::vector<std::uint8_t> Paint(int width, int height, Rgba (*pixel)(float u, float v, int x, int y));
// A small fixed hash of a pixel and a seed, 0..1, for grain.
float Grain(int x, int y, unsigned seed);

} // namespace demogen
