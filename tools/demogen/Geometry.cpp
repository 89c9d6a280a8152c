#include "Geometry.h"

#include <cmath>

namespace demogen {

namespace {
constexpr float kPi = 3.14159265358979323846f;
}

Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

Vec3 Normalised(Vec3 v) {
    const float length = std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z);
    return length > 0.0f ? v * (1.0f / length) : Vec3{0, 0, 1};
}

std::uint16_t MeshBuilder::Vertex(Vec3 p, Vec3 n, float u, float v, std::uint32_t colour) {
    kxtest::MorphVertex vertex;
    vertex.x = p.x;
    vertex.y = p.y;
    vertex.z = p.z;
    vertex.nx = n.x;
    vertex.ny = n.y;
    vertex.nz = n.z;
    vertex.diffuse = colour;
    vertex.tu = u;
    vertex.tv = v;
    vertex.tu1 = u;
    vertex.tv1 = v;
    vertices.push_back(vertex);
    return static_cast<std::uint16_t>(vertices.size() - 1);
}

void MeshBuilder::Quad(Vec3 a, Vec3 b, Vec3 c, Vec3 d, float uScale, float vScale) {
    // The front normal is (b - a) x (c - a).
    const Vec3 n = Normalised(Cross(c - b, a - b));
    const std::uint16_t i0 = Vertex(a, n, 0, 0), i1 = Vertex(b, n, uScale, 0), i2 = Vertex(c, n, uScale, vScale),
                        i3 = Vertex(d, n, 0, vScale);
    indices.insert(indices.end(), {i0, i1, i2, i0, i2, i3});
}

void MeshBuilder::DoubleQuad(Vec3 a, Vec3 b, Vec3 c, Vec3 d) {
    Quad(a, b, c, d);
    Quad(d, c, b, a);
}

void MeshBuilder::Box(Vec3 c, Vec3 h) {
    const Vec3 p[8] = {
        {c.x - h.x, c.y - h.y, c.z - h.z}, {c.x + h.x, c.y - h.y, c.z - h.z}, {c.x + h.x, c.y + h.y, c.z - h.z},
        {c.x - h.x, c.y + h.y, c.z - h.z}, {c.x - h.x, c.y - h.y, c.z + h.z}, {c.x + h.x, c.y - h.y, c.z + h.z},
        {c.x + h.x, c.y + h.y, c.z + h.z}, {c.x - h.x, c.y + h.y, c.z + h.z},
    };
    // Each face listed clockwise seen from outside.
    Quad(p[4], p[5], p[6], p[7]); // top
    Quad(p[3], p[2], p[1], p[0]); // bottom
    Quad(p[0], p[1], p[5], p[4]); // -y
    Quad(p[2], p[3], p[7], p[6]); // +y
    Quad(p[1], p[2], p[6], p[5]); // +x
    Quad(p[3], p[0], p[4], p[7]); // -x
}

void MeshBuilder::Prism(Vec3 base, float radius, float height, int sides) {
    const Vec3 top{base.x, base.y, base.z + height};
    for (int i = 0; i < sides; ++i) {
        const float a0 = 2.0f * kPi * i / sides, a1 = 2.0f * kPi * (i + 1) / sides;
        const Vec3 d0{std::cos(a0) * radius, std::sin(a0) * radius, 0},
            d1{std::cos(a1) * radius, std::sin(a1) * radius, 0};
        Quad(base + d0, base + d1, top + d1, top + d0, 1.0f / sides, 1.0f);
        const Vec3 n{0, 0, 1};
        const std::uint16_t c = Vertex(top, n, 0.5f, 0.5f), i0 = Vertex(top + d0, n, 0, 0),
                            i1 = Vertex(top + d1, n, 1, 0);
        indices.insert(indices.end(), {c, i0, i1});
    }
}

void MeshBuilder::Wheel(Vec3 centre, float radius, float width, int sides) {
    const float hw = width / 2.0f;
    for (int i = 0; i < sides; ++i) {
        const float a0 = 2.0f * kPi * i / sides, a1 = 2.0f * kPi * (i + 1) / sides;
        const Vec3 d0{0, std::cos(a0) * radius, std::sin(a0) * radius},
            d1{0, std::cos(a1) * radius, std::sin(a1) * radius};
        const Vec3 l{centre.x - hw, centre.y, centre.z}, r{centre.x + hw, centre.y, centre.z};
        Quad(l + d0, l + d1, r + d1, r + d0, 1.0f / sides, 1.0f);
        for (const Vec3& side : {l, r}) {
            const Vec3 n{side.x < centre.x ? -1.0f : 1.0f, 0, 0};
            const std::uint16_t c = Vertex(side, n, 0.5f, 0.5f), i0 = Vertex(side + d0, n, 0, 0),
                                i1 = Vertex(side + d1, n, 1, 0);
            if (side.x < centre.x)
                indices.insert(indices.end(), {c, i1, i0});
            else
                indices.insert(indices.end(), {c, i0, i1});
        }
    }
}

void MeshBuilder::Cone(Vec3 base, float radius, float height, int sides) {
    const Vec3 apex{base.x, base.y, base.z + height};
    for (int i = 0; i < sides; ++i) {
        const float a0 = 2.0f * kPi * i / sides, a1 = 2.0f * kPi * (i + 1) / sides;
        const Vec3 p0 = base + Vec3{std::cos(a0) * radius, std::sin(a0) * radius, 0};
        const Vec3 p1 = base + Vec3{std::cos(a1) * radius, std::sin(a1) * radius, 0};
        const Vec3 n = Normalised(Cross(p1 - p0, apex - p0));
        const std::uint16_t i0 = Vertex(p0, n, 0, 1), i1 = Vertex(p1, n, 1, 1), i2 = Vertex(apex, n, 0.5f, 0);
        indices.insert(indices.end(), {i0, i1, i2});
    }
}

kxtest::MeshNode MeshBuilder::Node(const std::string& name) const {
    kxtest::MeshNode node;
    node.name = name;
    node.vertices = vertices;
    node.indices = indices;
    return node;
}

Description& Description::Material(const std::string& object, const std::string& effect, const std::string& texture,
                                   const std::vector<std::string>& extra) {
    std::vector<std::string>& section = sections[object];
    section.push_back("effectfile = " + effect);
    section.push_back("texturefile1 = " + texture);
    section.insert(section.end(), extra.begin(), extra.end());
    return *this;
}

std::string Description::Text() const {
    std::string text = "model = " + header + "\n";
    for (const std::string& line : lines) text += line + "\n";
    for (const auto& [name, section] : sections) {
        text += "[" + name + "]\n";
        for (const std::string& line : section) text += line + "\n";
    }
    return text;
}

bool WriteModel(const std::filesystem::path& root, const std::string& rdf, const Description& description,
                const std::string& meshFile, const std::vector<kxtest::MeshNode>& nodes) {
    kxtest::MeshFileWriter writer(true);
    for (const kxtest::MeshNode& node : nodes) writer.AddNode(node);
    AddToPack(1, "Meshes/" + meshFile, writer.Build().bytes);
    return WriteIfChanged(root, "Data/Meshes/" + rdf, description.Text());
}

void AddTexture(const std::string& name, int width, int height, const std::vector<std::uint8_t>& rgba) {
    AddToPack(2, "Textures/" + name, PictureBytes(width, height, rgba));
}

void AddTexture(const std::string& name, int width, int height, const std::vector<std::uint8_t>& rgba,
                kxtest::TgaLayout layout) {
    const std::vector<std::uint8_t> bytes = kxtest::EncodeTga(width, height, rgba, layout);
    AddToPack(2, "Textures/" + name, std::string(bytes.begin(), bytes.end()));
}

std::vector<std::uint8_t> Paint(int width, int height, Rgba (*pixel)(float u, float v, int x, int y)) {
    std::vector<std::uint8_t> rgba(static_cast<std::size_t>(width) * height * 4);
    const auto byte = [](float value) {
        const float clamped = value < 0.0f ? 0.0f : (value > 1.0f ? 1.0f : value);
        return static_cast<std::uint8_t>(std::lround(clamped * 255.0f));
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const Rgba c = pixel((x + 0.5f) / width, (y + 0.5f) / height, x, y);
            std::uint8_t* p = &rgba[(static_cast<std::size_t>(y) * width + x) * 4];
            p[0] = byte(c.r);
            p[1] = byte(c.g);
            p[2] = byte(c.b);
            p[3] = byte(c.a);
        }
    return rgba;
}

float Grain(int x, int y, unsigned seed) {
    unsigned h = static_cast<unsigned>(x) * 374761393u + static_cast<unsigned>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<float>((h ^ (h >> 16)) & 0xFFFF) / 65535.0f;
}

void RotationAboutZ(float angle, float out[4]) {
    out[0] = 0.0f;
    out[1] = 0.0f;
    out[2] = std::sin(angle / 2.0f);
    out[3] = std::cos(angle / 2.0f);
}

} // namespace demogen
