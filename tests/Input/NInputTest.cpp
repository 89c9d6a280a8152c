// The input task: keyboard states injected through the headless keyboard become commands and
// interface broadcasts in order; Actions.cfg is read, rebound and written back.

#include "Input/NInput.h"
#include "Framework/CommandRouter.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PStringSplitter.h"
#include "Input/InterfaceBroadcasts.h"
#include "Platform/System/AtomicFile.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"
#include "support/HostilePaths.h"
#include "support/RecordingRouter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using Strings = std::vector<std::string>;

// Records commands and broadcasts in one list, so their relative order shows.
class Recorder : public kxtest::RecordingRouter, public IPInterfaceBroadcasts {
public:
    Strings events;

    Recorder() {
        onSent = [this](const kxtest::SentCommand& c) {
            switch (c.route) {
            case kxtest::Route::Name: events.push_back("name " + c.target + " " + c.command + " " + c.params); break;
            case kxtest::Route::Category:
                events.push_back(c.target + " " + c.command + (c.params.empty() ? "" : " " + c.params));
                break;
            case kxtest::Route::Object: events.push_back("object " + c.command + " " + c.params); break;
            }
        };
    }
    void BroadcastMenuDown() override { events.push_back("menu_down"); }
    void BroadcastMenuUp() override { events.push_back("menu_up"); }
    void BroadcastMenuLeft() override { events.push_back("menu_left"); }
    void BroadcastMenuRight() override { events.push_back("menu_right"); }
    void BroadcastEnterDown() override { events.push_back("enter_down"); }
    void BroadcastEnterUp() override { events.push_back("enter_up"); }
    void BroadcastMouseMove(float x, float y) override {
        events.push_back("mouse_move " + std::to_string(static_cast<int>(x)) + " " +
                         std::to_string(static_cast<int>(y)));
    }
    void BroadcastMouseDown(int, float, float) override { events.push_back("mouse_down"); }
    void BroadcastMouseUp(int, float, float) override { events.push_back("mouse_up"); }
};

class NInputTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetCommandRouter(&recorder);
        SetInterfaceBroadcasts(&recorder);
        Platform::SetKeyboard(&keyboard);
        CPLog::Instance().SetSink([this](int, const std::string& text) { log.push_back(text); });
        input = new CNInput();
        input->SetCursorSource([this](float& x, float& y) {
            x = cursorX;
            y = cursorY;
        });
    }
    void TearDown() override {
        input = nullptr;
        IPMMObject::CollectGarbage();
        CPLog::Instance().SetSink(nullptr);
        Platform::SetKeyboard(nullptr);
        SetInterfaceBroadcasts(nullptr);
        SetCommandRouter(nullptr);
    }
    bool StartWith(const std::string& actions) {
        root.Write("Actions.cfg", actions);
        return input->Start();
    }
    // One pass with these keys down (all others up); answers the events of that pass.
    Strings Frame(std::initializer_list<std::uint8_t> down) {
        keyboard.ReleaseAll();
        for (std::uint8_t key : down) keyboard.SetKey(key, true);
        recorder.events.clear();
        input->Update();
        return recorder.events;
    }

    kxtest::TempGameRoot root;
    Recorder recorder;
    Platform::HeadlessKeyboard keyboard;
    CPSmartPtr<CNInput> input;
    float cursorX = 0, cursorY = 0;
    Strings log;
};

const char* kBindings = "fire;Fire weapon;Space;false\r\n"
                        "nitro;Nitro;LShift;false\r\n"
                        "accept;Accept;Enter;false\r\n";

TEST_F(NInputTest, HeldKeySendsOnePressAndOneRelease) {
    ASSERT_TRUE(StartWith(kBindings));
    EXPECT_EQ(Frame({DIK_SPACE}), (Strings{"action_listener key_action fire,1", "action_listener any_key"}));
    EXPECT_TRUE(Frame({DIK_SPACE}).empty());
    EXPECT_TRUE(Frame({DIK_SPACE}).empty());
    EXPECT_EQ(Frame({}), (Strings{"action_listener key_action fire,0", "action_listener any_key"}));
    EXPECT_TRUE(Frame({}).empty());
}

TEST_F(NInputTest, KeysAreHandledInScanCodeOrderWithOneAnyKey) {
    ASSERT_TRUE(StartWith(kBindings));
    EXPECT_EQ(Frame({DIK_SPACE, DIK_LSHIFT, DIK_ESCAPE}),
              (Strings{"action_listener standart_action escape,1", "action_listener key_action nitro,1",
                       "action_listener key_action fire,1", "action_listener any_key"}));
}

TEST_F(NInputTest, BoundEnterSendsItsActionThenTheMenuKeyThenTheBroadcast) {
    ASSERT_TRUE(StartWith(kBindings));
    EXPECT_EQ(Frame({DIK_RETURN}),
              (Strings{"action_listener key_action accept,1", "action_listener standart_action enter,1", "enter_down",
                       "action_listener any_key"}));
    EXPECT_EQ(Frame({}), (Strings{"action_listener key_action accept,0", "action_listener standart_action enter,0",
                                  "enter_up", "action_listener any_key"}));
}

TEST_F(NInputTest, MenuKeys) {
    ASSERT_TRUE(StartWith(""));
    const struct {
        std::uint8_t key;
        Strings press;
        Strings release;
    } cases[] = {
        {DIK_ESCAPE, {"action_listener standart_action escape,1"}, {"action_listener standart_action escape,0"}},
        {DIK_BACK, {"action_listener standart_action backspace,1"}, {"action_listener standart_action backspace,0"}},
        {DIK_RETURN,
         {"action_listener standart_action enter,1", "enter_down"},
         {"action_listener standart_action enter,0", "enter_up"}},
        {DIK_NUMPADENTER,
         {"action_listener standart_action enter,1", "enter_down"},
         {"action_listener standart_action enter,0", "enter_up"}},
        {DIK_LEFT, {"action_listener standart_action left,1", "menu_left"}, {"action_listener standart_action left,0"}},
        {DIK_NUMPAD4,
         {"action_listener standart_action left,1", "menu_left"},
         {"action_listener standart_action left,0"}},
        {DIK_RIGHT,
         {"action_listener standart_action right,1", "menu_right"},
         {"action_listener standart_action right,0"}},
        {DIK_NUMPAD6,
         {"action_listener standart_action right,1", "menu_right"},
         {"action_listener standart_action right,0"}},
        // Kept as the game expects: Up asks the interfaces for "menu_down", Down for "menu_up".
        {DIK_UP, {"menu_down"}, {}},
        {DIK_NUMPAD8, {"menu_down"}, {}},
        {DIK_DOWN, {"menu_up"}, {}},
        {DIK_NUMPAD2, {"menu_up"}, {}},
    };
    for (const auto& c : cases) {
        Strings press = c.press;
        press.push_back("action_listener any_key");
        Strings release = c.release;
        release.push_back("action_listener any_key");
        EXPECT_EQ(Frame({c.key}), press) << int(c.key);
        EXPECT_EQ(Frame({}), release) << int(c.key);
    }
}

TEST_F(NInputTest, EveryOtherKeySendsOnlyAnyKey) {
    ASSERT_TRUE(StartWith(""));
    const std::set<int> menuKeys = {DIK_ESCAPE, DIK_BACK,    DIK_RETURN, DIK_NUMPADENTER, DIK_LEFT, DIK_NUMPAD4,
                                    DIK_RIGHT,  DIK_NUMPAD6, DIK_UP,     DIK_NUMPAD8,     DIK_DOWN, DIK_NUMPAD2};
    for (int code = 0; code < CNInput::kKeyCount; ++code) {
        if (menuKeys.count(code) != 0) continue;
        EXPECT_EQ(Frame({static_cast<std::uint8_t>(code)}), (Strings{"action_listener any_key"})) << code;
        EXPECT_EQ(Frame({}), (Strings{"action_listener any_key"})) << code;
    }
}

TEST_F(NInputTest, DisabledActionsStillSendMenuKeysAndAnyKey) {
    ASSERT_TRUE(StartWith(kBindings));
    input->actionsEnabled = false;
    EXPECT_EQ(Frame({DIK_SPACE, DIK_ESCAPE}),
              (Strings{"action_listener standart_action escape,1", "action_listener any_key"}));
}

TEST_F(NInputTest, KeyAssignModeAnswersTheFirstReleasedKey) {
    ASSERT_TRUE(StartWith(kBindings));
    input->keyAssignMode = true;
    Frame({DIK_Q});
    EXPECT_TRUE(input->keyAssignMode); // pressed, not released yet
    EXPECT_EQ(Frame({}), (Strings{"interface key_assign Q,false", "action_listener any_key"}));
    EXPECT_FALSE(input->keyAssignMode);
    Frame({DIK_W});
    EXPECT_EQ(Frame({}), (Strings{"action_listener any_key"}));
}

TEST_F(NInputTest, KeyAssignComesBeforeTheBoundActionOnRelease) {
    ASSERT_TRUE(StartWith(kBindings));
    Frame({DIK_SPACE});
    input->keyAssignMode = true;
    EXPECT_EQ(Frame({}), (Strings{"interface key_assign Space,false", "action_listener key_action fire,0",
                                  "action_listener any_key"}));
}

TEST_F(NInputTest, CursorMovesAreBroadcast) {
    ASSERT_TRUE(StartWith(""));
    EXPECT_TRUE(Frame({}).empty());
    cursorX = 10;
    cursorY = 20;
    EXPECT_EQ(Frame({}), (Strings{"mouse_move 10 20"}));
    EXPECT_TRUE(Frame({}).empty());
    int x = 0, y = 0;
    input->GetCursorPosition(&x, &y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
}

TEST_F(NInputTest, LostKeyboardReleasesKeysAndIsAcquiredAgainABoundedNumberOfTimes) {
    ASSERT_TRUE(StartWith(kBindings));
    Frame({DIK_SPACE});
    keyboard.SetFocus(false);
    recorder.events.clear();
    const int before = keyboard.AcquireCalls();
    input->Update();
    // The device keeps refusing: the retries stop, and the held key reads as released.
    EXPECT_LE(keyboard.AcquireCalls() - before, CNInput::kMaxAcquiresPerPass);
    EXPECT_EQ(recorder.events, (Strings{"action_listener key_action fire,0", "action_listener any_key"}));
    keyboard.SetFocus(true);
    EXPECT_EQ(Frame({DIK_SPACE}), (Strings{"action_listener key_action fire,1", "action_listener any_key"}));
}

TEST_F(NInputTest, MissingActionsFileFailsStartAndIsNeverWritten) {
    EXPECT_FALSE(input->Start());
    EXPECT_FALSE(input->IsRunning());
    bool reported = false;
    for (const auto& line : log) reported |= line.find("Actions.cfg") != std::string::npos;
    EXPECT_TRUE(reported);
    EXPECT_FALSE(input->SaveActions());
    EXPECT_FALSE(root.Exists("Actions.cfg"));
}

TEST_F(NInputTest, StartWithoutKeyboardFocusStillRunsAndAcquiresLater) {
    keyboard.SetFocus(false);
    ASSERT_TRUE(StartWith(kBindings));
    EXPECT_TRUE(input->IsRunning());
    EXPECT_TRUE(Frame({DIK_SPACE}).empty());
    keyboard.SetFocus(true);
    EXPECT_EQ(Frame({DIK_SPACE}), (Strings{"action_listener key_action fire,1", "action_listener any_key"}));
}

TEST_F(NInputTest, StartWithoutAKeyboardFailsWithADirectXReport) {
    Platform::SetKeyboard(nullptr);
    EXPECT_FALSE(StartWith(kBindings));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("DXError if Input\\NInput on line ", 0), 0u) << log.back();
    EXPECT_NE(log.back().find("\nE_FAIL\nAn undetermined error occurred.\n"), std::string::npos) << log.back();
}

TEST_F(NInputTest, BindingsRoundTripThroughActionsFile) {
    const std::string text = "fire;Fire weapon;Space;false\r\n"
                             "pad;Pad button;5;true\r\n"
                             "look;Look back;NumPad Enter;false\r\n";
    ASSERT_TRUE(StartWith(text));
    EXPECT_EQ(input->FormatActions(), text);
    ASSERT_TRUE(input->SaveActions());
    EXPECT_EQ(root.Read("Actions.cfg"), text);
    EXPECT_GE(input->LoadActions("Actions.cfg"), 0);
    EXPECT_EQ(input->FormatActions(), text);
    EXPECT_TRUE(input->GetNumberBinding(5).assigned);
    EXPECT_EQ(input->GetNumberBinding(5).secondText, "pad");
    EXPECT_EQ(input->GetKeyBinding(DIK_NUMPADENTER).secondText, "look");
    EXPECT_EQ(input->GetActionOrder(), (Strings{"fire", "pad", "look"}));
}

TEST_F(NInputTest, FailedWriteLeavesTheOldFile) {
    ASSERT_TRUE(StartWith(kBindings));
    input->SetActionKey("Nitro", "N");
    Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::ShortWrite);
    EXPECT_FALSE(input->SaveActions());
    Platform::SetAtomicWriteFault(Platform::AtomicWriteFault::None);
    EXPECT_EQ(root.Read("Actions.cfg"), kBindings);
}

TEST_F(NInputTest, BindingsFileThatIsNoRegularFileFailsAndIsLeftInPlace) {
    // Loading fails at once (a FIFO without a writer included), the bindings read before stay,
    // and saving leaves the thing where it is.
    ASSERT_TRUE(StartWith(kBindings));
    const std::string before = input->FormatActions();
    const std::string real = root.Path() + "/Actions.cfg";
    for (const auto& c : kxtest::HostileCases()) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(real);
        if (!kxtest::MakeHostile(c.kind, real)) continue;
        Platform::GamePaths().Refresh();
        EXPECT_LT(input->LoadActions("Actions.cfg"), 0);
        EXPECT_EQ(input->FormatActions(), before);
        if (c.kind != kxtest::HostileKind::Unreadable) {
            EXPECT_FALSE(input->SaveActions());
            EXPECT_TRUE(kxtest::HostileIntact(c.kind, real));
        }
        ::chmod(real.c_str(), 0644);
    }
}

TEST_F(NInputTest, BindingsFileLargerThanSettingsMayBeFailsToLoad) {
    ASSERT_TRUE(StartWith(kBindings));
    root.Write("Actions.cfg", "nitro;Nitro;N;false\r\n" + std::string(Platform::kMaxSettingsFileBytes, '\n'));
    EXPECT_LT(input->LoadActions("Actions.cfg"), 0);
    EXPECT_EQ(input->FormatActions(), kBindings);
}

TEST_F(NInputTest, MalformedLinesNeverBindOutOfRange) {
    const std::string text = "// comment line\n"
                             "\n"
                             "unknown;Unknown;NoSuchKey;false\n"
                             "big;Big;300;true\n"
                             "negative;Negative;-1;true\n"
                             "short;Short\n"
                             "lonely\n"
                             "cased;Cased;7;True\n"
                             "quoted;\"A;B\";Z;false\n";
    ASSERT_TRUE(StartWith(text));
    EXPECT_EQ(input->GetActionOrder(), (Strings{"unknown", "big", "negative", "short", "lonely", "cased", "quoted"}));
    EXPECT_FALSE(input->FindAction("unknown")->assigned);
    EXPECT_FALSE(input->FindAction("big")->assigned);
    EXPECT_FALSE(input->FindAction("negative")->assigned);
    // A flag that differs from "true" in case reads as a key name: "7", the top-row key.
    EXPECT_EQ(input->GetKeyBinding(DIK_7).secondText, "cased");
    EXPECT_FALSE(input->GetNumberBinding(7).assigned);
    EXPECT_EQ(input->FindAction("quoted")->secondText, "A;B");
    EXPECT_EQ(input->GetKeyBinding(DIK_Z).secondText, "quoted");
    // Nothing the user wrote is lost when the file is written back.
    EXPECT_EQ(input->FormatActions(), "unknown;Unknown;NoSuchKey;false\r\n"
                                      "big;Big;300;true\r\n"
                                      "negative;Negative;-1;true\r\n"
                                      "short;Short;;false\r\n"
                                      "lonely;;;false\r\n"
                                      "cased;Cased;7;false\r\n"
                                      "quoted;\"A;B\";Z;false\r\n");
    // Unbound actions send nothing.
    EXPECT_EQ(Frame({DIK_7, DIK_Z}), (Strings{"action_listener key_action cased,1",
                                              "action_listener key_action quoted,1", "action_listener any_key"}));
}

TEST_F(NInputTest, KeysAndTextsHoldingTheSeparatorsRoundTrip) {
    // ";" and "," are key names; a second text may hold either, or quotes.
    ASSERT_TRUE(StartWith("semi;Semi;A;false\r\n"
                          "comma;Comma;B;false\r\n"
                          "pad;Pad comma;C;false\r\n"
                          "say;\"Say \"\"hi\"\"; now\";D;false\r\n"));
    input->SetActionKey("Semi", ";");
    input->SetActionKey("Comma", ",");
    input->SetActionKey("Pad comma", "Numpad ,");
    ASSERT_TRUE(input->SaveActions());
    EXPECT_EQ(root.Read("Actions.cfg"), "semi;Semi;\";\";false\r\n"
                                        "comma;Comma;,;false\r\n"
                                        "pad;Pad comma;Numpad ,;false\r\n"
                                        "say;\"Say \"\"hi\"\"; now\";D;false\r\n");
    ASSERT_GE(input->LoadActions("Actions.cfg"), 0);
    EXPECT_EQ(input->GetKeyBinding(DIK_SEMICOLON).secondText, "semi");
    EXPECT_EQ(input->GetKeyBinding(DIK_COMMA).secondText, "comma");
    EXPECT_EQ(input->GetKeyBinding(0xB3).secondText, "pad");
    EXPECT_EQ(input->FindAction("say")->secondText, "Say \"hi\"; now");
    EXPECT_EQ(input->GetKeyBinding(DIK_D).secondText, "say");
}

TEST_F(NInputTest, FieldsTheReaderWouldTrimOrTakeForACommentRoundTrip) {
    // Lines a user may write whose fields come out as a single blank or holding a comment mark
    // made of quoted and plain pieces; writing them back must not lose them.
    const struct {
        const char* line;
        const char* action;
        const char* second;
    } cases[] = {
        {"\" \";Blank;A;false", " ", "Blank"},         {"blank;\" \";B;false", "blank", " "},
        {"\"/\"/x;Slashes;C;false", "//x", "Slashes"}, {"open;a\"/\"*b;D;false", "open", "a/*b"},
        {"\"*\"/;\"/\"/\"/\";E;false", "*/", "///"},   {"quote;\"/\"/\"\"\"\";F;false", "quote", "//\""},
    };
    for (const auto& c : cases) {
        root.Write("Actions.cfg", std::string(c.line) + "\r\n");
        ASSERT_GE(input->LoadActions("Actions.cfg"), 0) << c.line;
        ASSERT_NE(input->FindAction(c.action), nullptr) << c.line;
        EXPECT_EQ(input->FindAction(c.action)->secondText, c.second) << c.line;
        const std::string written = input->FormatActions();
        ASSERT_TRUE(input->SaveActions());
        ASSERT_GE(input->LoadActions("Actions.cfg"), 0);
        EXPECT_EQ(input->GetActionOrder(), (Strings{c.action})) << written;
        ASSERT_NE(input->FindAction(c.action), nullptr) << written;
        EXPECT_EQ(input->FindAction(c.action)->secondText, c.second) << written;
        EXPECT_EQ(input->FormatActions(), written);
    }
    // A one-blank action keeps its blank in the command's parameters too.
    ASSERT_TRUE(StartWith("\" \";Blank;A;false\r\n"));
    const Strings pressed = Frame({DIK_A});
    ASSERT_EQ(pressed.size(), 2u);
    EXPECT_EQ(pressed[0], "action_listener key_action \" \",1");
}

TEST_F(NInputTest, NamesInCommandParametersSurviveTheSplit) {
    ASSERT_TRUE(StartWith("\"fire, twice\";Fire;F;false\r\nsay;Say;G;false\r\n"));
    // The first parameter of each command, as the script manager splits it.
    const auto firstParams = [](const std::string& event, const std::string& prefix) {
        EXPECT_EQ(event.rfind(prefix, 0), 0u) << event;
        CPStringSplitter splitter(event.substr(prefix.size()), ",", true);
        Strings params;
        for (std::string token; splitter.NextToken(token);) params.push_back(token);
        return params;
    };
    for (const auto& [key, name] : {std::pair<std::uint8_t, std::string>{DIK_COMMA, ","},
                                    {0xB3, "Numpad ,"},
                                    {DIK_SEMICOLON, ";"},
                                    {DIK_Q, "Q"}}) {
        input->keyAssignMode = true;
        Frame({key});
        const Strings events = Frame({});
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(firstParams(events[0], "interface key_assign "), (Strings{name, "false"})) << name;
    }
    const Strings pressed = Frame({DIK_F, DIK_G});
    ASSERT_EQ(pressed.size(), 3u);
    EXPECT_EQ(firstParams(pressed[0], "action_listener key_action "), (Strings{"fire, twice", "1"}));
    EXPECT_EQ(pressed[1], "action_listener key_action say,1");
}

TEST_F(NInputTest, LaterLineBindingTheSameKeyWins) {
    ASSERT_TRUE(StartWith("first;First;Space;false\nsecond;Second;Space;false\nfirst;First again;F;false\n"));
    EXPECT_EQ(Frame({DIK_SPACE}), (Strings{"action_listener key_action second,1", "action_listener any_key"}));
    // An action named twice keeps both keys; the map keeps the later line, the order lists it twice.
    EXPECT_EQ(Frame({DIK_F}), (Strings{"action_listener key_action first,1", "action_listener key_action second,0",
                                       "action_listener any_key"}));
    EXPECT_EQ(input->FindAction("first")->keyText, "F");
    EXPECT_EQ(input->GetActionOrder(), (Strings{"first", "second", "first"}));
}

TEST_F(NInputTest, UnreadableFileLeavesTheTablesUnchanged) {
    ASSERT_TRUE(StartWith(kBindings));
    EXPECT_LT(input->LoadActions("missing.cfg"), 0);
    EXPECT_EQ(input->FormatActions(), kBindings);
}

TEST_F(NInputTest, RebindingMovesAKeyBetweenActionsInTheMapOnly) {
    ASSERT_TRUE(StartWith(kBindings));
    input->SetActionKey("Nitro", "Space");
    EXPECT_EQ(input->FindAction("fire")->keyText, "???");
    EXPECT_EQ(input->FindAction("nitro")->keyText, "Space");
    EXPECT_EQ(input->FindAction("nitro")->code, DIK_SPACE);
    // The key table changes only when the file is written and read again.
    EXPECT_EQ(input->GetKeyBinding(DIK_SPACE).secondText, "fire");
    ASSERT_TRUE(input->SaveActions());
    EXPECT_EQ(root.Read("Actions.cfg"), "fire;Fire weapon;???;false\r\nnitro;Nitro;Space;false\r\n"
                                        "accept;Accept;Enter;false\r\n");
    input->LoadActions("Actions.cfg");
    EXPECT_EQ(input->GetKeyBinding(DIK_SPACE).secondText, "nitro");
    EXPECT_FALSE(input->GetKeyBinding(DIK_LSHIFT).assigned);
}

TEST_F(NInputTest, RebindingToAnUnknownNameOnlyFreesTheKey) {
    ASSERT_TRUE(StartWith(kBindings));
    input->SetActionKey("Nitro", "Hyper");
    EXPECT_EQ(input->FindAction("nitro")->keyText, "LShift");
    input->SetActionKey("No such text", "Space");
    EXPECT_EQ(input->FindAction("fire")->keyText, "???");
}

TEST_F(NInputTest, RebindingANumberActionMakesItAKeyName) {
    ASSERT_TRUE(StartWith("pad;Pad;5;true\n"));
    input->SetActionKey("Pad", "P");
    EXPECT_EQ(input->FormatActions(), "pad;Pad;P;false\r\n");
}

} // namespace
