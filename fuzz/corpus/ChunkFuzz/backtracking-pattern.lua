pcall(string.find, string.rep("a", 2000), string.rep("a*", 30) .. "b")
