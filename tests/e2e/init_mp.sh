#!/bin/sh
# A blade's midplane start-up publishes its slot and the chassis type, seen
# from outside through the simulator's state; what it logs arrives in the
# blade's log, cut at 511 characters.
. "$(dirname "$0")/lib.sh"
sim create --force --type 1302 --blade a:3 --blade b:0x12 >/dev/null
on a init-mp >/dev/null
on b init-mp >/dev/null
expect_bytes "$(key a slotid)" "03"
expect_bytes "$(key a chassis_type)" "16 05"
expect_bytes "$(sp a)/fs/dev/shm/slotid" "33 00"
expect_bytes "$(sp a)/fs/dev/shm/chassis_type" "16 05"
expect_bytes "$(key b slotid)" "12"
expect_bytes "$(sp b)/fs/dev/shm/slotid" "31 38"
[ "$(stat -c %a "$(sp a)/fs/dev/shm/chassis_type")" = 600 ] || fail "chassis_type file mode"
grep -q 'arkmp_tunneling_init' "$(sp a)/journal" || fail "slot 3 must bring up tunnel access"
! grep -q 'arkmp_tunneling_init' "$(sp b)/journal" || fail "slot byte 0x12 has bit 4 set: no tunnel init"
sim show | grep -q 'slot id: *3 ' || fail "arksim show draws the blades"
sim show --all | grep -q 'slotid' || fail "arksim show --all lists the keys"
# A blade whose slot cannot be read publishes nothing and logs line 239.
sim slot-byte --blade a none >/dev/null
sim reset --blade a >/dev/null
! on a init-mp >/dev/null || fail "init-mp without a slot must fail"
[ ! -e "$(key a slotid)" ] || fail "nothing stored without a slot"
sim log --blade a | grep -q 'arkb_initialize_mp::239:Error' || fail "line 239 logged"
long=$(printf '%600s' '' | tr ' ' x)
on a log 3 "$long" >/dev/null
cut=$(sim log --blade a | sed -n 's/.* err .* \(x*\)$/\1/p')
[ ${#cut} = 511 ] || fail "a 600-character log line arrives cut at 511 characters, not ${#cut}"
# Each entry names its time, process and program; the timeline holds calls
# and entries in time order.
sim log --blade a | grep -q '^[0-9:.]*  [0-9][0-9]* *arkbctl  *err  *uucp  *libarkblade::arkb_initialize_mp::239:Error$' ||
  fail "a log entry shows time, pid and name, without its newline: $(sim log --blade a | head -1)"
sim timeline a >"$WORK/timeline"
grep -q '  call  ' "$WORK/timeline" && grep -q '  log   ' "$WORK/timeline" || fail "timeline: $(head -3 "$WORK/timeline")"
cut -c1-12 "$WORK/timeline" | sort -c || fail "timeline out of order"
echo "init_mp: ok"
