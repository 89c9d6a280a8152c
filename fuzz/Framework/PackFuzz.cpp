// A pack file as the game meets it: "data\game1.dat" under the game root, mounted, then every
// entry of its index read back through the file reader.

#include "Framework/PFileReader.h"
#include "Framework/PLog.h"
#include "Framework/PackFile.h"
#include "FuzzSupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("data/game1.dat", data, size);
    MountPacks();
    std::vector<std::string> keys;
    for (const CPPackFile& pack : MountedPacks())
        for (const auto& [key, entry] : pack.Entries()) keys.push_back(key);
    for (const std::string& key : keys) {
        CPFileReader reader(key);
        if (FAILED(reader.Load())) continue;
        // Every read stays within the entry's bytes, whatever the index claims.
        std::vector<std::uint8_t> bytes(static_cast<std::size_t>(reader.GetDataSize()));
        if (!bytes.empty() && FAILED(reader.ReadBytes(bytes.data(), reader.GetDataSize()))) std::abort();
        reader.ReadInt();
        reader.ReadString();
    }
    UnmountPacks();
    return 0;
}
