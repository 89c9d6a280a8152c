-- The hints: the race world asks for hint n ("helper_in"); each is shown once a career, for a
-- few seconds.

local ui = nil
local shownTime = 0

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
        elseif command == "helper_in" and ui then
            local n = tonumber(a) or 0
            if n >= 1 and n <= 10 and not IsHelperOn(n) then
                SetHelperOn(n)
                SetTextString(ui, "hint", "hint" .. n)
                shownTime = 4
            end
        end
    end
    if ui then
        if shownTime > 0 then
            shownTime = shownTime - GetDeltaTime()
            if shownTime <= 0 then
                SetText(ui, "hint", "")
            end
        end
        UpdateInterface(ui)
    end
    Update()
end
