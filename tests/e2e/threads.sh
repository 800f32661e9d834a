#!/bin/sh
# Every stand-in from eight threads at once (tests/load/threads.cpp): no call
# answers otherwise than alone, what each thread writes reads back, and the
# call counts and the journal hold every call exactly once, the threads'
# calls marked with their thread.  $ARKB_THREADS_LOAD is the program, maybe
# with an emulator prefix.
. "$(dirname "$0")/lib.sh"
LOAD=${ARKB_THREADS_LOAD:?the threads program}
threads=8 rounds=${ARKB_THREADS_ROUNDS:-100}
sim create --blade a:3 >/dev/null
printf '0123456789abcdef' >"$WORK/pca.bin"
sim run --blade a -- $LOAD $threads $rounds "$WORK/pca.bin" >"$WORK/out" 2>&1 || fail "$(head -20 "$WORK/out")"
calls=$(( 1 + threads * rounds ))
sim stats --json >"$WORK/stats.json"
python3 - "$WORK/stats.json" $calls <<'PY' || fail "stats count every call once"
import json, sys
d = json.load(open(sys.argv[1]))
want = int(sys.argv[2])
counts = {f["function"]: f["calls"] for f in d["calls"]}
bad = {n: c for n, c in counts.items() if c != want}
assert len(counts) == 25 and not bad, (len(counts), bad)
PY
journal=$(sp a)/journal
[ "$(wc -l <"$journal")" = $(( 25 * calls )) ] || fail "journal: $(wc -l <"$journal") lines, want $(( 25 * calls ))"
[ "$(grep -c '^[0-9]*@[0-9.]*,tid=' "$journal")" = $(( 25 * threads * rounds )) ] ||
  fail "every thread's call is marked with its thread"
echo "threads: $threads threads x $rounds rounds x 25 calls, none lost"
