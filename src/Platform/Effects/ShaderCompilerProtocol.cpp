#include "Platform/Effects/ShaderCompilerProtocol.h"

#include <cstring>

namespace Platform::ShaderCompilerProtocol {

namespace {

constexpr uint32_t kRequestTag = 0x4B585231;  // "KXR1"
constexpr uint32_t kResponseTag = 0x4B584131; // "KXA1"

class Writer {
public:
    void U32(uint32_t v) { m_out.append(reinterpret_cast<const char*>(&v), sizeof v); }
    void Str(const std::string& s) {
        U32(static_cast<uint32_t>(s.size()));
        m_out += s;
    }
    std::string& Out() { return m_out; }

private:
    std::string m_out;
};

// Reads fields until one is missing or too long; then every later read fails too.
class Reader {
public:
    explicit Reader(const std::string& in) : m_in(in) {}
    bool U32(uint32_t& v) {
        if (!m_ok || m_in.size() - m_pos < sizeof v) return m_ok = false;
        std::memcpy(&v, m_in.data() + m_pos, sizeof v);
        m_pos += sizeof v;
        return true;
    }
    bool Str(std::string& s) {
        uint32_t n = 0;
        if (!U32(n) || m_in.size() - m_pos < n) return m_ok = false;
        s.assign(m_in, m_pos, n);
        m_pos += n;
        return true;
    }
    bool Bool(bool& b) {
        uint32_t v = 0;
        if (!U32(v) || v > 1) return m_ok = false;
        b = v != 0;
        return true;
    }
    // A count of items each at least minBytes long, bounded by what is left of the message.
    bool Count(uint32_t& n, size_t minBytes) {
        if (!U32(n) || n > (m_in.size() - m_pos) / minBytes) return m_ok = false;
        return true;
    }
    bool AtEnd() const { return m_ok && m_pos == m_in.size(); }

private:
    const std::string& m_in;
    size_t m_pos = 0;
    bool m_ok = true;
};

void WriteVaryings(Writer& w, const std::vector<ShaderVarying>& varyings) {
    w.U32(static_cast<uint32_t>(varyings.size()));
    for (const ShaderVarying& v : varyings) {
        w.Str(v.semantic);
        w.U32(v.location);
        w.U32(v.components);
    }
}

bool ReadVaryings(Reader& r, std::vector<ShaderVarying>& varyings) {
    uint32_t n = 0;
    if (!r.Count(n, 12)) return false;
    varyings.resize(n);
    for (ShaderVarying& v : varyings)
        if (!r.Str(v.semantic) || !r.U32(v.location) || !r.U32(v.components)) return false;
    return true;
}

} // namespace

std::string EncodeRequest(const Request& request) {
    Writer w;
    w.U32(kRequestTag);
    w.U32(request.stage == ShaderStage::Vertex ? 0 : 1);
    w.Str(request.entryPoint);
    w.Str(request.source);
    return std::move(w.Out());
}

bool DecodeRequest(const std::string& payload, Request& request) {
    Reader r(payload);
    uint32_t tag = 0, stage = 0;
    if (!r.U32(tag) || tag != kRequestTag || !r.U32(stage) || stage > 1) return false;
    request.stage = stage == 0 ? ShaderStage::Vertex : ShaderStage::Pixel;
    return r.Str(request.entryPoint) && r.Str(request.source) && r.AtEnd();
}

std::string EncodeResponse(const Response& response) {
    Writer w;
    w.U32(kResponseTag);
    w.U32(response.compiled ? 1 : 0);
    w.U32(response.ending ? 1 : 0);
    if (!response.compiled) {
        w.Str(response.error);
        return std::move(w.Out());
    }
    const CompiledShader& s = response.shader;
    w.Str(s.glsl);
    w.Str(s.constantArray);
    w.U32(s.constantVec4s);
    w.U32(static_cast<uint32_t>(s.constants.size()));
    for (const ShaderConstant& c : s.constants) {
        w.Str(c.name);
        w.U32(c.offset);
        w.U32(c.size);
        w.U32(c.columns);
        w.U32(c.rows);
        w.U32(c.registersAreColumns ? 1 : 0);
    }
    w.U32(static_cast<uint32_t>(s.samplers.size()));
    for (const ShaderSampler& sampler : s.samplers) {
        w.Str(sampler.name);
        w.Str(sampler.glslName);
        w.U32(sampler.binding);
    }
    WriteVaryings(w, s.inputs);
    WriteVaryings(w, s.outputs);
    return std::move(w.Out());
}

bool DecodeResponse(const std::string& payload, Response& response) {
    response = Response{};
    Reader r(payload);
    uint32_t tag = 0;
    if (!r.U32(tag) || tag != kResponseTag || !r.Bool(response.compiled) || !r.Bool(response.ending)) return false;
    if (!response.compiled) return r.Str(response.error) && r.AtEnd();
    CompiledShader& s = response.shader;
    uint32_t n = 0;
    if (!r.Str(s.glsl) || !r.Str(s.constantArray) || !r.U32(s.constantVec4s) || !r.Count(n, 24)) return false;
    s.constants.resize(n);
    for (ShaderConstant& c : s.constants)
        if (!r.Str(c.name) || !r.U32(c.offset) || !r.U32(c.size) || !r.U32(c.columns) || !r.U32(c.rows) ||
            !r.Bool(c.registersAreColumns))
            return false;
    if (!r.Count(n, 12)) return false;
    s.samplers.resize(n);
    for (ShaderSampler& sampler : s.samplers)
        if (!r.Str(sampler.name) || !r.Str(sampler.glslName) || !r.U32(sampler.binding)) return false;
    return ReadVaryings(r, s.inputs) && ReadVaryings(r, s.outputs) && r.AtEnd();
}

} // namespace Platform::ShaderCompilerProtocol
