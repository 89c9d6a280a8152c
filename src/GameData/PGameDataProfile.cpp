// The starting car configuration and the difficulty coefficients.

#include "GameData/PGameData.h"

#include "Framework/PSettings.h"
#include "Framework/PTextReader.h"
#include "Platform/System/NumberText.h"

void CPGameData::LoadPlayer() {
    enum : std::size_t {
        kWeapon1,
        kWeapon2,
        kWeapon3,
        kMine,
        kArmor,
        kBumper,
        kEngine,
        kSuperWeapon,
        kSuperCount,
        kEquipment1,
        kEquipment2,
        kLineCount
    };
    std::vector<std::string> lines;
    ReadTextFileLines("DATA\\player.dat", lines, kLineCount);
    lines.resize(kLineCount); // missing lines read as empty

    // Only the exact word marks an empty slot; "None" is an item name like any other.
    auto name = [&lines](std::size_t i) { return lines[i] == "none" ? std::string() : lines[i]; };

    SPCarSettings settings;
    settings.weapons[0] = name(kWeapon1);
    settings.weapons[1] = name(kWeapon2);
    settings.weapons[2] = name(kWeapon3);
    settings.mine = name(kMine);
    settings.armor = name(kArmor);
    settings.bumper = name(kBumper);
    settings.engine = name(kEngine);
    settings.superWeapon = name(kSuperWeapon);
    settings.superWeaponCount = Platform::ParseInt(lines[kSuperCount]);
    settings.equipment[0] = name(kEquipment1);
    settings.equipment[1] = name(kEquipment2);

    SetCarSettings(settings);
    CommitCarSettings();
}

void CPGameData::LoadCoefficients() {
    if (g_cam_speed != 0 && hardMode) {
        coefficients.fill(1.0f);
        return;
    }
    std::vector<std::string> lines;
    if (!ReadTextFileLines("DATA\\coeff.dat", lines, coefficients.size())) return;
    lines.resize(coefficients.size());
    for (std::size_t i = 0; i < coefficients.size(); ++i) coefficients[i] = Platform::ParseFloat(lines[i]);
}
