// The starting car configuration and the difficulty coefficients.

#include "GameData/PGameData.h"

#include "Framework/PFileReader.h"
#include "Framework/PSettings.h"
#include "Framework/PTextReader.h"
#include "Platform/System/NumberText.h"

namespace {

// The non-empty lines of a text file as the engine's text reader gives them, at most maxLines.
// False when the file cannot be read.
bool ReadDataLines(const char* path, std::size_t maxLines, std::vector<std::string>& out) {
    out.clear();
    CPFileReader reader(path, false);
    if (reader.Load() != 0) return false;
    CPTextReader lines(reader.GetData(), reader.GetDataSize());
    std::string line;
    while (out.size() < maxLines && lines.ReadLine(line)) out.push_back(line);
    return true;
}

} // namespace

void CPGameData::LoadPlayer() {
    enum : std::size_t {
        kWeapon1, kWeapon2, kWeapon3, kMine, kArmor, kBumper, kEngine, kSuperWeapon, kSuperCount,
        kEquipment1, kEquipment2, kLineCount
    };
    std::vector<std::string> lines;
    ReadDataLines("DATA\\player.dat", kLineCount, lines);
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
    if (!ReadDataLines("DATA\\coeff.dat", coefficients.size(), lines)) return;
    lines.resize(coefficients.size());
    for (std::size_t i = 0; i < coefficients.size(); ++i) coefficients[i] = Platform::ParseFloat(lines[i]);
}
