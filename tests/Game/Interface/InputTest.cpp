// Keyboard and pointer input through the installed broadcasts: focus, button states and the
// commands sent, as a table of event sequences.

#include "InterfaceFixture.h"

#include <sstream>

#include "Input/InterfaceBroadcasts.h"
#include "Script/PLuaScript.h"

using namespace interfacetest;

namespace {

// Two overlapping buttons (b1 loaded first), a plain window, the pointer picture.
const char* const kMenu = "button\nb1 0,0,100,100\nb1o 0,0,100,100\nb1p 0,0,100,100\n"
                          "button\nb2 50,50,100,100\nb2o 50,50,100,100\nb2p 50,50,100,100\n"
                          "window\nw 300,0,50,50\n"
                          "window\ncursor 0,0,8,8\n";

class InputTest : public InterfaceTest {
protected:
    void SetUp() override {
        InterfaceTest::SetUp();
        InstallInterfaceBroadcasts();
    }
    void TearDown() override {
        SetInterfaceBroadcasts(nullptr);
        InterfaceTest::TearDown();
    }

    CPSmartPtr<CPInterface> Menu(const std::string& name, const std::string& body = kMenu) {
        WriteLayout(name, Header() + body);
        auto ui = Load(name);
        ui->SetScript(CPSmartPtr<CPLuaScript>(new CPLuaScript()));
        ui->SilentActivate(450);
        TakeCommands();
        return ui;
    }

    // Runs "move x y", "down x y", "up x y", "enter_down", "enter_up", "menu_up", "menu_down",
    // "menu_left", "menu_right", "next", "previous", "activate", "deactivate", "disable n",
    // "hide n" and "cursor n", separated by ";".
    void Run(CPInterface& ui, const std::string& events) {
        IPInterfaceBroadcasts* b = GetInterfaceBroadcasts();
        ASSERT_NE(b, nullptr);
        std::stringstream all(events);
        std::string event;
        while (std::getline(all, event, ';')) {
            std::stringstream in(event);
            std::string word, name;
            float x = 0, y = 0;
            in >> word;
            if (word == "move" || word == "down" || word == "up") in >> x >> y;
            if (word == "disable" || word == "hide" || word == "cursor") in >> name;
            if (word == "move")
                b->BroadcastMouseMove(x, y);
            else if (word == "down")
                b->BroadcastMouseDown(0, x, y);
            else if (word == "up")
                b->BroadcastMouseUp(0, x, y);
            else if (word == "enter_down")
                b->BroadcastEnterDown();
            else if (word == "enter_up")
                b->BroadcastEnterUp();
            else if (word == "menu_up")
                b->BroadcastMenuUp();
            else if (word == "menu_down")
                b->BroadcastMenuDown();
            else if (word == "menu_left")
                b->BroadcastMenuLeft();
            else if (word == "menu_right")
                b->BroadcastMenuRight();
            else if (word == "next")
                BroadcastFocusNext();
            else if (word == "previous")
                BroadcastFocusPrevious();
            else if (word == "activate")
                ui.SilentActivate(450);
            else if (word == "deactivate")
                ui.Deactivate();
            else if (word == "disable")
                ui.FindElement(name)->SetEnabled(false);
            else if (word == "hide")
                ui.FindElement(name)->SetVisible(false);
            else if (word == "cursor")
                ui.SetCursor(name);
            else
                FAIL() << "unknown event " << word;
        }
    }

    static std::string Focus(const CPInterface& ui) { return ui.GetFocus() ? ui.GetFocus()->GetName() : "-"; }
    static int State(const CPInterface& ui, const std::string& name) {
        return static_cast<const CPButton*>(ui.FindElement(name))->GetState();
    }
};

struct Case {
    const char* what;
    std::string events;
    std::vector<std::string> commands;
    std::string focus;
    int b1, b2;
};

TEST_F(InputTest, EventSequences) {
    const Case cases[] = {
        {"overlapping buttons: the later one takes the focus, both report",
         "move 60 60",
         {"category interface mouse_move 0.06,0.08", "category interface mouse_button_over b2",
          "category interface mouse_window_over2 b2,t", "category interface mouse_window_over2 b1,t"},
         "b2",
         0,
         1},
        {"moving within a button repeats over; leaving sends out once",
         "move 10 10;move 20 20;move 500 500",
         {"category interface mouse_move 0.01,0.01", "category interface mouse_button_over b1",
          "category interface mouse_window_over2 b1,t", "category interface mouse_move 0.02,0.03",
          "category interface mouse_button_over b1", "category interface mouse_window_over2 b1,t",
          "category interface mouse_move 0.49,0.65", "category interface mouse_button_out b1"},
         "-",
         0,
         0},
        {"a click sends the button to the interface's script",
         "move 10 10;down 10 10;up 10 10",
         {"category interface mouse_move 0.01,0.01", "category interface mouse_button_over b1",
          "category interface mouse_window_over2 b1,t", "object script button b1"},
         "b1",
         1,
         0},
        {"press, move off, release: no click",
         "move 10 10;down 10 10;move 500 500;up 500 500",
         {"category interface mouse_move 0.01,0.01", "category interface mouse_button_over b1",
          "category interface mouse_window_over2 b1,t", "category interface mouse_move 0.49,0.65",
          "category interface mouse_button_out b1"},
         "-",
         0,
         0},
        {"a plain window reports over and its release",
         "move 310 10;down 310 10;up 310 10",
         {"category interface mouse_move 0.30,0.01", "category interface mouse_window_over w",
          "category interface mouse_window_over2 w,t", "object script window w,310.00,10.00"},
         "w",
         0,
         0},
        {"a deactivated interface takes no click",
         "move 10 10;deactivate;down 10 10;up 10 10",
         {"category interface mouse_move 0.01,0.01", "category interface mouse_button_over b1",
          "category interface mouse_window_over2 b1,t"},
         "b1",
         1,
         0},
        {"a deactivated interface gains no focus but keeps its pointer position",
         "deactivate;move 10 10",
         {"category interface mouse_move 0.01,0.01"},
         "-",
         0,
         0},
        {"Enter presses and releases a focused button at its corner",
         "next;enter_down;enter_up",
         {"category interface mouse_button_over b1", "object script button b1"},
         "b1",
         1,
         0},
        {"Enter on a focused window does nothing",
         "move 310 10;enter_down;enter_up",
         {"category interface mouse_move 0.30,0.01", "category interface mouse_window_over w",
          "category interface mouse_window_over2 w,t"},
         "w",
         0,
         0},
        // b2's test point (its corner plus 1) lies inside b1 too, so b1 is not left on the way.
        {"next with no focus takes the first button; next again the second; then back",
         "next;next;next",
         {"category interface mouse_button_over b1", "category interface mouse_button_over b2",
          "category interface mouse_button_out b2", "category interface mouse_button_over b1"},
         "b1",
         1,
         0},
        {"previous with no focus takes the last usable button",
         "previous",
         {"category interface mouse_button_over b2"},
         "b2",
         0,
         1},
        {"previous wraps from the first button to the last",
         "next;previous",
         {"category interface mouse_button_over b1", "category interface mouse_button_over b2"},
         "b2",
         1,
         1},
        {"next with every button disabled does nothing", "disable b1;disable b2;next;previous", {}, "-", 0, 0},
        {"next skips a hidden first button", "hide b1;next", {"category interface mouse_button_over b2"}, "b2", 0, 1},
        {"the arrows reach the script of an active interface, up sending menu_down",
         "menu_down;menu_up;menu_left;menu_right",
         {"object script menu_down ", "object script menu_up ", "object script menu_left ",
          "object script menu_right "},
         "-",
         0,
         0},
        {"an inactive interface's script gets no arrows and no keyboard focus",
         "deactivate;menu_down;menu_left;next;enter_down",
         {},
         "-",
         0,
         0},
        {"without a pointer picture the mouse gives no focus, the keyboard still does",
         "cursor none;move 10 10;next",
         {"category interface mouse_move 0.01,0.01", "category interface mouse_button_over b1"},
         "b1",
         1,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The previous case's interface goes before this one is made.
        for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
        auto ui = Menu("t");
        Run(*ui, c.events);
        EXPECT_EQ(TakeCommands(), c.commands);
        EXPECT_EQ(Focus(*ui), c.focus);
        EXPECT_EQ(State(*ui, "b1"), c.b1);
        EXPECT_EQ(State(*ui, "b2"), c.b2);
        ui->Deactivate();
    }
}

TEST_F(InputTest, TheNewestInterfaceIsServedFirstAndEachKeepsItsOwnFocus) {
    auto older = Menu("older");
    auto newer = Menu("newer");
    Run(*newer, "move 10 10");
    const auto commands = TakeCommands();
    ASSERT_EQ(commands.size(), 5u);
    EXPECT_EQ(commands[1], "category interface mouse_button_over b1");
    EXPECT_EQ(commands[2], "category interface mouse_window_over2 b1,newer");
    EXPECT_EQ(commands[4], "category interface mouse_window_over2 b1,older");
    EXPECT_EQ(Focus(*older), "b1");
    EXPECT_EQ(Focus(*newer), "b1");
}

TEST_F(InputTest, ThePointerPictureFollowsThePointer) {
    auto ui = Menu("follow");
    Run(*ui, "move 33 44");
    EXPECT_FLOAT_EQ(ui->GetPointerObject()->GetPosition().x, 33.0f);
    EXPECT_FLOAT_EQ(ui->GetPointerObject()->GetPosition().y, 44.0f);
    EXPECT_FLOAT_EQ(ui->GetPointerX(), 33.0f);
    // A picture the interface chose not to have is hidden; "cursor" brings it back there.
    ui->SetCursor("other");
    EXPECT_FALSE(ui->GetPointerObject());
    ui->SetCursor("cursor");
    ASSERT_TRUE(ui->GetPointerObject());
    EXPECT_TRUE(ui->GetPointerObject()->IsVisible());
    EXPECT_FLOAT_EQ(ui->GetPointerObject()->GetPosition().x, 33.0f);
}

TEST_F(InputTest, ActivationRepeatsThePointerTestAndKeepsTheFocus) {
    auto ui = Menu("again");
    Run(*ui, "move 10 10");
    ui->Deactivate();
    EXPECT_EQ(Focus(*ui), "b1");
    TakeCommands();
    // No input task: the cursor reads (0, 0), which lies on b1's corner.
    ui->Activate(450);
    EXPECT_TRUE(ui->IsActive());
    const auto commands = TakeCommands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands[0], "category interface mouse_move 0.00,0.00");
    EXPECT_EQ(Focus(*ui), "b1");
}

TEST_F(InputTest, AHoverRebuildsTheBatchWithTheStatePicture) {
    auto ui = Menu("hover", "button\nb 0,0,10,10\nbo 0,0,20,20\nbp 0,0,30,30\nwindow\ncursor 0,0,1,1\n");
    Run(*ui, "move 5 5");
    const auto& v = ui->GetBatch()->ModelVertices();
    ASSERT_EQ(v.size(), 4u);
    EXPECT_FLOAT_EQ(v[2].x, 19.5f);
    EXPECT_FLOAT_EQ(ui->GetBatch()->WorldVertices()[2].x, 19.5f);
}

TEST_F(InputTest, AButtonAScriptMovedAnswersWhereItIsDrawn) {
    auto ui = Menu("moved", "button\nb 0,0,10,10\nbo 0,0,10,10\nbp 0,0,10,10\nwindow\ncursor 0,0,1,1\n");
    ui->FindElement("b")->SetPosition(200.0f, 200.0f);
    Run(*ui, "move 5 5");
    EXPECT_EQ(Focus(*ui), "-");
    Run(*ui, "move 205 205");
    EXPECT_EQ(Focus(*ui), "b");
}

} // namespace
