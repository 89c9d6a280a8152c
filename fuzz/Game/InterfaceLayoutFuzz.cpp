// An interface layout ("Data\Interface\<name>1024.int") read by CPInterface::LoadLayout through
// the file layer, with a font to print its texts, then used as the game uses it: activated,
// pointed at, clicked, moved, its focus moved from the keyboard and its batch rebuilt.

#include "Framework/PApplication.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Render/PRenderObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void CheckBatch(const CPInterface& ui) {
    const CPRenderObject* batch = ui.GetBatch();
    if (batch->ModelVertices().size() % 4 != 0) std::abort();
    if (batch->Indices().size() != batch->ModelVertices().size() / 4 * 6) std::abort();
    if (batch->WorldVertices().size() != batch->ModelVertices().size()) std::abort();
    for (std::uint16_t index : batch->Indices())
        if (index >= batch->ModelVertices().size()) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Interface/menu1024.int", data, size);
    root.Write("Data/Fonts/fonts.dat", "f\t2\n");
    root.Write("Data/Fonts/f.fnt", "width\t64\nheight\t64\nx\t8\ny\t8\nA\t6\nB\t7\n_\t5\n");
    ComputeInterfaceScale(g_screenWidth, g_screenHeight);
    {
        CPFontManager fonts;
        fonts.Load();
        CPSmartPtr<CPInterface> ui(new CPInterface());
        ui->LoadLayout("menu", 0);
        CheckBatch(*ui);
        ui->SilentActivate(450);
        for (float p : {0.0f, 10.0f, 100.5f, 512.0f}) {
            BroadcastMouseMove(p, p);
            BroadcastMouseDown(0, p, p);
            BroadcastMouseUp(0, p, p);
        }
        BroadcastFocusNext();
        BroadcastEnterDown();
        BroadcastEnterUp();
        BroadcastFocusPrevious();
        BroadcastMenuDown();
        for (const auto& [name, box] : ui->GetEditBoxes()) {
            box->ProcessKey('a');
            box->ProcessKey(8);
            box->SetText("AB");
        }
        ui->Move(3.0f, -4.0f);
        ui->SetCursor("none");
        ui->SetCursor("cursor");
        ui->RebuildBatch();
        CheckBatch(*ui);
        ui->Deactivate();
    }
    for (int i = 0; i < 3; ++i) IPMMObject::CollectGarbage();
    if (!CPInterface::LiveInterfaces().empty()) std::abort();
    return 0;
}
