#pragma once
// What the game and its shader compiler program say to each other (internal to the effects
// library). Every message is a 32-bit length and that many bytes; numbers inside are 32-bit,
// strings a 32-bit length and their bytes. Both ends are built from the same sources and run on
// the same machine, so numbers travel in the machine's own byte order.

#include "Platform/Effects/HlslCompiler.h"

#include <cstdint>
#include <string>

namespace Platform::ShaderCompilerProtocol {

// No message comes near this: the largest shader of an effect file is a few hundred KiB, and
// effect files themselves are bounded well below it.
constexpr uint32_t kMaxMessageBytes = 64u << 20;

// The program's name, looked for beside the running executable.
constexpr const char* kProgramName = "korvaxa-shaderc";

// Environment switches: a path to the program (tests, unusual installs), and the program's test
// hooks (entry points that make it crash or hang, for the tests of the game's recovery).
constexpr const char* kProgramEnv = "KORVAXA_SHADERC";
constexpr const char* kTestHooksEnv = "KORVAXA_SHADERC_TEST_HOOKS";
constexpr const char* kCrashEntry = "kx_test_crash";
constexpr const char* kHangEntry = "kx_test_hang";

struct Request {
    ShaderStage stage = ShaderStage::Pixel;
    std::string entryPoint;
    std::string source;
};

struct Response {
    bool compiled = false;
    // The program ends after this answer (it ran out of memory and its state is not to be
    // trusted); the game starts a new one for the next shader.
    bool ending = false;
    std::string error;
    CompiledShader shader;
};

std::string EncodeRequest(const Request& request);
bool DecodeRequest(const std::string& payload, Request& request);
std::string EncodeResponse(const Response& response);
bool DecodeResponse(const std::string& payload, Response& response);

} // namespace Platform::ShaderCompilerProtocol
