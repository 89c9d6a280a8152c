#include "World/PEnemy.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include <tinyxml.h>

#include "Framework/CommandRouter.h"
#include "Framework/PStringSplitter.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Platform/System/NumberText.h"
#include "Platform/System/Random.h"
#include "Scene/PGameObject.h"
#include "Sound/NAudio.h"
#include "Sound/NSound.h"
#include "World/PCombatQueries.h"
#include "World/PLevel.h"
#include "World/PPlayer.h"
#include "World/PShot.h"
#include "World/PShotManager.h"
#include "World/PWorldTables.h"

namespace {

// The enemy attacks at most this many different blows.
constexpr int kMaxMelee = 2;

float Uniform() { return static_cast<float>(Platform::EngineRand()) / static_cast<float>(Platform::ENGINE_RAND_MAX); }

void Spawn(const std::string& name, const D3DXVECTOR3& position, const D3DXVECTOR3& direction) {
    if (CPShotManager* manager = CPShotManager::GetInstance()) manager->Spawn(name, position, direction, -1.0f);
}

D3DXVECTOR3 Normalised(const D3DXVECTOR3& v) {
    const float length = D3DXVec3Length(&v);
    return length > 0.0f && std::isfinite(length) ? v / length : v;
}

// The direction turned away from itself by the angle about a direction chosen by phi.
D3DXVECTOR3 Scatter(const D3DXVECTOR3& direction, float angle, float phi) {
    // Two unit vectors across the direction.
    const D3DXVECTOR3 helper = std::fabs(direction.z) < 0.9f ? D3DXVECTOR3(0, 0, 1) : D3DXVECTOR3(1, 0, 0);
    D3DXVECTOR3 u;
    D3DXVec3Cross(&u, &direction, &helper);
    u = Normalised(u);
    D3DXVECTOR3 v;
    D3DXVec3Cross(&v, &direction, &u);
    const D3DXVECTOR3 axis = u * std::cos(phi) + v * std::sin(phi);
    D3DXMATRIX turn;
    D3DXMatrixRotationAxis(&turn, &axis, angle);
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &direction, &turn);
    return out;
}

D3DXVECTOR3 Turned(const D3DXVECTOR3& v, const D3DXMATRIX& m) {
    D3DXVECTOR3 out;
    D3DXVec3TransformNormal(&out, &v, &m);
    return out;
}

// Attribute readers: a missing or bad value keeps what is there.
void ReadNumber(const TiXmlElement& element, const char* name, float& value) {
    const char* text = element.Attribute(name);
    float parsed = 0.0f;
    if (text && ParseTableNumber(text, parsed)) value = parsed;
}

void ReadInt(const TiXmlElement& element, const char* name, int& value) {
    const char* text = element.Attribute(name);
    int parsed = 0;
    if (text && ParseTableInt(text, parsed)) value = parsed;
}

void ReadText(const TiXmlElement& element, const char* name, std::string& value) {
    if (const char* text = element.Attribute(name)) value = text;
}

void ReadFlag(const TiXmlElement& element, const char* name, bool& value) {
    const char* text = element.Attribute(name);
    if (!text) return;
    const std::string word = text;
    if (word == "1" || word == "true" || word == "yes" || word == "on") value = true;
    if (word == "0" || word == "false" || word == "no" || word == "off") value = false;
}

// "x,y,z": all three finite numbers, or the value stays.
void ReadVector(const TiXmlElement& element, const char* name, D3DXVECTOR3& value) {
    const char* text = element.Attribute(name);
    if (!text) return;
    const std::vector<std::string> parts = SplitTokens(text, ",", false);
    if (parts.size() != 3) return;
    D3DXVECTOR3 parsed;
    if (!ParseTableNumber(parts[0], parsed.x) || !ParseTableNumber(parts[1], parsed.y) ||
        !ParseTableNumber(parts[2], parsed.z))
        return;
    value = parsed;
}

class CPEnemyRecordMaker final : public IPEnemyMaker {
public:
    std::unique_ptr<IPEnemyHooks> Make(CPGameObject& object) override { return MakeEnemyRecord(object); }
};

CPEnemyRecordMaker g_enemyMaker;

} // namespace

CPEnemy::CPEnemy(CPGameObject& owner) : object(&owner) {}

CPEnemy::~CPEnemy() = default;

void CPEnemy::Read(const TiXmlElement& element) {
    ReadText(element, "name", name);
    ReadText(element, "kind", kind);
    ReadNumber(element, "health", health);
    ReadInt(element, "reward", reward);
    ReadText(element, "effect", effectName);
    ReadFlag(element, "gibs", gibs);
    ReadNumber(element, "gibheight", gibHeight);
    ReadFlag(element, "ignoredamage", ignoresDamage);
    if (const char* report = element.Attribute("deathreport")) deathReportOff = std::strcmp(report, "off") == 0;
    ReadInt(element, "fireframe", fireReportFrame);
    ReadVector(element, "muzzle", muzzleOffset);
    D3DXVECTOR3 facing = referenceFacing;
    ReadVector(element, "facing", facing);
    // A facing without length cannot be turned onto anything: the default stays.
    if (D3DXVec3Length(&facing) > 0.0f) referenceFacing = Normalised(facing);
    if (const char* hit = element.Attribute("hit1")) sounds["hit1"] = hit;
    if (const char* hit = element.Attribute("hit2")) sounds["hit2"] = hit;

    int meleeRead = 0;
    for (const TiXmlElement* child = element.FirstChildElement("melee"); child && meleeRead < kMaxMelee;
         child = child->NextSiblingElement("melee")) {
        SPMeleeRecord& record = melee[++meleeRead];
        ReadInt(*child, "frame", record.reportFrame);
        ReadVector(*child, "reach", record.reach);
        ReadVector(*child, "push", record.push);
        ReadNumber(*child, "impulse", record.impulse);
        ReadNumber(*child, "damage", record.damage);
    }
    meleeCount = std::max(1, meleeRead);
    for (const TiXmlElement* child = element.FirstChildElement("state"); child;
         child = child->NextSiblingElement("state")) {
        const char* numberText = child->Attribute("number");
        const char* valueText = child->Attribute("value");
        int number = 0;
        int value = 0;
        if (!numberText || !valueText || !ParseTableInt(numberText, number) || !ParseTableInt(valueText, value))
            continue;
        stateMap[number] = value;
    }
}

void CPEnemy::PlayAnimation(const std::string& animationName, bool once, bool force, int reportFrame) {
    if (animation.name == animationName && !force) return;
    SPAnimationRequest request;
    request.name = animationName;
    request.speed = 1.0f;
    request.loopLimit = 0;
    request.reportFrame = -1;
    request.timeOffset = 0.0f;
    if (once) {
        request.loopLimit = 1;
        request.reportFrame = reportFrame;
    }
    animation = request;
    object->SetAnimation(request, false);
}

D3DXVECTOR3 CPEnemy::Forward() const {
    D3DXMATRIX rotation;
    const D3DXQUATERNION q = object->GetRotationQuaternion();
    D3DXMatrixRotationQuaternion(&rotation, &q);
    return Turned(D3DXVECTOR3(0.0f, -1.0f, 0.0f), rotation);
}

D3DXMATRIX CPEnemy::FacingTurn() const {
    D3DXVECTOR3 d = Forward();
    d.z = 0.0f;
    d = Normalised(d);
    const float dot = D3DXVec3Dot(&d, &referenceFacing);
    float angle = std::fabs(dot) < 0.0001f ? 0.0f : std::acos(std::clamp(dot, -1.0f, 1.0f));
    D3DXVECTOR3 cross;
    D3DXVec3Cross(&cross, &referenceFacing, &d);
    if (cross.z < 0.0f) angle = -angle;
    D3DXMATRIX turn;
    D3DXMatrixRotationZ(&turn, angle);
    return turn;
}

void CPEnemy::OnAnimationReport() {
    if (animation.name == "melee1") {
        Melee(1);
    } else if (animation.name == "melee2") {
        Melee(2);
    } else if (animation.name == "fire") {
        Fire();
    }
}

void CPEnemy::Melee(int n) {
    const SPMeleeRecord& record = melee[n];
    const D3DXVECTOR3 e = object->GetPosition();
    const D3DXMATRIX m = FacingTurn();
    const D3DXVECTOR3 h = e + Turned(record.reach, m);
    const D3DXVECTOR3 push = Turned(record.push, m);
    if (n == 1 && kind == "explosion") {
        // A self-destroying enemy goes off whether the player is in reach or not.
        Spawn("rocket_exp2", h, D3DXVECTOR3(0.0f, 0.0f, 1.0f));
        stateValue = StateOf(4);
        stateTimer = 0.0f;
        ReportDeath();
        return;
    }
    CPLevel* level = CPLevel::GetInstance();
    CPGameObject* player = level ? level->player : nullptr;
    if (!player) return;
    D3DXVECTOR3 toPlayer = Normalised(player->GetPosition() - e);
    SPRayPick pick;
    pick.origin = D3DXVECTOR3(e.x, e.y, 1.5f);
    pick.direction = Normalised(D3DXVECTOR3(toPlayer.x, toPlayer.y, 0.0f));
    pick.distance = D3DXVec3Length(&record.reach);
    pick.excluded = object;
    if (D3DXVec3Length(&pick.direction) <= 0.0f) return;
    CombatRayTest(pick);
    if (pick.hitOwner.Get() != player) return;
    PlayHitSound(n == 1 ? "hit1" : "hit2");
    if (auto* racer = dynamic_cast<CPPlayer*>(player)) racer->ApplyImpulseAt(h, push * record.impulse);
    player->NotifyDamage(h, h, record.damage, false, false);
}

void CPEnemy::Fire() {
    CPLevel* level = CPLevel::GetInstance();
    CPGameObject* player = level ? level->player : nullptr;
    if (!player) return;
    const D3DXVECTOR3 q = object->GetPosition() + Turned(muzzleOffset, FacingTurn());
    const D3DXVECTOR3 aim = Normalised(player->GetPosition() + D3DXVECTOR3(0.0f, 0.0f, 0.3f) - q);
    if (kind == "hmgun") {
        const float angle = Uniform() * 0.1f;
        const float phi = Uniform() * 2.0f * D3DX_PI;
        Spawn("trasser22", q, Scatter(aim, angle, phi));
    } else if (kind == "rocket") {
        std::string shot = "plazma_shot2";
        if (++rocketCounter == 3) {
            shot = Platform::EngineRand() % 2 == 0 ? "srocket2" : "plazma_shot2";
            rocketCounter = 0;
        }
        Spawn(shot, q, aim);
    } else if (kind == "plasma") {
        Spawn("plazma_shot2", q, aim);
    } else if (kind == "mgun" || kind == "lgun") {
        Spawn("trasser21", q, aim);
    } else if (kind == "shotgun") {
        for (int i = 0; i < 8; ++i) {
            const float angle = Uniform() * 0.4f;
            const float phi = Uniform() * 2.0f * D3DX_PI;
            Spawn("trasser23", q, Scatter(aim, angle, phi));
        }
    }
}

void CPEnemy::OnAnimationStopped() {
    const std::string stopped = animation.name;
    if (stopped == "melee1" || stopped == "melee2") {
        // The record holds two blows whatever a caller wrote into the count.
        const int n = Platform::EngineRand() % std::clamp(meleeCount, 1, kMaxMelee) + 1;
        meleeName = Platform::FormatC("melee%d", n);
        PlayAnimation(meleeName, true, true, melee[n].reportFrame);
    } else if (stopped == "fire") {
        if (firing == 1) PlayAnimation("fire", true, true, fireReportFrame);
    } else if (stopped == "fire_in") {
        PlayAnimation("fire", true, true, fireReportFrame);
        firing = 1;
    } else if (stopped == "fire_out") {
        stateTimer = 0.0f;
        stateValue = StateOf(1);
        firing = 0;
    } else if (stopped == "death1" || stopped == "death2") {
        // The body stays, but rays pass through it.
        object->SetCollision(false);
    }
}

void CPEnemy::PlayHitSound(const std::string& key) {
    CNAudio* audio = CNAudio::GetInstance();
    if (!audio) return;
    CPSmartPtr<CNSound> sound = audio->GetSound(sounds[key]);
    if (!sound) return;
    if (sound->IsPlaying()) {
        sound->Stop();
        sound->Rewind();
    }
    sound->Play(0, 0);
}

void CPEnemy::ReportDeath() {
    if (deathReported || deathReportOff) return;
    const D3DXVECTOR3& p = object->GetPosition();
    RouteCommandByCategory("level", "enemy_death",
                           name + "," +
                               Platform::FormatC("%.2f,%.2f,%.2f", static_cast<double>(p.x), static_cast<double>(p.y),
                                                 static_cast<double>(p.z)));
    deathReported = true;
}

void CPEnemy::OnDamage(const D3DXVECTOR3& point, const D3DXVECTOR3& direction, float amount, bool noEffect,
                       bool silent) {
    if (ignoresDamage) return;
    // Only an oily enemy feels a silent hit.
    if (silent && effectName != "oil1") return;
    health -= amount;
    if (!noEffect) Spawn(effectName, point, -direction * amount);
    if (health > 0.0f) return;
    if (!deathDone) {
        if (CPGameData* data = GetGameData()) {
            data->money += static_cast<float>(reward);
            RouteCommandByName("gamemenu", "change_money", Platform::FormatC("%.2f", static_cast<double>(data->money)));
            ++data->kills;
        }
        if (gibs && effectName == "blood1") {
            object->SetVisible(false);
            const D3DXVECTOR3 origin = object->GetPosition() + D3DXVECTOR3(0.0f, 0.0f, gibHeight);
            const int count = Platform::EngineRand() % 5 + 5;
            for (int i = 0; i < count; ++i) {
                const float yaw = Uniform() * 2.0f * D3DX_PI;
                const float pitch = Uniform() * 2.0f * D3DX_PI;
                const float roll = Uniform() * 2.0f * D3DX_PI;
                D3DXMATRIX turn;
                D3DXMatrixRotationYawPitchRoll(&turn, yaw, pitch, roll);
                const char* gib = Platform::EngineRand() % 2 == 1 ? "gib1" : "gib2";
                Spawn(gib, origin, Turned(D3DXVECTOR3(0.0f, 0.0f, 1.0f), turn));
            }
        }
        ReportDeath();
        deathDone = true;
    }
    stateValue = StateOf(4);
    stateTimer = 0.0f;
}

std::unique_ptr<IPEnemyHooks> MakeEnemyRecord(CPGameObject& object) {
    const TiXmlElement* root = object.GetDescription().RootElement();
    if (!root) return nullptr;
    const TiXmlElement* element = root->ValueStr() == "enemy" ? root : root->FirstChildElement("enemy");
    if (!element) return nullptr;
    auto record = std::make_unique<CPEnemy>(object);
    record->Read(*element);
    return record;
}

IPEnemyMaker& GetEnemyRecordMaker() { return g_enemyMaker; }
