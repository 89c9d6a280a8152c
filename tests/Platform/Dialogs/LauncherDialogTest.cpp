// The launcher and options dialogs on GTK, driven by programmatic clicks on a virtual display.
#include <gtest/gtest.h>

#include <csignal>
#include <map>
#include <string>
#include <vector>

#include "Platform/Dialogs/LauncherDialog.h"
#include "Platform/Dialogs/VirtualDisplay.h"

namespace {

using namespace Platform::Dialogs;

class RecordingOptions : public IOptionsController {
public:
    void Init() override { calls.push_back("init"); }
    bool IsChecked(int control) const override { return checked.at(control); }
    bool IsEnabled(int control) const override { return control != 1007 || checked.at(1009); }
    void SetChecked(int control, bool value) override {
        calls.push_back("check " + std::to_string(control) + (value ? " on" : " off"));
        checked[control] = value;
    }
    int Command(int control) override {
        calls.push_back("command " + std::to_string(control));
        return control;
    }
    int Close() override {
        calls.push_back("close");
        return 1002;
    }
    std::map<int, bool> checked{{1007, true}, {1008, false}, {1009, true}, {1010, true}};
    std::vector<std::string> calls;
};

class RecordingLauncher : public ILauncherController {
public:
    std::vector<std::string> Items() const override { return {"640 x 480 (4:3)", "1024 x 768 (4:3)", "1366 x 768"}; }
    int Selection() const override { return 1; }
    void Select(int item) override { selected = item; }
    int Command(int command) override {
        calls.push_back("command " + std::to_string(command) + " item " + std::to_string(selected));
        return command == 1001 ? 0 : command;
    }
    int Close() override {
        calls.push_back("close");
        return 1002;
    }
    IOptionsController& Options() override { return options; }
    int selected = -2;
    std::vector<std::string> calls;
    RecordingOptions options;
};

class LauncherDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!kxtest::VirtualDisplay::Available()) GTEST_SKIP() << kxtest::VirtualDisplay::Reason();
        std::string error;
        if (!InitDialogs(&error)) GTEST_SKIP() << error;
    }
    void TearDown() override { SetDialogTestHooks(nullptr); }
};

TEST_F(LauncherDialogTest, ShowsTheListWithItsPreselectionAndTheButtons) {
    RecordingLauncher launcher;
    std::vector<std::string> items;
    int active = -1, defaultButton = 0, focused = 0;
    std::string title;
    bool modal = false;
    DialogTestHooks hooks;
    hooks.launcherShown = [&](IDialogDriver& d) {
        items = d.Items();
        active = d.ActiveItem();
        title = d.Title();
        defaultButton = d.DefaultButton();
        focused = d.FocusedControl();
        modal = d.IsModal();
        d.Click(1002);
    };
    SetDialogTestHooks(&hooks);
    EXPECT_EQ(RunLauncherDialog(launcher, "Korvaxa"), 1002);
    EXPECT_EQ(items, launcher.Items());
    EXPECT_EQ(active, 1);
    EXPECT_EQ(title, "Korvaxa");
    EXPECT_EQ(defaultButton, 1000);
    // Enter plays: the keyboard starts on "Play!", not on the list (which would open on Enter).
    EXPECT_EQ(focused, 1000);
    EXPECT_TRUE(modal);
}

TEST_F(LauncherDialogTest, ButtonsGiveTheirResultsWithTheChosenItem) {
    for (int button : {1000, 1002, 1003}) {
        RecordingLauncher launcher;
        DialogTestHooks hooks;
        hooks.launcherShown = [&](IDialogDriver& d) {
            d.SelectItem(2);
            EXPECT_TRUE(d.Click(button));
        };
        SetDialogTestHooks(&hooks);
        EXPECT_EQ(RunLauncherDialog(launcher, "Korvaxa"), button);
        EXPECT_EQ(launcher.calls, (std::vector<std::string>{"command " + std::to_string(button) + " item 2"}));
    }
}

TEST_F(LauncherDialogTest, ClosingTheLauncherIsQuit) {
    RecordingLauncher launcher;
    DialogTestHooks hooks;
    hooks.launcherShown = [](IDialogDriver& d) { d.Close(); };
    SetDialogTestHooks(&hooks);
    EXPECT_EQ(RunLauncherDialog(launcher, "Korvaxa"), 1002);
    EXPECT_EQ(launcher.calls, (std::vector<std::string>{"close"}));
}

TEST_F(LauncherDialogTest, OptionsDialogOverTheLauncher) {
    RecordingLauncher launcher;
    int launcherShows = 0;
    bool motionBlurSensitiveBefore = false, motionBlurSensitiveAfter = true, motionBlurChecked = false;
    bool smokeChecked = true, modal = false;
    int defaultButton = 0, focused = 0;
    DialogTestHooks hooks;
    hooks.launcherShown = [&](IDialogDriver& d) {
        ++launcherShows;
        d.Click(launcherShows == 1 ? 1001 : 1002);
    };
    hooks.optionsShown = [&](IDialogDriver& d) {
        motionBlurSensitiveBefore = d.IsSensitive(1007);
        smokeChecked = d.IsChecked(1010);
        modal = d.IsModal();
        defaultButton = d.DefaultButton();
        focused = d.FocusedControl();
        d.Click(1009); // Bloom off
        motionBlurSensitiveAfter = d.IsSensitive(1007);
        motionBlurChecked = d.IsChecked(1007);
        d.Click(1);
    };
    SetDialogTestHooks(&hooks);
    EXPECT_EQ(RunLauncherDialog(launcher, "Korvaxa"), 1002);
    EXPECT_EQ(launcherShows, 2);
    EXPECT_TRUE(motionBlurSensitiveBefore);
    EXPECT_FALSE(motionBlurSensitiveAfter);
    EXPECT_TRUE(motionBlurChecked);
    EXPECT_TRUE(smokeChecked);
    EXPECT_TRUE(modal);
    EXPECT_EQ(defaultButton, 1);
    EXPECT_EQ(focused, 1);
    EXPECT_EQ(launcher.options.calls, (std::vector<std::string>{"init", "check 1009 off", "command 1"}));
}

TEST_F(LauncherDialogTest, OptionsCancelAndClose) {
    for (bool cancel : {true, false}) {
        RecordingLauncher launcher;
        int shows = 0;
        DialogTestHooks hooks;
        hooks.launcherShown = [&](IDialogDriver& d) { d.Click(++shows == 1 ? 1001 : 1000); };
        hooks.optionsShown = [&](IDialogDriver& d) {
            if (cancel)
                d.Click(2);
            else
                d.Close();
        };
        SetDialogTestHooks(&hooks);
        EXPECT_EQ(RunLauncherDialog(launcher, "Korvaxa"), 1000);
        EXPECT_EQ(launcher.options.calls, (std::vector<std::string>{"init", cancel ? "command 2" : "close"}));
    }
}

TEST_F(LauncherDialogTest, TerminationSignalQuitsTheLauncher) {
    for (bool inOptions : {false, true}) {
        SCOPED_TRACE(inOptions);
        RecordingLauncher launcher;
        DialogTestHooks hooks;
        hooks.launcherShown = [&](IDialogDriver& d) {
            if (inOptions)
                d.Click(1001);
            else
                ::raise(SIGTERM);
        };
        hooks.optionsShown = [](IDialogDriver&) { ::raise(SIGTERM); };
        SetDialogTestHooks(&hooks);
        EXPECT_EQ(RunLauncherDialog(launcher, "Korvaxa"), 1002);
        EXPECT_EQ(launcher.calls.back(), "close");
        if (inOptions) {
            EXPECT_EQ(launcher.options.calls, (std::vector<std::string>{"init", "close"}));
        }
    }
    // The signal's handling ends with the launcher: what was in place before is back.
    struct sigaction now {};
    ::sigaction(SIGTERM, nullptr, &now);
    EXPECT_EQ(now.sa_handler, SIG_DFL);
}

} // namespace
