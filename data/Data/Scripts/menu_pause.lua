-- The pause menu: resume, options, leave the race.

local ui = nil

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
        elseif command == "button" then
            if a == "resume" then
                SendCommandByName("main", "resume", "")
            elseif a == "options" then
                SendCommandByName("main", "open_options", "")
            elseif a == "leave" then
                SendCommandByName("main", "resume", "")
                SendCommandByName("main", "leave_race", "")
            end
        elseif command == "autoplay_options" then
            SendCommandByName("main", "open_options", "")
        end
    end
    if ui then
        UpdateInterface(ui)
    end
    Update()
end
