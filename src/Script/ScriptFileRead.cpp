#include "Script/ScriptFileRead.h"

#include "Framework/PFileReader.h"

namespace Script {

int ReadScriptFile(const std::string& gamePath, std::vector<char>& bytes) {
    CPFileReader reader(gamePath);
    const HRESULT hr = reader.Load();
    if (FAILED(hr)) return -1;
    const auto* data = reinterpret_cast<const char*>(reader.GetData());
    bytes.assign(data, data + reader.GetDataSize());
    return hr;
}

} // namespace Script
