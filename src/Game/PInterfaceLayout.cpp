// The interface layout file: script, texture, light, then blocks of windows, buttons, texts and
// text-entry fields, authored for a 1024 x 768 screen.

#include <vector>

#include "Framework/PApplication.h"
#include "Framework/PFileReader.h"
#include "Framework/PStringSplitter.h"
#include "Framework/PTextReader.h"
#include "Framework/StringUtils.h"
#include "Game/InterfaceKeys.h"
#include "Game/LayoutFields.h"
#include "Game/PFontManager.h"
#include "Game/PInterface.h"
#include "GameData/PGameData.h"
#include "Platform/System/NumberText.h"
#include "Render/PEffectManager.h"
#include "Render/PRenderObject.h"
#include "Script/PLuaScript.h"
#include "Script/PScriptManager.h"

using namespace LayoutFields;

namespace {

std::string TextOfKey(const std::string& key) {
    CPGameData* data = GetGameData();
    return data ? data->GetText(key) : std::string();
}

} // namespace

bool CPInterface::LoadLayout(const std::string& name, int layer) {
    m_name = name;
    SetDirty(false);
    SetAttachment(CPSmartPtr<IPMMObject>(m_batch.Get()), KindMesh);
    CPFileReader file("Data\\Interface\\" + name + "1024.int");
    if (file.Load() != S_OK) {
        RebuildBatch();
        return false;
    }
    LoadLayoutText(reinterpret_cast<const char*>(file.GetData()), file.GetDataSize(), layer);
    return true;
}

void CPInterface::LoadLayoutText(const char* data, int size, int layer) {
    CPTextReader reader(data, size);
    std::string scriptName, textureLine, lightLine;
    reader.ReadLine(scriptName);
    reader.ReadLine(textureLine);
    reader.ReadLine(lightLine);

    const std::vector<std::string> texture = SplitTokens(textureLine, ",", true);
    const std::string textureName = Field(texture, 0);
    const float textureWidth = FieldFloat(texture, 1);
    const float textureHeight = FieldFloat(texture, 2);

    const std::vector<std::string> light = SplitTokens(lightLine, ",", true);
    m_lightOn = Field(light, 1) == "on";
    if (m_lightOn) {
        m_light = D3DLIGHT9();
        m_light.Type = D3DLIGHT_DIRECTIONAL;
        m_light.Direction.x = FieldFloat(light, 2);
        m_light.Direction.y = FieldFloat(light, 3);
        m_light.Direction.z = FieldFloat(light, 4);
        m_light.Diffuse.r = m_light.Specular.r = FieldFloat(light, 5);
        m_light.Diffuse.g = m_light.Specular.g = FieldFloat(light, 6);
        m_light.Diffuse.b = m_light.Specular.b = FieldFloat(light, 7);
        m_light.Range = 10000.0f;
    }
    const char* effect = Field(light, 8) == "smooth" ? "interface2.fx" : "interface.fx";
    if (CPEffectManager* effects = GetEffectManager()) {
        CPSmartPtr<CPMaterial> material;
        effects->GetMaterial(material, LayerKey(kBatchKeyBase, layer), effect, {textureName});
        m_batch->SetEffect(material);
    }

    if (CPScriptManager* scripts = GetScriptManager()) SetScript(scripts->GetScript(scriptName));

    std::string kind;
    while (reader.ReadLine(kind)) {
        ToLower(kind);
        if (kind == "window") {
            CPSmartPtr<CPWindow> window(new CPWindow(this));
            window->SetVisible(true);
            window->Load(reader, textureWidth, textureHeight);
            if (window->GetName() == "cursor")
                BuildPointerPicture(*window, textureName);
            else
                AddElement(window);
        } else if (kind == "button") {
            CPSmartPtr<CPWindow> button(new CPButton(this));
            button->SetVisible(true);
            button->Load(reader, textureWidth, textureHeight);
            AddElement(button);
            m_buttons.push_back(button);
        } else if (kind == "text") {
            ReadText(reader);
        } else if (kind == "textedit") {
            ReadTextEdit(reader);
        }
    }
    RebuildBatch();
}

void CPInterface::ReadText(CPTextReader& reader) {
    auto entry = std::make_shared<SPTextEntry>();
    entry->object = MakeMeshChild("text");
    std::string line, name;
    reader.ReadLine(line);
    std::vector<std::string> fields;
    SplitNamedLine(line, name, fields);
    const float scale = g_interfaceScale;
    entry->font = Field(fields, 0);
    entry->x = FieldFloat(fields, 1) * scale + 0.5f;
    entry->y = FieldFloat(fields, 2) * scale + 0.5f;
    m_texts[name] = entry;
    AppendChild(entry->object);
    PrintIntoEntry(*entry, entry->font, TextOfKey(Field(fields, 3)));
}

void CPInterface::ReadTextEdit(CPTextReader& reader) {
    auto entry = std::make_shared<SPTextEntry>();
    entry->object = MakeMeshChild("text");
    std::string line, name;
    reader.ReadLine(line);
    std::vector<std::string> fields;
    SplitNamedLine(line, name, fields);
    const float scale = g_interfaceScale;
    entry->x = FieldFloat(fields, 0) * scale + 0.5f;
    entry->y = FieldFloat(fields, 1) * scale + 0.5f;
    entry->font = Field(fields, 2);
    const int maxLength = Platform::ParseInt(Field(fields, 3));
    CPSmartPtr<CPEditBox> box(fields.size() > 5 ? new CPEditBox(entry, maxLength, fields[5])
                                                : new CPEditBox(entry, maxLength));
    m_editBoxes[name] = box;
    AppendChild(entry->object);
    m_texts[name] = entry;
}

void CPInterface::BuildPointerPicture(const CPWindow& window, const std::string& texture) {
    CPSmartPtr<CPGameObject> picture = MakeMeshChild("cursor");
    const SPVertex* quad = window.GetVertices();
    const std::uint16_t* indices = window.GetIndices();
    CPRenderObject* mesh = picture->GetRenderObject();
    mesh->SetMesh(std::vector<SPVertex>(quad, quad + 4), std::vector<std::uint16_t>(indices, indices + 6));
    if (CPEffectManager* effects = GetEffectManager()) {
        CPSmartPtr<CPMaterial> material;
        effects->GetMaterial(material, kPointerKey, "interface.fx", {texture});
        mesh->SetEffect(material);
    }
    m_pointerObject = picture;
    AppendChild(picture);
    m_pointerObjects["cursor"] = picture;
}
