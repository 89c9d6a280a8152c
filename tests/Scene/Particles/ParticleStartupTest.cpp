// The start-up place: with the particle manager installed, the application adds it at priority
// 9000 and the tables are loaded when it starts.
#include "Scene/ParticleStartup.h"
#include "Framework/Application/AppFakes.h"
#include "Scene/Particles/ParticleFixture.h"

namespace particletest {
namespace {

TEST(ParticleStartup, TheApplicationAddsTheManagerAt9000AndItLoadsTheTables) {
    apptest::CleanUpAfterRun();
    {
        kxtest::TempGameRoot root;
        root.Write("Data/particles.dat", "dust t.tga particle.fx 1 1 0 0 0\nsmoke t.tga particle.fx 2 2 1 0 0\n");
        root.Write("Data/spots.dat", "skid t.tga particle.fx 1 1 0 0 0\n");
        root.Write("Data/particlesystems.dat", "fire dust 1 1 0 1 1 0 0 0 1 0 0 0 0 0 0\n");
        root.Write("Data/flames.dat", "fire;0.5;3;1\n");
        apptest::Journal journal;
        SPStartupRegistry& registry = GetStartupRegistry();
        apptest::FillWithFakes(registry, journal);
        InstallParticleManager(registry);

        int priority = -1;
        bool running = false;
        std::size_t batches = 0, flames = 0;
        registry.getScript = [&](const std::string& name) {
            auto* task = new apptest::FakeTask(name, journal);
            task->onUpdate = [&] {
                for (const auto& t : CPTaskKernel::GetInstance()->ActiveTasks())
                    if (t->GetClassName() == "CPParticlesManager") {
                        priority = t->GetPriority();
                        running = t->IsRunning();
                    }
                if (CPParticlesManager* manager = GetParticlesManager()) {
                    batches = manager->GetBatchCount();
                    flames = manager->GetFlameTable().size();
                }
                CPTaskKernel::GetInstance()->KillAllTasks();
            };
            return CPSmartPtr<IPTask>(task);
        };
        CPApplication application;
        application.Run(nullptr, 1);

        EXPECT_EQ(priority, 9000);
        EXPECT_TRUE(running);
        EXPECT_EQ(batches, 3u);
        EXPECT_EQ(flames, 1u);
    }
    apptest::CleanUpAfterRun();
    EXPECT_EQ(GetParticlesManager(), nullptr);
}

TEST(ParticleStartup, TheInstalledPlaceMakesTheOneManager) {
    SPStartupRegistry registry;
    InstallParticleManager(registry);
    ASSERT_TRUE(registry.createParticleManager);
    CPSmartPtr<IPTask> task = registry.createParticleManager();
    ASSERT_TRUE(task);
    EXPECT_EQ(task->GetClassName(), "CPParticlesManager");
    EXPECT_EQ(GetParticlesManager(), task.Get());
    task = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(GetParticlesManager(), nullptr);
}

} // namespace
} // namespace particletest
