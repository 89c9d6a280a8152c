// The shop catalogs and preset cars from "Data\catalogs.txt", and the shop's computations.
//
// The file is a text file of sections, one per catalog ("[weapons]", "[mines]",
// "[superweapons]", "[bumpers]", "[equipment]", "[armor]", "[engines]") and "[presets]". Each
// line is split at ";" (double quotes keep a field together). An item line gives its catalog
// name, then the record's fields in order; a preset line gives the eleven values of a car
// configuration (weapons 1-3, equipment 1-2, bumper, engine, armor, super weapon, super weapon
// count, mine), an empty field for an empty slot. Presets come three per mission, mission 1
// first.

#include <algorithm>
#include <functional>

#include "Framework/CommandRouter.h"
#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "GameData/PGameData.h"
#include "Platform/System/NumberText.h"

namespace {

constexpr const char* kCatalogFile = "Data\\catalogs.txt";
constexpr std::size_t kPresetFieldCount = 11;
constexpr int kPresetsPerMission = 3;

using Fields = std::vector<std::string>;

Fields Split(const std::string& line) {
    Fields fields;
    CPStringSplitter splitter(line, ";", true);
    std::string field;
    while (splitter.NextToken(field)) fields.push_back(field);
    // The splitter hands out no token after a final separator, but here it ends an empty field
    // (a preset without a mine).
    if (!line.empty() && line.back() == ';') fields.emplace_back();
    return fields;
}

int Int(const std::string& text) { return Platform::ParseInt(text); }
float Float(const std::string& text) { return Platform::ParseFloat(text); }

void Log(int line, const char* why, const std::string& text) {
    CPLog::Instance().Print(0, "%s line %d skipped (%s): %s\n", kCatalogFile, line, why, text.c_str());
}

// Adds a parsed record under its name, refusing a name the catalog already holds.
template <class Record>
bool AddItem(SPCatalog<Record>& catalog, const std::string& name, Record record) {
    if (catalog.byName.count(name)) return false;
    catalog.byName.emplace(name, record);
    catalog.items.emplace_back(name, std::move(record));
    return true;
}

SPWeaponInfo ParseWeapon(const Fields& f) {
    SPWeaponInfo r;
    r.nameKey = f[1];
    r.price = Int(f[2]);
    r.value1 = Int(f[3]);
    r.value2 = Float(f[4]);
    r.value3 = Int(f[5]);
    r.value4 = Float(f[6]);
    r.value5 = Float(f[7]);
    r.value6 = Int(f[8]);
    r.value7 = Float(f[9]);
    r.value8 = Float(f[10]);
    r.descriptionKey = f[11];
    r.level = Int(f[12]);
    return r;
}

SPMineInfo ParseMine(const Fields& f) {
    SPMineInfo r;
    r.nameKey = f[1];
    r.price = Int(f[2]);
    r.value1 = Int(f[3]);
    r.value2 = Float(f[4]);
    r.value3 = Float(f[5]);
    r.value4 = Int(f[6]);
    r.value5 = Float(f[7]);
    r.value6 = Float(f[8]);
    r.value7 = Float(f[9]);
    r.descriptionKey = f[10];
    r.level = Int(f[11]);
    return r;
}

SPSuperWeaponInfo ParseSuperWeapon(const Fields& f) { return {f[1], Int(f[2]), f[3], Int(f[4])}; }

template <class Record>
Record ParseOneValue(const Fields& f) {
    Record r;
    r.nameKey = f[1];
    r.price = Int(f[2]);
    r.value1 = Float(f[3]);
    r.descriptionKey = f[4];
    r.level = Int(f[5]);
    return r;
}

SPEngineInfo ParseEngine(const Fields& f) {
    SPEngineInfo r;
    r.nameKey = f[1];
    r.price = Int(f[2]);
    for (std::size_t i = 0; i < r.values.size(); ++i) r.values[i] = Float(f[3 + i]);
    r.descriptionKey = f[8];
    r.level = Int(f[9]);
    return r;
}

SPCarSettings ParsePreset(const Fields& f) {
    SPCarSettings s;
    s.weapons = {f[0], f[1], f[2]};
    s.equipment = {f[3], f[4]};
    s.bumper = f[5];
    s.engine = f[6];
    s.armor = f[7];
    s.superWeapon = f[8];
    s.superWeaponCount = Int(f[9]);
    s.mine = f[10];
    return s;
}

template <class Record>
bool Has(const SPCatalog<Record>& catalog, const std::string& name) {
    return name.empty() || catalog.byName.count(name) != 0;
}

template <class Record>
float PriceOf(const SPCatalog<Record>& catalog, const std::string& name) {
    if (name.empty()) return 0.0f;
    const auto found = catalog.byName.find(name);
    return found == catalog.byName.end() ? 0.0f : static_cast<float>(found->second.price);
}

} // namespace

bool CPGameData::LoadCatalogs() {
    weaponCatalog.Clear();
    mineCatalog.Clear();
    superWeaponCatalog.Clear();
    bumperCatalog.Clear();
    equipmentCatalog.Clear();
    armorCatalog.Clear();
    engineCatalog.Clear();
    presetCars.clear();

    CPFileReader file(kCatalogFile);
    if (file.Load() != S_OK) {
        CPLog::Instance().Print(0, "%s not found: the shop has no items and no presets\n", kCatalogFile);
        return false;
    }

    // Each section: its field count and how a line of it is added (false: a repeated name).
    struct Section {
        std::size_t fieldCount;
        std::function<bool(const Fields&)> add;
    };
    const std::unordered_map<std::string, Section> sections = {
        {"weapons", {13, [this](const Fields& f) { return AddItem(weaponCatalog, f[0], ParseWeapon(f)); }}},
        {"mines", {12, [this](const Fields& f) { return AddItem(mineCatalog, f[0], ParseMine(f)); }}},
        {"superweapons",
         {5, [this](const Fields& f) { return AddItem(superWeaponCatalog, f[0], ParseSuperWeapon(f)); }}},
        {"bumpers",
         {6, [this](const Fields& f) { return AddItem(bumperCatalog, f[0], ParseOneValue<SPBumperInfo>(f)); }}},
        {"equipment",
         {6, [this](const Fields& f) { return AddItem(equipmentCatalog, f[0], ParseOneValue<SPEquipmentInfo>(f)); }}},
        {"armor", {6, [this](const Fields& f) { return AddItem(armorCatalog, f[0], ParseOneValue<SPArmorInfo>(f)); }}},
        {"engines", {10, [this](const Fields& f) { return AddItem(engineCatalog, f[0], ParseEngine(f)); }}},
    };

    std::vector<std::pair<int, std::string>> presetLines;
    const Section* section = nullptr;
    bool inPresets = false;
    CPTextReader reader(file.GetData(), file.GetDataSize());
    while (reader.ReadNextLine()) {
        const std::string& line = reader.GetLine();
        const int lineNumber = reader.GetLineCounter();
        if (!reader.IsValueLine()) {
            const auto found = sections.find(line);
            section = found == sections.end() ? nullptr : &found->second;
            inPresets = line == "presets";
            if (!section && !inPresets) Log(lineNumber, "unknown section", line);
            continue;
        }
        if (inPresets) {
            // Checked once every catalog is read, wherever its section stands.
            presetLines.emplace_back(lineNumber, line);
            continue;
        }
        if (!section) {
            Log(lineNumber, "outside any section", line);
            continue;
        }
        const Fields fields = Split(line);
        if (fields.size() != section->fieldCount) {
            Log(lineNumber, "wrong number of fields", line);
            continue;
        }
        if (!section->add(fields)) Log(lineNumber, "name repeated in its catalog", line);
    }

    for (const auto& [lineNumber, line] : presetLines) {
        const Fields fields = Split(line);
        if (fields.size() != kPresetFieldCount) {
            Log(lineNumber, "wrong number of fields", line);
            continue;
        }
        const SPCarSettings preset = ParsePreset(fields);
        const bool known = Has(weaponCatalog, preset.weapons[0]) && Has(weaponCatalog, preset.weapons[1]) &&
                           Has(weaponCatalog, preset.weapons[2]) && Has(equipmentCatalog, preset.equipment[0]) &&
                           Has(equipmentCatalog, preset.equipment[1]) && Has(bumperCatalog, preset.bumper) &&
                           Has(engineCatalog, preset.engine) && Has(armorCatalog, preset.armor) &&
                           Has(superWeaponCatalog, preset.superWeapon) && Has(mineCatalog, preset.mine);
        if (!known) {
            Log(lineNumber, "names an item missing from its catalog", line);
            continue;
        }
        presetCars.push_back(preset);
    }
    for (int mission = 1; mission <= kLevelCount; ++mission) {
        if (presetCars.size() < static_cast<std::size_t>(kPresetsPerMission * mission)) {
            CPLog::Instance().Print(0, "%s: %zu presets, fewer than three for mission %d\n", kCatalogFile,
                                    presetCars.size(), mission);
            break;
        }
    }
    return true;
}

float CPGameData::GetSettingsPrice(const SPCarSettings& s) const {
    float price = 0.0f;
    for (const std::string& weapon : s.weapons) price += PriceOf(weaponCatalog, weapon);
    for (const std::string& equipment : s.equipment) price += PriceOf(equipmentCatalog, equipment);
    price += PriceOf(armorCatalog, s.armor);
    price += PriceOf(bumperCatalog, s.bumper);
    price += PriceOf(engineCatalog, s.engine);
    price += PriceOf(mineCatalog, s.mine);
    price += PriceOf(superWeaponCatalog, s.superWeapon) * static_cast<float>(s.superWeaponCount);
    return price;
}

bool CPGameData::AutoSetting() {
    const float budget = money + GetSettingsPrice(editedCar);
    if (currentMission < 1) return false;
    // Presets the file did not supply are skipped, so the search starts at the last one held:
    // counting down from a huge mission number would take minutes.
    const long long first = std::min(static_cast<long long>(kPresetsPerMission) * currentMission,
                                     static_cast<long long>(presetCars.size())) -
                            1;
    for (long long n = first; n >= 0; --n) {
        const SPCarSettings& preset = presetCars[static_cast<std::size_t>(n)];
        const float price = GetSettingsPrice(preset);
        if (price > budget) continue;
        editedCar = preset;
        SetMoney(budget - price);
        return true;
    }
    return false;
}

bool CPGameData::IsCatalogName(const std::string& name) const {
    return weaponCatalog.byName.count(name) || mineCatalog.byName.count(name) ||
           superWeaponCatalog.byName.count(name) || bumperCatalog.byName.count(name) ||
           equipmentCatalog.byName.count(name) || armorCatalog.byName.count(name) || engineCatalog.byName.count(name);
}
