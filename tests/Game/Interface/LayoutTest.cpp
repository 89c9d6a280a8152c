// Interface layouts: what each line builds, scaled to the screen, and the batch that draws the
// windows and buttons.

#include "InterfaceFixture.h"

#include "Render/PEffect.h"

using namespace interfacetest;

namespace {

class LayoutTest : public InterfaceTest {
protected:
    const float s = 1024.0f / 768.0f;
    const float offset = (1280.0f - 1024.0f * s) / 2.0f;
};

TEST_F(LayoutTest, WindowsTextsAndFieldsAreScaledToTheScreen) {
    UseScreen(1280, 1024);
    WriteLayout("menu", Header() + "window\nframe 0,10,100,50,64,32,128,16\n"
                                   "text\ntitle f,0,20,hello\n"
                                   "textedit\nname 30,40,f,8,ignored,AB\n");
    auto ui = Load("menu");
    const CPWindow* frame = ui->FindElement("frame");
    ASSERT_NE(frame, nullptr);
    EXPECT_FLOAT_EQ(frame->GetX(), offset - 0.5f);
    EXPECT_FLOAT_EQ(frame->GetY(), 10.0f * s - 0.5f);
    EXPECT_FLOAT_EQ(frame->GetWidth(), 100.0f * s);
    EXPECT_FLOAT_EQ(frame->GetHeight(), 50.0f * s);
    const SPVertex* q = frame->GetVertices();
    EXPECT_FLOAT_EQ(q[0].tu, 0.25f);
    EXPECT_FLOAT_EQ(q[0].tv, 0.125f);
    EXPECT_FLOAT_EQ(q[2].tu, 0.75f);
    EXPECT_FLOAT_EQ(q[2].tv, 0.1875f);
    EXPECT_FLOAT_EQ(q[2].x, 100.0f * s);
    EXPECT_FLOAT_EQ(q[2].y, 50.0f * s);
    // The second coordinates are the quad's place on the screen over the screen size.
    EXPECT_FLOAT_EQ(q[2].tu1, (offset - 0.5f + 100.0f * s) / 1280.0f);
    EXPECT_FLOAT_EQ(q[0].tv1, (10.0f * s - 0.5f) / 1024.0f);

    const SPTextEntry* title = ui->FindText("title");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->font, "f");
    EXPECT_FLOAT_EQ(title->x, 0.5f);
    EXPECT_FLOAT_EQ(title->y, 20.0f * s + 0.5f);
    EXPECT_EQ(title->text, ""); // printed at load, not stored
    const auto& glyphs = title->object->GetRenderObject()->ModelVertices();
    ASSERT_EQ(glyphs.size(), 8u); // "hello" is "AB"
    EXPECT_FLOAT_EQ(glyphs[0].x, offset + 0.5f);

    const SPTextEntry* name = ui->FindText("name");
    ASSERT_NE(name, nullptr);
    EXPECT_FLOAT_EQ(name->x, 30.0f * s + 0.5f);
    EXPECT_FLOAT_EQ(name->y, 40.0f * s + 0.5f);
    const CPEditBox* box = ui->FindEditBox("name");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->GetText(), "AB");
    EXPECT_EQ(box->GetMaxLength(), 8);
    EXPECT_EQ(name->object->GetRenderObject()->ModelVertices().size(), 12u); // "AB_"
}

TEST_F(LayoutTest, TheLightLineAndTheEffectItChooses) {
    struct Case {
        std::string light;
        bool on;
        std::string effect;
    };
    const Case cases[] = {
        {"l,on,0,0,1,0.5,0.25,1", true, "interface.fx"},
        {"l,on,0,0,1,0.5,0.25,1,smooth", true, "interface2.fx"},
        {"l,off,0,0,0,0,0,0,smooth", false, "interface2.fx"},
        {"l,ON,0,0,1,1,1,1,Smooth", false, "interface.fx"},
        {"l", false, "interface.fx"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string name = "light" + std::to_string(n++);
        WriteLayout(name, Header("no_script", c.light));
        auto ui = Load(name, 3);
        EXPECT_EQ(ui->IsLightOn(), c.on) << c.light;
        ASSERT_TRUE(ui->GetBatch()->GetMaterial()) << c.light;
        EXPECT_EQ(ui->GetBatch()->GetMaterial()->GetRenderKey(), 203);
        EXPECT_NE(ui->GetBatch()->GetMaterial()->GetClassName().find(c.effect), std::string::npos)
            << c.light << " " << ui->GetBatch()->GetMaterial()->GetClassName();
        if (c.on) {
            const D3DLIGHT9& light = ui->GetLightRecord();
            EXPECT_EQ(light.Type, D3DLIGHT_DIRECTIONAL);
            EXPECT_FLOAT_EQ(light.Direction.z, 1.0f);
            EXPECT_FLOAT_EQ(light.Diffuse.r, 0.5f);
            EXPECT_FLOAT_EQ(light.Specular.g, 0.25f);
            EXPECT_FLOAT_EQ(light.Diffuse.a, 0.0f);
            EXPECT_FLOAT_EQ(light.Ambient.r, 0.0f);
            EXPECT_FLOAT_EQ(light.Range, 10000.0f);
        }
    }
}

TEST_F(LayoutTest, KindWordsInAnyCaseMisspelledKindsAndDuplicates) {
    WriteLayout("kinds", Header() + "WINDOW\none 0,0,10,10\n"
                                    "Button\nb 20,0,10,10\nb_over 20,0,10,10\nb_down 20,0,10,10\n"
                                    "windw\nskipped 0,0,1,1\n"
                                    "window\none 50,0,10,10\n"
                                    "TextEdit\nfield 0,0,f,4\n"
                                    "TEXT\nlabel f,0,0,hello\n");
    auto ui = Load("kinds");
    // Both windows named "one" are drawn; the later one is found by name.
    ASSERT_EQ(ui->GetElements().size(), 3u);
    EXPECT_FLOAT_EQ(ui->FindElement("one")->GetX(), 49.5f);
    EXPECT_EQ(ui->FindElement("skipped"), nullptr);
    ASSERT_EQ(ui->GetButtons().size(), 1u);
    EXPECT_EQ(ui->GetButtons()[0]->GetName(), "b");
    EXPECT_NE(ui->FindEditBox("field"), nullptr);
    EXPECT_NE(ui->FindText("label"), nullptr);
    EXPECT_EQ(ui->GetBatch()->ModelVertices().size(), 12u);
}

TEST_F(LayoutTest, TheCursorWindowIsThePointerPictureAndNoElement) {
    WriteLayout("pointer", Header("no_script", "l,off,0,0,0,0,0,0,smooth") + "window\ncursor 5,6,16,24,0,0,16,24\n");
    auto ui = Load("pointer");
    EXPECT_EQ(ui->FindElement("cursor"), nullptr);
    EXPECT_TRUE(ui->GetElements().empty());
    ASSERT_TRUE(ui->GetPointerObject());
    CPRenderObject* mesh = ui->GetPointerObject()->GetRenderObject();
    ASSERT_NE(mesh, nullptr);
    ASSERT_EQ(mesh->ModelVertices().size(), 4u);
    // The quad without the window's position.
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[0].x, 0.0f);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[2].x, 16.0f);
    EXPECT_FLOAT_EQ(mesh->ModelVertices()[2].y, 24.0f);
    EXPECT_EQ(mesh->GetMaterial()->GetRenderKey(), 231);
    EXPECT_NE(mesh->GetMaterial()->GetClassName().find("interface.fx"), std::string::npos);
    EXPECT_EQ(ui->GetPointerObject()->GetParentPointer(), ui.Get());
    EXPECT_EQ(ui->GetPointerName(), "");
}

TEST_F(LayoutTest, TextsAreChildrenWithoutChildNameEntries) {
    WriteLayout("texts", Header() + "text\nlabel f,0,0,hello\ntextedit\nfield 0,0,f,4\n");
    auto ui = Load("texts");
    ASSERT_EQ(ui->GetChildren().size(), 2u);
    for (const auto& child : ui->GetChildren()) EXPECT_EQ(child->GetParentPointer(), ui.Get());
    EXPECT_FALSE(ui->FindObject("label"));
    EXPECT_FALSE(ui->FindObject("text"));
    EXPECT_FALSE(ui->FindObject("field"));
}

TEST_F(LayoutTest, AMissingFileLeavesAnEmptyInterface) {
    auto ui = Load("nowhere");
    EXPECT_EQ(ui->GetName(), "nowhere");
    EXPECT_EQ(ui->GetClassName(), "CPInterface - nowhere");
    EXPECT_TRUE(ui->GetElements().empty());
    EXPECT_FALSE(ui->GetBatch()->GetMaterial());
    EXPECT_FALSE(ui->GetScriptPointer());
    EXPECT_TRUE(ui->GetBatch()->ModelVertices().empty());
    EXPECT_EQ(ui->GetKind(), IPSceneObject::KindMesh);
}

TEST_F(LayoutTest, MissingFieldsReadAsZeroAndFalseHides) {
    WriteLayout("sparse",
                Header() + "window\nbare\nwindow\nhidden 0,0,4,4,0,0,0,0,false\nwindow\nshown 0,0,4,4,0,0,0,0,no\n");
    auto ui = Load("sparse");
    const CPWindow* bare = ui->FindElement("bare");
    ASSERT_NE(bare, nullptr);
    EXPECT_FLOAT_EQ(bare->GetWidth(), 0.0f);
    EXPECT_FLOAT_EQ(bare->GetX(), -0.5f);
    EXPECT_TRUE(bare->IsVisible());
    EXPECT_FALSE(ui->FindElement("hidden")->IsVisible());
    EXPECT_TRUE(ui->FindElement("shown")->IsVisible());
}

TEST_F(LayoutTest, TheBatchHoldsVisibleElementsInLoadOrder) {
    WriteLayout("batch", Header() + "window\na 0,0,10,10\n"
                                    "button\nb 20,0,10,10,0,0,1,1\nb1 20,0,12,12,1,0,1,1\nb2 20,0,14,14,2,0,1,1\n"
                                    "window\nhidden 40,0,10,10,0,0,0,0,false\n"
                                    "window\nc 60,0,10,10\n");
    auto ui = Load("batch");
    ui->FindElement("c")->SetEnabled(false); // disabled elements are still drawn
    ui->RebuildBatch();
    CPRenderObject* batch = ui->GetBatch();
    const auto& v = batch->ModelVertices();
    ASSERT_EQ(v.size(), 12u);
    EXPECT_FLOAT_EQ(v[0].x, -0.5f);
    EXPECT_FLOAT_EQ(v[4].x, 19.5f);
    EXPECT_FLOAT_EQ(v[6].x, 29.5f);
    EXPECT_FLOAT_EQ(v[8].x, 59.5f);
    EXPECT_EQ(batch->Indices(), (std::vector<std::uint16_t>{0, 1, 2, 0, 2, 3, 4, 5, 6, 4, 6, 7, 8, 9, 10, 8, 10, 11}));
    EXPECT_EQ(batch->GetVertexCount(), 12);
    EXPECT_EQ(batch->GetIndexCount(), 18);

    // A button draws the quad of its state window.
    auto* button = static_cast<CPButton*>(ui->FindElement("b"));
    button->OnPointerEnter(21.0f, 1.0f);
    ui->RebuildBatch();
    EXPECT_FLOAT_EQ(batch->ModelVertices()[6].x, 19.5f + 12.0f);
    EXPECT_FLOAT_EQ(batch->ModelVertices()[4].tu, 1.0f / 256);
    // The world copy follows the rebuild at once.
    for (std::size_t i = 0; i < batch->ModelVertices().size(); ++i) {
        EXPECT_FLOAT_EQ(batch->WorldVertices()[i].x, batch->ModelVertices()[i].x);
        EXPECT_FLOAT_EQ(batch->WorldVertices()[i].y, batch->ModelVertices()[i].y);
    }
    button->OnPress(0, 21.0f, 1.0f);
    ui->RebuildBatch();
    EXPECT_FLOAT_EQ(batch->ModelVertices()[6].x, 19.5f + 14.0f);
}

TEST_F(LayoutTest, MoveShiftsWindowsAndTextsWithoutRebuilding) {
    WriteLayout("move", Header() + "window\na 10,10,10,10\ntext\nlabel f,0,0,hello\ntextedit\nfield 0,30,f,4,x,AB\n");
    auto ui = Load("move");
    ui->Move(5.0f, 7.0f);
    EXPECT_FLOAT_EQ(ui->FindElement("a")->GetX(), 14.5f);
    EXPECT_FLOAT_EQ(ui->FindElement("a")->GetY(), 16.5f);
    EXPECT_FLOAT_EQ(ui->FindElement("a")->GetVertices()[0].tu1, 14.5f / 1024.0f);
    EXPECT_FLOAT_EQ(ui->GetBatch()->ModelVertices()[0].x, 9.5f); // not rebuilt
    // A text only printed at load reprints empty; the field shows its content and "_".
    EXPECT_TRUE(ui->FindText("label")->object->GetRenderObject()->ModelVertices().empty());
    const auto& field = ui->FindText("field")->object->GetRenderObject()->ModelVertices();
    ASSERT_EQ(field.size(), 12u);
    EXPECT_FLOAT_EQ(field[0].x, 5.5f);
    EXPECT_FLOAT_EQ(field[0].y, 37.5f);
}

TEST_F(LayoutTest, ScriptLinesNameTheInterfacesScript) {
    WriteLayout("scripted", Header("nobody_has_this_script") + "window\na 0,0,1,1\n");
    auto ui = Load("scripted");
    EXPECT_FALSE(ui->GetScriptPointer());
    ASSERT_EQ(ui->GetElements().size(), 1u);
}

TEST_F(LayoutTest, TheLiveListKeepsConstructionOrderAndForgetsDestroyedInterfaces) {
    const std::size_t before = CPInterface::LiveInterfaces().size();
    auto* first = new CPInterface();
    auto* second = new CPInterface();
    ASSERT_EQ(CPInterface::LiveInterfaces().size(), before + 2);
    EXPECT_EQ(CPInterface::LiveInterfaces()[before], first);
    EXPECT_EQ(CPInterface::LiveInterfaces()[before + 1], second);
    delete first;
    ASSERT_EQ(CPInterface::LiveInterfaces().size(), before + 1);
    EXPECT_EQ(CPInterface::LiveInterfaces()[before], second);
    delete second;
    EXPECT_EQ(CPInterface::LiveInterfaces().size(), before);
}

TEST_F(LayoutTest, AnElementAScriptKeepsOutlivesItsInterfaceSafely) {
    WriteLayout("keep", Header() + "button\nb 0,0,10,10\nb1 0,0,10,10\nb2 0,0,10,10\n");
    CPSmartPtr<CPWindow> kept;
    {
        auto ui = Load("keep");
        kept = CPSmartPtr<CPWindow>(ui->FindElement("b"));
    }
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    EXPECT_EQ(kept->GetOwner(), nullptr);
    kept->SetEnabled(false); // would rebuild the gone interface's batch
    EXPECT_TRUE(kept->OnRelease(0, 1.0f, 1.0f));
}

} // namespace
