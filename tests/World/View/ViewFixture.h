#pragma once
// A level with a race camera and a human racer whose car stands on a flat road, for the tests of
// the camera, the mini map and the light sources.

#include <memory>

#include "Framework/PGlobalTimer.h"
#include "Framework/PSettings.h"
#include "Sound/NSound.h"
#include "World/Car/CarWorldFixture.h"
#include "World/PLevel.h"
#include "World/PRaceCamera.h"

namespace kxview {

struct ViewWorld : kxcar::CarWorld {
    ViewWorld() {
        g_deltaTime = 0.0f;
        g_timeScale = 1.0f;
        CNSound::SetGlobalFrequencyFactor(1.0f);
        level = std::make_unique<CPLevel>();
        camera = CPSmartPtr<CPCamera>(new CPCamera());
        level->camera = camera;
        human = MakeRacer("", true);
        level->humanRacer = human;
        level->player = human.Get();
    }
    ~ViewWorld() override {
        level.reset();
        camera = nullptr;
        human = nullptr;
        g_deltaTime = 0.0f;
        g_timeScale = 1.0f;
        CNSound::SetGlobalFrequencyFactor(1.0f);
    }

    // A following camera with harmless dividers.
    void Follow() {
        camera->active = true;
        camera->angleDiv = 100.0f;
        camera->distanceDiv = 100.0f;
        camera->distance = camera->targetDistance = camera->smoothedDistance = 7.0f;
        camera->fov = camera->targetFov = 60.0f;
    }

    // Runs the camera's frame with the scaled frame time.
    void Step(float dt) {
        g_deltaTime = dt;
        camera->Update();
    }

    std::unique_ptr<CPLevel> level;
    CPSmartPtr<CPCamera> camera;
    CPSmartPtr<CPPlayer> human;
};

} // namespace kxview
