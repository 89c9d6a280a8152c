#include "Scene/PAnimationLibrary.h"

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/StringUtils.h"
#include "Platform/Math/D3DXMath.h"

namespace {

CPAnimationLibrary* g_animationLibrary = nullptr;

// A key: its time and its twelve matrix values.
constexpr int kPartKeyBytes = 13 * 4;

} // namespace

CPAnimationLibrary::CPAnimationLibrary() { g_animationLibrary = this; }

CPAnimationLibrary::~CPAnimationLibrary() {
    if (g_animationLibrary == this) g_animationLibrary = nullptr;
}

CPAnimationLibrary* CPAnimationLibrary::Instance() { return g_animationLibrary; }

void CPAnimationLibrary::SetShadowTextures(const std::string& folder, const std::string& textureSuffix,
                                           const std::string& effectSuffix) {
    m_shadowTextureFolder = folder;
    m_shadowTextureSuffix = textureSuffix;
    m_shadowEffectSuffix = effectSuffix;
}

void CPAnimationLibrary::LoadPartAnimations(const std::string& file, PPartAnimationMap& animations) {
    CPFileReader reader("Data\\Animations\\" + file);
    if (FAILED(reader.Load())) return;

    // Everything is read first and entered only when the whole file holds: a broken file adds
    // nothing rather than a part of its records.
    PPartAnimationMap loaded;
    std::vector<std::string> order;
    const int partCount = reader.ReadInt();
    bool broken = reader.IsFailed();
    for (int part = 0; !broken && part < partCount; ++part) {
        std::string name = reader.ReadString();
        ToLower(name);
        const int keyCount = reader.ReadInt();
        if (reader.IsFailed() || (keyCount > 0 && keyCount > reader.GetRemaining() / kPartKeyBytes)) {
            broken = true;
            break;
        }
        std::vector<D3DXMATRIX> keys;
        std::vector<float> times;
        if (keyCount > 0) {
            keys.reserve(static_cast<std::size_t>(keyCount));
            times.reserve(static_cast<std::size_t>(keyCount));
        }
        for (int key = 0; key < keyCount; ++key) {
            times.push_back(reader.ReadFloat());
            D3DXMATRIX matrix;
            D3DXMatrixIdentity(&matrix);
            // Stored column by column; the fourth column stays (0, 0, 0, 1).
            for (int column = 0; column < 3; ++column)
                for (int row = 0; row < 4; ++row) matrix.m[row][column] = reader.ReadFloat();
            keys.push_back(matrix);
        }
        CPSmartPtr<CPPartAnimation> animation(new CPPartAnimation());
        animation->SetKeys(keys, times);
        loaded[name] = animation;
        order.push_back(name);
    }
    if (broken || reader.IsFailed()) {
        CPLog::Instance().Print(0, "Part animations: \"%s\" is broken and was not read", reader.GetPath().c_str());
        return;
    }
    for (const std::string& name : order) animations[name] = loaded[name];
}
