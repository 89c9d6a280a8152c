#include "Framework/PSettings.h"

#include "Framework/PFileWriter.h"
#include "Framework/StringUtils.h"
#include "Platform/System/FileTrace.h"
#include "Platform/System/NumberText.h"
#include "Platform/System/Paths.h"
#include "Platform/System/RegularFile.h"

#include <cstdio>
#include <iterator>
#include <sstream>

int g_screenWidth = 640;
int g_screenHeight = 480;
int g_screenBPP = 16;
int g_fullScreen = 0;
int g_weight_div = 0;
int g_static = 0;
int g_rolling = 0;
int g_texlod = -1;
int g_quadlevels = 0;
int g_bboxes = 0;
int g_channels = 2;
int g_frequency = 22050;
int g_bitrate = 8;
float g_soundVolume = 0.5f;
float g_musicVolume = 0.5f;
int g_visuals = 10;
float g_mouse = 0.0f;
float g_plane = 0.5f;
int g_cam_speed = 0;
int g_distance = 200;
int g_startmenu = 1;
float g_friction = 0.2f;
float g_restitution = 0.0f;
int g_shadows = 1;
int g_bloom = 1;
int g_lensflare = 1;
int g_dust = 1;
int g_wheel = 1;
int g_psystems = 25;
int g_weather = 1;
int g_blur = 1;
int g_contrast = 1;
float g_aniso = 0.0f;

CPSettings* CPSettings::s_instance = nullptr;

namespace {

struct SettingRow {
    const char* key;
    int* intVariable;
    float* floatVariable;
    float defaultValue;
};

// Registration order; the write order follows from the map's layout.
const SettingRow kRows[] = {
    {"screenWidth", &g_screenWidth, nullptr, 640},
    {"screenHeight", &g_screenHeight, nullptr, 480},
    {"screenBPP", &g_screenBPP, nullptr, 16},
    {"fullScreen", &g_fullScreen, nullptr, 0},
    {"weight_div", &g_weight_div, nullptr, 0},
    {"static", &g_static, nullptr, 0},
    {"rolling", &g_rolling, nullptr, 0},
    {"texlod", &g_texlod, nullptr, -1},
    {"quadlevels", &g_quadlevels, nullptr, 0},
    {"bboxes", &g_bboxes, nullptr, 0},
    {"channels", &g_channels, nullptr, 2},
    {"frequency", &g_frequency, nullptr, 22050},
    {"bitrate", &g_bitrate, nullptr, 8},
    {"soundVolume", nullptr, &g_soundVolume, 0.5f},
    {"musicVolume", nullptr, &g_musicVolume, 0.5f},
    {"visuals", &g_visuals, nullptr, 10},
    {"mouse", nullptr, &g_mouse, 0.0f},
    {"plane", nullptr, &g_plane, 0.5f},
    {"cam_speed", &g_cam_speed, nullptr, 0},
    {"distance", &g_distance, nullptr, 200},
    {"startmenu", &g_startmenu, nullptr, 1},
    {"friction", nullptr, &g_friction, 0.2f},
    {"restitution", nullptr, &g_restitution, 0.0f},
    {"shadows", &g_shadows, nullptr, 1},
    {"bloom", &g_bloom, nullptr, 1},
    {"lensflare", &g_lensflare, nullptr, 1},
    {"dust", &g_dust, nullptr, 1},
    {"wheel", &g_wheel, nullptr, 1},
    {"psystems", &g_psystems, nullptr, 25},
    {"weather", &g_weather, nullptr, 1},
    {"blur", &g_blur, nullptr, 1},
    {"contrast", &g_contrast, nullptr, 1},
    {"aniso", nullptr, &g_aniso, 0.0f},
};
constexpr std::size_t kRowCount = std::size(kRows);
static_assert(kRowCount == 33);

// Each binder is also held by a global handle of its own.
CPSmartPtr<CPDator>& GlobalBinder(std::size_t row) {
    static CPSmartPtr<CPDator>* handles = new CPSmartPtr<CPDator>[kRowCount];
    return handles[row];
}

} // namespace

void ResetSettingsToDefaults() {
    for (const SettingRow& row : kRows) {
        if (row.intVariable) *row.intVariable = static_cast<int>(row.defaultValue);
        if (row.floatVariable) *row.floatVariable = row.defaultValue;
    }
}

CPSettings::CPSettings() {
    s_instance = this;
    RegisterSettings();
}

CPSettings::~CPSettings() {
    for (std::size_t i = 0; i < kRowCount; ++i) GlobalBinder(i) = nullptr;
    m_map.clear();
    if (s_instance == this) s_instance = nullptr;
}

void CPSettings::RegisterSettings() {
    for (std::size_t i = 0; i < kRowCount; ++i) {
        const SettingRow& row = kRows[i];
        CPDator* binder = row.intVariable ? static_cast<CPDator*>(new CPIntDator(row.intVariable))
                                          : static_cast<CPDator*>(new CPFloatDator(row.floatVariable));
        GlobalBinder(i) = binder;
        Bind(row.key, GlobalBinder(i));
    }
}

void CPSettings::Bind(const std::string& key, const CPSmartPtr<CPDator>& binder) { m_map[key] = binder; }

CPDator* CPSettings::GetBinder(const std::string& key) const {
    auto it = m_map.find(key);
    return it == m_map.end() ? nullptr : it->second.Get();
}

bool CPSettings::Load(const std::string& path, std::string* error) {
    auto real = Platform::GamePaths().Resolve(path);
    if (!real) {
        Platform::TraceMissingFile(Platform::GamePath(path).Lowered());
        return true;
    }
    Platform::TraceLooseFile(Platform::GamePath(path).Lowered(), *real);
    std::string content;
    if (!Platform::ReadRegularFile(*real, Platform::kMaxSettingsFileBytes, content, error)) return false;
    // Line by line at line feeds; the last line counts also without one.
    std::size_t start = 0;
    while (start <= content.size()) {
        std::size_t end = content.find('\n', start);
        std::string line = content.substr(start, end == std::string::npos ? std::string::npos : end - start);
        // A line is a C string: a zero byte ends it.
        std::size_t zero = line.find('\0');
        if (zero != std::string::npos) line.resize(zero);
        ParseLine(line);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return true;
}

void CPSettings::ParseLine(const std::string& line) {
    if (line.empty()) return;
    int mode = 0;
    std::string rest = line;
    if (rest[0] == '+') {
        mode = 1;
        rest.erase(0, 1);
    } else if (rest[0] == '-') {
        mode = -1;
        rest.erase(0, 1);
    }
    std::string key;
    std::string value;
    std::size_t eq = rest.find('=');
    if (eq != std::string::npos) {
        key = rest.substr(0, eq);
        value = rest.substr(eq + 1);
    } else {
        key = rest;
        value = mode == 1 ? "1" : "0";
    }
    SetValue(Trimmed(key), Trimmed(value), mode);
}

void CPSettings::SetValue(const std::string& key, const std::string& value, int mode) {
    CPDator* binder = GetBinder(key);
    if (!binder) return;
    if (!binder->IsList()) {
        binder->Set(value);
        return;
    }
    // A list binder takes each item of the value; none is registered today.
    std::istringstream items(value);
    std::string item;
    while (std::getline(items, item, ',')) {
        if (mode > 0)
            binder->Add(item);
        else if (mode < 0)
            binder->Subtract(item);
        else
            binder->Set(item);
    }
}

HRESULT CPSettings::Save(const std::string& path) const {
    std::string text;
    for (const auto& [key, binder] : m_map) {
        if (!binder) continue;
        text += Platform::FormatC("%s = %s\r\n", key.c_str(), binder->ToString().c_str());
    }
    CPFileWriter writer(path, false);
    writer.WriteBytes(text.data(), static_cast<int>(text.size()));
    return writer.Save();
}

void CPSettings::ReleaseBindings() {
    // The aniso binder keeps its global handle.
    for (std::size_t i = 0; i < kRowCount; ++i)
        if (std::string(kRows[i].key) != "aniso") GlobalBinder(i) = nullptr;
}
