// The race head-up display. An interface argument that is not an interface makes a function do
// nothing; element and text names the layout lacks are skipped.

#include "Game/ScriptRaceHud.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>

#include "Framework/CommandRouter.h"
#include "Framework/PApplication.h"
#include "Framework/PSettings.h"
#include "Game/PEditBox.h"
#include "Game/PInterface.h"
#include "Game/ScriptApi.h"
#include "GameData/PGameData.h"
#include "Platform/Math/D3DXMath.h"
#include "Render/PPerspectiveCamera.h"
#include "Render/PRender.h"
#include "Render/PRenderBlock.h"
#include "Scene/PAnimationLibrary.h"
#include "Scene/PGameObject.h"
#include "Script/ScriptBinding.h"
#include "World/PLevel.h"
#include "World/PMiniMap.h"
#include "World/PPlayer.h"
#include "World/PRaceCamera.h"

namespace ScriptApi {
namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
namespace Arg = Script::Arg;
using Interface = Arg::Object<CPInterface>;
using Racer = Arg::Object<CPPlayer>;
using SceneObject = Arg::Object<CPGameObject>;
using Text = std::optional<std::string>;

constexpr double kDegrees = 3.14159265358979323846 / 180.0;
constexpr int kArrowKeyBase = 200;

template <class... Values>
std::string Format(const char* format, Values... values) {
    char buffer[64];
    std::snprintf(buffer, sizeof(buffer), format, values...);
    return buffer;
}

CPPlayer* Player() {
    CPLevel* level = CPLevel::GetInstance();
    return level ? level->player : nullptr;
}

void Show(CPInterface& ui, const std::string& name, bool visible) {
    if (CPWindow* element = ui.FindElement(name)) element->SetVisible(visible);
}

// Replaces the stored text and prints it, as "SetText" does.
void Print(CPInterface& ui, const std::string& name, const std::string& text) {
    if (g_appClosing) return;
    SPTextEntry* entry = ui.FindText(name);
    if (!entry) return;
    entry->text = text;
    PrintIntoEntry(*entry, entry->font, text);
}

// Places the element where the slot element stands and shows it. The slot's stored position is
// already on the screen's scale (the layout loader scaled it): scaling it again as
// "SetWindowPosition" scales layout units put the icons beside their slots at every screen size
// but 1024 wide.
void MoveToSlotAndShow(CPInterface& ui, const std::string& name, const std::string& slot) {
    CPWindow* element = ui.FindElement(name);
    CPWindow* target = ui.FindElement(slot);
    if (!element) return;
    if (target) element->SetPosition(target->GetX(), target->GetY());
    element->SetVisible(true);
}

// v x count, rounded half up: truncated, plus one when the rest is a half or more.
int RoundHalfUp(float value) {
    const int whole = Script::TruncateToInt(value);
    return value - static_cast<float>(whole) >= 0.5f ? whole + 1 : whole;
}

// ---- loading bar and needles --------------------------------------------------------------

void InitWarning(ScriptCall&, double percent) {
    if (CPRender* render = GetRender()) render->DrawLoadingScreen(std::clamp(Script::TruncateToInt(percent), 0, 100));
}

void CreateArrow(ScriptCall& call, Text name, double offset) {
    CPAnimationLibrary* library = CPAnimationLibrary::Instance();
    // The key saturates rather than wrap when a script passes an offset near the int range's end.
    const long long key = static_cast<long long>(kArrowKeyBase) + Script::TruncateToInt(offset);
    const int renderKey = static_cast<int>(std::clamp<long long>(key, INT_MIN, INT_MAX));
    const CPSmartPtr<CPGameObject> root =
        library ? library->LoadRenderDescription(name ? *name : "", renderKey) : nullptr;
    if (root)
        call.PushReferencedObject(root.Get());
    else
        call.PushObject(nullptr);
}

// Turns the needle about z by the angle (degrees) at the layout position, and hands the needle
// (not its children) to this frame's render block.
void DrawNeedle(CPGameObject* arrow, double x, double y, double degrees) {
    CPRender* render = GetRender();
    CPSmartPtr<CPRenderBlock> block = render ? render->GetRenderBlock() : nullptr;
    if (!arrow || !block) return;
    D3DXMATRIX rotation, translation, frame;
    D3DXMatrixRotationZ(&rotation, Script::NarrowToFloat(degrees * kDegrees));
    D3DXMatrixTranslation(&translation, Script::NarrowToFloat(x * g_screenWidth / 1024.0),
                          Script::NarrowToFloat(y * g_interfaceScale), 0.0f);
    D3DXMatrixMultiply(&frame, &rotation, &translation);
    arrow->SetParentWorldMatrix(frame);
    arrow->UpdateTransform();
    block->AddObject(arrow);
}

void DrawArrow(ScriptCall&, CPGameObject* arrow, double x, double y) {
    CPLevel* level = CPLevel::GetInstance();
    DrawNeedle(arrow, x, y, level ? level->playerSpeed * 1.8f + 47.0f : 0.0f);
}

void DrawArrow2(ScriptCall&, CPGameObject* arrow, double x, double y, double value) {
    DrawNeedle(arrow, x, y, (Script::NarrowToFloat(value) + 1.0f) * 30.5f - 44.0f);
}

// ---- health bars --------------------------------------------------------------------------

void GetHelthBarCoord(ScriptCall& call, CPPlayer* racer) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    auto offScreen = [&call] {
        call.PushNumber(-100.0);
        call.PushNumber(-100.0);
        call.PushNumber(0.0);
    };
    CPSmartPtr<CPCamera> camera = level->GetCamera();
    CPSmartPtr<CPPerspectiveCamera> view = camera ? camera->GetViewCamera() : nullptr;
    if (!racer || !view) return offScreen();

    D3DXVECTOR3 look = view->target - view->eye;
    D3DXVECTOR3 toRacer = racer->GetPosition() - view->eye;
    D3DXVec3Normalize(&look, &look);
    D3DXVec3Normalize(&toRacer, &toRacer);
    const float dot = std::clamp(D3DXVec3Dot(&look, &toRacer), -1.0f, 1.0f);
    if (!(std::acos(dot) <= view->fieldOfView)) return offScreen();

    // The racer's box at half its size about its centre, projected; a local copy.
    const CPBoundingBox& box = racer->GetVisibleBounds();
    const D3DXVECTOR3 half = box.halfSize * 0.5f;
    float minX = 0.0f, minY = 0.0f;
    bool first = true;
    for (int corner = 0; corner < 8; ++corner) {
        const D3DXVECTOR3 p(box.centre.x + ((corner & 1) ? half.x : -half.x),
                            box.centre.y + ((corner & 2) ? half.y : -half.y),
                            box.centre.z + ((corner & 4) ? half.z : -half.z));
        D3DXVECTOR4 projected;
        D3DXVec3Transform(&projected, &p, &view->GetViewProjection());
        const float px = projected.x / projected.w;
        const float py = -(projected.y / projected.w);
        if (first || px < minX) minX = px;
        if (first || py < minY) minY = py;
        first = false;
    }
    call.PushNumber((minX + 1.0f) * static_cast<float>(g_screenWidth) * 0.5f);
    call.PushNumber((minY + 1.0f) * static_cast<float>(g_screenHeight) * 0.5f);
    call.PushNumber((100.0f - racer->damage) * 0.47001317f);
}

// ---- readouts and icons -------------------------------------------------------------------

void UpdateScore(ScriptCall&, CPInterface* ui, double score) {
    if (ui) Print(*ui, "score", Format("%05d", Script::TruncateToInt(score)));
}

void UpdateTime(ScriptCall&, CPInterface* ui) {
    CPLevel* level = CPLevel::GetInstance();
    if (!ui || !level) return;
    const float timeLeft = level->timeLeft;
    const int minutes = Script::TruncateToInt(timeLeft * 0.016666668f);
    const int seconds = Script::TruncateToInt(timeLeft - static_cast<float>(minutes) * 60.0f);
    Print(*ui, "time", Format("%02d:%02d", minutes, seconds));
    if (CPPlayer* player = level->player) {
        const int lit = RoundHalfUp(player->engineTemperature * 12.0f);
        for (int i = 1; i <= 12; ++i) Show(*ui, Format("overheat%d", i), i <= lit);
    }
    CPGameData* data = GetGameData();
    Print(*ui, "kills", Format("%05d", data ? data->kills : 0));
    ui->RebuildBatch();
}

void InitGameInterface(ScriptCall&, CPInterface* ui) {
    CPGameData* data = GetGameData();
    if (!ui || !data) return;
    static const char* const kHidden[] = {
        "krest",    "steel",  "steelfibre", "titan",     "energy",   "engine1",       "engine2",      "engine3",
        "analyzer", "repair", "laser",      "bullets",   "firerate", "damage",        "regeneration", "analyzer2",
        "repair2",  "laser2", "bullets2",   "firerate2", "damage2",  "regeneration2", "noequipment1", "noequipment2",
    };
    for (const char* name : kHidden) Show(*ui, name, false);
    const SPCarSettings& car = data->realCar;
    Show(*ui, car.armor.empty() ? std::string("krest") : car.armor, true);
    if (!car.engine.empty()) Show(*ui, car.engine, true);
    Show(*ui, car.equipment[0].empty() ? std::string("noequipment1") : car.equipment[0], true);
    Show(*ui, car.equipment[1].empty() ? std::string("noequipment2") : car.equipment[1] + "2", true);
}

const char* PointerOfWeaponKind(int kind) {
    switch (kind) {
    case 0:
    case 1:
    case 2:
    case 6: return "bullet";
    case 3:
    case 4: return "rocket";
    case 5:
    case 7: return "plazma";
    case 8: return "shotgun";
    default: return nullptr;
    }
}

void UpdateGameInterface(ScriptCall&, CPInterface* ui) {
    CPGameData* data = GetGameData();
    CPPlayer* player = Player();
    if (!ui || !data || !player) return;
    static const char* const kWeapons[] = {"lgun",        "lgun2x", "gauss",       "shotgun",
                                           "mgun",        "mgun2x", "hmgun",       "rlauncher",
                                           "ssrlauncher", "plasma", "firethrower", "autoshotgun"};
    for (const char* name : kWeapons) {
        Show(*ui, name, false);
        Show(*ui, std::string(name) + "_off", false);
    }
    static const char* const kOthers[] = {"contact",  "emcontact", "timer",  "nocontact", "emnocontact", "cassette",
                                          "no_mina",  "mines",     "slot1",  "slot2",     "slot3",       "nosuper1",
                                          "nosuper2", "nosuper3",  "super1", "super2",    "super3"};
    for (const char* name : kOthers) Show(*ui, name, false);

    const SPCarSettings& car = data->realCar;
    for (int i = 1; i <= 3; ++i) Show(*ui, Format(car.superWeaponCount < i ? "nosuper%d" : "super%d", i), true);

    Print(*ui, "life", Format("%03d", Script::TruncateToInt(player->health)));

    for (int k = 1; k <= 3; ++k) {
        const std::string& weapon = car.weapons[static_cast<std::size_t>(k - 1)];
        const std::string slot = Format("slot%d", k);
        if (weapon.empty())
            Show(*ui, slot, true);
        else
            MoveToSlotAndShow(*ui, player->weaponSlot == k - 1 ? weapon : weapon + "_off", slot);
    }

    if (player->hasMines) {
        Show(*ui, "mines", true);
        const int count = player->mineInfo.value4;
        Print(*ui, "mines", Format("%02d", Script::TruncateToInt(count * static_cast<double>(player->mineFactor))));
        MoveToSlotAndShow(*ui, player->mineElement, "no_mina");
    } else {
        Show(*ui, "no_mina", true);
        Print(*ui, "mines", "00");
    }

    // A slot index outside the three slots has no ammunition to show.
    const int slot = player->weaponSlot;
    const float ammo = slot >= 0 && slot < 3 ? player->ammo[slot] : 0.0f;
    const int bullets = RoundHalfUp(ammo * 17.0f);
    for (int i = 1; i <= 17; ++i) Show(*ui, Format("bullet%d", i), i <= bullets);

    if (const char* pointer = PointerOfWeaponKind(player->weaponKind)) ui->SetCursor(pointer);
    ui->RebuildBatch();
}

// ---- checkpoint hint and standings --------------------------------------------------------

// The mini map's hint target: with an object the map holds it, shows its hint arrow and its
// checkpoint marker and makes the arrow its current marker; without one it drops the current
// marker and hides the checkpoint marker (the arrow keeps its visibility).
void PointMiniMapAt(CPMiniMap& map, CPGameObject* target) {
    map.hintTarget = CPSmartPtr<CPGameObject>(target);
    if (target) {
        if (map.hintArrow) map.hintArrow->SetVisible(true);
        if (map.checkpointMarker) map.checkpointMarker->SetVisible(true);
        map.currentMarker = map.hintArrow;
    } else {
        map.currentMarker = nullptr;
        if (map.checkpointMarker) map.checkpointMarker->SetVisible(false);
    }
}

void ShowCheckPoint(ScriptCall&) {
    CPLevel* level = CPLevel::GetInstance();
    if (!level) return;
    CPMiniMap* map = level->miniMap.Get();
    if (level->hintCursor == level->checkpointHints.end()) {
        level->shownHint = nullptr;
        if (map) PointMiniMapAt(*map, nullptr);
        return;
    }
    CPSmartPtr<CPGameObject> model = level->hintCursor->model;
    level->shownHint = model;
    if (model) model->SetVisible(true);
    RouteCommandByCategory("main", "say_show", "");
    ++level->hintCursor;
    if (map) PointMiniMapAt(*map, model.Get());
}

void SetPlayersPanel(ScriptCall& call) {
    CPGameData* data = GetGameData();
    if (!CPLevel::GetInstance() || !data) return;
    // Of equal keys the first entered stays (the insert of a present key is dropped).
    std::map<long long, std::string> standings;
    for (int k = 0; k <= 10; ++k) {
        const std::string name = std::to_string(k);
        const SPLapRecord& record = data->racerLaps[name];
        standings.emplace(static_cast<long long>(record.currentLap) * record.progressKey, name);
    }
    standings.emplace(static_cast<long long>(data->playerLap.currentLap) * data->playerLap.progressKey, "11");
    call.PushTable([&standings](ScriptCall::TableBuilder& table) {
        for (auto it = standings.rbegin(); it != standings.rend(); ++it) table.AddString(it->second);
    });
}

} // namespace

void AddRaceHudFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"InitWarning", ScriptBind<InitWarning, Arg::Number>},
        {"CreateArrow", ScriptBind<CreateArrow, Arg::String, Arg::Number>},
        {"DrawArrow", ScriptBind<DrawArrow, SceneObject, Arg::Number, Arg::Number>},
        {"DrawArrow2", ScriptBind<DrawArrow2, SceneObject, Arg::Number, Arg::Number, Arg::Number>},
        {"GetHelthBarCoord", ScriptBind<GetHelthBarCoord, Racer>},
        {"SetPlayersPanel", ScriptBind<SetPlayersPanel>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"UpdateScore", ScriptBind<UpdateScore, Interface, Arg::Number>},
        {"UpdateTime", ScriptBind<UpdateTime, Interface>},
        {"ShowCheckPoint", ScriptBind<ShowCheckPoint>},
        {"InitGameInterface", ScriptBind<InitGameInterface, Interface>},
        {"UpdateGameInterface", ScriptBind<UpdateGameInterface, Interface>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
