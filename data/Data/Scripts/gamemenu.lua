-- The race's weapon panel: weapon, ammunition, mine, super-weapon and equipment icons, the
-- engine-overheat gauge, kills and money. The race world says when they change.

local ui = nil
local overheat = false

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
        elseif not ui then
            -- nothing to draw on yet
        elseif command == "init_game_interface" then
            InitGameInterface(ui)
            UpdateGameInterface(ui)
        elseif command == "update_game_interface" then
            UpdateGameInterface(ui)
        elseif command == "engine_temp" then
            overheat = a == "1"
            SetWindowVisible(ui, "overheat_warning", overheat)
            UpdateInterfaceBuffers(ui)
        elseif command == "set_money" or command == "change_money" then
            SetText(ui, "money", a or "0")
        end
    end
    if ui then
        UpdateTime(ui)
        UpdateInterface(ui)
    end
    Update()
end
