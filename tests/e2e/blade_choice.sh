#!/bin/sh
# On a chassis of several blades, every per-blade command asks which blade is
# meant instead of silently taking one; --blade, --slot and $ARKSIM_SP (as
# inside `arksim run`) name it, and a chassis of one blade needs none.
. "$(dirname "$0")/lib.sh"
sim create --blade alpha:3 --blade bravo:4 >/dev/null
sim memstore --blade bravo slotid 04 >/dev/null
for cmd in log journal memstore "memstore slotid" "fault --list" stats "eeprom --length 1" fru uptime sensor dt \
           slot-byte "run -- true" "broadcast start"; do
  rc=0; sim $cmd >/dev/null 2>"$WORK/err" || rc=$?
  [ $rc != 0 ] && grep -q 'has 2 blades, alpha (slot 3), bravo (slot 4): name one with --blade NAME or --slot N' "$WORK/err" \
    || fail "arksim $cmd on two blades: status $rc, $(cat "$WORK/err")"
done
[ "$(sim memstore --blade bravo slotid)" = 04 ] || fail "--blade bravo"
[ "$(sim memstore --slot 4 slotid)" = 04 ] || fail "--slot 4"
[ "$(ARKSIM_SP=$(sp bravo) sim memstore slotid)" = 04 ] || fail "\$ARKSIM_SP names the blade"
[ "$(sim run --blade bravo -- sh -c "$ARKSIM memstore slotid")" = 04 ] || fail "inside arksim run, its own blade"
sim create --force >/dev/null
sim log >/dev/null && sim journal >/dev/null || fail "a chassis of one blade needs no --blade"
echo "blade_choice: ok"
