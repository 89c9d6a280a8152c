#pragma once
// The values a car takes from its description document, with their defaults, and the reader
// that fills them. Every number is read in the C locale; text that is not a finite number
// within the float range leaves the value as it was.

#include <string>

class GearBox;
class TiXmlDocument;
class TiXmlElement;

struct SPCarDescription {
    static constexpr int kMaxWheels = 8;

    bool debugLines = false;
    int wheelCount = 4;
    float wheelShiftX = 0.0f;
    float wheelHeight = 0.0f;
    float wheelLength = 1.5f;
    float wheelRadius = 0.5f;
    float frontMinLift = 0.0f;
    float rearMinLift = 0.0f;
    float wheelWidth = 0.0f;
    bool pinMin = false;
    bool pinMax = false;
    float frontSpring = 140.0f;
    float rearSpring = 150.0f;
    float damping = 150.0f;
    float maxFrontSpeed = 30.0f;
    float maxRearSpeed = 15.0f;
    // Half lock when the description names no steer angle.
    float steerFactor = 0.5f;
    float frontFriction = 100.0f;
    float rearFriction = 240.0f;
    float slideFriction = 0.9f;
    float frontAcceleration = 100.0f;
    float backAcceleration = 100.0f;
    float brakeAcceleration = 100.0f;
    float yawInertion = 0.0f;
    float pitchInertion = 0.1f;
    float superNitroSpeedFactor = 1.0f;
    std::string shadowName;
};

// The script parameters a human car's description hands to the driving script.
struct SPCarScriptParams {
    bool present = false; // params/speed has an "angle"
    float angle = 0.0f;
    float fovDiv = 0.0f;
    float accelFront = 0.0f;
    float accelBack = 0.0f;
    float speedFront = 0.0f;
    float speedBack = 0.0f;

    // "%.2f,%.2f,%.2f,%.2f" and "%.2f,%.2f".
    std::string FirstText() const;
    std::string SecondText() const;
};

// A finite double, read in the C locale (leading blanks and a sign
// allowed, trailing text ignored). False leaves value untouched.
bool ParseDescriptionNumber(const char* text, double& value);
// The attribute as a float when it is a number within the float range; false (value untouched) otherwise.
bool ReadFloatAttribute(const TiXmlElement* element, const char* name, float& value);

// Fills the description from the document; gears are appended to the box's list, the reverse
// gear and the engine factors replaced only when their elements exist. True when at least
// one gear was read. The wheel count is limited to 0..8.
bool ReadCarDescription(const TiXmlDocument& document, SPCarDescription& description, GearBox& gearBox,
                        SPCarScriptParams& script);
