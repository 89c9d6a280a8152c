// A car description read through the file layer's adapter and then by the car's reader; the
// values it leaves must stay finite and the wheel count within the wheel arrays.

#include "Framework/PLog.h"
#include "Framework/XmlDocument.h"
#include "FuzzSupport.h"
#include "World/PCarDescription.h"
#include "World/PGearBox.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void CheckFinite(float value) {
    if (!std::isfinite(value)) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CPLog::Instance().SetSink(nullptr);
    kxfuzz::GameRoot& root = kxfuzz::GameRoot::Get();
    root.Clear();
    root.Write("Data/Descriptions/car.xml", data, size);
    TiXmlDocument document;
    // A document that fails to parse still holds what was read before the error.
    LoadXmlDocument(document, "Data\\Descriptions\\car.xml");
    SPCarDescription description;
    GearBox box;
    box.Reset();
    SPCarScriptParams script;
    const bool found = ReadCarDescription(document, description, box, script);
    if (found != !box.Gears().empty()) std::abort();
    if (description.wheelCount < 0 || description.wheelCount > SPCarDescription::kMaxWheels) std::abort();
    for (float value : {description.wheelShiftX,
                        description.wheelHeight,
                        description.wheelLength,
                        description.wheelRadius,
                        description.frontSpring,
                        description.rearSpring,
                        description.damping,
                        description.steerFactor,
                        description.frontFriction,
                        description.rearFriction,
                        description.frontAcceleration,
                        description.backAcceleration,
                        description.pitchInertion,
                        description.superNitroSpeedFactor,
                        box.GetRiseFactor(),
                        box.GetFallFactor(),
                        script.angle,
                        script.fovDiv,
                        script.accelFront,
                        script.speedBack})
        CheckFinite(value);
    for (const SPGear& gear : box.Gears()) {
        CheckFinite(gear.coefficient);
        CheckFinite(gear.minimum);
        CheckFinite(gear.maximum);
        CheckFinite(gear.changeSpeed);
        CheckFinite(gear.rise);
    }
    // The level reads the chase-camera settings from the same document, number by number.
    for (const char* name : {"camera", "camera2", "camera3"}) {
        const TiXmlElement* camera = document.FirstChildElement(name);
        for (const char* attribute :
             {"distance", "height", "angle", "angle_div", "distance_div", "fov", "min", "max"}) {
            float value = 0.0f;
            ReadFloatAttribute(camera, attribute, value);
            CheckFinite(value);
        }
    }
    // The texts sent to the drive script stay bounded whatever the values.
    if (script.FirstText().size() > 255 || script.SecondText().size() > 255) std::abort();
    // And the box runs on whatever it was given.
    box.SetThrottle(1.0f);
    for (int i = 0; i < 8; ++i) box.Update(1.0f / 60.0f);
    return 0;
}
