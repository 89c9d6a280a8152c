#include "Framework/PLog.h"
#include "Framework/PMMObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string>* g_destroyed = nullptr;

class Probe : public IPMMObject {
public:
    explicit Probe(std::string name) : m_name(std::move(name)) {}
    ~Probe() override {
        if (g_destroyed) g_destroyed->push_back(m_name);
    }
    int GetSize() const override { return static_cast<int>(sizeof(Probe)); }
    std::string GetClassName() const override { return "Probe - " + m_name; }

    // Released by this object's destructor.
    CPSmartPtr<IPMMObject> held;

private:
    std::string m_name;
};

class OtherKind : public IPMMObject {
public:
    int GetSize() const override { return 8; }
    std::string GetClassName() const override { return "OtherKind"; }
};

class ObjectModel : public ::testing::Test {
protected:
    void SetUp() override {
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
        m_baseline = IPMMObject::LiveCount();
        g_destroyed = &destroyed;
    }
    void TearDown() override {
        IPMMObject::CollectGarbage();
        IPMMObject::CollectGarbage();
        g_destroyed = nullptr;
    }
    std::size_t Live() const { return IPMMObject::LiveCount() - m_baseline; }

    std::vector<std::string> destroyed;
    std::size_t m_baseline = 0;
};

TEST_F(ObjectModel, ObjectNeverHeldDiesInTheNextCollection) {
    Probe* p = new Probe("loose");
    EXPECT_EQ(p->GetRefCount(), 0);
    EXPECT_EQ(Live(), 1u);
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, std::vector<std::string>{"loose"});
    EXPECT_EQ(Live(), 0u);
}

TEST_F(ObjectModel, HeldObjectSurvivesAndDiesAfterItsLastRelease) {
    CPSmartPtr<Probe> a(new Probe("held"));
    {
        CPSmartPtr<Probe> b = a;
        EXPECT_EQ(a->GetRefCount(), 2);
    }
    IPMMObject::CollectGarbage();
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(a->GetRefCount(), 1);
    a = nullptr;
    EXPECT_TRUE(destroyed.empty()) << "releasing never deletes";
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, std::vector<std::string>{"held"});
}

TEST_F(ObjectModel, CollectionDeletesInConstructionOrder) {
    new Probe("first");
    CPSmartPtr<Probe> keep(new Probe("kept"));
    new Probe("second");
    new Probe("third");
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, (std::vector<std::string>{"first", "second", "third"}));
}

TEST_F(ObjectModel, ObjectReleasedByADestructorDiesInTheFollowingCollection) {
    Probe* inner = new Probe("inner");
    Probe* outer = new Probe("outer");
    outer->held = inner; // inner at 1, outer at 0
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, std::vector<std::string>{"outer"});
    EXPECT_EQ(Live(), 1u);
    EXPECT_EQ(inner->GetRefCount(), 0);
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, (std::vector<std::string>{"outer", "inner"}));
}

TEST_F(ObjectModel, CountsBelowZeroAreCollected) {
    Probe* p = new Probe("negative");
    p->AddRef();
    p->Release();
    p->Release();
    EXPECT_EQ(p->GetRefCount(), -1);
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, std::vector<std::string>{"negative"});
}

TEST_F(ObjectModel, SelfAssignmentKeepsTheCountAndTheObject) {
    CPSmartPtr<Probe> h(new Probe("self"));
    h = h.Get();
    EXPECT_EQ(h->GetRefCount(), 1);
    CPSmartPtr<Probe>& alias = h;
    h = alias;
    EXPECT_EQ(h->GetRefCount(), 1);
    IPMMObject::CollectGarbage();
    EXPECT_TRUE(destroyed.empty());
}

TEST_F(ObjectModel, HandleCopiesAndConversionsCountReferences) {
    CPSmartPtr<Probe> derived(new Probe("d"));
    CPSmartPtr<IPMMObject> base = derived;
    EXPECT_EQ(derived->GetRefCount(), 2);
    CPSmartPtr<IPMMObject> moved = std::move(base);
    EXPECT_EQ(derived->GetRefCount(), 2);
    EXPECT_FALSE(base);
    CPSmartPtr<Probe> back = DynamicPtrCast<Probe>(moved);
    EXPECT_EQ(back.Get(), derived.Get());
    EXPECT_FALSE(DynamicPtrCast<OtherKind>(moved));
    EXPECT_EQ(derived->GetRefCount(), 3);
}

TEST_F(ObjectModel, CopyIsANewObjectWithItsOwnHandleAndCount) {
    CPSmartPtr<Probe> original(new Probe("orig"));
    Probe* copy = new Probe(*original);
    EXPECT_EQ(copy->GetRefCount(), 0);
    EXPECT_NE(copy->GetHandle(), original->GetHandle());
    EXPECT_EQ(IPMMObject::FindByHandle(copy->GetHandle()), copy);
    IPMMObject::CollectGarbage();
    EXPECT_EQ(destroyed, std::vector<std::string>{"orig"}) << "the unheld copy died, named after its source";
    EXPECT_EQ(original->GetRefCount(), 1);
}

TEST_F(ObjectModel, CollectionWithNothingToCollectChangesNothing) {
    CPSmartPtr<Probe> a(new Probe("a"));
    CPSmartPtr<Probe> b(new Probe("b"));
    IPMMObject::CollectGarbage();
    EXPECT_TRUE(destroyed.empty());
    EXPECT_EQ(Live(), 2u);
}

TEST_F(ObjectModel, HandlesResolveToLiveObjectsOfTheRightKindOnly) {
    Probe* probe = new Probe("h");
    CPSmartPtr<Probe> hold(probe);
    OtherKind* other = new OtherKind;
    CPSmartPtr<OtherKind> holdOther(other);

    PMMHandle h = probe->GetHandle();
    EXPECT_NE(h, 0u);
    EXPECT_NE(other->GetHandle(), h);
    EXPECT_LE(h, 0x7FFFFFFFu) << "handles print as positive %d";

    EXPECT_EQ(IPMMObject::FindByHandle(h), probe);
    EXPECT_EQ(IPMMObject::FindByHandle<Probe>(h), probe);
    EXPECT_EQ(IPMMObject::FindByHandle<OtherKind>(h), nullptr);
    EXPECT_EQ(IPMMObject::FindByHandle<OtherKind>(other->GetHandle()), other);
    EXPECT_EQ(IPMMObject::FindByHandle(0), nullptr);
    EXPECT_EQ(IPMMObject::FindByHandle(0x7FFFFFFF), nullptr);

    hold = nullptr;
    IPMMObject::CollectGarbage();
    EXPECT_EQ(IPMMObject::FindByHandle(h), nullptr);
    EXPECT_EQ(IPMMObject::FindByHandle<Probe>(h), nullptr);

    // Handles are never reused: a new object gets a fresh one.
    Probe* fresh = new Probe("fresh");
    EXPECT_GT(fresh->GetHandle(), other->GetHandle());
    EXPECT_EQ(IPMMObject::FindByHandle(h), nullptr);
}

TEST_F(ObjectModel, ObjectsPendingInOneCollectionAreNotFoundByOthersDestructors) {
    // A destructor looking up a handle of an object dying in the same collection
    // must not get a dangling pointer.
    static PMMHandle other = 0;
    static IPMMObject* seen = reinterpret_cast<IPMMObject*>(1);
    struct Looker : IPMMObject {
        ~Looker() override { seen = IPMMObject::FindByHandle(other); }
        int GetSize() const override { return 1; }
        std::string GetClassName() const override { return "Looker"; }
    };
    new Looker;
    other = (new Probe("late"))->GetHandle();
    IPMMObject::CollectGarbage();
    EXPECT_EQ(seen, nullptr);
}

TEST_F(ObjectModel, DumpLeaksFormatsOneLinePerLiveObject) {
    CPSmartPtr<Probe> a(new Probe("tex"));
    CPSmartPtr<Probe> b(new Probe("snd"));
    b->AddRef();
    std::vector<std::string> lines;
    CPLog::Instance().SetSink([&](int, const std::string& text) { lines.push_back(text); });
    IPMMObject::DumpLeaks();
    CPLog::Instance().SetSink(nullptr);
    ASSERT_GE(lines.size(), 2u);
    std::string size = std::to_string(sizeof(Probe));
    EXPECT_EQ(lines[lines.size() - 2],
              "неудаленный объект: класс - Probe - tex, размер - " + size + " bytes  refcount - 1");
    EXPECT_EQ(lines.back(), "неудаленный объект: класс - Probe - snd, размер - " + size + " bytes  refcount - 2");
    b->Release();
    // Without a sink the log swallows everything.
    IPMMObject::DumpLeaks();
}

} // namespace
