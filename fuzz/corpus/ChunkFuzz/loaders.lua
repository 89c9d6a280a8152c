local b = string.dump(function() return 1 end)
local function pieces(list) local i = 0 return function() i = i + 1 return list[i] end end
local a = loadstring(b)
local c = load(pieces({'', b}))
local d = loadstring('return 1 + 1')()
local e = load(pieces({'return ', '3'}))()
local f = load(function() return {} end)
Update()
