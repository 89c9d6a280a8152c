#!/usr/bin/env bash
# Fails when a source includes a header from a folder its library does not link.
#
# Every library exports src/ as its include root, so the compiler alone lets any folder include
# any header; this check holds includes to the link graph. The table it reads is written by
# CMake at configure time (kx_layering_check in cmake/Korvaxa.cmake):
#   owner <folder> <unit>        the library that owns every file directly in <folder> (src/...)
#   source <unit> <path>         a source file compiled into <unit> (test programs, test support)
#   allow <unit> <folder>...     the src/ folders <unit> may include: its own, those of the
#                                libraries it links, and what those expose through PUBLIC links
# A file under src/ is checked against the library owning its folder. A test source is checked
# against each program it is built into, following the test headers it includes (tests/support,
# a fixture next to it) and the program's own headers next to main.cpp, so a header-only helper
# counts against the program that uses it.
# Fuzz targets (fuzz/) are checked as test programs are, following the fuzz helpers they include.
# An include that names no file under src/, tests/ or fuzz/ is a system or package header: not
# checked.
#
# Usage: check-layering.sh <table> [<source root>]
set -euo pipefail
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: $0 <layering table> [<source root>]" >&2
  exit 2
fi
table="$1"
root="${2:-$(cd "$(dirname "$0")/.." && pwd)}"
if [ ! -r "$table" ]; then
  echo "check-layering: no table at $table (configure the build first)" >&2
  exit 2
fi
case "$table" in /*) ;; *) table="$PWD/$table" ;; esac
cd "$root"

folders=()
for folder in src tests fuzz; do
  [ -d "$folder" ] && folders+=("$folder")
done
find "${folders[@]}" -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.inl' -o -name '*.cpp' -o -name '*.cc' \) 2>/dev/null |
  LC_ALL=C sort |
  LC_ALL=C awk -v table="$table" '
function dirname(p,   i) {
    i = match(p, /\/[^\/]*$/)
    return i ? substr(p, 1, i - 1) : "."
}
# Drops "." and resolves ".." components; a path climbing above the root keeps its "..".
function normalise(p,   parts, n, i, out, k, stack) {
    n = split(p, parts, "/")
    k = 0
    for (i = 1; i <= n; i++) {
        if (parts[i] == "" || parts[i] == ".") continue
        if (parts[i] == ".." && k > 0 && stack[k] != "..") { k--; continue }
        stack[++k] = parts[i]
    }
    out = ""
    for (i = 1; i <= k; i++) out = out (i > 1 ? "/" : "") stack[i]
    return out
}
# The quoted includes of a file, one per line, read once.
function includes(file,   line, text, q) {
    if (file in includeCache) return includeCache[file]
    text = ""
    while ((getline line < file) > 0) {
        if (line !~ /^[ \t]*#[ \t]*include[ \t]*"/) continue
        sub(/^[ \t]*#[ \t]*include[ \t]*"/, "", line)
        q = index(line, "\"")
        if (q == 0) continue
        text = text substr(line, 1, q - 1) "\n"
    }
    close(file)
    includeCache[file] = text
    return text
}
# Where an include names a file of the tree: next to the includer, then the include roots.
function resolve(file, inc,   c) {
    c = normalise(dirname(file) "/" inc)
    if (c in exists) return c
    c = normalise("src/" inc)
    if (c in exists) return c
    if (file ~ /^tests\//) {
        c = normalise("tests/" inc)
        if (c in exists) return c
    }
    if (file ~ /^fuzz\//) {
        c = normalise("fuzz/" inc)
        if (c in exists) return c
    }
    return ""
}
function srcFolder(path,   d) {
    d = dirname(path)
    return d == "src" ? "." : substr(d, 5)
}
function report(origin, file, inc, folder, unit) {
    violations++
    if (origin == file)
        printf "%s: includes \"%s\" (src/%s), which %s does not link\n", origin, inc, folder, unit
    else
        printf "%s: through %s, includes \"%s\" (src/%s), which %s does not link\n", origin, file, inc, folder, unit
}
# Checks the includes of file against unit; test headers are followed when follow is set.
function check(origin, file, unit, follow,   list, n, i, inc, res, folder) {
    n = split(includes(file), list, "\n")
    for (i = 1; i <= n; i++) {
        inc = list[i]
        if (inc == "") continue
        res = resolve(file, inc)
        if (res == "") continue
        folder = res ~ /^src\// ? srcFolder(res) : ""
        if (folder != "" && !(follow && folder == ".")) {
            if (!((unit SUBSEP folder) in allowed)) report(origin, file, inc, folder, unit)
        } else if (follow && !((origin SUBSEP unit SUBSEP res) in seen)) {
            seen[origin, unit, res] = 1
            check(origin, res, unit, follow)
        }
    }
}
BEGIN {
    while ((getline line < table) > 0) {
        n = split(line, f, " ")
        if (n < 2) continue
        if (f[1] == "owner" && n == 3) owner[f[2]] = f[3]
        else if (f[1] == "source" && n == 3) sources[f[3]] = sources[f[3]] " " f[2]
        else if (f[1] == "allow") { unitCount++; for (i = 3; i <= n; i++) allowed[f[2], f[i]] = 1 }
    }
    close(table)
    if (unitCount == 0) { print "check-layering: the table names no library" > "/dev/stderr"; fatal = 1; exit 2 }
}
{ exists[$0] = 1; files[++count] = $0 }
END {
    if (fatal) exit 2
    if (count == 0) { print "check-layering: no source found under src/, tests/ or fuzz/" > "/dev/stderr"; exit 2 }
    for (k = 1; k <= count; k++) {
        file = files[k]
        if (file ~ /^src\//) {
            d = dirname(file)
            if (!(d in owner)) {
                violations++
                printf "%s: no library owns the folder %s\n", file, d
                continue
            }
            checked++
            check(file, file, owner[d], 0)
        } else if (file in sources) {
            m = split(sources[file], us, " ")
            for (j = 1; j <= m; j++) { checked++; check(file, file, us[j], 1) }
        }
    }
    if (violations) {
        printf "check-layering: %d include(s) outside the layering\n", violations
        exit 1
    }
    printf "check-layering: %d file checks, every include within the layering\n", checked
}
'
