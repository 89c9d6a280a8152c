#pragma once
// The dynamic sky: a coloured sphere around the viewer and textured layers orbiting it (the
// first is the sun). Keyframes of a sky description give the time of day: the sphere's colour
// gradient and alpha, the sun, ambient and fog colours, and every layer's angle, scale, effect
// and texture. A weather cycle picks phases at random; a phase names the cloud set it shows and
// may tint the sky overcast. Every frame the sky hands fog, ambient and the sun light to the
// renderer and draws the sphere and the layers between the sky matrices and the scene.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "DynamicSky/CloudSet.h"
#include "DynamicSky/SkyLayer.h"
#include "DynamicSky/VertexObject.h"
#include "DynamicSky/WeatherPhase.h"
#include "Render/PRenderSeams.h"

class SkyFileRows;

// One keyframe of the sky; the same shape holds the rates (change per second of sky time), the
// values in force and the overcast targets. Colours are r, g, b on the 0 to 255 scale.
struct SkyKeyframe {
    std::vector<D3DXVECTOR3> stops;
    float duration = 0.0f;
    float rotation = 0.0f; // radians
    float alpha = 0.0f;
    std::vector<float> layerAngles; // radians
    std::vector<float> layerScales;
    std::vector<int> layerEffects;
    std::vector<int> layerAdvance;
    D3DXVECTOR3 ambient{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 sun{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 further1{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 further2{0.0f, 0.0f, 0.0f};
    D3DXVECTOR3 fog{0.0f, 0.0f, 0.0f};
    float fogStart = 0.0f;
    float fogEnd = 0.0f;
    float further = 0.0f;
    int brighten = 0;
    int overcastChannel = 0; // 0 red, 1 green, 2 blue
};

// The renderer's ambient colour: 0xFF000000 | R << 16 | G << 8 | B from the truncated components
// (low 8 bits), and the components / 255.
void SetSkyAmbient(float r, float g, float b);
// The renderer's fog colour (packed as above) and the device's fog colour, start and end.
void SetSkyFog(float r, float g, float b, float start, float end);
// Writes the level's sun light (normalised direction; diffuse and specular r, g, b each the
// colour's byte / 256, alpha 0), puts it in the light list and uploads the lights.
void SetSkySunLight(const D3DXVECTOR3& direction, float r, float g, float b, float a);
// Clears depth after the sky so that it never hides the scene.
void ClearSkyDepth();

class CPDynamicSky : public VertexObject, public IPRenderSky {
public:
    // Layers beyond this many make a sky file refused: each holds a megabyte of device buffers.
    static constexpr int kMaxLayers = 64;

    CPDynamicSky();
    ~CPDynamicSky() override;
    CPDynamicSky(const CPDynamicSky&) = delete;
    CPDynamicSky& operator=(const CPDynamicSky&) = delete;

    // Reads "Data\Clouds\<fileName>" and everything it names; a missing or refused file leaves
    // the sky empty, and an empty sky's update does nothing.
    void Load(const std::string& fileName);
    // The frame's update: the weather clock runs on the frame time; the keyframe animation rests
    // (its step is 0), keeping the look of the start keyframe.
    void Update(float frameTime) override { Advance(frameTime, 0.0f); }
    // The update with an explicit animation step (seconds of sky time).
    void Advance(float frameTime, float step);

    // Builds the sphere of radius r from n segments, its height scaled by v, around c. Nothing
    // for n <= 0 or when the sphere would not fit the buffers.
    void BuildSphere(float r, int n, float v, const D3DXVECTOR3& c);
    void BeginKeyframe();

    bool IsLoaded() const { return m_loaded; }
    float GetTimeScale() const { return m_timeScale; }
    int GetStopCount() const { return m_stopCount; }
    int GetRowsPerSegment() const { return m_rowsPerSegment; }
    float GetRadius() const { return m_radius; }
    int GetSegments() const { return m_segments; }
    float GetVerticalScale() const { return m_verticalScale; }
    const D3DXVECTOR3& GetCentre() const { return m_centre; }
    const std::vector<SkyKeyframe>& GetKeyframes() const { return m_keyframes; }
    const SkyKeyframe& GetCurrent() const { return m_current; }
    const SkyKeyframe& GetRates() const { return m_rates; }
    const SkyKeyframe& GetOvercastTargets() const { return m_overcast; }
    int GetKeyframeIndex() const { return m_keyframeIndex; }
    float GetKeyframeTimer() const { return m_keyframeTimer; }
    const std::vector<SkyLayer*>& GetLayers() const { return m_layers; }
    const std::map<std::string, CloudSet*>& GetCloudSets() const { return m_cloudSets; }
    const std::vector<WeatherPhase>& GetPhases() const { return m_phaseList.phases; }
    const WeatherPhase& GetPhase() const { return m_phase; }
    int GetPhaseIndex() const { return m_phaseIndex; }
    float GetPhaseTimer() const { return m_phaseTimer; }
    float GetPhaseDuration() const { return m_phaseDuration; }
    float GetRamp() const { return m_ramp; }
    bool IsRampRising() const { return m_rampRising; }
    // The set shown and the set fading out, those that exist, fading first.
    std::vector<CloudSet*> GetActiveCloudSets() const;
    CloudSet* GetShownCloudSet() const { return m_shownSet; }
    CloudSet* GetFadingCloudSet() const { return m_fadingSet; }
    const VolumeCloud& GetVolumeCloud() const { return *m_volumeCloud; }
    // Phase changes whose hook value asked for the hook.
    int GetHookCalls() const { return m_hookCalls; }
    // A phase duration drawn by the weather formula for the phase in force.
    float DrawPhaseDuration() const;

private:
    void Clear();
    bool ReadKeyframe(SkyFileRows& rows, int layerCount, SkyKeyframe& out);
    void ChangeCloudSet();
    void PickNextPhase();
    // ramp / transition, within [0, 1]; 0 without a transition.
    float RampFraction() const;
    void ColourSphere(float fraction);

    bool m_loaded = false;
    float m_radius = 0.0f;
    int m_segments = 0;
    float m_verticalScale = 0.0f;
    D3DXVECTOR3 m_centre{0.0f, 0.0f, 0.0f};
    std::vector<SkyKeyframe> m_keyframes;
    int m_stopCount = 0;
    int m_rowsPerSegment = 0;
    SkyKeyframe m_rates;
    SkyKeyframe m_current;
    SkyKeyframe m_overcast;
    int m_keyframeIndex = 0;
    float m_keyframeTimer = 0.0f;
    float m_timeScale = 4.0f;
    std::vector<SkyLayer*> m_layers;
    std::map<std::string, CloudSet*> m_cloudSets;
    WeatherPhaseList m_phaseList;
    WeatherPhase m_phase;
    float m_phaseTimer = 0.0f;
    float m_phaseDuration = 0.0f;
    int m_phaseIndex = 0;
    float m_ramp = 0.0f;
    bool m_rampRising = true;
    CloudSet* m_shownSet = nullptr;
    CloudSet* m_fadingSet = nullptr;
    std::unique_ptr<VolumeCloud> m_volumeCloud;
    int m_hookCalls = 0;
};
