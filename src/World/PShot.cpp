#include "World/PShot.h"

#include <algorithm>
#include <cmath>

#include "Framework/PStringSplitter.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PRenderObject.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "Sound/NSoundCache.h"

CPShot::CPShot(const std::string& name) : CPGameObject("CPShot"), shotName(name) {
    renderPart = CPSmartPtr<CPRenderObject>(new CPRenderObject(this));
    SetAttachment(CPSmartPtr<IPMMObject>(renderPart.Get()), KindMesh);
}

CPShot::~CPShot() { ForgetAsOwner(renderPart.Get()); }

bool CPShot::ParseParams(const std::vector<std::string>& params) {
    if (params.empty()) return true;
    soundFile = params.back();
    CPStringSplitter splitter(soundFile, ",", true);
    std::string file;
    std::string mode;
    splitter.NextToken(file);
    splitter.NextToken(mode);
    soundFile = file;
    if (soundFile == "none") return true;
    sound2D = mode == "2d";
    CPSmartPtr<CNSound> loaded;
    if (CNSoundCache* cache = CNSoundCache::GetInstance()) cache->GetOrLoad(loaded, soundFile, sound2D ? 0 : 1, false);
    // A file that cannot be loaded leaves the shot silent.
    sound = loaded;
    return true;
}

D3DXQUATERNION CPShot::LaunchRotation(const D3DXVECTOR3& direction) {
    D3DXQUATERNION rotation(0.0f, 0.0f, 0.0f, 1.0f);
    const float length = D3DXVec3Length(&direction);
    if (!(length > 0.0f) || !std::isfinite(length)) return rotation;
    const D3DXVECTOR3 n = direction / length;
    const D3DXVECTOR3 axis(n.z, 0.0f, -n.x);
    if (D3DXVec3LengthSq(&axis) < 1e-12f) {
        // Along -y the shot is already turned; along +y a half turn about x.
        if (n.y > 0.0f) rotation = D3DXQUATERNION(1.0f, 0.0f, 0.0f, 0.0f);
        return rotation;
    }
    const float angle = -std::acos(std::clamp(-n.y, -1.0f, 1.0f));
    D3DXQuaternionRotationAxis(&rotation, &axis, angle);
    return rotation;
}

void CPShot::Launch(const D3DXVECTOR3& position, const D3DXVECTOR3& direction, float launchSpeed,
                    const CPSmartPtr<CPGameObject>& owner, const float* speedReference) {
    (void)owner;
    (void)speedReference;
    speed = launchSpeed;
    shotPosition = position;
    shotDirection = direction;
    SetRotation(LaunchRotation(direction));
    if (!sound) return;
    if (!sound2D)
        if (CNAudio* audio = CNAudio::GetInstance())
            audio->SetSoundPosition(sound, position, D3DXVECTOR3(0.0f, 0.0f, 0.0f));
    sound->Stop();
    sound->Rewind();
    sound->Play(0, 0);
}
