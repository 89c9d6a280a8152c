-- A bonus crate: it turns slowly where it lies until a car picks it up.

local me = nil
local angle = 0

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            me = StringToPointer(a)
        elseif command == "delete_object" then
            me = nil
        end
    end
    if me then
        angle = angle + GetDeltaTime() * 1.5
        SetRotation(me, 0, 0, angle)
    end
    Update()
end
