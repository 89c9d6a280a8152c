// What the race world gives the application at start-up.
#include <gtest/gtest.h>

#include "Framework/PMMObject.h"
#include "Framework/StartupRegistry.h"
#include "Scene/PGameObject.h"
#include "Scene/SceneInterfaces.h"
#include "World/PPhysicData.h"
#include "World/PPhysics.h"
#include "World/RaceWorldStartup.h"

namespace {

TEST(RaceWorldStartup, MakesThePhysicsTaskAndPhysicsData) {
    SPStartupRegistry registry;
    InstallRaceWorld(registry);
    ASSERT_TRUE(registry.createPhysicsTask);
    {
        CPSmartPtr<IPTask> task = registry.createPhysicsTask();
        ASSERT_TRUE(task);
        EXPECT_EQ(task->GetClassName(), "CPPhysics");
        EXPECT_EQ(CPPhysics::GetInstance(), dynamic_cast<CPPhysics*>(task.Get()));
        EXPECT_EQ(task->GetPriority(), 5000);
    }
    IPPhysicDataMaker* maker = GetPhysicDataMaker();
    ASSERT_NE(maker, nullptr);
    CPSmartPtr<CPGameObject> object(new CPGameObject("o"));
    CPSmartPtr<IPPhysicData> data = maker->Make(object.Get());
    auto* physicData = dynamic_cast<CPPhysicData*>(data.Get());
    ASSERT_NE(physicData, nullptr);
    EXPECT_EQ(physicData->GetOwner(), object.Get());
    EXPECT_EQ(physicData->GetClassName(), "CPPhysicData");
    EXPECT_EQ(physicData->GetSize(), 4200);
    SetPhysicDataMaker(nullptr);
    data = nullptr;
    object = nullptr;
    for (int i = 0; i < 4; ++i) IPMMObject::CollectGarbage();
    EXPECT_EQ(CPPhysics::GetInstance(), nullptr);
}

} // namespace
