-- The stripes over the race: the countdown once the start camera has handed over to the race
-- camera, then "go" to "main"; the takedown stripes ("start" until "close") and the end of the
-- race ("in").

local ui = nil
local countdown = -1
local counted = false
local shownNumber = -1
local stripesTime = 0

local function ShowOnly(name)
    for _, element in ipairs({ "count3", "count2", "count1", "count_go", "stripe_top", "stripe_bottom" }) do
        SetWindowVisible(ui, element, element == name)
    end
    UpdateInterfaceBuffers(ui)
end

local function StripesOn(on)
    SetWindowVisible(ui, "stripe_top", on)
    SetWindowVisible(ui, "stripe_bottom", on)
    UpdateInterfaceBuffers(ui)
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            ui = StringToPointer(a)
            ShowOnly("")
        elseif not ui then
            -- not yet on screen
        elseif command == "start" then
            StripesOn(true)
            stripesTime = 1000
        elseif command == "close" then
            stripesTime = 0
            ShowOnly("")
        elseif command == "in" then
            StripesOn(true)
            stripesTime = 1000
        end
    end
    if ui then
        local dt = GetDeltaTime()
        if not counted and IsLevelStartedAfterStripes() then
            counted = true
            countdown = 3
            shownNumber = -1
            PlaySpecialSound("fast")
        end
        if countdown >= 0 then
            countdown = countdown - dt
            local number = math.floor(countdown) + 1
            if countdown <= 0 then
                ShowOnly("count_go")
                SendCommandByName("main", "go", "")
                countdown = -1
                stripesTime = 1
            elseif number ~= shownNumber then
                shownNumber = number
                ShowOnly("count" .. number)
            end
        elseif stripesTime > 0 then
            stripesTime = stripesTime - dt
            if stripesTime <= 0 then
                ShowOnly("")
            end
        end
        UpdateInterface(ui)
    end
    Update()
end
