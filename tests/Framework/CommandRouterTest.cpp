#include "Framework/CommandRouter.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "support/RecordingRouter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using kxtest::RecordingRouter;
using kxtest::Route;
using kxtest::SentCommand;

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
    EXPECT_EQ(router.sent, (std::vector<SentCommand>{{Route::Name, "main", "stop_music", "a.ogg"},
                                                     {Route::Category, "action_listener", "key_action", "fire,1"},
                                                     {Route::Object, "", "add_object", "5", script.Get()}}));
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
