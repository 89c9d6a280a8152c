collectgarbage('stop')
local keep = {}
for i = 1, 10 do
  keep[i] = newproxy(true)
  getmetatable(keep[i]).__gc = function() error('finalizer') end
end
keep = nil
collectgarbage('setstepmul', 1e9)
local raise = error
collectgarbage('restart') raise(5.25, 0)
