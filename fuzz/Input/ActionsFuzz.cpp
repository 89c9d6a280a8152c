// "Actions.cfg" as the game reads it at start-up and writes it at shut-down. What the input task
// writes after reading a file must read back to the same bindings: a binding never drifts or is
// lost between two runs of the game.

#include "Framework/PLog.h"
#include "Framework/PMMObject.h"
#include "FuzzSupport.h"
#include "Input/ActionsFile.h"
#include "Input/NInput.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Actions.cfg", data, size);

    std::vector<Input::ActionLine> lines;
    if (Input::ReadActionsFile("Actions.cfg", lines) < 0) std::abort();
    {
        CPSmartPtr<CNInput> input(new CNInput());
        if (input->LoadActions("Actions.cfg") < 0) std::abort();
        const std::string first = input->FormatActions();
        if (!input->SaveActions("Actions.cfg")) std::abort();
        if (input->LoadActions("Actions.cfg") < 0) std::abort();
        const std::string second = input->FormatActions();
        if (first != second) {
            std::fprintf(stderr, "Actions.cfg changed when read back:\n%s\n----\n%s\n", first.c_str(), second.c_str());
            std::abort();
        }
    }
    IPMMObject::CollectGarbage();
    IPMMObject::CollectGarbage();
    return 0;
}
