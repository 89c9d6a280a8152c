// Damage, the enemy hooks and XML descriptions: the "damage" event in the C locale, what the
// enemy record is told, descriptions read from loose files and packs, and the enemy records the
// installed maker gives out and takes back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Framework/PTaskKernel.h"
#include "Framework/PackFile.h"
#include "Scene/PGameObject.h"
#include "SceneFakes.h"
#include "SceneObjectTestSupport.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"
#include "support/CommaLocale.h"
#include "support/HostilePaths.h"
#include "support/Near.h"
#include "support/PackWriter.h"
#include "support/TempDir.h"

namespace {

using kxtest::Near;

class DamageTest : public kxtest::SceneObjectTest {
protected:
    void SetUp() override {
        script = new CPLuaScript();
        kernel.AddTask(CPSmartPtr<IPTask>(script.Get()));
    }
    void TearDown() override {
        kernel.KillAllTasks();
        kernel.RunPass();
        script = nullptr;
        delete manager;
        SceneObjectTest::TearDown();
    }
    std::vector<std::string> Events() const {
        std::vector<std::string> out;
        for (auto it = script->Queue().rbegin(); it != script->Queue().rend(); ++it)
            out.push_back(it->name + (it->params.empty() ? "" : " " + it->params[0]));
        return out;
    }

    CPTaskKernel kernel;
    CPScriptManager* manager = new CPScriptManager();
    CPSmartPtr<CPLuaScript> script;
};

TEST_F(DamageTest, AmountInTheCLocaleUnlessSilent) {
    kxtest::CommaLocale comma;
    ASSERT_TRUE(comma.Active());
    auto object = Make("barrel");
    object->SetScript(script);
    const D3DXVECTOR3 zero(0, 0, 0);
    object->NotifyDamage(zero, zero, 2.5f, false, false);
    object->NotifyDamage(zero, zero, 7.0f, false, true);
    object->NotifyDamage(zero, zero, 0.126f, true, false);
    EXPECT_EQ(Events(), (std::vector<std::string>{"damage 2.50", "damage 0.13"}));
}

TEST_F(DamageTest, WithoutScriptNothingIsSent) {
    auto object = Make("barrel");
    object->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0), 3.0f, false, false);
    EXPECT_TRUE(script->Queue().empty());
}

TEST_F(DamageTest, EnemyRecordHearsEverythingUnchanged) {
    kxtest::FakeEnemyMaker maker;
    auto object = Make("monster");
    object->SetScript(script);
    object->SetEnemy(maker.Make(*object));
    object->NotifyDamage(D3DXVECTOR3(1, 2, 3), D3DXVECTOR3(0, 0, -1), 12.5f, true, true);
    object->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0), 1.0f, false, false);
    object->OnAnimationStopped();
    object->OnAnimationReport();
    ASSERT_EQ(maker.calls.size(), 4u);
    const kxtest::EnemyCall& hit = maker.calls[0];
    EXPECT_EQ(hit.what, "damage");
    EXPECT_TRUE(Near(hit.point, D3DXVECTOR3(1, 2, 3)));
    EXPECT_TRUE(Near(hit.direction, D3DXVECTOR3(0, 0, -1)));
    EXPECT_FLOAT_EQ(hit.amount, 12.5f);
    EXPECT_TRUE(hit.noEffect);
    EXPECT_TRUE(hit.silent);
    EXPECT_FALSE(maker.calls[1].noEffect);
    EXPECT_FALSE(maker.calls[1].silent);
    EXPECT_EQ(maker.calls[2].what, "stopped");
    EXPECT_EQ(maker.calls[3].what, "report");
    // The script heard only the loud one.
    EXPECT_EQ(Events(), (std::vector<std::string>{"damage 1.00"}));
}

TEST_F(DamageTest, WithoutEnemyRecordTheHooksDoNothing) {
    auto object = Make("rock");
    object->OnAnimationStopped();
    object->OnAnimationReport();
    object->NotifyDamage(D3DXVECTOR3(0, 0, 0), D3DXVECTOR3(0, 0, 0), 1.0f, false, true);
    EXPECT_TRUE(script->Queue().empty());
}

class DescriptionTest : public kxtest::SceneObjectTest {
protected:
    void TearDown() override {
        UnmountPacks();
        SceneObjectTest::TearDown();
    }
    kxtest::TempGameRoot root;
};

const char* const kMonster = "<?xml version=\"1.0\"?>\n<enemy name=\"grunt\"><hp value=\"30\"/></enemy>\n";

TEST_F(DescriptionTest, Sources) {
    kxtest::PackWriter pack;
    pack.AddFile("descriptions\\packed.xml", kMonster);
    root.Write("Data/game1.dat", pack.Build());
    ASSERT_EQ(MountPacks(), S_OK);
    root.Write("Data/Descriptions/loose.xml", kMonster);
    root.Write("Data/Descriptions/broken.xml", "<enemy name=\"grunt\"><hp value=");
    root.Write("Data/Descriptions/empty.xml", "");
    struct Case {
        const char* file;
        bool loads;
    };
    const Case cases[] = {
        {"loose.xml", true},  {"LOOSE.XML", true},    {"packed.xml", true}, {"broken.xml", false},
        {"empty.xml", false}, {"missing.xml", false}, {"", false},
    };
    for (const Case& c : cases) {
        kxtest::FakeEnemyMaker maker;
        kxtest::ScopedEnemyMaker installed(&maker);
        auto object = Make("monster");
        object->SetDescriptionFile(c.file);
        EXPECT_EQ(object->LoadDescription(), c.loads) << c.file;
        if (c.loads) {
            const TiXmlElement* rootElement = object->GetDescription().RootElement();
            ASSERT_NE(rootElement, nullptr) << c.file;
            EXPECT_STREQ(rootElement->Attribute("name"), "grunt") << c.file;
            EXPECT_NE(object->GetEnemy(), nullptr) << c.file;
            EXPECT_EQ(maker.asked.size(), 1u) << c.file;
        } else {
            EXPECT_EQ(object->GetDescription().FirstChild(), nullptr) << c.file;
            EXPECT_EQ(object->GetEnemy(), nullptr) << c.file;
            EXPECT_TRUE(maker.asked.empty()) << c.file;
        }
    }
    IPMMObject::CollectGarbage();
    EXPECT_EQ(kxtest::LiveEnemyRecords(), 0);
}

TEST_F(DescriptionTest, FailedReloadLeavesAnEmptyDocument) {
    root.Write("Data/Descriptions/good.xml", kMonster);
    root.Write("Data/Descriptions/bad.xml", "<enemy><unclosed>");
    auto object = Make("monster");
    object->SetDescriptionFile("good.xml");
    ASSERT_TRUE(object->LoadDescription());
    object->SetDescriptionFile("bad.xml");
    EXPECT_FALSE(object->LoadDescription());
    EXPECT_EQ(object->GetDescription().FirstChild(), nullptr);
    // A copy of it calls no maker either.
    kxtest::FakeEnemyMaker maker;
    kxtest::ScopedEnemyMaker installed(&maker);
    CPSmartPtr<CPGameObject> copy(new CPGameObject("monster"));
    copy->CopyFrom(*object);
    EXPECT_TRUE(maker.asked.empty());
}

TEST_F(DescriptionTest, HostileFilesFailWithoutHanging) {
    root.MakeDir("Data/Descriptions");
    for (const kxtest::HostileCase& c : kxtest::HostileCases()) {
        const std::string name = std::string(c.name) + ".xml";
        if (!kxtest::MakeHostile(c.kind, root.Path() + "/Data/Descriptions/" + name)) continue;
        kxtest::FakeEnemyMaker maker;
        kxtest::ScopedEnemyMaker installed(&maker);
        auto object = Make("monster");
        object->SetDescriptionFile(name);
        EXPECT_FALSE(object->LoadDescription()) << c.name;
        EXPECT_EQ(object->GetDescription().FirstChild(), nullptr) << c.name;
        EXPECT_TRUE(maker.asked.empty()) << c.name;
    }
}

TEST_F(DescriptionTest, WithoutMakerNoRecord) {
    root.Write("Data/Descriptions/good.xml", kMonster);
    auto object = Make("monster");
    object->SetDescriptionFile("good.xml");
    ASSERT_TRUE(object->LoadDescription());
    EXPECT_EQ(object->GetEnemy(), nullptr);
}

TEST_F(DescriptionTest, RecordsAreReplacedAndDeletedOnce) {
    root.Write("Data/Descriptions/good.xml", kMonster);
    kxtest::FakeEnemyMaker maker;
    kxtest::ScopedEnemyMaker installed(&maker);
    {
        auto object = Make("monster");
        object->SetDescriptionFile("good.xml");
        ASSERT_TRUE(object->LoadDescription());
        IPEnemyHooks* first = object->GetEnemy();
        ASSERT_TRUE(object->LoadDescription());
        EXPECT_NE(object->GetEnemy(), first);
        EXPECT_EQ(kxtest::LiveEnemyRecords(), 1);
        // A maker that answers none keeps the record there is.
        maker.answer = false;
        ASSERT_TRUE(object->LoadDescription());
        EXPECT_NE(object->GetEnemy(), nullptr);
    }
    IPMMObject::CollectGarbage();
    EXPECT_EQ(kxtest::LiveEnemyRecords(), 0);
}

} // namespace
