// Object descriptions: one section of a render description applied to one freshly built scene
// object (materials, flags, script, vertex effects, static buffers, part animations).

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "Framework/PFileReader.h"
#include "Framework/PStringSplitter.h"
#include "Platform/System/NumberText.h"
#include "Render/PEffectManager.h"
#include "Render/PRender.h"
#include "Render/PRenderObject.h"
#include "Render/PSprite.h"
#include "Render/PVertexEffect.h"
#include "Scene/PAnimatedObject.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Scene/PPartAnimation.h"
#include "Scene/PVertexEffects.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"

namespace {

constexpr RenderKey kHoleyShadowKey = 16;
constexpr RenderKey kFireKey = 20;
const char* const kHoleyEffect = "holey.fx";
const char* const kHoleyShadowEffect = "holey_shadow.fx";
const char* const kFireSuffix = "_fire.tga";

const std::string* Find(const CPAnimationLibrary::Section& section, const char* key) {
    auto it = section.find(key);
    return it == section.end() ? nullptr : &it->second;
}

// A data file that the file layer would find: loose in any letter case or inside a mounted pack.
bool DataFileExists(const std::string& path) { return CPFileReader(path).Find(); }

// type + base without overflow: a sum beyond the int range saturates.
RenderKey AddRenderKeys(int type, int base) {
    const std::int64_t sum = static_cast<std::int64_t>(type) + base;
    if (sum > INT_MAX) return INT_MAX;
    if (sum < INT_MIN) return INT_MIN;
    return static_cast<RenderKey>(sum);
}

CPSmartPtr<CPMaterial> Material(RenderKey key, const std::string& effect, const std::vector<std::string>& textures) {
    CPSmartPtr<CPMaterial> material;
    if (CPEffectManager* manager = GetEffectManager()) manager->GetMaterial(material, key, effect, textures);
    return material;
}

void AttachVertexEffects(CPGameObject& object, const std::string& value) {
    for (const std::string& entry : SplitTokens(value, ";", true)) {
        const std::vector<std::string> words = SplitTokens(entry, " ", true);
        const std::string kind = words.empty() ? std::string() : words[0];
        const std::string parameters = words.size() > 1 ? words[1] : std::string();
        CPVertexEffect* effect = CreateVertexEffect(kind, SplitTokens(parameters, ",", true));
        if (!effect) continue;
        IPMMObject* attachment = object.GetAttachment().Get();
        switch (object.GetKind()) {
        case IPSceneObject::KindMesh:
            if (auto* mesh = dynamic_cast<CPRenderObject*>(attachment)) {
                mesh->AddVertexEffect(effect);
                if (mesh->GetOwner()) mesh->GetOwner()->SetStatic(false);
                continue;
            }
            break;
        case IPSceneObject::KindAnimated:
            if (auto* animated = dynamic_cast<CPAnimatedObject*>(attachment)) {
                animated->AddVertexEffect(effect);
                if (animated->GetOwner()) animated->GetOwner()->SetStatic(false);
                continue;
            }
            break;
        case IPSceneObject::KindSprite:
            if (auto* sprite = dynamic_cast<CPSprite*>(attachment)) {
                sprite->AddVertexEffect(effect);
                continue;
            }
            break;
        default: break;
        }
        delete effect;
    }
}

// Each matching object of the tree gets a track of its own: a shared track has one owner, and
// only that one would ever hear the track's end.
void AttachPartAnimations(CPAnimationLibrary& library, CPGameObject& object, const std::string& value) {
    std::vector<CPSmartPtr<CPGameObject>> tree;
    object.CollectTree(tree);
    for (const std::string& entry : SplitTokens(value, ";", true)) {
        const std::vector<std::string> fields = SplitTokens(entry, ",", true);
        const std::string name = fields.empty() ? std::string() : fields[0];
        const std::string file = fields.size() > 1 ? fields[1] : std::string();
        PPartAnimationMap animations;
        library.LoadPartAnimations(file, animations);
        if (animations.empty()) continue;
        for (const CPSmartPtr<CPGameObject>& member : tree) {
            if (!member) continue;
            auto it = animations.find(member->GetName());
            if (it == animations.end() || !it->second) continue;
            CPSmartPtr<CPPartAnimation> track(new CPPartAnimation());
            track->CopyKeys(it->second);
            track->SetOwner(member.Get());
            member->AddPartAnimation(name, CPSmartPtr<IPTask>(track));
        }
    }
}

} // namespace

void CPAnimationLibrary::ApplyObjectDescription(const CPSmartPtr<CPGameObject>& objectHandle, Section& section,
                                                int renderKeyBase) {
    if (!objectHandle) return;
    CPGameObject& object = *objectHandle;

    // Reading these three enters them, empty, when they are absent.
    std::string effect = section["effectfile"];
    std::vector<std::string> textures{section["texturefile1"]};
    const std::string type = section["type"];
    for (const char* key : {"texturefile2", "texturefile3", "texturefile4"})
        if (const std::string* texture = Find(section, key)) textures.push_back(*texture);

    // A per-object shadow texture swaps in the effect's shadow variant, when both exist. An effect
    // name too short to hold ".fx" has no variant.
    if (m_shadowTexturesActive && effect.size() >= 3) {
        const std::string shadowTexture = m_shadowTextureFolder + "\\" + object.GetName() + m_shadowTextureSuffix;
        if (DataFileExists("Data\\Textures\\" + shadowTexture)) {
            const std::string shadowEffect = effect.substr(0, effect.size() - 3) + m_shadowEffectSuffix;
            if (DataFileExists("Data\\Effects\\" + shadowEffect)) {
                textures.push_back(shadowTexture);
                effect = shadowEffect;
            }
        }
    }

    const RenderKey key = AddRenderKeys(Platform::ParseInt(type), renderKeyBase);
    const CPSmartPtr<CPMaterial> material = Material(key, effect, textures);

    if (object.IsCastsShadow()) {
        if (effect == kHoleyEffect)
            object.SetShadowMaterial(Material(kHoleyShadowKey, kHoleyShadowEffect, textures));
        else if (CPRender* render = GetRender())
            object.SetShadowMaterial(render->GetShadowMaterial());
    }

    IPMMObject* attachment = object.GetAttachment().Get();
    switch (object.GetKind()) {
    case IPSceneObject::KindMesh:
        if (auto* mesh = dynamic_cast<CPRenderObject*>(attachment)) mesh->SetEffect(material);
        break;
    case IPSceneObject::KindAnimated:
        if (auto* animated = dynamic_cast<CPAnimatedObject*>(attachment)) animated->SetMaterial(material);
        break;
    case IPSceneObject::KindSprite:
        if (auto* sprite = dynamic_cast<CPSprite*>(attachment)) sprite->SetMaterial(material);
        break;
    default: break;
    }

    if (const std::string* value = Find(section, "visible")) object.SetVisible(Platform::ParseInt(*value) != 0);
    if (const std::string* value = Find(section, "shadow")) object.SetCastsShadow(Platform::ParseInt(*value) != 0);
    if (const std::string* value = Find(section, "param")) object.SetParameterText(*value);
    if (const std::string* value = Find(section, "collision")) object.SetCollision(Platform::ParseInt(*value) != 0);
    if (const std::string* value = Find(section, "flametype")) object.SetFlameType(Platform::ParseInt(*value));

    // The fire texture is named after the first texture's stem (up to its first point).
    const std::string& first = textures.front();
    const std::string fireTexture = first.substr(0, first.find('.')) + kFireSuffix;
    if (DataFileExists("Data\\Textures\\" + fireTexture))
        object.SetFireMaterial(Material(kFireKey, kHoleyEffect, {fireTexture}));

    if (const std::string* value = Find(section, "script")) {
        if (CPScriptManager* scripts = CPScriptManager::GetInstance()) object.SetScript(scripts->GetScript(*value));
    }

    if (const std::string* value = Find(section, "vertexeffect")) {
        AttachVertexEffects(object, *value);
    } else if (object.GetKind() == IPSceneObject::KindMesh) {
        // A static mesh draws from buffers of its own. When the renderer cannot make them it is
        // not fill-skipped: it still draws through the ring rather than not at all.
        auto* mesh = dynamic_cast<CPRenderObject*>(attachment);
        if (mesh && !mesh->IsFillSkipped() && mesh->SetStaticBuffer(m_lastMeshFile + object.GetName()))
            mesh->SetFillSkipped(true);
    }

    if (const std::string* value = Find(section, "animation")) AttachPartAnimations(*this, object, *value);
}
