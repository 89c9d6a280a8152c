-- The options: sound and music volume, and the keys of the actions. A key is assigned by choosing
-- the action and pressing the key; the bindings are written to "Actions.cfg" and read back.

local ui = nil
local ACTIONS = { "accelerate", "brake", "left", "right", "nitro", "fire", "next_weapon", "prev_weapon", "camera", "pause" }
local chosen = 1
local waitingForKey = false

local function ShowVolumes()
    SetText(ui, "sound", string.format("%d", math.floor(GetSoundVolume() * 100 + 0.5)))
    SetText(ui, "music", string.format("%d", math.floor(GetMusicVolume() * 100 + 0.5)))
end

local function ShowAction()
    SetTextString(ui, "action", "action_" .. ACTIONS[chosen])
end

local function Step(get, set, delta)
    local v = get() + delta
    if v < 0 then v = 0 end
    if v > 1 then v = 1 end
    set(v)
    ShowVolumes()
end

-- Actions are found by their text key, the second field of "Actions.cfg".
local function Assign(action, key)
    SetAction("action_" .. action, key)
    UpdateActions()
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a, b = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
            ShowVolumes()
            ShowAction()
        elseif command == "button" then
            if a == "sound_up" then Step(GetSoundVolume, SetSoundVolume, 0.1)
            elseif a == "sound_down" then Step(GetSoundVolume, SetSoundVolume, -0.1)
            elseif a == "music_up" then Step(GetMusicVolume, SetMusicVolume, 0.1)
            elseif a == "music_down" then Step(GetMusicVolume, SetMusicVolume, -0.1)
            elseif a == "next_action" then
                chosen = math.mod(chosen, 10) + 1
                ShowAction()
            elseif a == "assign" then
                waitingForKey = true
                SetAssignKey()
                SetTextString(ui, "key", "press_key")
            elseif a == "back" then
                SaveActions()
                SendCommandByName("main", "close_options", "")
            end
        elseif command == "key_assign" and waitingForKey then
            waitingForKey = false
            Assign(ACTIONS[chosen], a)
            SetText(ui, "key", a or "")
        elseif command == "autoplay_assign" then
            -- The same key again: the bindings go through the file and back unchanged.
            Assign(a, b)
        end
    end
    if ui then
        UpdateInterface(ui)
    end
    Update()
end
