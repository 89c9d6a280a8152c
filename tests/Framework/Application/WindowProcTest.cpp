// The game window's procedure on synthetic window messages.
#include <gtest/gtest.h>

#include "AppFakes.h"
#include "Framework/CommandRouter.h"
#include "Framework/MainWindow.h"
#include "support/RecordingRouter.h"

namespace {

using namespace Platform;

using kxtest::RecordingRouter;
using kxtest::Route;
using kxtest::SentCommand;

class WindowProcTest : public ::testing::Test {
protected:
    void SetUp() override {
        apptest::CleanUpAfterRun();
        new CPSettings();
        kernel = new CPTaskKernel();
        timer = new CPGlobalTimer();
        kernel->AddTask(timer);
        SetCommandRouter(&router);
        SPStartupRegistry& r = GetStartupRegistry();
        r.renderer.exists = [this] { return rendererExists; };
        r.renderer.resetDevice = [this] { ++resets; };
        r.input.mouseButtonDown = [this] { return buttonFlag; };
        r.input.setMouseButtonDown = [this](bool down) { buttonFlag = down; };
        r.input.broadcastMouseDown = [this](int b, float x, float y) {
            broadcasts.push_back(Platform::FormatC("down %d %g %g", b, x, y));
        };
        r.input.broadcastMouseUp = [this](int b, float x, float y) {
            broadcasts.push_back(Platform::FormatC("up %d %g %g", b, x, y));
        };
        r.window.cursorPosition = [this](float& x, float& y) {
            x = pointerX;
            y = pointerY;
        };
        r.window.clientSize = [this](HWND, int& w, int& h) {
            w = clientW;
            h = clientH;
        };
        g_screenWidth = 640;
        g_screenHeight = 480;
    }
    void TearDown() override {
        SetCommandRouter(nullptr);
        timer = nullptr;
        apptest::CleanUpAfterRun();
    }

    LRESULT Send(UINT message, WPARAM w = 0, LPARAM l = 0) { return MainWindowProc(nullptr, message, w, l); }
    bool TimerRunning() const { return kernel->IsActive(timer.Get()); }
    bool TimerSuspended() const { return kernel->IsSuspended(timer.Get()); }

    CPTaskKernel* kernel = nullptr;
    CPSmartPtr<IPTask> timer;
    RecordingRouter router;
    bool rendererExists = true;
    int resets = 0;
    bool buttonFlag = false;
    std::vector<std::string> broadcasts;
    float pointerX = 0, pointerY = 0;
    int clientW = 640, clientH = 480;
};

TEST_F(WindowProcTest, MinimiseAndRestoreInAWindowOrFullScreen) {
    for (int fullScreen : {0, 1}) {
        SCOPED_TRACE(fullScreen);
        g_fullScreen = fullScreen;
        resets = 0;
        for (WPARAM hide : {SIZE_MINIMIZED, SIZE_MAXHIDE}) {
            EXPECT_EQ(Send(WM_SIZE, hide), 0);
            EXPECT_FALSE(g_applicationActive);
            EXPECT_TRUE(TimerSuspended());
            EXPECT_EQ(Send(WM_SIZE, SIZE_RESTORED), 0);
            EXPECT_TRUE(g_applicationActive);
            EXPECT_TRUE(TimerRunning());
        }
        EXPECT_EQ(resets, 2);
    }
}

TEST_F(WindowProcTest, RestoreResetsTheDeviceOnlyWhenTheRendererExists) {
    rendererExists = false;
    Send(WM_SIZE, SIZE_MINIMIZED);
    Send(WM_SIZE, SIZE_MAXIMIZED);
    EXPECT_EQ(resets, 0);
    EXPECT_TRUE(g_applicationActive);
    EXPECT_TRUE(TimerRunning());
}

TEST_F(WindowProcTest, FocusInAWindowChangesNothing) {
    g_fullScreen = 0;
    for (WPARAM w : {WA_INACTIVE, WA_ACTIVE, WA_CLICKACTIVE}) {
        Send(WM_ACTIVATE, w);
        EXPECT_TRUE(g_applicationActive);
        EXPECT_TRUE(TimerRunning());
    }
    EXPECT_EQ(resets, 0);
}

TEST_F(WindowProcTest, FocusInFullScreenSuspendsAndAnyActivationResumes) {
    g_fullScreen = 1;
    for (WPARAM activation : {WA_ACTIVE, WA_CLICKACTIVE}) {
        SCOPED_TRACE(activation);
        Send(WM_ACTIVATE, WA_INACTIVE);
        EXPECT_FALSE(g_applicationActive);
        EXPECT_TRUE(TimerSuspended());
        Send(WM_ACTIVATE, activation);
        EXPECT_TRUE(g_applicationActive);
        EXPECT_TRUE(TimerRunning());
    }
    EXPECT_EQ(resets, 2);
}

// The window's first activation arrives once the renderer exists and the loading screen shows.
TEST_F(WindowProcTest, FullScreenActivationWhileActiveKeepsTheDevice) {
    g_fullScreen = 1;
    for (WPARAM activation : {WA_ACTIVE, WA_CLICKACTIVE}) {
        Send(WM_ACTIVATE, activation);
        EXPECT_TRUE(g_applicationActive);
        EXPECT_TRUE(TimerRunning());
    }
    EXPECT_EQ(resets, 0);
}

TEST_F(WindowProcTest, NothingAfterTheApplicationClosed) {
    g_fullScreen = 1;
    g_appClosing = true;
    Send(WM_ACTIVATE, WA_INACTIVE);
    EXPECT_TRUE(g_applicationActive);
    EXPECT_TRUE(TimerRunning());
    Send(WM_ACTIVATE, WA_ACTIVE);
    EXPECT_EQ(resets, 0);
}

TEST_F(WindowProcTest, CloseAndDestroyPostTheQuitMessage) {
    for (UINT message : {WM_CLOSE, WM_DESTROY}) {
        SetMessageSource(nullptr); // forgets a quit posted before
        EXPECT_EQ(Send(message), 0);
        MSG msg;
        ASSERT_TRUE(PeekMessageA(&msg));
        EXPECT_EQ(msg.message, WM_QUIT);
    }
}

TEST_F(WindowProcTest, SetCursorHidesTheCursor) { EXPECT_EQ(Send(WM_SETCURSOR), 1); }

TEST_F(WindowProcTest, TypedCharacterGoesToTheInterfaceAsItsByte) {
    Send(WM_CHAR, 0xE0);
    Send(WM_CHAR, 'a');
    EXPECT_EQ(router.sent, (std::vector<SentCommand>{{Route::Category, "interface", "key", "224"},
                                                     {Route::Category, "interface", "key", "97"}}));
}

TEST_F(WindowProcTest, ButtonPressedTwiceBroadcastsOnceAndReleaseWithoutPressNotAtAll) {
    Send(WM_LBUTTONUP);
    EXPECT_TRUE(broadcasts.empty());
    Send(WM_LBUTTONDOWN);
    Send(WM_LBUTTONDOWN);
    EXPECT_TRUE(buttonFlag);
    Send(WM_LBUTTONUP);
    EXPECT_FALSE(buttonFlag);
    Send(WM_LBUTTONUP);
    EXPECT_EQ(broadcasts, (std::vector<std::string>{"down 0 0 0", "up 0 0 0"}));
}

TEST_F(WindowProcTest, BroadcastsUseThePositionStoredByTheMessageBefore) {
    pointerX = 10;
    pointerY = 20;
    Send(WM_MOUSEMOVE);
    pointerX = 30;
    pointerY = 40;
    Send(WM_LBUTTONDOWN);
    EXPECT_FLOAT_EQ(g_cursorX, 30);
    EXPECT_FLOAT_EQ(g_cursorY, 40);
    pointerX = 50;
    pointerY = 60;
    Send(WM_LBUTTONUP);
    EXPECT_EQ(broadcasts, (std::vector<std::string>{"down 0 10 20", "up 0 30 40"}));
}

TEST_F(WindowProcTest, CursorIsScaledToTheBackBufferWhenTheWindowDiffers) {
    clientW = 1280;
    clientH = 960;
    pointerX = 640;
    pointerY = 480;
    Send(WM_MOUSEMOVE);
    EXPECT_FLOAT_EQ(g_cursorX, 320);
    EXPECT_FLOAT_EQ(g_cursorY, 240);
}

} // namespace
