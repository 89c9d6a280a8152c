-- The player's car: it turns the key actions into the racer's throttle, steering, brake, weapons
-- and nitro. The car's render description names this script, so the racer that takes the car
-- over starts it and tells it which racer it is ("add_object").

local racer = nil
local keys = { accelerate = 0, brake = 0, left = 0, right = 0 }
local nitroHeld = false
local raceOver = false

-- Tuning sent by the car's description: the steering angle and the speed factors.
local steerScale = 1
local accelFront, accelBack = 1, 1

-- A key turns the wheels in over a moment rather than at once, so that a tap is a correction
-- rather than a swerve.
local STEER_RATE = 4
local steering = 0

local function ApplyControls(dt)
    if not racer or raceOver then
        return
    end
    local wanted = keys.right - keys.left
    local step = STEER_RATE * dt
    if steering < wanted then
        steering = math.min(wanted, steering + step)
    else
        steering = math.max(wanted, steering - step)
    end
    local throttle = keys.accelerate * accelFront - keys.brake * accelBack
    SetCarParams(racer, throttle, steering * steerScale)
    -- Both pedals at once hold the car.
    SetBrake(racer, keys.brake == 1 and keys.accelerate == 1)
end

local function OnAction(action, pressed)
    local down = pressed == "1"
    if keys[action] ~= nil then
        keys[action] = down and 1 or 0
    elseif action == "fire" then
        if racer and not raceOver then
            SetShot(racer, down)
        end
    elseif action == "nitro" then
        nitroHeld = down
    elseif action == "next_weapon" and down then
        if racer then
            SetNextWeapon(racer)
        end
    elseif action == "prev_weapon" and down then
        if racer then
            SetPrevWeapon(racer)
        end
    elseif action == "camera" and down then
        ChangeGameCamera()
    end
end

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a, b, c, d = GetCurrentParams(globalObject)
        if command == "add_object" then
            racer = StringToPointer(a)
            raceOver = false
        elseif command == "key_action" then
            OnAction(a, b)
        elseif command == "set_car_params" then
            -- angle, field-of-view divisor, forward and backward acceleration factors
            accelFront = tonumber(c) or 1
            accelBack = tonumber(d) or 1
        elseif command == "set_car_params2" then
            -- the speed factors are the car's own business
        elseif command == "game_over" then
            if racer then
                SetCarParams(racer, 0, 0)
                SetShot(racer, false)
            end
            PlayerNitro(0)
            raceOver = true
            SendCommandByName("main", "race_over", "")
        elseif command == "delete_object" then
            racer = nil
        end
    end
    if racer and not raceOver then
        ApplyControls(GetDeltaTime())
        -- Nitro burns while the key is held and the meter has some left.
        if nitroHeld and IsNitro() then
            PlayerNitro(1)
        else
            PlayerNitro(0)
        end
    end
    Update()
end
