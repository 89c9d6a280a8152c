// One head-up-display frame: 20 of a 60-element layout's elements shown or hidden by name, four
// of its eight texts printed again (a clock, a lap counter, a speed, a score) and the batch
// rebuilt, against building the same quads' vertices and 16-bit indices by hand into plain
// vectors in the same run. The program prints the ratio of the two.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PMMObject.h"
#include "Framework/PSettings.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "Render/PRenderObject.h"
#include "support/TempDir.h"

namespace {

constexpr int kElements = 60;
constexpr int kToggled = 20;
constexpr int kTexts = 8;
constexpr int kReprinted = 4;
const char* const kTextValue = "01:23.45";

std::string Layout() {
    std::string text = "hud_script\nhud.tga,512,512\nlight,off\n";
    for (int i = 0; i < kElements; ++i) {
        const std::string xy = std::to_string(i % 10 * 100) + "," + std::to_string(i / 10 * 100);
        text += "window\nw" + std::to_string(i) + " " + xy + ",64,32,0,0,64,32\n";
    }
    for (int i = 0; i < kTexts; ++i)
        text += "text\nt" + std::to_string(i) + " hud,10," + std::to_string(i * 30) + ",k\n";
    return text;
}

struct Hud {
    kxtest::TempGameRoot root;
    CPFontManager fonts;
    CPSmartPtr<CPInterface> ui;
    std::vector<std::string> toggled;
    std::vector<SPTextEntry*> texts;

    Hud() {
        ComputeInterfaceScale(g_screenWidth, g_screenHeight);
        CPSmartPtr<SPFont> font(new SPFont());
        font->cellHeight = 20.0f;
        font->tracking = 2.0f;
        for (int c = 0; c < 256; ++c) {
            font->advances[c] = 10.0f;
            font->glyphs[c] = SPGlyph{0.0f, 0.0f, 0.1f, 0.1f};
        }
        fonts.FindFont("hud") = font;
        root.Write("Data/Interface/hud1024.int", Layout());
        ui = CPSmartPtr<CPInterface>(new CPInterface());
        ui->LoadLayout("hud", 0);
        for (int i = 0; i < kToggled; ++i) toggled.push_back("w" + std::to_string(i * 3));
        for (int i = 0; i < kReprinted; ++i) texts.push_back(ui->FindText("t" + std::to_string(i)));
    }
};

Hud& TheHud() {
    static Hud hud;
    return hud;
}

void BM_InterfaceFrame(benchmark::State& state) {
    Hud& hud = TheHud();
    bool shown = false;
    for (auto _ : state) {
        shown = !shown;
        for (const std::string& name : hud.toggled)
            if (CPWindow* element = hud.ui->FindElement(name)) element->SetVisible(shown);
        for (SPTextEntry* entry : hud.texts) {
            entry->text = kTextValue;
            benchmark::DoNotOptimize(PrintIntoEntry(*entry, entry->font, entry->text));
        }
        hud.ui->RebuildBatch();
        benchmark::DoNotOptimize(hud.ui->GetBatch()->ModelVertices().data());
    }
}
BENCHMARK(BM_InterfaceFrame);

// The same work with nothing but vectors: the visible quads of the batch and the glyph quads of
// the four texts built from values at hand.
void BM_HandBuiltReference(benchmark::State& state) {
    std::vector<SPVertex> batch, glyphs[kReprinted];
    std::vector<std::uint16_t> batchIndices, glyphIndices[kReprinted];
    std::vector<bool> visible(kElements, true);
    bool shown = false;
    const std::string text = kTextValue;
    for (auto _ : state) {
        shown = !shown;
        for (int i = 0; i < kToggled; ++i) visible[static_cast<std::size_t>(i * 3)] = shown;
        for (int t = 0; t < kReprinted; ++t) {
            glyphs[t].clear();
            glyphIndices[t].clear();
            float pen = 10.0f;
            for (std::size_t c = 0; c < text.size(); ++c) {
                const auto base = static_cast<std::uint16_t>(glyphs[t].size());
                for (int corner = 0; corner < 4; ++corner) {
                    SPVertex v{};
                    v.x = pen + (corner == 1 || corner == 2 ? 10.0f : 0.0f);
                    v.y = t * 30.0f + (corner >= 2 ? 20.0f : 0.0f);
                    v.tu = corner == 1 || corner == 2 ? 0.1f : 0.0f;
                    v.tv = corner >= 2 ? 0.1f : 0.0f;
                    glyphs[t].push_back(v);
                }
                for (std::uint16_t o : {0, 1, 2, 0, 2, 3})
                    glyphIndices[t].push_back(static_cast<std::uint16_t>(base + o));
                pen += 8.0f;
            }
            benchmark::DoNotOptimize(glyphs[t].data());
        }
        batch.clear();
        batchIndices.clear();
        for (int i = 0; i < kElements; ++i) {
            if (!visible[static_cast<std::size_t>(i)]) continue;
            const auto base = static_cast<std::uint16_t>(batch.size());
            const float x = static_cast<float>(i % 10 * 100), y = static_cast<float>(i / 10 * 100);
            for (int corner = 0; corner < 4; ++corner) {
                SPVertex v{};
                v.x = x + (corner == 1 || corner == 2 ? 64.0f : 0.0f);
                v.y = y + (corner >= 2 ? 32.0f : 0.0f);
                v.tu = corner == 1 || corner == 2 ? 0.125f : 0.0f;
                v.tv = corner >= 2 ? 0.0625f : 0.0f;
                batch.push_back(v);
            }
            for (std::uint16_t o : {0, 1, 2, 0, 2, 3}) batchIndices.push_back(static_cast<std::uint16_t>(base + o));
        }
        benchmark::DoNotOptimize(batch.data());
    }
}
BENCHMARK(BM_HandBuiltReference);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            // CPU time: the machine is shared, and wall time counts the waits for a core.
            const double perIteration = run.GetAdjustedCPUTime();
            if (run.benchmark_name() == "BM_InterfaceFrame") frame = perIteration;
            if (run.benchmark_name() == "BM_HandBuiltReference") reference = perIteration;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    double frame = 0.0, reference = 0.0;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    if (reporter.frame > 0.0 && reporter.reference > 0.0)
        std::printf("head-up-display frame / hand-built reference: %.2fx (target: at most 5x)\n",
                    reporter.frame / reporter.reference);
    benchmark::Shutdown();
    return 0;
}
