-- The demo's main script: the menus, one race on level one against three computer drivers, the
-- results, and saving and loading a career. It also hears every key action ("exit" on Escape
-- leaves the game, "pause" pauses the race).
--
-- With KORVAXA_AUTOPLAY set to a file name it plays alone: no menus, it drives the race by sending
-- the same key actions the keyboard would, opens the pause menu and the options once, then saves
-- and loads a career and ends the game, writing what happened into that file.

local LEVEL = "level1"
local MISSION = "level1.txt"
local PLAYER_CAR = "runner"
local OTHER_CAR = "hauler"
local RACERS = 4
local ROUNDS = 2
local DIFFICULTY = 10
-- The autoplay drives a lap slower than the computer drivers at full strength, who would fill the
-- podium before its second round; against it they race at a fifth of their engines' force.
local AUTOPLAY_DIFFICULTY = 2
local CHECKPOINT_BONUS = 20
local MENU_MUSIC = "menu.ogg"
local RACE_MUSIC = "race.ogg"
local PROFILE = "Driver"

-- The layouts each screen is made from (Data\Interface\<name>1024.int); the layout names its
-- own script.
local LAYOUT = {
    menu = "mainmenu",
    options = "options",
    pause = "pause",
    results = "results",
    hud = "gamemenu",
    texts = "game_interface",
    stripes = "stripes",
    hints = "helper",
    achievement = "achievement",
    mission = "mission",
}

-- Interface layers: the race's head-up display under the menus.
local LAYER_HUD = 1
local LAYER_MENU = 3

local autoplayFile = os.getenv("KORVAXA_AUTOPLAY")
if autoplayFile == "" then
    autoplayFile = nil
end

local state = "menu"
local screens = {}
local carName = PLAYER_CAR
local paused = false
local raceStartTime = -1
local raceFinishTime = -1
local gameOverSeen = false
local checkpointsPassed = 0
local roundsMessages = 0
local placeText = ""
local pendingCommands = {}
local turretSeen = false
local finalPlace = 0

-- One screen of an interface layout, made on first use and kept.
local function Screen(name, layer)
    if not screens[name] then
        local interface = CreateInterface(LAYOUT[name], layer or LAYER_MENU)
        screens[name] = interface
    end
    return screens[name]
end

local function Show(name, layer)
    local interface = Screen(name, layer)
    ActivateInterface(interface)
    UpdateInterfaceBuffers(interface)
    return interface
end

local function Hide(name)
    if screens[name] then
        DeactivateInterface(screens[name])
    end
end

local function Forget(name)
    if screens[name] then
        DeactivateInterface(screens[name])
        Release(screens[name])
        screens[name] = nil
    end
end

-- Commands are read once a frame; the handlers below may be replaced per state.
local handlers = {}

local function ReadCommands()
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a, b, c, d = GetCurrentParams(globalObject)
        local handler = handlers[command]
        if handler then
            handler(a, b, c, d)
        end
    end
end

local function Frame()
    ReadCommands()
    Update()
end

local function WaitFrames(n)
    for i = 1, n do
        Frame()
    end
end

local function SetPaused(on)
    if on == paused then
        return
    end
    paused = on
    if on then
        SetTemp(0)
        Show("pause")
    else
        Hide("pause")
        Hide("options")
        SetTemp(1)
    end
end

-- The settings of the next race: four racers, two rounds, the opponents' engines at full strength
-- (a fifth against the autoplay), every checkpoint's time raised by the bonus, nitro gained at the
-- normal rate.
local function ChooseRaceSettings()
    SetCurrentLevelSettings(RACERS, 0, 0, 0, 0, false, 1, CHECKPOINT_BONUS, 1, "", "")
    SetNumRounds(ROUNDS)
    SetDifficulty(autoplayFile and AUTOPLAY_DIFFICULTY or DIFFICULTY)
    SetPlayerName(carName)
end

local function StartRace()
    state = "loading"
    paused = false
    gameOverSeen = false
    checkpointsPassed = 0
    roundsMessages = 0
    placeText = ""
    raceStartTime = -1
    raceFinishTime = -1
    Hide("menu")
    StopPlayingMusic()
    ChooseRaceSettings()
    InitLevel(LEVEL, false, false)
    LoadMissionInfo(MISSION)
    ClearLevelTimers()
    ClearBonuses()
    Show("hud", LAYER_HUD)
    Show("texts", LAYER_HUD)
    Show("stripes", LAYER_HUD)
    Show("hints", LAYER_HUD)
    Show("mission", LAYER_HUD)
    Show("achievement", LAYER_HUD)
    StartLevel()
    PlayMusic(RACE_MUSIC)
    state = "countdown"
end

-- The countdown of "stripes_new" has ended: the racers drive and the clocks run.
local function Go()
    if state ~= "countdown" then
        return
    end
    LockPlayers(false)
    SetUpdateTime(true)
    SetLevelStarted(true)
    raceStartTime = GetFullTime()
    state = "racing"
end

local function RaceOver()
    if gameOverSeen then
        return
    end
    gameOverSeen = true
    raceFinishTime = GetFullTime()
    finalPlace = GetPlayerPlace() or 0
    state = "finishing"
end

local function ShowResults()
    SetUpdateTime(false)
    SetLevelStarted(false)
    local place = GetPlayerPlace() or 0
    local minutes, seconds, hundredths = GetTimeBest()
    UpdateBestTimeRecord()
    SaveScore()
    local results = Show("results")
    SendCommandByName("menu_results", "show",
        string.format("%d,%d,%d,%d,%s", place, minutes or 0, seconds or 0, hundredths or 0, placeText))
    state = "results"
    return results
end

local function EndRace()
    Forget("results")
    for _, name in ipairs({ "hud", "texts", "stripes", "hints", "mission", "achievement", "pause", "options" }) do
        Forget(name)
    end
    if paused then
        paused = false
        SetTemp(1)
    end
    StopLevel()
    DeleteLevel()
    StopSounds()
    state = "menu"
    PlayMusic(MENU_MUSIC)
    Show("menu")
end

handlers["key_action"] = function(action, pressed)
    if pressed ~= "1" then
        return
    end
    if action == "exit" then
        KillAllTasks()
    elseif action == "pause" and (state == "racing" or state == "countdown") then
        SetPaused(not paused)
    end
end

handlers["standart_action"] = function(action, pressed)
    if action == "escape" and pressed == "1" and (state == "racing" or state == "countdown") then
        SetPaused(not paused)
    end
end

handlers["start_race"] = function() pendingCommands.race = true end
handlers["choose_car"] = function(name)
    if name == PLAYER_CAR or name == OTHER_CAR then
        carName = name
    end
end
handlers["go"] = Go
handlers["race_over"] = RaceOver
handlers["resume"] = function() SetPaused(false) end
handlers["open_options"] = function() Show("options") end
handlers["close_options"] = function() Hide("options") end
handlers["leave_race"] = function() pendingCommands.leave = true end
handlers["results_done"] = function() pendingCommands.leave = true end
handlers["save_game"] = function() SaveGame() end
handlers["load_game"] = function(file)
    if file and file ~= "" then
        LoadGame(file)
    end
end
handlers["quit"] = function() KillAllTasks() end
handlers["checkpoint_passed"] = function() checkpointsPassed = checkpointsPassed + 1 end
handlers["round_passed"] = function() roundsMessages = roundsMessages + 1 end
handlers["place_taken"] = function(text) placeText = text or "" end
handlers["turret_spawned"] = function() turretSeen = true end
handlers["player_dead"] = function() RaceOver() end
handlers["level_failed"] = function() RaceOver() end
handlers["defeat"] = function() RaceOver() end

-- ---------------------------------------------------------------- the autoplay

local AUTOPLAY_LIMIT = 150
local LOOK_AHEAD = 2
local LOOK_DISTANCE = 10

local function Key(action, down)
    SendCommandByCategory("action_listener", "key_action", action .. (down and ",1" or ",0"))
end

local function Tap(action)
    Key(action, true)
    Frame()
    Key(action, false)
end

local function WriteResult()
    local file = io.open(autoplayFile, "w")
    if not file then
        return
    end
    file:write(string.format("race_start=%.3f\n", raceStartTime))
    file:write(string.format("race_finish=%.3f\n", raceFinishTime))
    file:write(string.format("checkpoints=%d\n", checkpointsPassed))
    -- The rounds driven: one a round message, and the last one when the car took a place at the finish.
    local rounds = roundsMessages + ((placeText ~= "") and 1 or 0)
    file:write(string.format("rounds=%d\n", rounds))
    file:write(string.format("place=%d\n", finalPlace))
    file:write(string.format("place_message=%s\n", placeText))
    file:write(string.format("game_over=%d\n", gameOverSeen and 1 or 0))
    file:close()
end

-- The driver: it steers for the route's centre a little ahead, in proportion to the angle, by
-- holding the steering keys for that share of the frames (the car's script turns the wheels in
-- over a moment, so the share becomes the steering); it lifts off in sharp bends, burns nitro on
-- the straights and backs out when the car has not moved for a while.
local driver = {
    target = nil,
    left = false,
    right = false,
    throttle = false,
    brake = false,
    nitro = false,
    steerShare = 0,
    throttleShare = 0,
    stuckClock = 0,
    stuckFrom = nil,
    reverseTime = 0,
}

local function Hold(name, down)
    if driver[name] ~= down then
        driver[name] = down
        local action = name == "throttle" and "accelerate" or name
        Key(action, down)
    end
end

-- Whether to hold a key this frame for a share of the frames (0 to 1).
local function Share(field, share)
    driver[field] = driver[field] + share
    if driver[field] >= 1 then
        driver[field] = driver[field] - 1
        return true
    end
    return false
end

-- The route's piece centres in "next" order; the race runs the other way round.
local route = nil
local routeIndex = nil

local function ReadRoute()
    route = {}
    routeIndex = nil
    local fx, fy = GetSplineLinePoint(0)
    if not fx then
        return
    end
    route[1] = { fx, fy }
    for n = 1, 5000 do
        local x, y = GetSplineLinePoint(n)
        if not x or (x == fx and y == fy) then
            break
        end
        route[n + 1] = { x, y }
    end
end

local function Distance2(ax, ay, bx, by)
    return (ax - bx) * (ax - bx) + (ay - by) * (ay - by)
end

-- The point a little ahead of the car along the race order: the nearest piece, then back along
-- "next" until far enough, farther the faster the car goes.
local function RouteTarget(x, y, speed)
    local count = 0
    for _ in ipairs(route) do
        count = count + 1
    end
    if count < 3 then
        return GetClosestLineCenter(x, y, 0, LOOK_AHEAD)
    end
    local best, bestD = 1, nil
    local from, to = 1, count
    if routeIndex then
        from, to = routeIndex - 8, routeIndex + 8
    end
    for k = from, to do
        local i = math.mod(k - 1 + count, count) + 1
        local d = Distance2(x, y, route[i][1], route[i][2])
        if not bestD or d < bestD then
            best, bestD = i, d
        end
    end
    if bestD and bestD > 900 then
        -- Far off the route (a respawn, a long slide): look everywhere again.
        for i = 1, count do
            local d = Distance2(x, y, route[i][1], route[i][2])
            if d < bestD then
                best, bestD = i, d
            end
        end
    end
    routeIndex = best
    local wanted = (LOOK_DISTANCE + speed * 0.3) * (LOOK_DISTANCE + speed * 0.3)
    local i = best
    for step = 1, count do
        i = math.mod(i - 2 + count, count) + 1
        if Distance2(x, y, route[i][1], route[i][2]) >= wanted then
            break
        end
    end
    -- How much the route turns between here and some seventy units on: the speed to take it.
    local far = best
    for step = 1, count do
        far = math.mod(far - 2 + count, count) + 1
        if Distance2(x, y, route[far][1], route[far][2]) >= 4900 then
            break
        end
    end
    local nextOne = math.mod(best - 2 + count, count) + 1
    local farNext = math.mod(far - 2 + count, count) + 1
    local h1 = math.atan2(route[nextOne][2] - route[best][2], route[nextOne][1] - route[best][1])
    local h2 = math.atan2(route[farNext][2] - route[far][2], route[farNext][1] - route[far][1])
    local bend = math.abs(h2 - h1)
    if bend > math.pi then
        bend = 2 * math.pi - bend
    end
    driver.safeSpeed = 44 - 34 * math.min(bend / 0.9, 1)
    return route[i][1], route[i][2]
end

local function Drive(dt)
    local x, y = GetPlayerPosition()
    local speed = GetPlayerSpeed() or 0
    local cx, cy = RouteTarget(x, y, speed)
    if cx then
        driver.target = { cx, cy }
    end
    -- Pinned (against a wall, mostly): hardly moving with the throttle held for a second and a
    -- half. It backs out with the wheels the other way round.
    if driver.throttle and speed < 3 and driver.reverseTime <= 0 then
        driver.pinned = (driver.pinned or 0) + dt
    else
        driver.pinned = 0
    end
    if driver.pinned > 1.5 then
        driver.pinned = 0
        driver.reverseTime = 1.2
    end
    -- Stuck: no progress along the route in two seconds (against a wall, a car, a wreck). It
    -- backs out, then passes the spot a few units to one side, the other side the next time.
    driver.stuckClock = driver.stuckClock + dt
    if driver.stuckClock >= 2 then
        if driver.stuckFrom and driver.reverseTime <= 0 and routeIndex then
            local still = driver.stuckFrom == routeIndex or driver.stuckFrom == routeIndex + 1
            if still and speed < 4 then
                driver.reverseTime = 1.2
                driver.sideTime = 3.2
                driver.side = -(driver.side or 1)
            end
        end
        driver.stuckClock = 0
        driver.stuckFrom = routeIndex
    end
    if driver.sideTime and driver.sideTime > 0 and driver.target then
        driver.sideTime = driver.sideTime - dt
        local dx, dy = GetPlayerDirection()
        if dx then
            -- Across the car's heading: (-dy, dx) is one side, (dy, -dx) the other.
            driver.target = { driver.target[1] - dy * 5 * driver.side, driver.target[2] + dx * 5 * driver.side }
        end
    end
    local angle = 0
    if driver.target then
        local dx, dy = GetPlayerDirection()
        local tx, ty = driver.target[1] - x, driver.target[2] - y
        local cross = (dx or 0) * ty - (dy or 0) * tx
        local dot = (dx or 0) * tx + (dy or 0) * ty
        angle = math.atan2(cross, dot)
    end
    if driver.reverseTime > 0 then
        -- Backwards with the wheels the other way round.
        driver.reverseTime = driver.reverseTime - dt
        Hold("throttle", false)
        Hold("nitro", false)
        Hold("brake", true)
        Hold("left", angle < -0.05)
        Hold("right", angle > 0.05)
        return
    end
    local safe = driver.safeSpeed or 40
    Hold("brake", speed > safe + 8)
    local a = math.abs(angle)
    local steer = math.min(a * 2.5, 1)
    local throttle = 1
    if a > 1.2 then
        -- Facing away from the route: full lock round at a walking pace.
        steer = 1
        throttle = speed > 8 and 0 or 0.7
        if speed < 4 then
            -- Too slow to come round forwards: back round instead.
            driver.reverseTime = 1.0
        end
    elseif (a >= 0.5 and speed > 12) or speed > safe then
        throttle = 0
    elseif a > 0.15 and speed > 10 then
        throttle = 1 / (1 + 2.5 * a)
    end
    local turn = Share("steerShare", steer)
    Hold("left", angle > 0.02 and turn)
    Hold("right", angle < -0.02 and turn)
    Hold("throttle", Share("throttleShare", throttle))
    Hold("nitro", a < 0.2 and speed > 12 and speed < safe - 10)
end

local function ReleaseAll()
    Hold("nitro", false)
    Hold("throttle", false)
    Hold("brake", false)
    Hold("left", false)
    Hold("right", false)
end

local function Autoplay()
    local began = GetFullTime()
    local function OutOfTime()
        return GetFullTime() - began > AUTOPLAY_LIMIT
    end
    SetProfileName(PROFILE)
    InitPlayer()
    StartRace()
    ReadRoute()
    while state == "countdown" and not OutOfTime() do
        Frame()
    end
    local pausedOnce = false
    local fireUntil = -1
    local last = GetFullTime()
    while state == "racing" and not OutOfTime() do
        local now = GetFullTime()
        local raceTime = now - raceStartTime
        Drive(now - last)
        last = now
        if IsEnemySourceNear(true, "turret1") or turretSeen then
            turretSeen = false
            fireUntil = now + 2
            Key("fire", true)
        elseif fireUntil > 0 and now > fireUntil then
            fireUntil = -1
            Key("fire", false)
        end
        if not pausedOnce and raceTime > 12 then
            pausedOnce = true
            ReleaseAll()
            Tap("pause")
            -- Three switches go round every view once and back to the first.
            for i = 1, 3 do
                Tap("camera")
                WaitFrames(5)
            end
            WaitFrames(5)
            SendCommandByName("menu_pause", "autoplay_options", "")
            WaitFrames(10)
            -- The camera key is given again: the bindings go to the file and back unchanged.
            local count, keys, labels = GetActionNames()
            for i = 1, count or 0 do
                if labels[i] == "action_camera" then
                    SendCommandByName("menu_options", "autoplay_assign", "camera," .. keys[i])
                end
            end
            WaitFrames(30)
            Tap("pause")
        end
        Frame()
    end
    ReleaseAll()
    Key("fire", false)
    -- The finish: the results, the record, back to the menu.
    local waitUntil = GetFullTime() + 3
    while GetFullTime() < waitUntil and not OutOfTime() do
        Frame()
    end
    if state == "finishing" then
        ShowResults()
        WaitFrames(30)
    end
    if state ~= "menu" and state ~= "loading" then
        EndRace()
    end
    WaitFrames(10)
    SaveGame()
    LoadGame("save0.sav")
    WaitFrames(5)
    WriteResult()
    KillAllTasks()
    while true do
        Update()
    end
end

-- ---------------------------------------------------------------- the game

if autoplayFile then
    Autoplay()
end

SetProfileName(PROFILE)
InitPlayer()
PlayMusic(MENU_MUSIC)
Show("menu")
while true do
    Frame()
    if pendingCommands.race then
        pendingCommands.race = false
        if state == "menu" then
            StartRace()
        end
    end
    if state == "finishing" and GetFullTime() - raceFinishTime > 3 then
        ShowResults()
    end
    if pendingCommands.leave then
        pendingCommands.leave = false
        if state ~= "menu" then
            EndRace()
        end
    end
end
