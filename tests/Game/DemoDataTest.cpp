// The demo game root in data/: its "main" script, started as the application starts it, ends the
// game when Escape is pressed.
#include <gtest/gtest.h>

#include "Framework/PTaskKernel.h"
#include "Game/ScriptApi.h"
#include "Input/NInput.h"
#include "Platform/System/Paths.h"
#include "Platform/Window/Keyboard.h"
#include "Platform/Window/Messages.h"
#include "Script/PScriptManager.h"

namespace {

class DemoDataTest : public ::testing::Test {
protected:
    void SetUp() override {
        previousRoot = Platform::GamePaths().Root();
        Platform::GamePaths().SetRoot(std::string(KX_DATA_DIR));
        ScriptApi::InstallScriptApi();
        Platform::SetKeyboard(&keyboard);
        Platform::SetMessageSource(nullptr);
    }
    void TearDown() override {
        Platform::SetKeyboard(nullptr);
        Script::GetScriptFunctionTables().Clear();
        Platform::GamePaths().SetRoot(previousRoot);
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    }
    std::string previousRoot;
    Platform::HeadlessKeyboard keyboard;
};

TEST_F(DemoDataTest, EscapeEndsTheGame) {
    {
        CPScriptManager scripts;
        ASSERT_TRUE(scripts.LoadScriptList());
        CPTaskKernel kernel;
        CPSmartPtr<IPTask> input(new CNInput());
        input->SetPriority(12);
        CPSmartPtr<IPTask> main(scripts.GetScript("main"));
        ASSERT_TRUE(main);
        main->SetPriority(20);
        ASSERT_TRUE(kernel.AddTask(main));
        ASSERT_TRUE(kernel.AddTask(input));

        // The main script, the input and the main menu the main script opens.
        for (int pass = 0; pass < 5; ++pass) ASSERT_TRUE(kernel.RunPass());
        EXPECT_EQ(kernel.ActiveTasks().size(), 3u);

        keyboard.SetKey(DIK_ESCAPE, true);
        int passes = 0;
        while (kernel.RunPass() && passes < 10) ++passes;
        EXPECT_LT(passes, 10);
        EXPECT_TRUE(kernel.ActiveTasks().empty());
    }
}

} // namespace
