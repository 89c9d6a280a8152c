-- The demo's main script: it listens to the key actions and ends the game on "exit" (Escape).
while true do
    while SetNextCommand(globalObject) do
        local command = GetCurrentCommand(globalObject)
        if command == "key_action" then
            local action, state = GetCurrentParams(globalObject)
            if action == "exit" and state == "1" then
                KillAllTasks()
            end
        end
    end
    Update()
end
