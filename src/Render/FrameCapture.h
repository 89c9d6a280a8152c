#pragma once
// The picture of one frame for observed runs: KORVAXA_CAPTURE=<seconds>:<file> makes the renderer,
// after presenting the first frame at or past that total game time, read the back buffer and
// write it as a PNG file (a path of the machine). It happens once per request.

#include "Platform/Graphics/D3D9.h"

#include <optional>
#include <string>

constexpr const char* kCaptureSwitch = "KORVAXA_CAPTURE";

struct SPFrameCaptureRequest {
    double seconds = 0.0;
    std::string file;
};

// "<seconds>:<file>": seconds a finite number at or above 0, the file not empty. Nothing, with
// the reason, otherwise.
std::optional<SPFrameCaptureRequest> ParseFrameCapture(const char* value, std::string* error = nullptr);
// Parses the switch's value and makes it the pending capture; a malformed one is ignored with a
// log line. An absent or empty value clears the pending capture silently. True when one is
// pending.
bool ApplyCaptureSwitch(const char* value);
void SetFrameCapture(std::optional<SPFrameCaptureRequest> request);
bool IsFrameCapturePending();

// Called after each frame is presented: when a capture is pending and the game time has come,
// reads the device's back buffer, writes the file and forgets the request (also when the
// writing failed, which is logged). True when a file was written.
bool CaptureFrameIfDue(IDirect3DDevice9* device, double totalTime);
