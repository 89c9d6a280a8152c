-- The main menu: race (with the light or the heavy car), options, save, load and quit.

local ui = nil
local car = "runner"

local function ShowCar()
    SetTextString(ui, "car", "car_" .. car)
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
            ShowCar()
        elseif command == "button" then
            if a == "race" then
                SendCommandByName("main", "choose_car", car)
                SendCommandByName("main", "start_race", "")
            elseif a == "car" then
                car = car == "runner" and "hauler" or "runner"
                ShowCar()
            elseif a == "options" then
                SendCommandByName("main", "open_options", "")
            elseif a == "save" then
                SendCommandByName("main", "save_game", "")
            elseif a == "load" then
                SendCommandByName("main", "load_game", "save0.sav")
            elseif a == "quit" then
                SendCommandByName("main", "quit", "")
            end
        end
    end
    if ui then
        UpdateInterface(ui)
    end
    Update()
end
