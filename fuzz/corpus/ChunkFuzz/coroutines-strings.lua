local co = coroutine.create(function(a) local b = coroutine.yield(a + 1) return b * 2 end)
local ok, v = coroutine.resume(co, 1)
local g = coroutine.wrap(function() for i = 1, 3 do coroutine.yield(i) end end)
g() g()
local s = string.format('%5.2f %q %s', 3.14159, 'a\0b', tostring(nil))
local t = {} for w in string.gmatch('one two three', '%a+') do t[#t + 1] = w:upper() end
table.sort(t) local j = table.concat(t, ',')
local m = setmetatable({}, {__index = function(t, k) return k end})
local x = m.key .. select('#', 1, 2, 3) .. math.floor(2.5)
Update() Update() return x
