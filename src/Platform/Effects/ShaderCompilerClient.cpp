// The game's side of the shader compiler program: starts it, hands it shaders, reads the answers,
// keeps them for the run, and starts it again after it failed.

#include "Platform/Effects/HlslCompiler.h"
#include "Platform/Effects/ShaderCompilerProtocol.h"
#include "Platform/System/ChildProcess.h"

#include <cstdlib>
#include <string_view>
#include <unordered_map>

#include <unistd.h>

namespace Platform {

namespace {

namespace Protocol = ShaderCompilerProtocol;

struct CacheKey {
    uint64_t a = 0, b = 0;
    bool operator==(const CacheKey& o) const { return a == o.a && b == o.b; }
};
struct CacheKeyHash {
    size_t operator()(const CacheKey& k) const { return static_cast<size_t>(k.a ^ (k.b * 0x9E3779B97F4A7C15ull)); }
};

// Two independent 64-bit hashes of the whole request: a collision in both is out of reach.
CacheKey KeyOf(const std::string& request) {
    uint64_t fnv = 0xCBF29CE484222325ull;
    for (unsigned char c : request) fnv = (fnv ^ c) * 0x100000001B3ull;
    return {fnv, std::hash<std::string_view>{}(request)};
}

struct Answer {
    bool compiled = false;
    std::string error;
    CompiledShader shader;
};

bool IsExecutable(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

// The environment's choice first, then the program installed beside the running executable, then
// the one of the build tree the game was built in (test programs run from elsewhere in it).
std::string FindProgram() {
    if (const char* env = std::getenv(Protocol::kProgramEnv); env && *env) return env;
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        std::string path(self, static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        if (slash != std::string::npos) {
            path = path.substr(0, slash + 1) + Protocol::kProgramName;
            if (IsExecutable(path)) return path;
        }
    }
#ifdef KX_SHADERC_BUILD_PATH
    if (IsExecutable(KX_SHADERC_BUILD_PATH)) return KX_SHADERC_BUILD_PATH;
#endif
    return "";
}

class Client {
public:
    bool Compile(const std::string& source, const std::string& entryPoint, ShaderStage stage, CompiledShader& out,
                 std::string& error) {
        const std::string request = Protocol::EncodeRequest({stage, entryPoint, source});
        const CacheKey key = KeyOf(request);
        if (auto it = m_cache.find(key); it != m_cache.end()) {
            ++m_stats.cacheHits;
            out = it->second.shader;
            error = it->second.error;
            return it->second.compiled;
        }
        Answer answer;
        if (!Ask(request, answer)) {
            ++m_stats.failures;
            answer = Answer{false, std::move(answer.error), {}};
        }
        out = answer.shader;
        error = answer.error;
        const bool compiled = answer.compiled;
        m_cache.emplace(key, std::move(answer));
        return compiled;
    }

    void Reset() {
        m_process.Kill();
        m_cache.clear();
        m_stats = ShaderCompilerStats{};
    }

    ShaderCompilerLimits limits;
    ShaderCompilerStats Stats() const { return m_stats; }

private:
    // False when the compiler failed (the error says how); true with its answer otherwise.
    bool Ask(const std::string& request, Answer& answer) {
        // A compiler that ended after its last answer is started again before it is asked.
        if (m_process.Running() && m_process.HasEnded()) m_process.Kill();
        if (!m_process.Running() && !Start(answer.error)) return false;
        ++m_stats.compiles;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.timeoutMilliseconds);
        const uint32_t length = static_cast<uint32_t>(request.size());
        uint32_t answerLength = 0;
        std::string why;
        std::string payload;
        bool ok = m_process.Write(&length, sizeof length, deadline, why) &&
                  m_process.Write(request.data(), request.size(), deadline, why) &&
                  m_process.Read(&answerLength, sizeof answerLength, deadline, why);
        if (ok && answerLength > Protocol::kMaxMessageBytes) {
            why = "an answer too long";
            ok = false;
        }
        if (ok) {
            payload.resize(answerLength);
            ok = m_process.Read(payload.data(), payload.size(), deadline, why);
        }
        Protocol::Response response;
        if (ok && !Protocol::DecodeResponse(payload, response)) {
            why = "a malformed answer";
            ok = false;
        }
        if (!ok) {
            const bool timedOut = m_process.TimedOut();
            m_process.Kill();
            answer.error = timedOut ? "the shader compiler gave no answer within " +
                                          std::to_string(limits.timeoutMilliseconds) + " ms and was stopped"
                                    : "the shader compiler failed (" + why + ", " + m_process.EndingDescription() + ")";
            return false;
        }
        if (response.ending) {
            m_process.Kill();
            if (!response.compiled) ++m_stats.failures;
        }
        answer.compiled = response.compiled;
        answer.error = std::move(response.error);
        answer.shader = std::move(response.shader);
        return true;
    }

    bool Start(std::string& error) {
        const std::string program = FindProgram();
        if (program.empty()) {
            error = std::string("the shader compiler program (") + Protocol::kProgramName + ") was not found";
            return false;
        }
        if (!m_process.Start(program, {"--memory-limit=" + std::to_string(limits.memoryBytes)}, error)) return false;
        ++m_stats.processesStarted;
        return true;
    }

    ChildProcess m_process;
    std::unordered_map<CacheKey, Answer, CacheKeyHash> m_cache;
    ShaderCompilerStats m_stats;
};

Client& TheClient() {
    static Client client;
    return client;
}

} // namespace

bool CompileHlslToGlsl(const std::string& source, const std::string& entryPoint, ShaderStage stage, CompiledShader& out,
                       std::string& error) {
    out = CompiledShader{};
    error.clear();
    return TheClient().Compile(source, entryPoint, stage, out, error);
}

void SetShaderCompilerLimits(const ShaderCompilerLimits& limits) { TheClient().limits = limits; }
ShaderCompilerLimits GetShaderCompilerLimits() { return TheClient().limits; }
ShaderCompilerStats GetShaderCompilerStats() { return TheClient().Stats(); }
void ResetShaderCompiler() { TheClient().Reset(); }

} // namespace Platform
