#include "GameData/CarNames.h"

#include <array>
#include <utility>

namespace {

// Spelled as the car files are named.
constexpr std::array<std::pair<std::string_view, std::string_view>, 6> kCarNames = {{
    {"audi_tt", "audi_tt"},
    {"bmw", "bmw_i745"},
    {"gaz_3110_main", "gaz_z110"},
    {"volswagen_toureg", "volk_t"},
    {"uaz", "uaz_469"},
    {"zil_130_", "zil_130"},
}};

} // namespace

std::string CarDescriptionName(std::string_view stem) {
    for (const auto& [s, description] : kCarNames)
        if (s == stem) return std::string(description);
    return std::string(stem);
}

std::optional<std::string> CarStemOfDescription(std::string_view description) {
    for (const auto& [stem, d] : kCarNames)
        if (d == description) return std::string(stem);
    return std::nullopt;
}
