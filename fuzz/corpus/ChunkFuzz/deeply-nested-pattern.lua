local s, deep = string.rep('a', 2500), string.rep('a?', 2500)
local function try(f) local ok, a, b = pcall(f) end
try(function() return string.find(s, deep) end)
try(function() return s:match(deep) end)
try(function() return string.gsub(s, deep, '') end)
try(function() return string.gmatch(s, string.rep('(', 201))() end)
try(function() return string.gfind(s, string.rep('a-', 201))() end)
Update()
