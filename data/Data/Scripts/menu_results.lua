-- The results of a race: the place, the best round time and the record; any key or the button
-- goes back to the menu.

local ui = nil

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a, b, c, d, e = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
        elseif command == "show" and ui then
            -- place, minutes, seconds, hundredths, the place's message key
            local place = tonumber(a) or 0
            if e and e ~= "" then
                SetTextString(ui, "place", e)
            else
                SetText(ui, "place", string.format("%d", place))
            end
            SetText(ui, "time", string.format("%02d:%02d.%02d", tonumber(b) or 0, tonumber(c) or 0, tonumber(d) or 0))
            local minutes, seconds, hundredths = GetBestTimeAttack()
            SetText(ui, "best", string.format("%02d:%02d.%02d", minutes or 0, seconds or 0, hundredths or 0))
        elseif command == "button" and a == "menu" then
            SendCommandByName("main", "results_done", "")
        elseif command == "standart_action" and a == "enter" and b == "1" then
            SendCommandByName("main", "results_done", "")
        end
    end
    if ui then
        UpdateInterface(ui)
    end
    Update()
end
