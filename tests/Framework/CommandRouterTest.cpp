#include "Framework/CommandRouter.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingRouter : public IPCommandRouter {
public:
    void SendCommandByName(const std::string& name, const std::string& command, const std::string& params) override {
        sent.push_back("name:" + name + ":" + command + ":" + params);
    }
    void SendCommandByCategory(const std::string& category, const std::string& command,
                               const std::string& params) override {
        sent.push_back("category:" + category + ":" + command + ":" + params);
    }
    void SendCommandByObject(IPMMObject* script, const std::string& command, const std::string& params) override {
        sent.push_back("object:" + std::to_string(script->GetHandle()) + ":" + command + ":" + params);
    }
    std::vector<std::string> sent;
};

class Dummy : public IPMMObject {
public:
    int GetSize() const override { return 1; }
    std::string GetClassName() const override { return "Dummy"; }
};

TEST(CommandRouter, WithoutARouterCommandsAreDropped) {
    SetCommandRouter(nullptr);
    RouteCommandByName("main", "stop_music", "a.ogg");
    RouteCommandByCategory("interface", "key", "65");
    EXPECT_EQ(GetCommandRouter(), nullptr);
}

TEST(CommandRouter, InstalledRouterReceivesEveryKindOfSend) {
    RecordingRouter router;
    SetCommandRouter(&router);
    CPSmartPtr<Dummy> script(new Dummy);
    RouteCommandByName("main", "stop_music", "a.ogg");
    RouteCommandByCategory("action_listener", "key_action", "fire,1");
    RouteCommandByObject(script.Get(), "add_object", "5");
    RouteCommandByObject(nullptr, "add_object", "5");
    SetCommandRouter(nullptr);
    EXPECT_EQ(router.sent,
              (std::vector<std::string>{"name:main:stop_music:a.ogg", "category:action_listener:key_action:fire,1",
                                        "object:" + std::to_string(script->GetHandle()) + ":add_object:5"}));
    script = nullptr;
    IPMMObject::CollectGarbage();
}

TEST(Log, PrintingNeverFailsAndGoesNowhereByDefault) {
    EXPECT_TRUE(CPLog::Instance().IsReady());
    CPLog::Instance().Print(0, "DXError if %s on line %d\n%s\n%s\n", "file.cpp", 12, "D3DERR", "desc");
    CPLog::Instance().Print(0, nullptr);
    std::string seen;
    CPLog::Instance().SetSink([&](int, const std::string& text) { seen = text; });
    CPLog::Instance().Print(0, "%d-%s", 7, "x");
    CPLog::Instance().SetSink(nullptr);
    EXPECT_EQ(seen, "7-x");
}

} // namespace
