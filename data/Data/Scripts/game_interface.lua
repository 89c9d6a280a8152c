-- The race's texts and gauges: messages ("checkpoint!", the rounds, the places, the takedowns),
-- the bonus time of a checkpoint, the speedometer, the checkpoint markers of the mini map and the
-- health bars over the cars. It also tells "main" and the mission rules what happened.

local ui = nil
local messageTime = 0
local bonusTime = 0
local MESSAGE_SECONDS = 2.5
local MAP_MARKERS = 4

local function ShowMessage(key)
    if ui then
        SetTextString(ui, "message", key)
        messageTime = MESSAGE_SECONDS
    end
end

local function OnCommand(command, a, b, c)
    if command == "add_object" then
        ui = StringToPointer(a)
    elseif command == "show_message" then
        ShowMessage(a)
        if a == "krug_proiden!" or a == "posledniy_krug!" then
            SendCommandByName("main", "round_passed", a)
        end
    elseif command == "checkpoint" then
        ShowMessage(a)
        if a == "checkpoint!" then
            ShowCheckPoint()
            SendCommandByName("main", "checkpoint_passed", b or "")
            SendCommandByCategory("level", "checkpoint_passed", b or "")
        end
    elseif command == "bonus_points" then
        -- "time", the text of "bonus_time", the seconds left on the checkpoint clock
        if ui then
            SetText(ui, "bonus", string.format("%s %d", b or "", math.floor(tonumber(c) or 0)))
            bonusTime = MESSAGE_SECONDS
        end
    elseif command == "place" then
        ShowMessage(a)
        SendCommandByName("main", "place_taken", a or "")
    end
end

-- The mini map's checkpoint markers: five values a marker (x, y, angle, next, index).
local function PlaceMapMarkers()
    local count, values = GetChekpointPositions()
    local shown = 0
    if count and values then
        local i = 1
        while i + 4 <= count and shown < MAP_MARKERS do
            shown = shown + 1
            local name = "map_cp" .. shown
            SetWindowPosition2(ui, name, values[i], values[i + 1])
            SetWindowVisible(ui, name, true)
            i = i + 5
        end
    end
    for k = shown + 1, MAP_MARKERS do
        SetWindowVisible(ui, "map_cp" .. k, false)
    end
end

-- The player's health over the car: 100 less the damage taken.
local function ShowHealth()
    local damage = GetPlayerDamage()
    if damage then
        SetText(ui, "health", string.format("%03d", math.max(0, 100 - math.floor(damage))))
    end
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a, b, c = GetCurrentParams(globalObject)
        OnCommand(command, a, b, c)
    end
    if ui then
        local dt = GetDeltaTime()
        if messageTime > 0 then
            messageTime = messageTime - dt
            if messageTime <= 0 then
                SetText(ui, "message", "")
            end
        end
        if bonusTime > 0 then
            bonusTime = bonusTime - dt
            if bonusTime <= 0 then
                SetText(ui, "bonus", "")
            end
        end
        SetText(ui, "speed", string.format("%03d", math.floor(GetPlayerSpeed() or 0)))
        local place = GetPlayerPlace()
        if place then
            SetText(ui, "place", string.format("%d/%d", place, GetMaxPlayers() or 0))
        end
        SetText(ui, "round", string.format("%d/%d", GetCurrentRound() or 0, GetRoundsNumber() or 0))
        PlaceMapMarkers()
        ShowHealth()
        UpdateInterfaceBuffers(ui)
        UpdateInterface(ui)
    end
    Update()
end
