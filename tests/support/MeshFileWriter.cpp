#include "support/MeshFileWriter.h"

#include <algorithm>
#include <utility>

#include "support/PackWriter.h"

namespace kxtest {

namespace {

constexpr int kNameBytes = 260;
constexpr int kRecordBytes = 52;
// The smallest records (every count 0), as the readers bound their counts.
constexpr int kMinP3dNode = 4 + kNameBytes + 12 + 16 + kRecordBytes + 16;
constexpr int kMinPlainNode = 4 + kNameBytes + 16;
constexpr int kMinAnimatedNode = kNameBytes + 28 + 2 * kRecordBytes + 8 + 8;

void AppendName(std::string& out, const std::string& name) {
    std::string field = name.substr(0, kNameBytes);
    field.resize(kNameBytes, '\0');
    out += field;
}

void AppendRecord(std::string& out, const NodeRecord& r) {
    AppendInt(out, r.type);
    for (float f : {r.width, r.depth, r.height, r.x, r.y, r.z, r.qx, r.qy, r.qz, r.qw, r.word11, r.mass})
        AppendFloat(out, f);
}

void AppendCount(BuiltFile& file, std::size_t count, int recordBytes) {
    file.counts.push_back({file.bytes.size(), recordBytes});
    AppendInt(file.bytes, static_cast<std::int32_t>(count));
}

void AppendVertices(BuiltFile& file, const std::vector<MorphVertex>& vertices,
                    const std::vector<std::uint16_t>& indices) {
    MorphFrame frame{vertices, indices};
    // A one-frame stream holds exactly the vertex and index block after its 8-byte head.
    const std::string stream = MorphStreamWriter().AddFrame(frame).Build();
    file.counts.push_back({file.bytes.size(), 48});
    file.counts.push_back({file.bytes.size() + 4 + 48 * vertices.size(), 2});
    file.bytes += stream.substr(8);
}

void AppendMeshNode(BuiltFile& file, const MeshNode& node, bool p3d) {
    AppendInt(file.bytes, 0);
    AppendName(file.bytes, node.name);
    if (p3d) {
        for (float f : node.position) AppendFloat(file.bytes, f);
        for (float f : node.rotation) AppendFloat(file.bytes, f);
        AppendRecord(file.bytes, node.body);
    }
    AppendVertices(file, node.vertices, node.indices);
    if (p3d) {
        AppendCount(file, node.parts.size(), kRecordBytes);
        for (const NodeRecord& part : node.parts) AppendRecord(file.bytes, part);
    } else {
        AppendCount(file, node.boxes.size(), 96);
        for (const PlainBox& box : node.boxes) {
            for (float f : box.centre) AppendFloat(file.bytes, f);
            AppendFloat(file.bytes, 0);
            for (float f : box.halfSize) AppendFloat(file.bytes, f);
            AppendFloat(file.bytes, 0);
            for (float f : box.matrix) AppendFloat(file.bytes, f);
        }
    }
    AppendCount(file, node.children.size(), p3d ? kMinP3dNode : kMinPlainNode);
    for (const MeshNode& child : node.children) AppendMeshNode(file, child, p3d);
}

void AppendAnimatedNode(BuiltFile& file, const AnimatedNode& node) {
    AppendName(file.bytes, node.name);
    for (int i = 0; i < 7; ++i) AppendFloat(file.bytes, i == 6 ? 1.0f : 0.0f);
    AppendRecord(file.bytes, node.body);
    AppendRecord(file.bytes, node.box);
    const std::size_t streamAt = file.bytes.size();
    file.counts.push_back({streamAt + MorphStreamWriter::kFrameCountOffset, 8});
    for (int frame = 0; frame < static_cast<int>(node.stream.Frames().size()); ++frame) {
        file.counts.push_back({streamAt + node.stream.VertexCountOffset(frame), 48});
        file.counts.push_back({streamAt + node.stream.IndexCountOffset(frame), 2});
    }
    file.bytes += node.stream.Build();
    AppendCount(file, node.parts.size(), kRecordBytes);
    for (const NodeRecord& part : node.parts) AppendRecord(file.bytes, part);
    AppendCount(file, node.children.size(), kMinAnimatedNode);
    for (const AnimatedNode& child : node.children) AppendAnimatedNode(file, child);
}

} // namespace

std::vector<std::int32_t> HostileCounts(const std::string& bytes, const CountField& field) {
    const std::size_t after = field.offset + 4;
    const std::size_t remaining = bytes.size() > after ? bytes.size() - after : 0;
    const std::int32_t pastTheFile = static_cast<std::int32_t>(
        std::min<std::size_t>(remaining / static_cast<std::size_t>(field.recordBytes) + 1, 0x7fffffff));
    return {-1, 0x7fffffff, pastTheFile};
}

MeshFileWriter& MeshFileWriter::AddNode(MeshNode node) {
    m_nodes.push_back(std::move(node));
    return *this;
}

MeshFileWriter& MeshFileWriter::AddNamedMatrix(const std::string& name, const float matrix[16]) {
    m_table = true;
    m_matrices.emplace_back(name, std::vector<float>(matrix, matrix + 16));
    return *this;
}

MeshFileWriter& MeshFileWriter::WithEmptyMatrixTable() {
    m_table = true;
    return *this;
}

BuiltFile MeshFileWriter::Build() const {
    BuiltFile file;
    AppendInt(file.bytes, 0);
    AppendCount(file, m_nodes.size(), m_p3d ? kMinP3dNode : kMinPlainNode);
    for (const MeshNode& node : m_nodes) AppendMeshNode(file, node, m_p3d);
    if (m_table) {
        AppendCount(file, m_matrices.size(), 4 + 64);
        for (const auto& [name, matrix] : m_matrices) {
            AppendCount(file, name.size(), 1);
            file.bytes += name;
            for (float f : matrix) AppendFloat(file.bytes, f);
        }
    }
    return file;
}

BuiltFile BuildAnimationNodeFile(const AnimatedNode& top) {
    BuiltFile file;
    AppendInt(file.bytes, 0);
    AppendInt(file.bytes, 0);
    AppendAnimatedNode(file, top);
    return file;
}

BuiltFile BuildPartAnimationFile(const std::vector<PartTrack>& tracks) {
    BuiltFile file;
    AppendCount(file, tracks.size(), 8);
    for (const PartTrack& track : tracks) {
        AppendCount(file, track.name.size(), 1);
        file.bytes += track.name;
        AppendCount(file, track.keys.size(), 13 * 4);
        for (const PartKey& key : track.keys) {
            AppendFloat(file.bytes, key.time);
            for (float f : key.columns) AppendFloat(file.bytes, f);
        }
    }
    return file;
}

MeshNode TriangleNode(const std::string& name) {
    MeshNode node;
    node.name = name;
    MorphFrame frame = TriangleFrame(1);
    node.vertices = frame.vertices;
    node.indices = frame.indices;
    return node;
}

MeshNode NestedMeshNode(int depth) {
    MeshNode top = TriangleNode("level1");
    MeshNode* at = &top;
    for (int level = 2; level <= depth; ++level) {
        at->children.push_back(TriangleNode("level" + std::to_string(level)));
        at = &at->children.back();
    }
    return top;
}

AnimatedNode TriangleAnimatedNode(const std::string& name) {
    AnimatedNode node;
    node.name = name;
    node.stream.AddFrames(1, 1);
    return node;
}

AnimatedNode NestedAnimatedNode(int depth) {
    AnimatedNode top = TriangleAnimatedNode("level1");
    AnimatedNode* at = &top;
    for (int level = 2; level <= depth; ++level) {
        at->children.push_back(TriangleAnimatedNode("level" + std::to_string(level)));
        at = &at->children.back();
    }
    return top;
}

} // namespace kxtest
