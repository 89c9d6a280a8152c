// Render descriptions: the small text files under Data\Meshes that say what one tree of scene
// objects is made of (a mesh file, a set of animation node files or nothing) and what hangs on
// it (sprites, lights, particle systems, levels of detail), with one section per named object.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PSettings.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Framework/StringUtils.h"
#include "Platform/System/NumberText.h"
#include "Render/PLight.h"
#include "Render/POrientedBox.h"
#include "Render/PSprite.h"
#include "Scene/LensFlarePools.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/PParticleSystem.h"

namespace {

const char* const kMeshFolder = "Data\\Meshes\\";
const char* const kFallbackDescription = "wrong.rdf";
// Nested levels of detail deeper than this give entries without an object: distinct files
// chained without end would otherwise exhaust the stack.
constexpr std::size_t kMaxNestedLoads = 32;
// Nested loads that one outermost load may make in all: levels of detail that each name several
// others would multiply into more loads than could ever finish. Those beyond give entries
// without an object.
constexpr int kMaxNestedLoadsPerLoad = 256;
// Nested loads made so far by the outermost load in progress (main thread only).
int g_nestedLoads = 0;

// What one file says, before anything is built.
struct SPRenderDescriptionText {
    std::string header;
    std::vector<std::string> sprites, lods, lights, lineKeyPoints, particleSystems;
    std::string lineColour, description, shadowTextures;
    CPAnimationLibrary::Sections sections;
};

// Fields of a list entry: split at "," with quotes honoured, trimmed; missing ones empty.
struct SPFields {
    explicit SPFields(const std::string& entry) : fields(SplitTokens(entry, ",", true)) {}
    const std::string& operator[](std::size_t i) const {
        static const std::string kEmpty;
        return i < fields.size() ? fields[i] : kEmpty;
    }
    float Float(std::size_t i) const { return Platform::ParseFloat((*this)[i]); }
    int Int(std::size_t i) const { return Platform::ParseInt((*this)[i]); }
    std::vector<std::string> fields;
};

// Key and value of a line split at "=" (quotes honoured); a line without "=" has an empty value.
std::pair<std::string, std::string> SplitKeyValue(const std::string& line) {
    std::vector<std::string> tokens = SplitTokens(line, "=", true);
    std::pair<std::string, std::string> result;
    if (!tokens.empty()) result.first = tokens[0];
    if (tokens.size() > 1) result.second = tokens[1];
    return result;
}

SPRenderDescriptionText ParseDescription(const std::uint8_t* data, int size) {
    SPRenderDescriptionText text;
    CPTextReader reader(data, size);
    if (!reader.ReadNextLine()) return text;
    // The header keeps its letter case: it names files.
    text.header = SplitKeyValue(reader.GetLine()).second;

    CPAnimationLibrary::Section* current = nullptr;
    while (reader.ReadNextLine()) {
        if (!reader.IsValueLine()) {
            current = &text.sections[Lowered(reader.GetLine())];
            continue;
        }
        auto [key, value] = SplitKeyValue(reader.GetLine());
        ToLower(key);
        ToLower(value);
        if (key == "sprite")
            text.sprites.push_back(value);
        else if (key == "lod")
            text.lods.push_back(value);
        else if (key == "light")
            text.lights.push_back(value);
        else if (key == "linekeypoint")
            text.lineKeyPoints.push_back(value);
        else if (key == "psystem")
            text.particleSystems.push_back(value);
        else if (key == "linecolor")
            text.lineColour = value;
        else if (key == "description")
            text.description = value;
        else if (key == "shadowtextures")
            text.shadowTextures = value;
        else if (current)
            (*current)[key] = value;
    }
    return text;
}

// A "%x" reading: leading blanks, an optional sign and "0x", then hex digits up to the first
// other character. False when no digit is found (the caller keeps its colour). A value wider
// than 32 bits saturates.
bool ParseHexColour(const std::string& text, unsigned& out) {
    std::size_t i = 0;
    while (i < text.size() && IsTrimSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    // "0x" with no digit after it reads as the 0 before the x.
    bool any = false;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        any = true;
        i += 2;
    }
    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            break;
        any = true;
        value = std::min<std::uint64_t>(value * 16 + static_cast<std::uint64_t>(digit), 0xFFFFFFFFull);
    }
    if (!any) return false;
    unsigned result = static_cast<unsigned>(value);
    out = negative ? 0u - result : result;
    return true;
}

bool EndsWithP3d(const std::string& header) {
    if (header.size() < 3) return false;
    return Lowered(header.substr(header.size() - 3)) == "p3d";
}

void SetCentredBounds(CPGameObject& object, float halfSize) {
    object.SetBounds(CPOrientedBox(D3DXVECTOR3(0.0f, 0.0f, 0.0f), D3DXVECTOR3(halfSize, halfSize, halfSize)));
}

// The sprite of a 13-field entry, without its object's parent.
CPSmartPtr<CPGameObject> MakeFullSprite(const SPFields& f, bool withBounds, bool clearStatic) {
    CPSmartPtr<CPGameObject> object(new CPGameObject(f[0]));
    if (clearStatic) object->SetStaticRecursive(false);
    const float size = f.Float(4);
    if (withBounds) SetCentredBounds(*object, size);
    CPSmartPtr<CPSprite> sprite(new CPSprite(size));
    if (!f[9].empty()) sprite->SetCone(D3DXVECTOR3(f.Float(6), f.Float(7), f.Float(8)), f.Float(9));
    if (!f[10].empty()) sprite->SetHalfHeight(f.Float(10) * sprite->GetHalfWidth());
    if (!f[11].empty()) sprite->SetVShift(f.Float(11));
    if (g_lensflare != 0 && !f[12].empty()) {
        sprite->SetName(f[12]);
        EnsureLensFlarePool(f[12]);
    }
    sprite->SetOwner(object.Get());
    object->SetAttachment(CPSmartPtr<IPMMObject>(sprite), IPSceneObject::KindSprite);
    object->SetCastsShadow(false);
    object->SetPosition(f.Float(1), f.Float(2), f.Float(3));
    return object;
}

// The parent of a sprite of a mesh-file or empty description: the named object, else the root.
void AdoptSprite(const CPSmartPtr<CPGameObject>& root, const CPSmartPtr<CPGameObject>& object,
                 const std::string& parent) {
    if (!root) return;
    if (!parent.empty())
        if (CPSmartPtr<CPGameObject> found = root->FindObject(parent)) {
            found->AddChild(object);
            return;
        }
    root->AddChild(object);
}

void BuildLights(const SPRenderDescriptionText& text, const CPSmartPtr<CPGameObject>& root) {
    for (const std::string& entry : text.lights) {
        const SPFields f(entry);
        CPSmartPtr<CPGameObject> object(new CPGameObject(f[0]));
        CPSmartPtr<CPLight> light(new CPLight());
        light->SetOwner(object.Get());
        object->SetAttachment(CPSmartPtr<IPMMObject>(light), IPSceneObject::KindLight);
        object->SetCastsShadow(false);
        D3DLIGHT9& record = light->Record();
        record.Type = D3DLIGHT_POINT;
        const D3DCOLORVALUE colour{f.Float(6), f.Float(7), f.Float(8), 0.0f};
        record.Diffuse = record.Specular = record.Ambient = colour;
        record.Attenuation0 = 0.0f;
        record.Attenuation1 = f.Float(9);
        record.Attenuation2 = 0.0f;
        record.Range = f.Float(10);
        SetCentredBounds(*object, record.Range);
        object->SetPosition(f.Float(3), f.Float(4), f.Float(5));
        if (!root) continue;
        if (f[1] == root->GetName())
            root->AddChild(object);
        else if (CPSmartPtr<CPGameObject> found = root->FindObject(f[1]))
            found->AddChild(object);
    }
}

bool IsSnow(const std::string& name) { return name == "snow" || name == "snow2" || name == "snow3"; }

void BuildParticleSystems(const SPRenderDescriptionText& text, const CPSmartPtr<CPGameObject>& root) {
    for (const std::string& entry : text.particleSystems) {
        const SPFields f(entry);
        if (g_weather == 0 && IsSnow(f[0])) continue;
        CPSmartPtr<CPGameObject> object(new CPGameObject(f[0]));
        const std::vector<std::string> names(f.fields.begin() + std::min<std::size_t>(6, f.fields.size()),
                                             f.fields.end());
        CPSmartPtr<CPParticleSystem> system(new CPParticleSystem(object.Get(), names));
        system->SetInterval(f.Float(5));
        object->SetAttachment(CPSmartPtr<IPMMObject>(system), IPSceneObject::KindParticles);
        object->SetCastsShadow(false);
        SetCentredBounds(*object, 0.5f);
        object->SetPosition(f.Float(2), f.Float(3), f.Float(4));
        if (!root) continue;
        if (f[1] == root->GetName())
            root->AddChild(object);
        else if (CPSmartPtr<CPGameObject> child = root->GetChild(f[1]))
            child->AddChild(object);
    }
}

// Scope of one load in the chain of nested loads.
class LoadChainEntry {
public:
    LoadChainEntry(std::vector<std::string>& chain, std::string name) : m_chain(chain) {
        m_chain.push_back(std::move(name));
    }
    ~LoadChainEntry() { m_chain.pop_back(); }
    LoadChainEntry(const LoadChainEntry&) = delete;
    LoadChainEntry& operator=(const LoadChainEntry&) = delete;

private:
    std::vector<std::string>& m_chain;
};

void AddLevelsOfDetail(CPAnimationLibrary& library, const CPSmartPtr<CPGameObject>& root,
                       const std::vector<std::string>& lods, int renderKeyBase) {
    std::vector<std::string>& chain = library.LoadChain();
    root->AddLevelOfDetail(root, 0);
    for (const std::string& entry : lods) {
        const SPFields f(entry);
        CPSmartPtr<CPGameObject> object;
        const std::string lodName = Lowered(f[0]);
        const bool inChain = std::find(chain.begin(), chain.end(), lodName) != chain.end();
        if (lodName != "null" && !inChain && chain.size() < kMaxNestedLoads && g_nestedLoads < kMaxNestedLoadsPerLoad) {
            ++g_nestedLoads;
            object = library.LoadRenderDescription(f[0], renderKeyBase);
        }
        root->AddLevelOfDetail(object, f.Int(1));
    }
}

CPSmartPtr<CPGameObject> BuildAnimatedSet(CPAnimationLibrary& library, const std::string& name,
                                          const std::vector<std::string>& headerTokens, SPRenderDescriptionText& text,
                                          int renderKeyBase) {
    CPSmartPtr<CPGameObject> root;
    for (std::size_t i = 1; i < headerTokens.size(); ++i) {
        const SPFields f(headerTokens[i]);
        library.SetCurrentAnimationFile(f[1]);
        CPFileReader reader(kMeshFolder + f[1]);
        if (FAILED(reader.Load())) continue;
        if (!root) {
            root = library.ReadAnimationNodeFile(reader, text.sections, renderKeyBase, f[0], root);
            if (root) root->SetRenderDescriptionName(name);
        } else {
            library.ReadAnimationNodeFile(reader, text.sections, renderKeyBase, f[0], root);
        }
        if (root) root->UpdateTransform();
    }

    if (root) AddLevelsOfDetail(library, root, text.lods, renderKeyBase);

    for (const std::string& entry : text.sprites) {
        const SPFields f(entry);
        CPSmartPtr<CPGameObject> object(new CPGameObject(f[0]));
        const float size = f.Float(4);
        CPSmartPtr<CPSprite> sprite(new CPSprite(size));
        sprite->SetOwner(object.Get());
        object->SetAttachment(CPSmartPtr<IPMMObject>(sprite), IPSceneObject::KindSprite);
        object->SetCastsShadow(false);
        object->SetStaticRecursive(false);
        SetCentredBounds(*object, size);
        object->SetPosition(f.Float(1), f.Float(2), f.Float(3));
        library.ApplyObjectDescription(object, text.sections[f[0]], renderKeyBase);
        if (!root) continue;
        const std::string& parent = f[5];
        if (parent.empty() || parent == root->GetName())
            root->AddChild(object);
        else if (CPSmartPtr<CPGameObject> found = root->FindObject(parent))
            found->AddChild(object);
    }
    return root;
}

CPSmartPtr<CPGameObject> BuildEmpty(CPAnimationLibrary& library, SPRenderDescriptionText& text, int renderKeyBase) {
    CPSmartPtr<CPGameObject> root(new CPGameObject("empty"));
    for (const std::string& entry : text.sprites) {
        const SPFields f(entry);
        CPSmartPtr<CPGameObject> object = MakeFullSprite(f, true, false);
        library.ApplyObjectDescription(object, text.sections[f[0]], renderKeyBase);
        AdoptSprite(root, object, f[5]);
    }
    return root;
}

CPSmartPtr<CPGameObject> BuildMeshFile(CPAnimationLibrary& library, const std::string& name,
                                       SPRenderDescriptionText& text, int renderKeyBase) {
    const std::string& header = text.header;
    const bool p3d = EndsWithP3d(header);
    library.SetLastMeshFile(Lowered(header));

    // A header too short to end in an extension names no file.
    CPSmartPtr<CPGameObject> root;
    if (header.size() >= 3) {
        CPFileReader reader(kMeshFolder + header);
        if (SUCCEEDED(reader.Load())) {
            bool hasMatrixTable = false;
            root = library.ReadMeshFile(reader, text.sections, renderKeyBase, name, p3d, hasMatrixTable);
            if (root) {
                root->SetRenderDescriptionName(name);
                if (hasMatrixTable) root->UpdateTransform();
            }
        }
    }

    if (root) {
        for (const std::string& entry : text.lineKeyPoints) {
            const SPFields f(entry);
            root->LineKeyPoints().push_back(D3DXVECTOR3(f.Float(0), f.Float(1), f.Float(2)));
        }
        unsigned colour = 0;
        if (!text.lineColour.empty() && ParseHexColour(text.lineColour, colour)) root->SetLineColour(colour);
    }

    for (const std::string& entry : text.sprites) {
        const SPFields f(entry);
        CPSmartPtr<CPGameObject> object = MakeFullSprite(f, false, true);
        library.ApplyObjectDescription(object, text.sections[f[0]], renderKeyBase);
        AdoptSprite(root, object, f[5]);
    }

    BuildLights(text, root);
    if (root) AddLevelsOfDetail(library, root, text.lods, renderKeyBase);
    BuildParticleSystems(text, root);
    return root;
}

} // namespace

CPSmartPtr<CPGameObject> CPAnimationLibrary::LoadRenderDescription(const std::string& name, int renderKeyBase) {
    if (m_loadChain.empty() && !m_inFallback) g_nestedLoads = 0;
    CPFileReader file(kMeshFolder + name);
    if (FAILED(file.Load())) {
        m_shadowTexturesActive = false;
        // The fall-back stands in once: a missing fall-back answers empty.
        if (m_inFallback || Lowered(name) == kFallbackDescription) return CPSmartPtr<CPGameObject>();
        m_inFallback = true;
        CPSmartPtr<CPGameObject> fallback = LoadRenderDescription(kFallbackDescription, renderKeyBase);
        m_inFallback = false;
        return fallback;
    }

    SPRenderDescriptionText text = ParseDescription(file.GetData(), file.GetDataSize());
    const LoadChainEntry chainEntry(m_loadChain, Lowered(name));

    if (!text.shadowTextures.empty()) {
        const SPFields f(text.shadowTextures);
        SetShadowTextures(f[0], f[1], f[2]);
        m_shadowTexturesActive = true;
    }

    CPSmartPtr<CPGameObject> root;
    const std::vector<std::string> headerTokens = SplitTokens(text.header, ";", true);
    if (!headerTokens.empty() && headerTokens[0] == "anim")
        root = BuildAnimatedSet(*this, name, headerTokens, text, renderKeyBase);
    else if (text.header == "empty")
        root = BuildEmpty(*this, text, renderKeyBase);
    else
        root = BuildMeshFile(*this, name, text, renderKeyBase);

    if (root && !text.description.empty()) {
        root->SetDescriptionFile(text.description);
        root->LoadDescription();
    }
    m_shadowTexturesActive = false;
    return root;
}
