-- The turret: it rises ("fire_in") when it comes out, fires ("fire") while it stands, and its
-- enemy record does the rest (the hits, the death). Each animation that ends starts the next.

local me = nil
local firing = false

while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        local a = GetCurrentParams(globalObject)
        if command == "add_object" then
            me = StringToPointer(a)
            SetAnimation(me, "fire_in", 1, 1, 0)
        elseif command == "animation_end" then
            if me and not firing then
                firing = true
                SetAnimation(me, "fire", 1, 0, 0)
            end
        elseif command == "delete_object" then
            me = nil
        end
    end
    Update()
end
