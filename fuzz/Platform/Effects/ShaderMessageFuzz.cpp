// The messages between the game and its shader compiler program, as each end decodes what the
// other sent: a request or an answer that decodes must encode back to a message that decodes to
// the same, and nothing may be read beyond the bytes given.

#include "Platform/Effects/ShaderCompilerProtocol.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace Protocol = Platform::ShaderCompilerProtocol;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string payload(reinterpret_cast<const char*>(data), size);
    Protocol::Request request;
    if (Protocol::DecodeRequest(payload, request)) {
        Protocol::Request again;
        if (!Protocol::DecodeRequest(Protocol::EncodeRequest(request), again) || again.source != request.source ||
            again.entryPoint != request.entryPoint || again.stage != request.stage)
            std::abort();
    }
    Protocol::Response response;
    if (Protocol::DecodeResponse(payload, response)) {
        Protocol::Response again;
        if (!Protocol::DecodeResponse(Protocol::EncodeResponse(response), again) ||
            Protocol::EncodeResponse(again) != Protocol::EncodeResponse(response))
            std::abort();
    }
    return 0;
}
