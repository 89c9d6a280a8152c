#pragma once
// The five kinds of vertex effect that object descriptions attach to meshes, animated objects
// and sprites ("vertexeffect" keyword and numbers), and the factory that makes them.

#include <cstdint>
#include <string>
#include <vector>

#include "Render/PVertexEffect.h"

// Reflection coordinates from the vertex position and normal (no clock).
class CPEnvironmentEffect : public CPVertexEffect {
public:
    explicit CPEnvironmentEffect(float scale) : m_scale(scale) {}
    void Update(float dt) override;
    void Apply(SPVertex* destination, const SPVertex* source, int count) override;
    CPVertexEffect* Clone() const override;
    float GetScale() const { return m_scale; }

private:
    float m_scale;
};

// White with an alpha that falls from 255 at `rate` units a second and stays at 0.
class CPFadeEffect : public CPVertexEffect {
public:
    explicit CPFadeEffect(float rate) : m_rate(rate) {}
    void Update(float dt) override;
    void Apply(SPVertex* destination, const SPVertex* source, int count) override;
    CPVertexEffect* Clone() const override;
    void Reset() override { m_alpha = 255.0f; }
    float GetAlpha() const { return m_alpha; }

private:
    float m_rate;
    float m_alpha = 255.0f;
};

// Scrolls the first texture coordinates; the offsets start at a random place.
class CPMovingTexEffect : public CPVertexEffect {
public:
    CPMovingTexEffect(float uSpeed, float vSpeed);
    void Update(float dt) override;
    void Apply(SPVertex* destination, const SPVertex* source, int count) override;
    CPVertexEffect* Clone() const override;
    float GetUOffset() const { return m_uOffset; }
    float GetVOffset() const { return m_vOffset; }

private:
    float m_uSpeed;
    float m_vSpeed;
    float m_uOffset;
    float m_vOffset;
};

// Scales each vertex's alpha by a sine flicker between two byte values.
class CPFlickEffect : public CPVertexEffect {
public:
    CPFlickEffect(float frequency, std::uint8_t low, std::uint8_t high);
    void Update(float dt) override;
    void Apply(SPVertex* destination, const SPVertex* source, int count) override;
    CPVertexEffect* Clone() const override;
    int GetValue() const { return m_value; }
    std::uint8_t GetCentre() const { return m_centre; }

private:
    float m_frequency;
    std::uint8_t m_centre;
    std::uint8_t m_high;
    int m_value = 0;
    float m_halfRange;
    float m_time;
};

// Steps through the cells of a columns x rows texture atlas, row by row, at fps cells a
// second. With a start frame other than 0 it waits at the atlas end until Start, plays up to
// the start frame once, loops between start and end frame until Stop, then runs on to the end.
class CPAnimEffect : public CPVertexEffect {
public:
    // Columns, rows and fps are expected above 0 (the factory refuses anything else).
    CPAnimEffect(int columns, int rows, float fps, int startFrame, int endFrame);
    void Update(float dt) override;
    void Apply(SPVertex* destination, const SPVertex* source, int count) override;
    CPVertexEffect* Clone() const override;
    void Start() override;
    void Stop() override { m_playing = false; }
    bool IsPlaying() const override { return m_playing; }

    // The cell shown, always inside the atlas.
    int GetFrame() const { return m_frame; }
    float GetTime() const { return m_time; }
    int GetPhase() const { return m_phase; }
    // The cell's top-left texture coordinates.
    float CellU(int cell) const;
    float CellV(int cell) const;

private:
    // Seconds at which the given frame begins, in the form the phases compare against.
    float FrameStart(int frame) const;

    int m_columns;
    int m_rows;
    float m_fps;
    float m_time = 0.0f;
    float m_du;
    float m_dv;
    int m_frame = 0;
    // columns x rows, kept wide: the product of two ints need not fit one.
    std::int64_t m_frameCount;
    bool m_ranged;
    int m_startFrame;
    int m_endFrame;
    bool m_playing = false;
    int m_phase = 2;
};

// One effect from a keyword (any letter case) and its numbers, owned by the caller; null for an
// unknown keyword, a wrong number of parameters, one that is not a number, or values the effect
// cannot run with (an atlas without cells or fps, a reflection scale of 0).
CPVertexEffect* CreateVertexEffect(const std::string& keyword, const std::vector<std::string>& parameters);
