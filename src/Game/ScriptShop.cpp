#include "Game/ScriptShop.h"

#include <algorithm>

#include "Game/ScriptApi.h"
#include "GameData/CarNames.h"
#include "GameData/PGameData.h"
#include "Script/ScriptBinding.h"

namespace ScriptApi {

namespace {

using Script::ScriptBind;
using Script::ScriptBindCall;
using Script::ScriptCall;
using Script::Arg::String;

constexpr int kSuperWeaponLimit = 3;

// The record of a catalog name; null when the catalog lacks it (the function then answers no
// values).
template <class Record>
const Record* Find(const SPCatalog<Record>& catalog, const std::optional<std::string>& name) {
    if (!name) return nullptr;
    const auto found = catalog.byName.find(*name);
    return found == catalog.byName.end() ? nullptr : &found->second;
}

template <class Record, class PushValues>
void PushInfo(ScriptCall& call, SPCatalog<Record> CPGameData::*catalog, const std::optional<std::string>& name,
              PushValues pushValues) {
    CPGameData* data = GetGameData();
    if (!data) return;
    const Record* record = Find(data->*catalog, name);
    if (!record) return;
    call.PushString(data->GetText(record->nameKey));
    call.PushNumber(record->price);
    pushValues(*record);
    call.PushString(data->GetText(record->descriptionKey));
    call.PushNumber(record->level);
}

void GetWeaponInfo(ScriptCall& call, const std::optional<std::string>& name) {
    PushInfo(call, &CPGameData::weaponCatalog, name, [&call](const SPWeaponInfo& r) {
        for (double v : {double(r.value1), double(r.value2), double(r.value3), double(r.value4), double(r.value5),
                         double(r.value6), double(r.value7), double(r.value8)})
            call.PushNumber(v);
    });
}

void GetMineInfo(ScriptCall& call, const std::optional<std::string>& name) {
    PushInfo(call, &CPGameData::mineCatalog, name, [&call](const SPMineInfo& r) {
        for (double v : {double(r.value1), double(r.value2), double(r.value3), double(r.value4), double(r.value5),
                         double(r.value6), double(r.value7)})
            call.PushNumber(v);
    });
}

void GetSuperWeaponInfo(ScriptCall& call, const std::optional<std::string>& name) {
    PushInfo(call, &CPGameData::superWeaponCatalog, name, [](const SPSuperWeaponInfo&) {});
}

template <class Record, SPCatalog<Record> CPGameData::*Catalog>
void GetOneValueInfo(ScriptCall& call, const std::optional<std::string>& name) {
    PushInfo(call, Catalog, name, [&call](const Record& r) { call.PushNumber(r.value1); });
}

void GetEngineInfo(ScriptCall& call, const std::optional<std::string>& name) {
    PushInfo(call, &CPGameData::engineCatalog, name, [&call](const SPEngineInfo& r) {
        for (float v : r.values) call.PushNumber(v);
    });
}

// The names of a catalog's items offered now, in catalog order, without the excluded ones.
template <class Record>
void PushNames(ScriptCall& call, const SPCatalog<Record>& catalog, const CPGameData& data,
               std::initializer_list<const std::string*> excluded) {
    std::vector<const std::string*> names;
    const int level = data.AvailabilityLevel();
    for (const auto& item : catalog.items) {
        // Not a structured binding: the lambda below captures the name, which clang 14 refuses.
        const std::string& name = item.first;
        if (item.second.level > level) continue;
        if (std::any_of(excluded.begin(), excluded.end(), [&](const std::string* e) { return *e == name; })) continue;
        names.push_back(&name);
    }
    call.PushNumber(static_cast<double>(names.size()));
    call.PushTable([&names](ScriptCall::TableBuilder& table) {
        for (const std::string* name : names) table.AddString(*name);
    });
}

void PushNoNames(ScriptCall& call) {
    call.PushNumber(0);
    call.PushTable([](ScriptCall::TableBuilder&) {});
}

void GetWeaponNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data) return PushNoNames(call);
    const SPCarSettings& car = data->editedCar;
    PushNames(call, data->weaponCatalog, *data, {&car.weapons[0], &car.weapons[1], &car.weapons[2]});
}

void GetMineNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data) return PushNoNames(call);
    PushNames(call, data->mineCatalog, *data, {&data->editedCar.mine});
}

void GetSuperWeaponNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data || data->editedCar.superWeaponCount >= kSuperWeaponLimit) return PushNoNames(call);
    PushNames(call, data->superWeaponCatalog, *data, {});
}

void GetBumperNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data) return PushNoNames(call);
    PushNames(call, data->bumperCatalog, *data, {&data->editedCar.bumper});
}

void GetEquipmentNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data) return PushNoNames(call);
    const SPCarSettings& car = data->editedCar;
    PushNames(call, data->equipmentCatalog, *data, {&car.equipment[0], &car.equipment[1]});
}

void GetArmorNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data) return PushNoNames(call);
    PushNames(call, data->armorCatalog, *data, {&data->editedCar.armor});
}

void GetEngineNames(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    if (!data) return PushNoNames(call);
    PushNames(call, data->engineCatalog, *data, {&data->editedCar.engine});
}

void PushCar(ScriptCall& call, const SPCarSettings& car) {
    for (const std::string& weapon : car.weapons) call.PushString(weapon);
    for (const std::string& equipment : car.equipment) call.PushString(equipment);
    call.PushString(car.bumper);
    call.PushString(car.engine);
    call.PushString(car.armor);
    call.PushString(car.superWeapon);
    call.PushNumber(car.superWeaponCount);
    call.PushString(car.mine);
}

void GetCarInfo(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    PushCar(call, data ? data->editedCar : SPCarSettings{});
}

void GetRealCarInfo(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    PushCar(call, data ? data->realCar : SPCarSettings{});
}

void SetCarInfo(ScriptCall& call) {
    CPGameData* data = GetGameData();
    if (!data) return;
    auto text = [&call](int i) { return call.String(i).value_or(""); };
    SPCarSettings car;
    car.weapons = {text(1), text(2), text(3)};
    car.equipment = {text(4), text(5)};
    car.bumper = text(6);
    car.engine = text(7);
    car.armor = text(8);
    car.superWeapon = text(9);
    car.superWeaponCount = call.Integer(10);
    car.mine = text(11);
    data->SetCarSettings(car);
}

void CommitCarSettings(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->CommitCarSettings();
}

void AutoSetting(ScriptCall&) {
    if (CPGameData* data = GetGameData()) data->AutoSetting();
}

void IsValidGameDataName(ScriptCall& call, const std::optional<std::string>& name) {
    const CPGameData* data = GetGameData();
    call.PushBoolean(data && name && data->IsCatalogName(*name));
}

void GetActiveCar(ScriptCall& call) {
    const CPGameData* data = GetGameData();
    call.PushString(CarDescriptionName(data ? data->playerName : std::string()));
}

} // namespace

void AddShopFunctions(Script::ScriptFunctionTables& tables) {
    static const Script::ScriptFunction kSecond[] = {
        {"GetWeaponInfo", ScriptBind<GetWeaponInfo, String>},
        {"GetMineInfo", ScriptBind<GetMineInfo, String>},
        {"GetSuperWeaponInfo", ScriptBind<GetSuperWeaponInfo, String>},
        {"GetBumperInfo", ScriptBind<GetOneValueInfo<SPBumperInfo, &CPGameData::bumperCatalog>, String>},
        {"GetEquipmentInfo", ScriptBind<GetOneValueInfo<SPEquipmentInfo, &CPGameData::equipmentCatalog>, String>},
        {"GetArmorInfo", ScriptBind<GetOneValueInfo<SPArmorInfo, &CPGameData::armorCatalog>, String>},
        {"GetEngineInfo", ScriptBind<GetEngineInfo, String>},
        {"GetWeaponNames", ScriptBind<GetWeaponNames>},
        {"GetMineNames", ScriptBind<GetMineNames>},
        {"GetSuperWeaponNames", ScriptBind<GetSuperWeaponNames>},
        {"GetBumperNames", ScriptBind<GetBumperNames>},
        {"GetEquipmentNames", ScriptBind<GetEquipmentNames>},
        {"GetArmorNames", ScriptBind<GetArmorNames>},
        {"GetEngineNames", ScriptBind<GetEngineNames>},
        {"GetCarInfo", ScriptBind<GetCarInfo>},
        {"SetCarInfo", ScriptBindCall<SetCarInfo>},
        {"CommitCarSettings", ScriptBind<CommitCarSettings>},
        {"AutoSetting", ScriptBind<AutoSetting>},
        {"IsValidGameDataName", ScriptBind<IsValidGameDataName, String>},
        {"GetActiveCar", ScriptBind<GetActiveCar>},
    };
    static const Script::ScriptFunction kThird[] = {
        {"GetRealCarInfo", ScriptBind<GetRealCarInfo>},
    };
    tables.Add(kSecondTable, kSecond);
    tables.Add(kThirdTable, kThird);
}

} // namespace ScriptApi
