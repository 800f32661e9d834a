# Worst-case stack of every exported call, from GCC's call graphs with stack
# usage (-fcallgraph-info=su, one .ci file per source unit):
#   awk [-v rows=N] -f stack.awk src/exported-names.txt <.ci files>
# A call's worst case is its own frame plus the deepest of its callees.
# Functions outside the library (libc, the platform libraries) count 0 bytes
# here; those that the deepest path ends in are listed after it.
function field(line, key,   at, rest) {
    at = index(line, key ": \"")
    if (at == 0) return ""
    rest = substr(line, at + length(key) + 3)
    return substr(rest, 1, index(rest, "\"") - 1)
}
function short(title,   sym, cmd, out) {  # "file:_ZN4arkb...6helperEv.isra.0" -> "helper"
    sym = title
    sub(/^.*:/, "", sym)
    if (sym !~ /^_Z/) return sym
    cmd = "c++filt '" sym "'"
    cmd | getline out
    close(cmd)
    gsub(/\(anonymous namespace\)/, "", out)
    sub(/\(.*/, "", out)
    sub(/.*:/, "", out)
    return out
}
function depth(f,   n, callees, i, d, best) {
    if (f in memo) return memo[f]
    if (f in active) { cycles = cycles " " f; return 0 }
    active[f] = 1
    best = -1
    n = split(calls[f], callees, SUBSEP)
    for (i = 2; i <= n; i++) {
        d = depth(callees[i])
        if (d > best) { best = d; via[f] = callees[i] }
    }
    delete active[f]
    memo[f] = frame[f] + (best > 0 ? best : 0)
    return memo[f]
}
function outside_of(f,   n, callees, i, list, seen) {
    n = split(calls[f], callees, SUBSEP)
    for (i = 2; i <= n; i++)
        if (!(callees[i] in defined) && !(callees[i] in seen)) {
            seen[callees[i]] = 1
            list = list (list == "" ? "" : ", ") short(callees[i])
        }
    return list
}
FNR == NR { exported[$1] = 1; next }
/^node:/ {
    t = field($0, "title")
    if (match($0, /[0-9]+ bytes \(/)) { frame[t] = substr($0, RSTART, RLENGTH) + 0; defined[t] = 1 }
}
/^edge:/ { calls[field($0, "sourcename")] = calls[field($0, "sourcename")] SUBSEP field($0, "targetname") }
END {
    printf "%-30s %6s %6s  %s\n", "exported call", "frame", "worst", "deepest path: function frame > ... (outside calls at its end)"
    for (f in exported) if (f in defined) { total[f] = depth(f); order[++count] = f }
    for (i = 1; i <= count; i++)  # deepest first
        for (j = i + 1; j <= count; j++)
            if (total[order[j]] > total[order[i]] || (total[order[j]] == total[order[i]] && order[j] < order[i])) {
                tmp = order[i]; order[i] = order[j]; order[j] = tmp
            }
    for (i = 1; i <= count; i++) {
        f = order[i]
        if (total[f] > worst) worst = total[f]
        if (total[f] > 4096) above++
        if (rows && i > rows) continue
        path = f " " frame[f]
        for (g = f; (g in via) && (via[g] in defined); g = via[g])
            path = path " > " short(via[g]) " " frame[via[g]]
        out = outside_of(g)
        printf "%-30s %6d %6d  %s%s\n", f, frame[f], total[f], path, out == "" ? "" : " (" out ")"
    }
    if (rows && count > rows) printf "... and %d more exported calls, none deeper\n", count - rows
    printf "\ndeepest exported call: %d bytes; above 4096 bytes: %d of %d calls%s\n", worst, above + 0, count,
           cycles == "" ? "" : "; recursion through" cycles
}
