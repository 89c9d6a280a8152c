#include "Framework/Launcher.h"

#include "Framework/PLog.h"
#include "Framework/PSettings.h"
#include "Framework/StartupRegistry.h"
#include "Platform/System/NumberText.h"

#include <algorithm>
#include <charconv>

std::vector<SPDisplayModeRecord> g_displayModes;
bool g_displayModeWide768 = false;
bool g_displayMode1024 = false;

void BuildDisplayModeList(std::vector<std::pair<int, int>> modes) {
    std::sort(modes.begin(), modes.end());
    g_displayModes.clear();
    g_displayModeWide768 = false;
    g_displayMode1024 = false;
    for (const auto& [width, height] : modes) {
        if (width < 320 || height < 240) continue;
        if ((width == 1365 || width == 1366) && height == 768) g_displayModeWide768 = true;
        if (width == 1024 && height == 768) g_displayMode1024 = true;
        // Modes that differ only in refresh rate come one after the other.
        if (!g_displayModes.empty() && g_displayModes.back().width == width && g_displayModes.back().height == height)
            continue;
        g_displayModes.push_back(SPDisplayModeRecord{height, width, 32});
    }
}

void EnumerateDisplayModes(void*) {
    const SPStartupRegistry& registry = GetStartupRegistry();
    std::vector<std::pair<int, int>> modes;
    if (registry.listDisplayModes) modes = registry.listDisplayModes();
    BuildDisplayModeList(std::move(modes));
}

std::string AspectLabel(int width, int height) {
    if (height <= 0) return {};
    const double ratio = static_cast<double>(width) / static_cast<double>(height);
    if (ratio == 16.0 / 9.0) return "(16:9)";
    if (ratio == 1.6) return "(16:10)";
    if (ratio == 4.0 / 3.0) return "(4:3)";
    return {};
}

// ---------------------------------------------------------------------------------------------

void CPOptionsModel::Init() {
    m_shadows = g_shadows;
    m_bloom = g_bloom;
    m_lensflare = g_lensflare;
    m_dust = g_dust;
    m_wheel = g_wheel;
    m_weather = g_weather;
    m_blur = g_blur;
    m_contrast = g_contrast;
    m_motionBlurEnabled = m_bloom != 0;
}

bool CPOptionsModel::IsChecked(int control) const {
    switch (control) {
    case kOptionsMotionBlur: return m_blur != 0;
    case kOptionsLensFlare: return m_lensflare != 0;
    case kOptionsBloom: return m_bloom != 0;
    case kOptionsSmoke: return m_dust != 0;
    default: return false;
    }
}

bool CPOptionsModel::IsEnabled(int control) const { return control == kOptionsMotionBlur ? m_motionBlurEnabled : true; }

void CPOptionsModel::SetChecked(int control, bool checked) {
    const int value = checked ? 1 : 0;
    switch (control) {
    case kOptionsMotionBlur:
        // A disabled box cannot be clicked.
        if (m_motionBlurEnabled) m_blur = value;
        break;
    case kOptionsLensFlare: m_lensflare = value; break;
    case kOptionsSmoke: m_dust = value; break;
    case kOptionsBloom:
        m_bloom = value;
        m_motionBlurEnabled = checked;
        break;
    default: break;
    }
}

int CPOptionsModel::Command(int control) {
    if (control == kOptionsOk) {
        g_bloom = m_bloom;
        g_lensflare = m_lensflare;
        g_dust = m_dust;
        g_blur = m_blur;
        if (CPSettings* settings = CPSettings::GetInstance()) {
            if (settings->Save("config.cfg") != S_OK)
                CPLog::Instance().Print(0, "Launcher: \"config.cfg\" could not be written");
        }
        return kOptionsOk;
    }
    if (control == kOptionsCancel) return kOptionsCancel;
    return 0;
}

// ---------------------------------------------------------------------------------------------

void CPLauncherModel::Init() {
    m_items.clear();
    for (const SPDisplayModeRecord& mode : g_displayModes) {
        std::string text = Platform::FormatC("%d x %d", mode.width, mode.height);
        const std::string label = AspectLabel(mode.width, mode.height);
        if (!label.empty()) text += " " + label;
        m_items.push_back(std::move(text));
    }
    m_selection = -1;
    if (g_displayModes.empty()) return;

    int chosen = 0;
    const int count = static_cast<int>(g_displayModes.size());
    if (g_screenWidth != 0 || g_screenHeight != 0) {
        for (int i = 0; i < count; ++i) {
            const SPDisplayModeRecord& m = g_displayModes[static_cast<std::size_t>(i)];
            if (m.width == g_screenWidth && m.height == g_screenHeight && m.bitsPerPixel == g_screenBPP) {
                chosen = i;
                break;
            }
        }
    } else if (g_displayModeWide768) {
        for (int i = 0; i < count; ++i) {
            const SPDisplayModeRecord& m = g_displayModes[static_cast<std::size_t>(i)];
            if ((m.width == 1365 || m.width == 1366) && m.height == 768) chosen = i;
        }
    } else if (g_displayMode1024) {
        for (int i = 0; i < count; ++i) {
            const SPDisplayModeRecord& m = g_displayModes[static_cast<std::size_t>(i)];
            if (m.width == 1024 && m.height == 768) {
                chosen = i;
                break;
            }
        }
    } else {
        chosen = count - 1;
    }
    m_selection = chosen;
}

void CPLauncherModel::Select(int item) {
    if (item >= 0 && item < static_cast<int>(m_items.size())) m_selection = item;
}

int CPLauncherModel::Command(int command) {
    switch (command) {
    case kLauncherPlay:
        // With an empty list there is nothing to take: the configured size stays.
        if (m_selection >= 0 && m_selection < static_cast<int>(g_displayModes.size())) {
            const SPDisplayModeRecord& m = g_displayModes[static_cast<std::size_t>(m_selection)];
            g_screenBPP = m.bitsPerPixel;
            g_screenWidth = m.width;
            g_screenHeight = m.height;
        }
        return kLauncherPlay;
    case kLauncherOptions: m_options.Init(); return 0;
    case kLauncherQuit: return kLauncherQuit;
    case kLauncherPlayWindowed: g_fullScreen = 0; return kLauncherPlayWindowed;
    default: return 0;
    }
}

// ---------------------------------------------------------------------------------------------

namespace {

bool ParseSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos || x == 0 || x + 1 >= text.size()) return false;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    auto [p1, e1] = std::from_chars(begin, begin + x, width);
    if (e1 != std::errc() || p1 != begin + x) return false;
    auto [p2, e2] = std::from_chars(begin + x + 1, end, height);
    if (e2 != std::errc() || p2 != end) return false;
    return true;
}

} // namespace

bool ParseCommandLine(const std::vector<std::string>& args, SPCommandLine& out, std::string& error) {
    SPCommandLine result;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--play") {
            result.play = true;
            if (i + 1 < args.size() && !args[i + 1].starts_with("-")) {
                const std::string& size = args[++i];
                int width = 0, height = 0;
                if (!ParseSize(size, width, height)) {
                    error = "malformed size \"" + size + "\" (expected WIDTHxHEIGHT, e.g. 1024x768)";
                    return false;
                }
                if (width < 320 || height < 240) {
                    error = "the size " + size + " is below the smallest one, 320x240";
                    return false;
                }
                if (width > 16384 || height > 16384) {
                    error = "the size " + size + " is larger than any display";
                    return false;
                }
                result.width = width;
                result.height = height;
            }
        } else if (arg == "--windowed") {
            result.windowed = true;
        } else {
            error = "unknown option \"" + arg + "\"";
            return false;
        }
    }
    out = result;
    return true;
}

int ApplyLauncherBypass(const SPCommandLine& commandLine) {
    if (commandLine.play && commandLine.width > 0 && commandLine.height > 0) {
        g_screenBPP = 32;
        g_screenWidth = commandLine.width;
        g_screenHeight = commandLine.height;
    }
    if (commandLine.windowed) {
        g_fullScreen = 0;
        return kLauncherPlayWindowed;
    }
    return kLauncherPlay;
}
