-- The mission rules of a race: the turret comes out of its source when the player draws near,
-- every passed checkpoint may leave a bonus crate behind, and a destroyed enemy is counted.

local SOURCE = "turret1"
local turret = nil
local kills = 0
local checkpointIndex = 0

local function SpawnTurret()
    local kind, fromSource, x, y = GetEnemyType(SOURCE, true)
    if not fromSource or kind ~= "turret" then
        return
    end
    local _, _, z = GetPlayerPosition()
    turret = LoadRenderObject("turret.rdf", 20)
    SetPosition(turret, x, y, z)
    ActivateObject(turret, 200)
    SendCommandByName("main", "turret_spawned", "")
end

local function OnCheckpoint()
    local count = GetCheckPointsCount()
    if count and count > 0 then
        local x, y = GetPlayerPosition()
        SetBonus(x, y, math.mod(checkpointIndex, count))
    end
    checkpointIndex = checkpointIndex + 1
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "checkpoint_passed" then
            OnCheckpoint()
        elseif command == "enemy_death" then
            kills = kills + 1
            SetKills(kills)
            turret = nil
        elseif command == "race_end" then
            if turret then
                DeactivateObject(turret)
                Release(turret)
                turret = nil
            end
        end
    end
    if not turret and IsLevelStarted() and IsEnemySourceNear(true, SOURCE) then
        SpawnTurret()
    end
    Update()
end
