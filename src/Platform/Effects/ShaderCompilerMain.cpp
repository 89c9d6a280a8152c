// The shader compiler program: the game hands it HLSL over its standard input (a socket) and
// reads the GLSL back there. The HLSL front end is third-party code that can crash, stall or
// eat memory on hostile text; here that ends this process, which the game notices and survives.
//
//   korvaxa-shaderc [--memory-limit=BYTES]

#include "Platform/Effects/HlslCompiler.h"
#include "Platform/Effects/ShaderCompilerProtocol.h"

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace Protocol = Platform::ShaderCompilerProtocol;

constexpr int kChannel = STDIN_FILENO;

bool ReadAll(void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(kChannel, p, size);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool WriteAll(const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(kChannel, p, size);
        if (n <= 0) {
            if (n < 0 && errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool Answer(const Protocol::Response& response) {
    const std::string payload = Protocol::EncodeResponse(response);
    const uint32_t length = static_cast<uint32_t>(payload.size());
    return WriteAll(&length, sizeof length) && WriteAll(payload.data(), payload.size());
}

// Sanitizer builds reserve terabytes of address space for their shadow memory, which an address
// space bound would refuse; there the game's time-out is the only bound.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kCanBoundAddressSpace = false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kCanBoundAddressSpace = false;
#else
constexpr bool kCanBoundAddressSpace = true;
#endif
#else
constexpr bool kCanBoundAddressSpace = true;
#endif

void BoundMemory(int argc, char** argv) {
    const char* prefix = "--memory-limit=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix, std::strlen(prefix)) != 0) continue;
        const unsigned long long bytes = std::strtoull(argv[i] + std::strlen(prefix), nullptr, 10);
        if (!kCanBoundAddressSpace || bytes == 0) continue;
        rlimit limit{static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        ::setrlimit(RLIMIT_AS, &limit);
    }
}

void RunTestHook(const std::string& entry) {
    if (!std::getenv(Protocol::kTestHooksEnv)) return;
    if (entry == Protocol::kCrashEntry) ::raise(SIGKILL);
    if (entry == Protocol::kHangEntry)
        while (true) ::pause();
}

} // namespace

int main(int argc, char** argv) {
    BoundMemory(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    while (true) {
        uint32_t length = 0;
        // The game closed its end: leave at once, without the exit-time work of a normal return.
        if (!ReadAll(&length, sizeof length) || length > Protocol::kMaxMessageBytes) ::_exit(0);
        std::string payload(length, '\0');
        if (!ReadAll(payload.data(), length)) ::_exit(0);
        Protocol::Request request;
        Protocol::Response response;
        if (!Protocol::DecodeRequest(payload, request)) {
            response.error = "the shader compiler received a malformed request";
            response.ending = true;
        } else {
            RunTestHook(request.entryPoint);
            try {
                response.compiled = Platform::CompileHlslInProcess(request.source, request.entryPoint, request.stage,
                                                                   response.shader, response.error);
            } catch (const std::bad_alloc&) {
                response = Protocol::Response{};
                response.error = "the shader compiler ran out of memory";
                response.ending = true;
            }
        }
        if (!Answer(response) || response.ending) ::_exit(0);
    }
}
