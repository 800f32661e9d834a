#!/bin/sh
# A full chassis asking the emulated CMM for power and giving it back, all at
# once, next to 200 idle or trickling connections and garbage senders: every
# well-formed request is answered, every answer is what the pool allows at
# that point of the CMM's log (replayed in order), nothing stays allotted,
# and the daemon's open descriptors return to their count.  Prints
#   cmm load: R requests answered, p99 T ms, pool exact, fds steady
# $ARKB_CMM_LOAD is the load program (tests/load/cmm_load), maybe with an
# emulator prefix.
. "$(dirname "$0")/lib.sh"
LOAD=${ARKB_CMM_LOAD:?the load program}
blades=14 pool=1000 watts=100 cycles=36 idle=200
args=""; for i in $(seq 1 $blades); do args="$args --blade l$i:$i"; done
sim create --force --cmm $args --blade noise:20 >/dev/null
on_exit 'sim cmm stop >/dev/null 2>&1 || true'
sim cmm start --pool $pool --owner $$ >/dev/null
pid=$(cat "$CHASSIS/cmm/pid")
fds() { ls /proc/$pid/fd | wc -l; }
fds_before=$(fds)

sim run --blade noise -- $LOAD hostile $idle "$CHASSIS/stop" >"$CHASSIS/hostile" 2>&1 &
hostile=$!
on_exit ": >'$CHASSIS/stop'"
ready() { grep -q ready "$CHASSIS/hostile"; }
wait_until 20 ready || fail "the hostile peers did not start: $(cat "$CHASSIS/hostile")"
for i in $(seq 1 $blades); do
  sim run --blade l$i -- $LOAD blade $cycles $watts >"$WORK/out.$i" 2>"$WORK/err.$i" &
done
for i in $(seq 1 $blades); do wait %$((i + 1)) 2>/dev/null || true; done
: >"$CHASSIS/stop"; wait $hostile 2>/dev/null || true

cat "$WORK"/out.* >"$WORK/all"
total=$((blades * cycles * 2))
answered=$(grep -cv ' -$' "$WORK/all" || true)
[ "$answered" -eq "$total" ] || fail "$answered of $total requests answered: $(cat "$WORK"/err.*)"
p99=$(cut -d' ' -f1 "$WORK/all" | sort -n | awk '{ v[NR] = $1 } END { i = int(NR * 0.99); if (i < 1) i = 1; print v[i] }')

# The pool, replayed over the CMM's log of the blades' requests.
sim cmm requests >"$WORK/requests"
# Lines "<time> <address> <slot> "PWR <w>\n\0" "<reply>\0"" as "<slot> <w> <reply>".
sed -n 's/^[^ ]* [^ ]* \([0-9][0-9]*\) "PWR \([0-9][0-9]*\)\\n\\0" "\(.*\)\\0"$/\1 \2 \3/p' "$WORK/requests" |
awk -v pool=$pool '
  {
    slot = $1; w = $2 + 0; reply = $3 ($4 == "" ? "" : " " $4)
    free = pool; for (s in a) free -= a[s]; free += a[slot]
    want = (w == 0 || free >= w) ? "OK " w : "NO"
    a[slot] = (want == "NO") ? 0 : w
    if (reply != want) { print "request " NR ": slot " slot " asked " w ", got " reply ", want " want; bad++ }
    n++
  }
  END { left = 0; for (s in a) left += a[s]; if (left) print "left allotted: " left; exit (bad || left || n == 0) }
' >"$WORK/replay" || fail "pool not exact: $(head -5 "$WORK/replay")"
sim cmm status | grep -q 'allotted 0 W' || fail "allotments left: $(sim cmm status | grep allotted)"

steady() { [ "$(fds)" -eq "$fds_before" ]; }
wait_until 10 steady || fail "the CMM holds $(fds) descriptors, $fds_before before"
echo "cmm load: $answered requests answered, p99 $p99 ms, pool exact, fds steady"
