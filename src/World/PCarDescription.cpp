#include "World/PCarDescription.h"

#include <tinyxml.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "World/PGearBox.h"

namespace {

const TiXmlElement* Child(const TiXmlNode* parent, const char* name) {
    return parent ? parent->FirstChildElement(name) : nullptr;
}

const TiXmlElement* Path(const TiXmlNode* root, std::initializer_list<const char*> names) {
    const TiXmlNode* node = root;
    const TiXmlElement* element = nullptr;
    for (const char* name : names) {
        element = Child(node, name);
        if (!element) return nullptr;
        node = element;
    }
    return element;
}

void ReadGear(const TiXmlElement* element, SPGear& gear) {
    ReadFloatAttribute(element, "coeff", gear.coefficient);
    ReadFloatAttribute(element, "min", gear.minimum);
    ReadFloatAttribute(element, "max", gear.maximum);
    ReadFloatAttribute(element, "change", gear.changeSpeed);
    ReadFloatAttribute(element, "inc", gear.rise);
}

std::string Format(const char* format, double a, double b, double c = 0, double d = 0) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, a, b, c, d);
    return buffer;
}

} // namespace

bool ParseDescriptionNumber(const char* text, double& value) {
    if (!text) return false;
    while (*text && std::isspace(static_cast<unsigned char>(*text))) ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // Only digits or a point may start a number: "nan" and "inf" are not numbers here.
    if (!(std::isdigit(static_cast<unsigned char>(*text)) || *text == '.')) return false;
    double parsed = 0.0;
    const char* end = text + std::strlen(text);
    const std::from_chars_result result = std::from_chars(text, end, parsed, std::chars_format::general);
    if (result.ec != std::errc() || result.ptr == text) return false;
    if (!std::isfinite(parsed)) return false;
    value = negative ? -parsed : parsed;
    return true;
}

bool ReadFloatAttribute(const TiXmlElement* element, const char* name, float& value) {
    if (!element) return false;
    double parsed = 0.0;
    if (!ParseDescriptionNumber(element->Attribute(name), parsed)) return false;
    // Beyond the float range counts as not a number, like infinities.
    if (std::fabs(parsed) > static_cast<double>(std::numeric_limits<float>::max())) return false;
    value = static_cast<float>(parsed);
    return true;
}

std::string SPCarScriptParams::FirstText() const {
    return Format("%.2f,%.2f,%.2f,%.2f", angle, fovDiv, accelFront, accelBack);
}

std::string SPCarScriptParams::SecondText() const { return Format("%.2f,%.2f", speedFront, speedBack); }

bool ReadCarDescription(const TiXmlDocument& document, SPCarDescription& d, GearBox& gearBox,
                        SPCarScriptParams& script) {
    const TiXmlElement* physics = Child(&document, "physics");

    if (const TiXmlElement* wheels = Path(physics, {"geometry", "wheels"})) {
        double count = 0.0;
        if (ParseDescriptionNumber(wheels->Attribute("count"), count)) {
            // Truncated toward zero, then limited to the wheel arrays.
            const double limited = std::clamp(std::trunc(count), 0.0, double(SPCarDescription::kMaxWheels));
            d.wheelCount = static_cast<int>(limited);
        }
        ReadFloatAttribute(wheels, "x", d.wheelShiftX);
        ReadFloatAttribute(wheels, "y", d.wheelHeight);
        ReadFloatAttribute(wheels, "length", d.wheelLength);
        ReadFloatAttribute(wheels, "radius", d.wheelRadius);
        ReadFloatAttribute(wheels, "front_min_radius", d.frontMinLift);
        ReadFloatAttribute(wheels, "back_min_radius", d.rearMinLift);
        ReadFloatAttribute(wheels, "width", d.wheelWidth);
        if (const char* fixed = wheels->Attribute("fixed")) {
            std::string lower(fixed);
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            d.pinMin = lower == "min";
            d.pinMax = lower == "max";
        }
    }
    if (physics) {
        if (const char* debug = physics->Attribute("debug")) d.debugLines = std::strcmp(debug, "true") == 0;
    }
    if (const TiXmlElement* wheels = Path(physics, {"params", "wheels"})) {
        ReadFloatAttribute(wheels, "spring1", d.frontSpring);
        ReadFloatAttribute(wheels, "spring2", d.rearSpring);
        ReadFloatAttribute(wheels, "damping", d.damping);
    }
    script = SPCarScriptParams{};
    if (const TiXmlElement* speed = Path(physics, {"params", "speed"})) {
        ReadFloatAttribute(speed, "max_front_speed", d.maxFrontSpeed);
        ReadFloatAttribute(speed, "max_rear_speed", d.maxRearSpeed);
        if (speed->Attribute("angle")) {
            ReadFloatAttribute(speed, "angle", d.steerFactor);
            script.present = true;
            script.angle = d.steerFactor;
            ReadFloatAttribute(Child(&document, "camera"), "fov_div", script.fovDiv);
            const TiXmlElement* acceleration = Path(physics, {"params", "acceleration"});
            ReadFloatAttribute(acceleration, "accel_front", script.accelFront);
            ReadFloatAttribute(acceleration, "accel_back", script.accelBack);
            ReadFloatAttribute(acceleration, "speed_front", script.speedFront);
            ReadFloatAttribute(acceleration, "speed_back", script.speedBack);
        }
    }
    if (const TiXmlElement* friction = Path(physics, {"params", "friction"})) {
        ReadFloatAttribute(friction, "front", d.frontFriction);
        ReadFloatAttribute(friction, "back", d.rearFriction);
        ReadFloatAttribute(friction, "slide", d.slideFriction);
    }
    if (const TiXmlElement* acceleration = Path(physics, {"params", "acceleration"})) {
        ReadFloatAttribute(acceleration, "front", d.frontAcceleration);
        ReadFloatAttribute(acceleration, "back", d.backAcceleration);
        ReadFloatAttribute(acceleration, "brake", d.brakeAcceleration);
    }
    if (const TiXmlElement* inertion = Path(physics, {"params", "inertion"})) {
        ReadFloatAttribute(inertion, "yaw", d.yawInertion);
        ReadFloatAttribute(inertion, "pitch", d.pitchInertion);
    }
    if (const TiXmlElement* nitro = Path(physics, {"params", "supernitro"}))
        ReadFloatAttribute(nitro, "speedcoeff", d.superNitroSpeedFactor);

    bool foundGear = false;
    if (const TiXmlElement* gears = Path(physics, {"gearbox", "gears"})) {
        // A first gear's missing values come from the default first gear; each later gear
        // starts from the one before it.
        SPGear gear{0.0f, -1.0f, 0.0f, 0.0f, 1.0f};
        for (const TiXmlElement* element = gears->FirstChildElement("gear"); element;
             element = element->NextSiblingElement()) {
            ReadGear(element, gear);
            gearBox.Gears().push_back(gear);
            foundGear = true;
        }
    }
    if (const TiXmlElement* back = Path(physics, {"gearbox", "backgear"})) ReadGear(back, gearBox.ReverseGear());
    if (const TiXmlElement* factors = Path(physics, {"gearbox", "enginespeedcoeffs"})) {
        float rise = gearBox.GetRiseFactor();
        float fall = gearBox.GetFallFactor();
        ReadFloatAttribute(factors, "inc", rise);
        ReadFloatAttribute(factors, "dec", fall);
        gearBox.SetFactors(rise, fall);
    }
    if (const TiXmlElement* shadow = Path(Child(&document, "render"), {"shadow"})) {
        if (const char* name = shadow->Attribute("name")) d.shadowName = name;
    }
    return foundGear;
}
