// "Data\Fonts\fonts.dat" and the .fnt files it names, read by the font manager through the file
// layer, then every byte printed with every loaded font.
//
// Input: up to four parts split at "----" lines: fonts.dat, then the files "a.fnt", "b.fnt" and
// "c.fnt" (a list naming a, b and c reaches them).

#include "Framework/PApplication.h"
#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"
#include "Game/PFontManager.h"
#include "Render/PRenderObject.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    std::string_view parts[4];
    kxfuzz::SplitParts(kxfuzz::AsText(data, size), 4, parts);
    root.Write("Data/Fonts/fonts.dat", parts[0]);
    root.Write("Data/Fonts/a.fnt", parts[1]);
    root.Write("Data/Fonts/b.fnt", parts[2]);
    root.Write("Data/Fonts/c.fnt", parts[3]);
    ComputeInterfaceScale(g_screenWidth, g_screenHeight);
    {
        CPFontManager fonts;
        fonts.Load();
        std::string everything;
        for (int c = 0; c < 256; ++c) everything += static_cast<char>(c);
        for (const char* name : {"a", "b", "c", ""}) {
            CPRenderObject mesh;
            float width = 0.0f;
            fonts.PrintIntoMesh(mesh, 1.0f, 2.0f, name, everything, &width);
            // One quad per byte but the caret, with six indices each, all inside the vertices.
            const std::size_t quads = fonts.GetLoadedFont(name) ? 255 : 0;
            if (mesh.ModelVertices().size() != quads * 4 || mesh.Indices().size() != quads * 6) std::abort();
            for (std::uint16_t index : mesh.Indices())
                if (index >= mesh.ModelVertices().size()) std::abort();
        }
    }
    IPMMObject::CollectGarbage();
    return 0;
}
