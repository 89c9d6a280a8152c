// A lens-flare layout ("Data\Interface\<name>.int", tab-separated lines) read by
// CPLensFlareInterface::LoadLayout through the file layer, then faded and placed for sources on,
// off and far off the screen at several scales.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzSupport.h"
#include "Game/PLensFlareInterface.h"
#include "Render/PRenderObject.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Interface/flare.int", data, size);
    {
        CPSmartPtr<CPLensFlareInterface> overlay(new CPLensFlareInterface());
        overlay->LoadLayout("flare", 1);
        if (overlay->GetElements().size() != overlay->GetFlares().size()) std::abort();
        overlay->SetAlpha(255);
        const int sources[][2] = {{320, 240}, {0, 0}, {-100000, 900000}, {2147483647, -2147483647}};
        int step = 0;
        for (const auto& source : sources) {
            for (float scale : {0.0f, 1.0f, 3.5f, -2.0f}) {
                overlay->SetSourcePosition(source[0], source[1]);
                overlay->SetScale(scale);
                overlay->SetFlareVisible(++step % 3 != 0);
                overlay->Update(static_cast<float>(step * 700));
                if (!(overlay->GetFade() >= 0.0f && overlay->GetFade() <= 255.0f)) std::abort();
                const CPRenderObject* batch = overlay->GetBatch();
                for (std::uint16_t index : batch->Indices())
                    if (index >= batch->ModelVertices().size()) std::abort();
            }
        }
    }
    IPMMObject::CollectGarbage();
    return 0;
}
