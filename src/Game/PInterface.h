#pragma once
// One 2D screen of the game (a menu page, a dialog, a piece of the head-up display): a scene
// object whose attachment is one mesh holding the quads of all its windows and buttons, with
// child objects for its texts and for the picture that follows the pointer, a script that gets
// its events and an optional directional light. Layouts are authored for a 1024 x 768 screen
// and scaled to the real one when loaded.
//
// Every interface in existence is on one live list (plain pointers, construction order); input
// reaches the interfaces through broadcasts over that list, newest first.

#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Game/PEditBox.h"
#include "Game/PWindow.h"
#include "Platform/Graphics/D3D9.h"
#include "Scene/PGameObject.h"

class CPRenderObject;
class CPTextReader;

class CPInterface : public CPGameObject, public IPElementOwner {
public:
    static constexpr int kBatchKeyBase = 200;
    static constexpr int kPointerKey = 231;

    CPInterface();
    ~CPInterface() override;

    int GetSize() const override { return static_cast<int>(sizeof(CPInterface)); }
    std::string GetClassName() const override { return "CPInterface - " + GetName(); }

    // The scene object's activation runs the interface's own, so every way into and out of the
    // scene (the scripts' object functions too) sets and clears the active flag.
    void AddToScene(int priority) override { Activate(priority); }
    void RemoveFromScene() override { Deactivate(); }

    // Sets active, re-runs the pointer tests at the current cursor position (a full pointer
    // broadcast), then joins the scene.
    virtual void Activate(int priority);
    // Clears active and leaves the scene; focus, pointer picture and contents stay.
    virtual void Deactivate();
    // Reads "Data\Interface\<name>1024.int". A file that cannot be read leaves the interface
    // empty; false then.
    virtual bool LoadLayout(const std::string& name, int layer);
    // This frame's drawing: the light, then the interface's tree to the render block.
    virtual void Render();
    // Sets active and joins the scene, without the pointer broadcast.
    virtual void SilentActivate(int priority);

    // Refills the batch with the quads of the visible elements in load order.
    void RebuildBatch() override;
    void SendToOwnerScript(const std::string& command, const std::string& params) override;
    // Shifts windows (not the "cursor" entry) and texts by pixels and reprints the texts; the
    // batch is not rebuilt.
    void Move(float dx, float dy);

    // ---- input (the broadcasts call these) ------------------------------------------------
    void OnMenuUp();
    void OnMenuDown();
    void OnMenuLeft();
    void OnMenuRight();
    void OnEnterDown();
    void OnEnterUp();
    void OnMouseDown(int button, float x, float y);
    void OnMouseUp(int button, float x, float y);
    void OnPointerMove(float x, float y);
    // The keyboard's pointer test: no pointer picture needed, active flag not looked at.
    void MoveFocusTo(float x, float y);
    void FocusNextButton();
    void FocusPreviousButton();

    // ---- contents ---------------------------------------------------------------------------
    // The element of that name, null when none.
    CPWindow* FindElement(const std::string& name) const;
    CPEditBox* FindEditBox(const std::string& name) const;
    SPTextEntry* FindText(const std::string& name) const;
    const std::vector<CPSmartPtr<CPWindow>>& GetElements() const { return m_elements; }
    const std::vector<CPSmartPtr<CPWindow>>& GetButtons() const { return m_buttons; }
    bool IsButton(const CPWindow* element) const;
    const std::unordered_map<std::string, std::shared_ptr<SPTextEntry>>& GetTexts() const { return m_texts; }
    const std::unordered_map<std::string, CPSmartPtr<CPEditBox>>& GetEditBoxes() const { return m_editBoxes; }
    CPWindow* GetFocus() const { return m_focus.Get(); }
    void ClearFocus() { m_focus = CPSmartPtr<CPWindow>(); }
    bool IsActive() const { return m_active; }
    float GetPointerX() const { return m_pointerX; }
    float GetPointerY() const { return m_pointerY; }
    const CPSmartPtr<CPGameObject>& GetPointerObject() const { return m_pointerObject; }
    const std::string& GetPointerName() const { return m_pointerName; }
    // Chooses the pointer picture by name (an unknown name leaves none).
    void SetCursor(const std::string& name);
    const D3DLIGHT9& GetLightRecord() const { return m_light; }
    bool IsLightOn() const { return m_lightOn; }
    CPRenderObject* GetBatch() const { return m_batch.Get(); }

    // The live list, oldest first.
    static const std::vector<CPInterface*>& LiveInterfaces();

protected:
    // Reads the layout from text already in memory.
    void LoadLayoutText(const char* data, int size, int layer);
    void AddElement(const CPSmartPtr<CPWindow>& element);
    // A new child object "text"/"cursor" with a mesh of its own.
    CPSmartPtr<CPGameObject> MakeMeshChild(const std::string& typeName);
    void BuildPointerPicture(const CPWindow& window, const std::string& texture);
    void ReadText(CPTextReader& reader);
    void ReadTextEdit(CPTextReader& reader);
    // The pointer (or the keyboard's test point) moved to (x, y): a focused element it left loses
    // the focus. True when that changed what the batch shows.
    bool LeaveFocusIfOutside(float x, float y);

    float m_pointerX = 0.0f, m_pointerY = 0.0f;
    CPSmartPtr<CPRenderObject> m_batch;
    std::unordered_map<std::string, CPSmartPtr<CPWindow>> m_elementMap;
    std::vector<CPSmartPtr<CPWindow>> m_elements;
    std::vector<CPSmartPtr<CPWindow>> m_buttons;
    std::unordered_map<std::string, CPSmartPtr<CPEditBox>> m_editBoxes;
    CPSmartPtr<CPWindow> m_focus;
    std::unordered_map<std::string, std::shared_ptr<SPTextEntry>> m_texts;
    D3DLIGHT9 m_light{};
    bool m_lightOn = false;
    CPSmartPtr<CPGameObject> m_pointerObject;
    std::unordered_map<std::string, CPSmartPtr<CPGameObject>> m_pointerObjects;
    bool m_active = false;
    std::string m_pointerName;
};

// The broadcasts over the live list, newest first.
void BroadcastMenuDown();
void BroadcastMenuUp();
void BroadcastMenuLeft();
void BroadcastMenuRight();
void BroadcastEnterDown();
void BroadcastEnterUp();
void BroadcastMouseMove(float x, float y);
void BroadcastMouseDown(int button, float x, float y);
void BroadcastMouseUp(int button, float x, float y);
void BroadcastFocusNext();
void BroadcastFocusPrevious();

// Puts the broadcasts in place as the input layer's seam (SetInterfaceBroadcasts).
void InstallInterfaceBroadcasts();
