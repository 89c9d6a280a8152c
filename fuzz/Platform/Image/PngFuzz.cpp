// A PNG file through the picture decoder. The decoder tells formats by their bytes; this target's
// corpus holds PNG files so the fuzzer starts from them.

#include "DecodeImageFuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kxfuzz::DecodeImageEveryWay(data, size);
    return 0;
}
