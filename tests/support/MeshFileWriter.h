#pragma once
// Writes the binary node files of the scene loaders for tests and fuzz seeds: mesh files (p3d
// and plain node records, with or without the named-matrix table), animation node files (the
// first file of an animated set and its later files share one layout) and part-animation files.
// Every writer notes where its count fields stand, so a test can cut the bytes at any length,
// overwrite any count, or nest nodes to any depth.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/MorphStreamWriter.h"

namespace kxtest {

// A body, box or part record: 13 words.
struct NodeRecord {
    int type = 0;
    float width = 0, depth = 0, height = 0;
    float x = 0, y = 0, z = 0;
    float qx = 0, qy = 0, qz = 0, qw = 1;
    float word11 = 0;
    float mass = 0;
};

// A placed box of a plain node: centre, half-size and a local matrix written row by row.
struct PlainBox {
    float centre[3] = {0, 0, 0};
    float halfSize[3] = {1, 1, 1};
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

// A node of a mesh file. The p3d layout writes position, rotation, body and parts; the plain
// layout writes boxes instead.
struct MeshNode {
    std::string name;
    float position[3] = {0, 0, 0};
    float rotation[4] = {0, 0, 0, 1};
    NodeRecord body;
    std::vector<MorphVertex> vertices;
    std::vector<std::uint16_t> indices;
    std::vector<NodeRecord> parts;
    std::vector<PlainBox> boxes;
    std::vector<MeshNode> children;
};

// A node of an animation node file.
struct AnimatedNode {
    std::string name;
    NodeRecord body;
    NodeRecord box;
    MorphStreamWriter stream;
    std::vector<NodeRecord> parts;
    std::vector<AnimatedNode> children;
};

// A count field of built bytes: where it stands, and how many bytes one of the records it
// counts takes at least (so a value just past the file can be computed).
struct CountField {
    std::size_t offset = 0;
    int recordBytes = 1;
};

// The hostile values a sweep writes into a count: -1, the largest int32, and the smallest count
// whose records no longer fit in what follows the field.
std::vector<std::int32_t> HostileCounts(const std::string& bytes, const CountField& field);

// Bytes with their count fields noted.
struct BuiltFile {
    std::string bytes;
    std::vector<CountField> counts;
};

// A mesh file: p3d node records or plain ones, and optionally the named-matrix table.
class MeshFileWriter {
public:
    explicit MeshFileWriter(bool p3d) : m_p3d(p3d) {}

    MeshFileWriter& AddNode(MeshNode node);
    // Adds a named matrix to the table (and so makes the table present).
    MeshFileWriter& AddNamedMatrix(const std::string& name, const float matrix[16]);
    // The table with a count but no entries.
    MeshFileWriter& WithEmptyMatrixTable();

    BuiltFile Build() const;

private:
    bool m_p3d;
    std::vector<MeshNode> m_nodes;
    bool m_table = false;
    std::vector<std::pair<std::string, std::vector<float>>> m_matrices;
};

// An animation node file holding one top record.
BuiltFile BuildAnimationNodeFile(const AnimatedNode& top);

// One part of a part-animation file: a key is its time and twelve matrix values written
// column by column (m00 m10 m20 m30, m01 m11 m21 m31, m02 m12 m22 m32).
struct PartKey {
    float time = 0;
    float columns[12] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};
};
struct PartTrack {
    std::string name;
    std::vector<PartKey> keys;
};
BuiltFile BuildPartAnimationFile(const std::vector<PartTrack>& tracks);

// A triangle mesh node (three vertices, indices 0 1 2) named `name`.
MeshNode TriangleNode(const std::string& name);
// A chain of nodes, each the only child of the one before, `depth` nodes deep in all.
MeshNode NestedMeshNode(int depth);
// An animated node with a one-frame stream of one triangle.
AnimatedNode TriangleAnimatedNode(const std::string& name);
AnimatedNode NestedAnimatedNode(int depth);

} // namespace kxtest
