#pragma once
// The wheels the car looks for among a racer's children, for racers made in code.

#include <cstdio>

#include "Scene/PGameObject.h"

namespace kxtest {

// Children "w0", "w1", ... at the corners of a 1.8 x 2.8 rectangle (front pair first), 0.2 below
// the body's centre; `count` of them, four for a whole car.
inline void AddWheels(CPGameObject& body, int count = 4) {
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "w%d", i);
        CPSmartPtr<CPGameObject> wheel(new CPGameObject(name));
        wheel->SetPosition((i % 2 == 0) ? -0.9f : 0.9f, (i < 2) ? -1.4f : 1.4f, -0.2f);
        body.AddChild(wheel);
    }
}

} // namespace kxtest
