#include "support/FreshStore.h"

namespace kxtest {

FreshGameData::FreshGameData(bool loadStrings) : m_data(std::make_unique<CPGameData>()) {
    if (loadStrings) m_data->LoadStrings();
}

FreshGameData::~FreshGameData() = default;

} // namespace kxtest
