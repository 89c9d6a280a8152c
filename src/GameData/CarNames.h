#pragma once
// The cars' two names: the model stem a career stores (and a racer carries) and the name of the
// car's description. One table serves both directions.

#include <optional>
#include <string>
#include <string_view>

// The description name of a model stem; any other text is its own description name.
std::string CarDescriptionName(std::string_view stem);
// The model stem of a description name; nothing for a name outside the table.
std::optional<std::string> CarStemOfDescription(std::string_view description);
