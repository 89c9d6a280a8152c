#include "World/PLevel.h"

#include "Scene/PGameObject.h"

CPLevel* CPLevel::s_instance = nullptr;

CPLevel::CPLevel() { s_instance = this; }

CPLevel::~CPLevel() {
    if (s_instance == this) s_instance = nullptr;
}
