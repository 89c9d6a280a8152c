#include "World/PAITask.h"

#include <iterator>

#include "World/PPlayer.h"

AI_Vehicle::~AI_Vehicle() = default;

void AI_Vehicle::SetLine(int kind, CPLine* piece) {
    switch (kind) {
    case 0: currentPiece = piece; break;
    case 1: rightPiece = piece; break;
    case 2: centrePiece = piece; break;
    default: break;
    }
}

CPSmartPtr<CPPlayer> AI_Vehicle::GetRacer() const { return racer; }

AI_Task* AI_Task::s_instance = nullptr;

AI_Task::AI_Task() {
    s_instance = this;
    AddRacerDrivers(kRacerSlots);
}

AI_Task::~AI_Task() {
    if (s_instance == this) s_instance = nullptr;
}

void AI_Task::ClearVehicles() {
    racerDrivers.clear();
    trafficDrivers.clear();
}

void AI_Task::AddRacerDrivers(int count) {
    for (int i = 0; i < count; ++i) racerDrivers.push_back(CPSmartPtr<AI_Vehicle>(new AI_Vehicle()));
}

void AI_Task::AddTrafficDrivers(int count) {
    for (int i = 0; i < count; ++i) trafficDrivers.push_back(CPSmartPtr<AI_Vehicle>(new AI_Vehicle()));
}

AI_Vehicle* AI_Task::GetVehicle(int slot) const {
    const std::list<CPSmartPtr<AI_Vehicle>>* list = nullptr;
    int index = 0;
    if (slot >= 0 && slot < kRacerSlots) {
        list = &racerDrivers;
        index = slot;
    } else if (slot >= kFirstTrafficSlot) {
        list = &trafficDrivers;
        index = slot - kFirstTrafficSlot;
    }
    if (!list || index >= static_cast<int>(list->size())) return nullptr;
    return std::next(list->begin(), index)->Get();
}

void AI_Task::SetVehicleLine(int slot, int kind, CPLine* piece) {
    if (AI_Vehicle* vehicle = GetVehicle(slot)) vehicle->SetLine(kind, piece);
}
