-- Achievements: a first place ("firstplace") and the ones the race world unlocks by name
-- ("unlock") are kept in the career and announced for a few seconds.

local ui = nil
local shownTime = 0

local function Announce(name)
    if ui then
        SetTextString(ui, "achievement", "ach_" .. name)
        shownTime = 3
    end
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
        elseif command == "firstplace" then
            Announce("firstplace")
        elseif command == "unlock" then
            Announce(a or "")
        end
    end
    if ui then
        if shownTime > 0 then
            shownTime = shownTime - GetDeltaTime()
            if shownTime <= 0 then
                SetText(ui, "achievement", "")
            end
        end
        UpdateInterface(ui)
    end
    Update()
end
