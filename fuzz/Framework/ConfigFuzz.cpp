// "config.cfg" as the game reads it at start-up and writes it at shut-down. What one pass of
// reading and writing gives must read back to the same file: a setting never drifts or is lost
// from one run of the game to the next.

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string ReadBack(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("config.cfg", data, size);
    ResetSettingsToDefaults();
    {
        CPSettings settings;
        settings.Load("config.cfg");
        if (FAILED(settings.Save("config.cfg"))) std::abort();
    }
    const std::string first = ReadBack(root.Path() + "/config.cfg");
    ResetSettingsToDefaults();
    {
        CPSettings settings;
        settings.Load("config.cfg");
        if (FAILED(settings.Save("config.cfg"))) std::abort();
    }
    const std::string second = ReadBack(root.Path() + "/config.cfg");
    if (first != second) {
        std::fprintf(stderr, "config.cfg changed when read back:\n%s\n----\n%s\n", first.c_str(), second.c_str());
        std::abort();
    }
    ResetSettingsToDefaults();
    return 0;
}
