pcall(string.rep, "x", 1e9)
