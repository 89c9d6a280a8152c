// The node readers of the mesh files and the animation node files. Every record is read
// through one CPNodeFileReader, which checks each count against the bytes that remain before
// anything is allocated, bounds the nesting, and refuses the whole file at the first fault:
// the reader is marked failed, a log line names the file, and the caller gets an empty handle.

#include <cctype>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/StringUtils.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRenderObject.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimation.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"

namespace {

constexpr int kIntBytes = 4;
constexpr int kVertexBytes = static_cast<int>(sizeof(SPVertex));
static_assert(sizeof(SPVertex) == 48, "vertex records are stored as 48 bytes");
constexpr int kIndexBytes = 2;
constexpr int kNameBytes = CPAnimationLibrary::kNameFieldBytes;
// Body, box and part records: 13 words.
constexpr int kRecordBytes = 13 * 4;
// The placed boxes of plain nodes: centre, half-size (each with a word not used), matrix.
constexpr int kPlainBoxBytes = 96;
// The transform of animated nodes: position and rotation, not used.
constexpr int kTransformBytes = 7 * 4;
constexpr int kMatrixBytes = 16 * 4;
// A morph stream holds at least its frame count and frame time.
constexpr int kMinStreamBytes = 2 * 4;

// The smallest records of each kind (all counts 0): a count of records is checked against
// these, so a loop over a hostile count ends with the data.
constexpr int kMinMeshNodeBytes = kIntBytes + kNameBytes + 12 + 16 + kRecordBytes + 4 * kIntBytes;
constexpr int kMinPlainNodeBytes = kIntBytes + kNameBytes + 4 * kIntBytes;
constexpr int kMinAnimatedBodyBytes = kTransformBytes + 2 * kRecordBytes + kMinStreamBytes + 2 * kIntBytes;
constexpr int kMinAnimatedNodeBytes = kNameBytes + kMinAnimatedBodyBytes;

// One body, box or part record.
struct SPNodeRecord {
    int type = 0;
    float width = 0.0f;
    float depth = 0.0f;
    float height = 0.0f;
    D3DXVECTOR3 offset{0.0f, 0.0f, 0.0f};
    D3DXQUATERNION rotation{0.0f, 0.0f, 0.0f, 1.0f};
    float diameter = 0.0f;
    float mass = 0.0f;
};

// The box a record describes: half its sizes about the origin, turned by the conjugate of its
// rotation and moved to its offset raised by half its depth.
CPOrientedBox PlacedBox(const SPNodeRecord& record, bool normalise) {
    D3DXQUATERNION turn;
    D3DXQuaternionConjugate(&turn, &record.rotation);
    if (normalise) D3DXQuaternionNormalize(&turn, &turn);
    D3DXMATRIX rotation;
    D3DXMATRIX translation;
    D3DXMatrixRotationQuaternion(&rotation, &turn);
    D3DXMatrixTranslation(&translation, record.offset.x, record.offset.y, record.offset.z + record.depth / 2.0f);
    CPOrientedBox box(D3DXVECTOR3(0.0f, 0.0f, 0.0f),
                      D3DXVECTOR3(record.width / 2.0f, record.height / 2.0f, record.depth / 2.0f));
    box.SetLocalMatrix(rotation * translation);
    return box;
}

D3DXVECTOR3 BoxGeometryPoint(const SPNodeRecord& record) {
    return D3DXVECTOR3(record.offset.x, record.offset.y, record.offset.z + record.depth / 2.0f);
}

void Log(const CPFileReader& reader, const std::string& reason) {
    CPLog::Instance().Print(0, "Meshes: \"%s\" is refused (%s)", reader.GetPath().c_str(), reason.c_str());
}

} // namespace

// One pass of the node readers over one file.
class CPNodeFileReader {
public:
    using Sections = CPAnimationLibrary::Sections;

    CPNodeFileReader(CPAnimationLibrary& library, CPFileReader& reader, Sections& sections, int renderKeyBase,
                     std::string animationName = std::string())
        : m_library(library), m_reader(reader), m_sections(sections), m_renderKeyBase(renderKeyBase),
          m_animationName(std::move(animationName)) {}

    bool IsRefused() const { return m_refused; }
    const std::string& Reason() const { return m_reason; }

    // Marks the file refused (first reason kept) and the reader failed; answers false.
    bool Refuse(const char* reason) {
        if (!m_refused) {
            m_refused = true;
            m_reason = reason;
        }
        m_reader.ReadBytes(nullptr, -1);
        return false;
    }

    // The refusal is logged once, by the outermost reader.
    void LogRefusal() const {
        if (m_refused) Log(m_reader, m_reason);
    }

    CPSmartPtr<CPGameObject> MeshNode(int depth);
    CPSmartPtr<CPGameObject> PlainNode(int depth);
    CPSmartPtr<CPGameObject> AnimatedNode(int depth);
    // The record after its name; a null object skips it whole. What it would add is kept
    // back in m_pending until the file is known to be whole.
    bool NodeAnimations(const CPSmartPtr<CPGameObject>& object, int depth);
    // Adds the animations kept back by NodeAnimations.
    void CommitPending();

    // The optional table of named matrices after the nodes: present when at least one count
    // fits; its contents are skipped, and a cut table still counts as present.
    bool SkipMatrixTable();

private:
    bool ReadInt(int& value) {
        value = m_reader.ReadInt();
        return !m_reader.IsFailed() || Refuse("the file ends inside a record");
    }
    bool Skip(int bytes) {
        return SUCCEEDED(m_reader.ReadBytes(nullptr, bytes)) || Refuse("the file ends inside a record");
    }
    bool ReadFloats(float* values, int count) {
        for (int i = 0; i < count; ++i) values[i] = m_reader.ReadFloat();
        return !m_reader.IsFailed() || Refuse("the file ends inside a record");
    }
    // A count of records of at least `recordBytes` each; 0 or less means none.
    bool ReadListCount(int recordBytes, int& count) {
        if (!ReadInt(count)) return false;
        if (count <= 0) {
            count = 0;
            return true;
        }
        if (count > m_reader.GetRemaining() / recordBytes) return Refuse("a count announces more than the file holds");
        return true;
    }
    bool CheckDepth(int depth) { return depth <= CPAnimationLibrary::kMaxNodeDepth || Refuse("nodes nest too deep"); }
    bool ReadName(std::string& name);
    bool ReadRecord(SPNodeRecord& record);
    // The vertices (coloured), their world copy and the indices; with a minimum and a maximum
    // given, also the extent of the positions.
    bool ReadGeometry(CPRenderObject& renderObject, D3DXVECTOR3* minimum = nullptr, D3DXVECTOR3* maximum = nullptr);
    bool ReadParts(CPGameObject& object, bool animated);
    bool SkipParts();
    // The morph stream that follows, read into the cache under the key.
    CPSmartPtr<CPAnimation> ReadStream(const std::string& key);
    bool SkipStream();
    void Describe(const CPSmartPtr<CPGameObject>& object) {
        CPAnimationLibrary::Section& section = CPAnimationLibrary::FindNodeSection(m_sections, object->GetName());
        m_library.ApplyObjectDescription(object, section, m_renderKeyBase);
    }
    std::string AnimationKey(const std::string& objectName) const {
        return objectName + "&" + m_library.GetCurrentAnimationFile();
    }

    CPAnimationLibrary& m_library;
    CPFileReader& m_reader;
    Sections& m_sections;
    int m_renderKeyBase;
    std::string m_animationName;
    bool m_refused = false;
    std::string m_reason;
    std::vector<std::pair<CPSmartPtr<CPGameObject>, CPSmartPtr<CPAnimation>>> m_pending;
};

bool CPNodeFileReader::ReadName(std::string& name) {
    char field[kNameBytes];
    if (FAILED(m_reader.ReadBytes(field, kNameBytes))) return Refuse("the file ends inside a name");
    name.assign(field, ::strnlen(field, kNameBytes));
    ToLower(name);
    return true;
}

bool CPNodeFileReader::ReadRecord(SPNodeRecord& record) {
    record.type = m_reader.ReadInt();
    float words[12];
    for (float& word : words) word = m_reader.ReadFloat();
    if (m_reader.IsFailed()) return Refuse("the file ends inside a record");
    record.width = words[0];
    record.depth = words[1];
    record.height = words[2];
    record.offset = D3DXVECTOR3(words[3], words[4], words[5]);
    record.rotation = D3DXQUATERNION(words[6], words[7], words[8], words[9]);
    record.diameter = words[10];
    record.mass = words[11];
    return true;
}

bool CPNodeFileReader::ReadGeometry(CPRenderObject& renderObject, D3DXVECTOR3* minimum, D3DXVECTOR3* maximum) {
    int vertexCount = 0;
    if (!ReadInt(vertexCount)) return false;
    if (vertexCount < 0) return Refuse("a negative vertex count");
    if (vertexCount > m_reader.GetRemaining() / kVertexBytes) return Refuse("a vertex count past the end");
    // One pass over the stored records: copied, coloured and measured together (a mesh file is
    // mostly vertices, so every extra pass over them shows in the load time).
    std::vector<SPVertex> vertices;
    vertices.reserve(static_cast<std::size_t>(vertexCount));
    const std::uint8_t* stored = m_reader.GetData() + m_reader.GetReadPosition();
    const D3DCOLOR colour = m_library.GetVertexColour();
    D3DXVECTOR3 low = minimum ? *minimum : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    D3DXVECTOR3 high = maximum ? *maximum : D3DXVECTOR3(0.0f, 0.0f, 0.0f);
    for (int i = 0; i < vertexCount; ++i) {
        SPVertex vertex;
        std::memcpy(&vertex, stored + static_cast<std::size_t>(i) * kVertexBytes, kVertexBytes);
        vertex.diffuse = colour;
        low.x = vertex.x < low.x ? vertex.x : low.x;
        low.y = vertex.y < low.y ? vertex.y : low.y;
        low.z = vertex.z < low.z ? vertex.z : low.z;
        high.x = vertex.x > high.x ? vertex.x : high.x;
        high.y = vertex.y > high.y ? vertex.y : high.y;
        high.z = vertex.z > high.z ? vertex.z : high.z;
        vertices.push_back(vertex);
    }
    if (minimum) *minimum = low;
    if (maximum) *maximum = high;
    if (!Skip(vertexCount * kVertexBytes)) return false;

    int indexCount = 0;
    if (!ReadInt(indexCount)) return false;
    if (indexCount < 0) return Refuse("a negative index count");
    if (indexCount > m_reader.GetRemaining() / kIndexBytes) return Refuse("an index count past the end");
    std::vector<std::uint16_t> indices(static_cast<std::size_t>(indexCount));
    if (indexCount > 0)
        std::memcpy(indices.data(), m_reader.GetData() + m_reader.GetReadPosition(),
                    static_cast<std::size_t>(indexCount) * kIndexBytes);
    // The largest index decides: one check after a loop the compiler can vectorise.
    std::uint16_t largest = 0;
    for (std::uint16_t index : indices) largest = index > largest ? index : largest;
    if (indexCount > 0 && largest >= vertexCount) return Refuse("an index past its node's vertices");
    if (!Skip(indexCount * kIndexBytes)) return false;
    renderObject.SetMesh(std::move(vertices), std::move(indices));
    return true;
}

bool CPNodeFileReader::ReadParts(CPGameObject& object, bool animated) {
    int count = 0;
    if (!ReadListCount(kRecordBytes, count)) return false;
    IPPhysicData* body = object.GetPhysicData().Get();
    for (int i = 0; i < count; ++i) {
        SPNodeRecord part;
        if (!ReadRecord(part)) return false;
        if (part.type == 0) {
            object.PartBoxes().push_back(PlacedBox(part, true));
            if (animated && body)
                body->AddBoxShape(BoxGeometryPoint(part), part.rotation, part.width, part.depth, part.height,
                                  part.mass);
        } else if (part.type == 1 && body) {
            D3DXQUATERNION turn;
            D3DXQuaternionConjugate(&turn, &part.rotation);
            body->AddCylinderShape(part.offset, turn, part.diameter, part.depth, part.mass);
        }
    }
    return true;
}

bool CPNodeFileReader::SkipParts() {
    int count = 0;
    return ReadListCount(kRecordBytes, count) && Skip(count * kRecordBytes);
}

CPSmartPtr<CPAnimation> CPNodeFileReader::ReadStream(const std::string& key) {
    CPSmartPtr<CPAnimation> animation;
    if (CPAnimationCache* cache = CPAnimationCache::Instance()) {
        animation = cache->GetAnimation(key, m_reader, m_library.GetVertexColour());
    } else {
        // Without a cache the stream still has to be read, unshared.
        animation = new CPAnimation(key);
        if (!animation->Load(m_reader, m_library.GetVertexColour())) animation = CPSmartPtr<CPAnimation>();
    }
    if (!animation || m_reader.IsFailed()) {
        Refuse("a broken morph stream");
        return CPSmartPtr<CPAnimation>();
    }
    return animation;
}

bool CPNodeFileReader::SkipStream() {
    int frameCount = 0;
    if (!ReadInt(frameCount) || !Skip(4)) return false;
    if (frameCount < 0 || frameCount > m_reader.GetRemaining() / kMinStreamBytes)
        return Refuse("a broken morph stream");
    for (int frame = 0; frame < frameCount; ++frame) {
        int vertexCount = 0;
        if (!ReadInt(vertexCount)) return false;
        if (vertexCount < 0 || vertexCount > m_reader.GetRemaining() / kVertexBytes)
            return Refuse("a broken morph stream");
        if (!Skip(vertexCount * kVertexBytes)) return false;
        int indexCount = 0;
        if (!ReadInt(indexCount)) return false;
        if (indexCount < 0 || indexCount > m_reader.GetRemaining() / kIndexBytes)
            return Refuse("a broken morph stream");
        const std::uint8_t* bytes = m_reader.GetData() + m_reader.GetReadPosition();
        for (int i = 0; i < indexCount; ++i)
            if ((bytes[2 * i] | (bytes[2 * i + 1] << 8)) >= vertexCount) return Refuse("a broken morph stream");
        if (!Skip(indexCount * kIndexBytes)) return false;
    }
    return true;
}

CPSmartPtr<CPGameObject> CPNodeFileReader::MeshNode(int depth) {
    using Result = CPSmartPtr<CPGameObject>;
    if (!CheckDepth(depth) || !Skip(kIntBytes)) return Result();
    std::string name;
    float position[3];
    float rotation[4];
    SPNodeRecord body;
    if (!ReadName(name) || !ReadFloats(position, 3) || !ReadFloats(rotation, 4) || !ReadRecord(body)) return Result();

    CPSmartPtr<CPGameObject> object(new CPGameObject(name));
    if (IPPhysicDataMaker* maker = GetPhysicDataMaker()) {
        CPSmartPtr<IPPhysicData> data = maker->Make(object.Get());
        if (data) {
            object->SetPhysicData(data);
            data->SetShape(body.width, body.depth, body.height, body.mass);
            data->AddBoxShape(BoxGeometryPoint(body), body.rotation, body.width, body.depth, body.height, body.mass);
        }
    }
    object->SetPosition(D3DXVECTOR3(position[0], position[1], position[2]));
    object->SetRotation(D3DXQUATERNION(-rotation[0], -rotation[1], -rotation[2], rotation[3]));

    CPSmartPtr<CPRenderObject> renderObject(new CPRenderObject(object.Get()));
    object->SetAttachment(CPSmartPtr<IPMMObject>(renderObject.Get()), CPGameObject::KindMesh);
    // The maximum does not start at the negated minimum: lower on y than on x and z.
    D3DXVECTOR3 minimum(5000000.0f, 5000000.0f, 5000000.0f);
    D3DXVECTOR3 maximum(-500000.0f, -5000000.0f, -500000.0f);
    if (!ReadGeometry(*renderObject, &minimum, &maximum)) return Result();
    object->SetBounds(CPOrientedBox((minimum + maximum) / 2.0f, (maximum - minimum) / 2.0f));

    if (!ReadParts(*object, false)) return Result();
    int childCount = 0;
    if (!ReadListCount(kMinMeshNodeBytes, childCount)) return Result();
    for (int i = 0; i < childCount; ++i) {
        Result child = MeshNode(depth + 1);
        if (!child) return Result();
        object->AddChild(child);
    }
    Describe(object);
    return object;
}

CPSmartPtr<CPGameObject> CPNodeFileReader::PlainNode(int depth) {
    using Result = CPSmartPtr<CPGameObject>;
    if (!CheckDepth(depth) || !Skip(kIntBytes)) return Result();
    std::string name;
    if (!ReadName(name)) return Result();

    CPSmartPtr<CPGameObject> object(new CPGameObject(name));
    CPSmartPtr<CPRenderObject> renderObject(new CPRenderObject(object.Get()));
    object->SetAttachment(CPSmartPtr<IPMMObject>(renderObject.Get()), CPGameObject::KindMesh);
    if (!ReadGeometry(*renderObject)) return Result();

    int boxCount = 0;
    if (!ReadListCount(kPlainBoxBytes, boxCount)) return Result();
    for (int i = 0; i < boxCount; ++i) {
        float centre[4];
        float halfSize[4];
        float matrix[16];
        if (!ReadFloats(centre, 4) || !ReadFloats(halfSize, 4) || !ReadFloats(matrix, 16)) return Result();
        CPOrientedBox box(D3DXVECTOR3(centre[0], centre[1], centre[2]),
                          D3DXVECTOR3(halfSize[0], halfSize[1], halfSize[2]));
        D3DXMATRIX local;
        std::memcpy(&local.m[0][0], matrix, sizeof(matrix));
        box.SetLocalMatrix(local);
        object->PartBoxes().push_back(box);
    }

    int childCount = 0;
    if (!ReadListCount(kMinPlainNodeBytes, childCount)) return Result();
    for (int i = 0; i < childCount; ++i) {
        Result child = PlainNode(depth + 1);
        if (!child) return Result();
        object->AddChild(child);
    }
    Describe(object);
    return object;
}

CPSmartPtr<CPGameObject> CPNodeFileReader::AnimatedNode(int depth) {
    using Result = CPSmartPtr<CPGameObject>;
    if (!CheckDepth(depth)) return Result();
    std::string name;
    SPNodeRecord body;
    SPNodeRecord box;
    if (!ReadName(name) || !Skip(kTransformBytes) || !ReadRecord(body) || !ReadRecord(box)) return Result();

    CPSmartPtr<CPGameObject> object(new CPGameObject(name));
    if (body.mass > 0.0f) {
        if (IPPhysicDataMaker* maker = GetPhysicDataMaker()) {
            CPSmartPtr<IPPhysicData> data = maker->Make(object.Get());
            if (data) {
                object->SetPhysicData(data);
                data->SetShape(body.width, body.depth, body.height, body.mass);
            }
        }
    }
    CPSmartPtr<CPAnimatedObject> animated(new CPAnimatedObject());
    animated->SetOwner(object.Get());
    object->SetAttachment(CPSmartPtr<IPMMObject>(animated.Get()), CPGameObject::KindAnimated);

    CPSmartPtr<CPAnimation> animation = ReadStream(AnimationKey(name));
    if (!animation) return Result();
    animated->AddAnimation(m_animationName, animation);
    object->SetBounds(box.mass > 0.0f ? PlacedBox(box, false) : animation->GetBounds());

    if (!ReadParts(*object, true)) return Result();
    int childCount = 0;
    if (!ReadListCount(kMinAnimatedNodeBytes, childCount)) return Result();
    for (int i = 0; i < childCount; ++i) {
        Result child = AnimatedNode(depth + 1);
        if (!child) return Result();
        object->AddChild(child);
    }
    Describe(object);
    return object;
}

bool CPNodeFileReader::NodeAnimations(const CPSmartPtr<CPGameObject>& object, int depth) {
    if (!CheckDepth(depth) || !Skip(kTransformBytes + 2 * kRecordBytes)) return false;
    if (object) {
        CPSmartPtr<CPAnimation> animation = ReadStream(AnimationKey(object->GetName()));
        if (!animation) return false;
        m_pending.emplace_back(object, animation);
    } else if (!SkipStream()) {
        return false;
    }
    if (!SkipParts()) return false;
    int childCount = 0;
    if (!ReadListCount(kMinAnimatedNodeBytes, childCount)) return false;
    for (int i = 0; i < childCount; ++i) {
        std::string name;
        if (!ReadName(name)) return false;
        // A node the first file did not build adds nothing, but its record is still passed.
        CPSmartPtr<CPGameObject> child = object ? object->GetChild(name) : CPSmartPtr<CPGameObject>();
        if (!NodeAnimations(child, depth + 1)) return false;
    }
    return true;
}

void CPNodeFileReader::CommitPending() {
    for (auto& [object, animation] : m_pending)
        if (auto* animated = dynamic_cast<CPAnimatedObject*>(object->GetAttachment().Get()))
            animated->AddAnimation(m_animationName, animation);
    m_pending.clear();
}

bool CPNodeFileReader::SkipMatrixTable() {
    if (m_reader.GetRemaining() < kIntBytes) return false;
    const int count = m_reader.ReadInt();
    for (int i = 0; i < count; ++i) {
        if (m_reader.GetRemaining() < kIntBytes) break;
        const int length = m_reader.ReadInt();
        if (length < 0 || length > m_reader.GetRemaining() - kMatrixBytes) break;
        m_reader.ReadBytes(nullptr, length + kMatrixBytes);
    }
    return true;
}

// ---- the library's operations ---------------------------------------------------------------

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadMeshNode(CPFileReader& reader, Sections& sections, int renderKeyBase) {
    CPNodeFileReader pass(*this, reader, sections, renderKeyBase);
    CPSmartPtr<CPGameObject> object = pass.MeshNode(1);
    pass.LogRefusal();
    return object;
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadPlainMeshNode(CPFileReader& reader, Sections& sections,
                                                               int renderKeyBase) {
    CPNodeFileReader pass(*this, reader, sections, renderKeyBase);
    CPSmartPtr<CPGameObject> object = pass.PlainNode(1);
    pass.LogRefusal();
    return object;
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadAnimatedNode(CPFileReader& reader, Sections& sections,
                                                              int renderKeyBase, const std::string& animationName) {
    CPNodeFileReader pass(*this, reader, sections, renderKeyBase, animationName);
    CPSmartPtr<CPGameObject> object = pass.AnimatedNode(1);
    pass.LogRefusal();
    return object;
}

void CPAnimationLibrary::ReadNodeAnimations(const CPSmartPtr<CPGameObject>& object, CPFileReader& reader,
                                            Sections& sections, int renderKeyBase, const std::string& animationName) {
    CPNodeFileReader pass(*this, reader, sections, renderKeyBase, animationName);
    if (pass.NodeAnimations(object, 1))
        pass.CommitPending();
    else
        pass.LogRefusal();
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadMeshFile(CPFileReader& reader, Sections& sections, int renderKeyBase,
                                                          const std::string& descriptionName, bool p3d,
                                                          bool& hasMatrixTable) {
    using Result = CPSmartPtr<CPGameObject>;
    hasMatrixTable = false;
    CPNodeFileReader pass(*this, reader, sections, renderKeyBase);
    reader.ReadInt();
    int nodeCount = reader.ReadInt();
    if (reader.IsFailed()) {
        pass.Refuse("the file ends inside its header");
        pass.LogRefusal();
        return Result();
    }
    const int minNodeBytes = p3d ? kMinMeshNodeBytes : kMinPlainNodeBytes;
    if (nodeCount < 0) nodeCount = 0;
    if (nodeCount > reader.GetRemaining() / minNodeBytes) {
        pass.Refuse("a count announces more than the file holds");
        pass.LogRefusal();
        return Result();
    }
    std::vector<Result> nodes;
    nodes.reserve(static_cast<std::size_t>(nodeCount));
    for (int i = 0; i < nodeCount; ++i) {
        Result node = p3d ? pass.MeshNode(1) : pass.PlainNode(1);
        if (!node) {
            pass.LogRefusal();
            return Result();
        }
        nodes.push_back(node);
    }
    Result root;
    if (nodeCount == 1) {
        root = nodes.front();
    } else {
        root = new CPGameObject(descriptionName);
        for (const Result& node : nodes) root->AddChild(node);
    }
    root->SetRenderDescriptionName(descriptionName);
    hasMatrixTable = pass.SkipMatrixTable();
    return root;
}

CPSmartPtr<CPGameObject> CPAnimationLibrary::ReadAnimationNodeFile(CPFileReader& reader, Sections& sections,
                                                                   int renderKeyBase, const std::string& animationName,
                                                                   const CPSmartPtr<CPGameObject>& root) {
    using Result = CPSmartPtr<CPGameObject>;
    CPNodeFileReader pass(*this, reader, sections, renderKeyBase, animationName);
    reader.ReadInt();
    reader.ReadInt();
    if (reader.IsFailed()) {
        pass.Refuse("the file ends inside its header");
        pass.LogRefusal();
        return Result();
    }
    if (!root) {
        Result built = pass.AnimatedNode(1);
        pass.LogRefusal();
        return built;
    }
    // The top record's name: the root already has one.
    if (FAILED(reader.ReadBytes(nullptr, kNameFieldBytes)) || !pass.NodeAnimations(root, 1)) {
        pass.Refuse("the file ends inside a record");
        pass.LogRefusal();
        return Result();
    }
    pass.CommitPending();
    return root;
}

CPAnimationLibrary::Section& CPAnimationLibrary::FindNodeSection(Sections& sections, const std::string& name) {
    auto found = sections.find(name);
    if (found != sections.end()) return found->second;
    std::string shorter = name;
    while (!shorter.empty() && std::isdigit(static_cast<unsigned char>(shorter.back()))) shorter.pop_back();
    if (shorter != name && (found = sections.find(shorter)) != sections.end()) return found->second;
    while (!shorter.empty() && (std::isdigit(static_cast<unsigned char>(shorter.back())) || shorter.back() == '_'))
        shorter.pop_back();
    if (shorter != name && (found = sections.find(shorter)) != sections.end()) return found->second;
    return sections[name];
}
